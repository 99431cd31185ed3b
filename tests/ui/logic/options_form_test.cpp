#include "ui/logic/options_form.h"

#include <gtest/gtest.h>

#include "doubles/fake_probes.h"

namespace kip::test {
namespace {

Preferences prefsWith(std::string network, std::string proxy, std::string port, std::int32_t delay = 0) {
  Preferences prefs;
  prefs.Network = std::move(network);
  prefs.Proxy = std::move(proxy);
  prefs.Port = std::move(port);
  prefs.StartupDelay = delay;
  return prefs;
}

// Loading the controls from the preferences, and storing them back unchanged.
TEST(OptionsForm, ShowLoadsTheControlsAndOkKeepsThem) {
  struct Case {
    Preferences prefs;
    int item;
    std::string netTest;
    bool proxyTicked;
    std::string proxyAddr, proxyPort;
  };
  const Case cases[] = {
      {prefsWith("", "", "", 15), 0, "", false, "", ""},
      {prefsWith("DUN", "proxy.lan", "3128"), 1, "", true, "proxy.lan", "3128"},
      {prefsWith("dun", "", "8080"), 2, "dun", false, "", ""},  // a port without proxy is not shown
      {prefsWith("\\\\srv\\share", " p ", ""), 2, "\\\\srv\\share", true, " p ", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.prefs.Network);
    OptionsFormState form;
    form.NetTest.Text = "left over";
    FormShow(form, c.prefs);
    EXPECT_EQ(form.DelayCount.Text, std::to_string(c.prefs.StartupDelay));
    EXPECT_EQ(form.RG_netTest.ItemIndex, c.item);
    EXPECT_EQ(form.NetTest.Text, c.netTest);
    EXPECT_EQ(form.NetTest.Enabled, c.item == 2);
    EXPECT_EQ(form.NetTest.Visible, c.item == 2);
    EXPECT_EQ(form.CB_proxy.Checked, c.proxyTicked);
    EXPECT_EQ(form.ProxyAddr.Text, c.proxyAddr);
    EXPECT_EQ(form.ProxyPort.Text, c.proxyPort);
    EXPECT_EQ(form.ProxyAddr.Enabled, c.proxyTicked);
    EXPECT_EQ(form.Label2.Enabled, c.proxyTicked);
    EXPECT_EQ(form.ActiveControl, "DelayCount");

    Preferences stored = c.prefs;
    NetworkResults results{-53, 0};
    OkButtonClick(form, stored, results);
    EXPECT_EQ(stored.Network, c.prefs.Network);
    EXPECT_EQ(results.lastNetwork, -53);  // unchanged test text keeps the result
    EXPECT_EQ(stored.StartupDelay, c.prefs.StartupDelay);
    EXPECT_EQ(stored.Proxy, c.proxyTicked ? std::string(c.prefs.Proxy == " p " ? "p" : c.prefs.Proxy) : "");
    EXPECT_EQ(stored.Port, c.proxyTicked ? c.prefs.Port : "");
  }
}

// Edits made in the dialog and what "Ok" makes of them.
TEST(OptionsForm, OkStoresTheEdits) {
  struct Case {
    const char* what;
    void (*edit)(OptionsFormState&);
    std::string network, proxy, port;
    std::int32_t delay;
    bool resultCleared;
  };
  const Case cases[] = {
      {"resource left empty",
       [](OptionsFormState& f) {
         f.RG_netTest.ItemIndex = 2;
         f.NetTest.Text = "";
       },
       "", "old", "81", 7, false},
      {"resource not trimmed",
       [](OptionsFormState& f) {
         f.RG_netTest.ItemIndex = 2;
         f.NetTest.Text = " host ";
       },
       " host ", "old", "81", 7, true},
      {"dial-up", [](OptionsFormState& f) { f.RG_netTest.ItemIndex = 1; }, "DUN", "old", "81", 7, true},
      {"proxy cleared", [](OptionsFormState& f) { f.CB_proxy.Checked = false; }, "", "", "", 7, false},
      {"proxy trimmed",
       [](OptionsFormState& f) {
         f.ProxyAddr.Text = "\t px \n";
         f.ProxyPort.Text = " 8080 ";
       },
       "", "px", "8080", 7, false},
      {"empty delay", [](OptionsFormState& f) { f.DelayCount.Text = ""; }, "", "old", "81", 0, false},
      {"no number", [](OptionsFormState& f) { f.DelayCount.Text = "1x"; }, "", "old", "81", 0, false},
      {"blanks around", [](OptionsFormState& f) { f.DelayCount.Text = " 42"; }, "", "old", "81", 42, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Preferences prefs = prefsWith("", "old", "81", 7);
    OptionsFormState form;
    FormShow(form, prefs);
    c.edit(form);
    NetworkResults results{1, 1};
    OkButtonClick(form, prefs, results);
    EXPECT_EQ(prefs.Network, c.network);
    EXPECT_EQ(prefs.Proxy, c.proxy);
    EXPECT_EQ(prefs.Port, c.port);
    EXPECT_EQ(prefs.StartupDelay, c.delay);
    EXPECT_EQ(results.lastNetwork, c.resultCleared ? 0 : 1);
    EXPECT_EQ(results.lastDialUp, 1);
  }
}

TEST(OptionsForm, ClickStepsEnableTheirControls) {
  OptionsFormState form;
  for (int item : {2, 0, 2, 1}) {
    form.RG_netTest.ItemIndex = item;
    RG_netClick(form);
    EXPECT_EQ(form.NetTest.Enabled && form.NetTest.Visible, item == 2);
  }
  form.ProxyAddr.Text = "kept";
  for (bool ticked : {true, false}) {
    form.CB_proxy.Checked = ticked;
    CB_proxyClick(form);
    EXPECT_EQ(form.Label1.Enabled && form.Label2.Enabled && form.ProxyAddr.Enabled && form.ProxyPort.Enabled, ticked);
    EXPECT_TRUE(ticked || (!form.Label1.Enabled && !form.ProxyPort.Enabled));
  }
  EXPECT_EQ(form.ProxyAddr.Text, "kept");
}

// "Test now..." probes what the dialog shows, with the dialog's proxy for this probe only.
TEST(OptionsForm, TestButtonReportsTheProbeOfTheShownSettings) {
  struct Case {
    int item;
    std::string netTest;
    bool proxy;
    std::string text;
    MessageIcon icon;
    std::string hostProxy;  // proxy handed to the host probe, "-" when it was not asked
  };
  const Case cases[] = {
      {0, "ignored", true, "Network Present (MS Logon)", MessageIcon::Information, "-"},
      {1, "", false, "No Network: Rc-1 (DUN)", MessageIcon::Error, "-"},
      {2, "http://127.0.0.1/", true, "Network detect failed (http://127.0.0.1/)", MessageIcon::Warning, "px"},
      {2, "http://127.0.0.1/", false, "Network detect failed (http://127.0.0.1/)", MessageIcon::Warning, ""},
      {2, "dun", true, "No Network: Rc-121 (dun)", MessageIcon::Error, "px"},
      {2, "\\\\srv\\x", true, "No Network: Rc-53 (\\\\srv\\x)", MessageIcon::Error, "-"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    FakeProbes probes;
    probes.host.codes = {{"http://127.0.0.1/", 0}, {"dun", -121}};
    OptionsFormState form;
    FormShow(form, prefsWith("", "running", "1"));
    form.RG_netTest.ItemIndex = c.item;
    form.NetTest.Text = c.netTest;
    form.CB_proxy.Checked = c.proxy;
    form.ProxyAddr.Text = " px ";
    form.ProxyPort.Text = "3128 ";
    const NetworkTestMessage message = TestButtonClick(form, probes.probe);
    EXPECT_EQ(message.text, c.text);
    EXPECT_EQ(message.icon, c.icon);
    if (c.hostProxy == "-") {
      EXPECT_TRUE(probes.host.calls.empty());
    } else {
      ASSERT_EQ(probes.host.calls.size(), 1u);
      EXPECT_EQ(probes.host.calls[0].proxy, c.hostProxy);
      EXPECT_EQ(probes.host.calls[0].port, c.proxy ? "3128" : "");
    }
  }
}

}  // namespace
}  // namespace kip::test
