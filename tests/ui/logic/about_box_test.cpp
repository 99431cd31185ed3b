#include "ui/logic/about_box.h"

#include <gtest/gtest.h>

#include "doubles/fake_probes.h"

namespace kip::test {
namespace {

TEST(AboutBox, PowerLine) {
  const std::pair<std::optional<PowerStatus>, std::string> cases[] = {
      {std::nullopt, "APM not installed"},
      {PowerStatus{1, 40}, "Mains power"},
      {PowerStatus{0, 37}, "Battery power remaining = 37%"},
      {PowerStatus{0, 255}, "Battery power remaining = 255%"},
      {PowerStatus{255, 90}, "Power status unknown"},
  };
  for (const auto& [status, line] : cases) EXPECT_EQ(powerLine(status), line);
}

// The network line probes only when asked to and only while no result is known.
TEST(AboutBox, NetworkLine) {
  struct Case {
    bool aboutNet;
    std::string network;
    std::int32_t known, logonCode;
    std::string line;
    int logonProbes;
  };
  const Case cases[] = {
      {false, "", 0, 1, "Not Tested (MS Logon)", 0},   {false, "\\\\srv\\x", -53, 1, "Not Tested (\\\\srv\\x)", 0},
      {true, "", 0, 1, "Present (MS Logon)", 1},       {true, "", 0, -1222, "No Rc-1222(MS Logon)", 1},
      {true, "", 0, 0, "detect failed (MS Logon)", 1}, {true, "", 5, -1222, "Present (MS Logon)", 0},
      {true, "", -7, 1, "No Rc-7(MS Logon)", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    FakeProbes probes;
    probes.services.logonCode = c.logonCode;
    Preferences prefs;
    prefs.AboutNet = c.aboutNet;
    prefs.Network = c.network;
    NetworkResults results{c.known, 0};
    EXPECT_EQ(networkLine(prefs, results, probes.probe), c.line);
    EXPECT_EQ(probes.services.logonCalls, c.logonProbes);
    EXPECT_EQ(results.lastNetwork, c.logonProbes ? c.logonCode : c.known);
  }
}

TEST(AboutBox, VersionLineOfAFileWithoutVersionSection) {
  FakeProbes probes;
  NetworkResults results;
  EXPECT_EQ(
      aboutBoxLines(versionTextsOf(TExeVersion("/bin/true")), {}, {}, std::nullopt, results, probes.probe).Version,
      "Version  (Build ) ");
}

}  // namespace
}  // namespace kip::test
