#include "conditions/network_probe.h"

#include <gtest/gtest.h>

#include "conditions/network_report.h"
#include "doubles/fake_probes.h"

namespace kip::test {
namespace {

class NetworkProbeTest : public ::testing::Test {
 protected:
  std::int32_t probe(std::string_view text) { return probes.probe.probe(text, "proxy", "81"); }
  FakeProbes probes;
};

TEST_F(NetworkProbeTest, EmptyTextIsTheLogonTest) {
  probes.services.logonCode = -1245;
  EXPECT_EQ(probe(""), -1245);
  EXPECT_EQ(probes.services.logonCalls, 1);
}

TEST_F(NetworkProbeTest, OnlyUpperCaseDunIsTheDialUpTest) {
  probes.services.dialUpCode = 1;
  EXPECT_EQ(probe("DUN"), 1);
  EXPECT_EQ(probe("dun"), -1);
  EXPECT_EQ(probe("DUN "), -1);
  EXPECT_EQ(probes.services.dialUpCalls, 1);
  ASSERT_EQ(probes.host.calls.size(), 2u);
  EXPECT_EQ(probes.host.calls[0].target, "dun");
}

TEST_F(NetworkProbeTest, BackslashIsAShare) {
  probes.services.shareCodes["\\\\srv\\x"] = -53;
  EXPECT_EQ(probe("\\\\srv\\x"), -53);
  EXPECT_EQ(probe("\\single"), -53);
  EXPECT_EQ(probes.services.shares, (std::vector<std::string>{"\\\\srv\\x", "\\single"}));
}

TEST_F(NetworkProbeTest, ColonSecondOrLeadingSlashIsAPath) {
  probes.services.pathCodes["a:\\"] = 1;
  EXPECT_EQ(probe("a:\\"), 1);
  EXPECT_EQ(probe("c:"), -2);
  EXPECT_EQ(probe("/etc"), -2);
  EXPECT_EQ(probe("1:x"), -2);
  EXPECT_EQ(probes.services.paths, (std::vector<std::string>{"a:\\", "c:", "/etc", "1:x"}));
  EXPECT_TRUE(probes.host.calls.empty());
}

TEST_F(NetworkProbeTest, AnythingElseIsAHostWithTheGivenProxy) {
  probes.host.codes["HTTP://x/"] = -404;
  EXPECT_EQ(probe("HTTP://x/"), -404);
  EXPECT_EQ(probe("   "), -1);
  EXPECT_EQ(probe("ab:c"), -1);  // the colon is third
  ASSERT_EQ(probes.host.calls.size(), 3u);
  EXPECT_EQ(probes.host.calls[0].proxy, "proxy");
  EXPECT_EQ(probes.host.calls[0].port, "81");
  EXPECT_EQ(probes.host.calls[1].target, "   ");
}

TEST_F(NetworkProbeTest, TextLongerThan259BytesIsRefusedWithoutAProbe) {
  const std::string longest = "\\\\" + std::string(257, 's');
  EXPECT_EQ(probe(longest), -53);
  EXPECT_EQ(probe(longest + "s"), kTooLongCode);
  EXPECT_EQ(probe(std::string(400, 'h')), kTooLongCode);
  EXPECT_EQ(probes.services.shares.size(), 1u);
  EXPECT_TRUE(probes.host.calls.empty());
}

TEST(NetworkStateRefresh, SetsTheNetworkResultFromThePreference) {
  FakeProbes probes;
  Preferences prefs;
  NetworkResults results;
  prefs.Network = "\\\\srv\\x";
  probes.services.defaultShareCode = 1;
  refreshNetworkState(probes.probe, prefs, results);
  EXPECT_EQ(results.lastNetwork, 1);
  EXPECT_EQ(results.lastDialUp, 0);
}

TEST(NetworkStateRefresh, DunPreferenceSetsTheDialUpResultToo) {
  FakeProbes probes;
  Preferences prefs;
  NetworkResults results{5, 7};
  prefs.Network = "DUN";
  probes.services.dialUpCode = -1;
  refreshNetworkState(probes.probe, prefs, results);
  EXPECT_EQ(results.lastNetwork, -1);
  EXPECT_EQ(results.lastDialUp, -1);
}

struct ReportCase {
  std::int32_t code;
  const char* text;
  const char* report;
  ReportSeverity severity;
};

class NetworkReportTest : public ::testing::TestWithParam<ReportCase> {};

TEST_P(NetworkReportTest, TextAndSeverity) {
  EXPECT_EQ(networkTestReport(GetParam().code, GetParam().text), GetParam().report);
  EXPECT_EQ(networkTestSeverity(GetParam().code), GetParam().severity);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NetworkReportTest,
    ::testing::Values(ReportCase{1, "", "Network Present (MS Logon)", ReportSeverity::Information},
                      ReportCase{0, "DUN", "Network detect failed (DUN)", ReportSeverity::Warning},
                      ReportCase{-53, "\\\\srv\\x", "No Network: Rc-53 (\\\\srv\\x)", ReportSeverity::Error},
                      ReportCase{-1222, "", "No Network: Rc-1222 (MS Logon)", ReportSeverity::Error},
                      ReportCase{7, "dun", "Network Present (dun)", ReportSeverity::Information}));

}  // namespace
}  // namespace kip::test
