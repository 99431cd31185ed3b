#include "ui/logic/options_form.h"

#include <charconv>

#include "conditions/condition_text.h"
#include "conditions/network_report.h"

namespace kip {
namespace {

constexpr const char* kDialUpText = "DUN";

// The delay field's number; anything but digits (blanks around them allowed) gives 0.
std::int32_t delayOf(const std::string& text) {
  const std::string digits = trimBlanks(text);
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || value < 0) return 0;
  return value;
}

struct ProxySetting {
  std::string proxy;
  std::string port;
};

ProxySetting proxyOf(const OptionsFormState& form) {
  if (!form.CB_proxy.Checked) return {};
  return {trimBlanks(form.ProxyAddr.Text), trimBlanks(form.ProxyPort.Text)};
}

}  // namespace

std::string logonRunText(bool autostartEnabled) {
  return autostartEnabled ? "The logon run is on; kipctl autostart off switches it off."
                          : "The logon run is off; kipctl autostart on switches it on.";
}

void FormShow(OptionsFormState& form, const Preferences& prefs) {
  form.LogonRunText.Caption = logonRunText(prefs.AutostartEnabled);
  form.CB_splash.Checked = prefs.Splash;
  form.CB_global.Checked = prefs.Global;
  form.CB_netState.Checked = prefs.AboutNet;
  form.DelayCount.Text = std::to_string(prefs.StartupDelay);
  if (prefs.Network.empty() || prefs.Network == kDialUpText) {
    form.RG_netTest.ItemIndex = prefs.Network.empty() ? OptionsFormState::kMsLogon : OptionsFormState::kDialUp;
    form.NetTest.Text.clear();
  } else {
    form.RG_netTest.ItemIndex = OptionsFormState::kResourceTest;
    form.NetTest.Text = prefs.Network;
  }
  RG_netClick(form);
  form.CB_proxy.Checked = !prefs.Proxy.empty();
  form.ProxyAddr.Text = form.CB_proxy.Checked ? prefs.Proxy : std::string();
  form.ProxyPort.Text = form.CB_proxy.Checked ? prefs.Port : std::string();
  CB_proxyClick(form);
  form.ActiveControl = "DelayCount";
}

void OkButtonClick(const OptionsFormState& form, Preferences& prefs, NetworkResults& results) {
  prefs.Splash = form.CB_splash.Checked;
  prefs.Global = form.CB_global.Checked;
  prefs.AboutNet = form.CB_netState.Checked;
  prefs.StartupDelay = delayOf(form.DelayCount.Text);
  if (const std::string network = networkTestText(form); network != prefs.Network) {
    prefs.Network = network;
    results.lastNetwork = 0;
  }
  const ProxySetting proxy = proxyOf(form);
  prefs.Proxy = proxy.proxy;
  prefs.Port = proxy.port;
}

void RG_netClick(OptionsFormState& form) {
  const bool resource = form.RG_netTest.ItemIndex == OptionsFormState::kResourceTest;
  form.NetTest.Enabled = resource;
  form.NetTest.Visible = resource;
}

void CB_proxyClick(OptionsFormState& form) {
  const bool on = form.CB_proxy.Checked;
  form.Label1.Enabled = on;
  form.Label2.Enabled = on;
  form.ProxyAddr.Enabled = on;
  form.ProxyPort.Enabled = on;
}

std::string networkTestText(const OptionsFormState& form) {
  switch (form.RG_netTest.ItemIndex) {
    case OptionsFormState::kMsLogon:
      return {};
    case OptionsFormState::kDialUp:
      return kDialUpText;
    default:
      return form.NetTest.Text;
  }
}

NetworkTestMessage TestButtonClick(const OptionsFormState& form, NetworkProbe& probe) {
  // The dialog's proxy goes to this one probe only, so the running Proxy and Port never change.
  const std::string text = networkTestText(form);
  const ProxySetting proxy = proxyOf(form);
  const std::int32_t code = probe.probe(text, proxy.proxy, proxy.port);
  const ReportSeverity severity = networkTestSeverity(code);
  const MessageIcon icon = severity == ReportSeverity::Information ? MessageIcon::Information
                           : severity == ReportSeverity::Warning   ? MessageIcon::Warning
                                                                   : MessageIcon::Error;
  return {networkTestReport(code, text), icon};
}

}  // namespace kip
