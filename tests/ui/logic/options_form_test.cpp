#include "ui/logic/options_form.h"

#include <gtest/gtest.h>

#include "doubles/fake_probes.h"

namespace kip::test {
namespace {

// Loading the controls from the preferences.
TEST(OptionsForm, ShowLoadsTheControls) {
  struct Case {
    Preferences prefs;
    int item;
    std::string netTest, proxyAddr, proxyPort;
  };
  const Case cases[] = {
      {Preferences{.StartupDelay = 15, .Network = "", .Proxy = "", .Port = ""}, 0, "", "", ""},
      {Preferences{.Network = "DUN", .Proxy = "proxy.lan", .Port = "3128"}, 1, "", "proxy.lan", "3128"},
      {Preferences{.Network = "dun", .Proxy = "", .Port = "8080"}, 2, "dun", "",
       ""},  // a port without proxy is not shown
      {Preferences{.Network = "\\\\srv\\share", .Proxy = " p ", .Port = ""}, 2, "\\\\srv\\share", " p ", ""},
  };
  for (const auto& c : cases) {
    OptionsFormState form;
    form.NetTest.Text = "left over";
    FormShow(form, c.prefs);
    const bool proxy = !c.proxyAddr.empty();
    EXPECT_EQ(form.DelayCount.Text, std::to_string(c.prefs.StartupDelay));
    EXPECT_EQ(form.RG_netTest.ItemIndex, c.item);
    EXPECT_EQ(form.NetTest.Text, c.netTest);
    EXPECT_EQ(form.NetTest.Enabled && form.NetTest.Visible, c.item == 2);
    EXPECT_EQ(form.CB_proxy.Checked, proxy);
    EXPECT_EQ(form.ProxyAddr.Text + "|" + form.ProxyPort.Text, c.proxyAddr + "|" + c.proxyPort);
    EXPECT_EQ(form.ProxyAddr.Enabled && form.Label2.Enabled, proxy);
  }
}

// Edits made in the dialog and what "Ok" makes of them, from Network "", Proxy "old", Port "81", delay 7.
TEST(OptionsForm, OkStoresTheEdits) {
  struct Case {
    int item;
    std::string netTest;
    bool proxy;
    std::string addr, port, delay, network, storedProxy, storedPort;
    std::int32_t storedDelay;
    bool resultCleared;
  };
  const Case cases[] = {
      {2, "", true, "old", "81", "7", "", "old", "81", 7, false},  // empty resource: MS Logon, unchanged
      {2, " host ", true, "old", "81", "7", " host ", "old", "81", 7, true},
      {1, "", true, "old", "81", "7", "DUN", "old", "81", 7, true},
      {0, "", false, "x", "y", "7", "", "", "", 7, false},
      {0, "", true, "\t px \n", " 8080 ", "7", "", "px", "8080", 7, false},
      {0, "", true, "", "81", "7", "", "", "81", 7, false},
      {0, "", true, "old", "81", "", "", "old", "81", 0, false},
      {0, "", true, "old", "81", "1x", "", "old", "81", 0, false},
      {0, "", true, "old", "81", " 42", "", "old", "81", 42, false},
  };
  for (const auto& c : cases) {
    Preferences prefs{.StartupDelay = 7, .Network = "", .Proxy = "old", .Port = "81"};
    OptionsFormState form;
    FormShow(form, prefs);
    form.RG_netTest.ItemIndex = c.item;
    form.NetTest.Text = c.netTest;
    form.CB_proxy.Checked = c.proxy;
    form.ProxyAddr.Text = c.addr;
    form.ProxyPort.Text = c.port;
    form.DelayCount.Text = c.delay;
    NetworkResults results{1, 1};
    OkButtonClick(form, prefs, results);
    EXPECT_EQ(std::tie(prefs.Network, prefs.Proxy, prefs.Port, prefs.StartupDelay),
              std::tie(c.network, c.storedProxy, c.storedPort, c.storedDelay));
    EXPECT_EQ(std::tuple(results.lastNetwork, results.lastDialUp), std::tuple(c.resultCleared ? 0 : 1, 1));
  }
}

// "Test now..." probes what the dialog shows, with the dialog's proxy for this probe only.
TEST(OptionsForm, TestButtonReportsTheProbeOfTheShownSettings) {
  struct Case {
    int item;
    std::string netTest;
    bool proxy;
    std::string text;
    MessageIcon icon;
    std::string hostCall;  // proxy:port handed to the host probe, "-" when it was not asked
  };
  const Case cases[] = {
      {0, "ignored", true, "Network Present (MS Logon)", MessageIcon::Information, "-"},
      {1, "", false, "No Network: Rc-1 (DUN)", MessageIcon::Error, "-"},
      {2, "http://127.0.0.1/", true, "Network detect failed (http://127.0.0.1/)", MessageIcon::Warning, "px:3128"},
      {2, "http://127.0.0.1/", false, "Network detect failed (http://127.0.0.1/)", MessageIcon::Warning, ":"},
      {2, "dun", true, "No Network: Rc-121 (dun)", MessageIcon::Error, "px:3128"},
      {2, "\\\\srv\\x", true, "No Network: Rc-53 (\\\\srv\\x)", MessageIcon::Error, "-"},
  };
  for (const auto& c : cases) {
    FakeProbes probes;
    probes.host.codes = {{"http://127.0.0.1/", 0}, {"dun", -121}};
    OptionsFormState form;
    FormShow(form, Preferences{.Network = "", .Proxy = "running", .Port = "1"});
    form.RG_netTest.ItemIndex = c.item;
    form.NetTest.Text = c.netTest;
    form.CB_proxy.Checked = c.proxy;
    form.ProxyAddr.Text = " px ";
    form.ProxyPort.Text = "3128 ";
    const NetworkTestMessage message = TestButtonClick(form, probes.probe);
    EXPECT_EQ(std::tie(message.text, message.icon), std::tie(c.text, c.icon));
    const auto& calls = probes.host.calls;
    EXPECT_EQ(calls.empty() ? "-" : calls[0].proxy + ":" + calls[0].port, c.hostCall) << c.text;
  }
}

}  // namespace
}  // namespace kip::test
