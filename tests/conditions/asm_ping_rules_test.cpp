#include <gtest/gtest.h>

#include "conditions/asm_ping.h"

namespace kip::test {
namespace {

TEST(AsmPingRules, HttpTargetsByTheirFirstFiveCharacters) {
  EXPECT_TRUE(isHttpTarget("http://host/"));
  EXPECT_TRUE(isHttpTarget("HtTp:\\\\host"));
  EXPECT_TRUE(isHttpTarget("HTTP:"));
  EXPECT_FALSE(isHttpTarget("https://host/"));
  EXPECT_FALSE(isHttpTarget("http"));
  EXPECT_FALSE(isHttpTarget(" http://host/"));
}

TEST(AsmPingRules, BackslashesAreSentAsSlashesKeepingCase) {
  EXPECT_EQ(httpUrlOf("HTTP:\\\\Host\\A\\b.html"), "HTTP://Host/A/b.html");
}

TEST(AsmPingRules, OutcomeCodes) {
  EXPECT_EQ(httpProbeCode({HttpStatusKind::Done, 200, {}}), 1);
  EXPECT_EQ(httpProbeCode({HttpStatusKind::Done, 304, {}}), 1);
  EXPECT_EQ(httpProbeCode({HttpStatusKind::ErrorStatus, 404, {}}), -404);
  EXPECT_EQ(httpProbeCode({HttpStatusKind::ErrorStatus, 407, {}}), -407);
  EXPECT_EQ(httpProbeCode({HttpStatusKind::ErrorStatus, 500, {}}), -500);
  EXPECT_EQ(httpProbeCode({HttpStatusKind::Unreachable, 0, {}}), -404);
  EXPECT_EQ(httpProbeCode({HttpStatusKind::NoStatus, 0, {}}), -1);
}

TEST(AsmPingRules, ProxyPortText) {
  EXPECT_EQ(proxyPortOf(""), 80);
  EXPECT_EQ(proxyPortOf("3128"), 3128);
  EXPECT_EQ(proxyPortOf("65535"), 65535);
  EXPECT_FALSE(proxyPortOf("0").has_value());
  EXPECT_FALSE(proxyPortOf("65536").has_value());
  EXPECT_FALSE(proxyPortOf("80a").has_value());
  EXPECT_FALSE(proxyPortOf(" 80").has_value());
  EXPECT_FALSE(proxyPortOf("-1").has_value());
}

}  // namespace
}  // namespace kip::test
