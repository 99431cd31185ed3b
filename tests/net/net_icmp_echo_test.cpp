#include "net/icmp_echo.h"

#include <gtest/gtest.h>

namespace kip::test {
namespace {

// Opens an echo socket for a family, or skips the test with the reason when the system allows none.
#define REQUIRE_OPEN(echo) \
  if (!(echo).isOpen())    \
  GTEST_SKIP() << "no ICMP socket: ping_group_range excludes this group and raw sockets need CAP_NET_RAW"

TEST(IcmpEcho, LoopbackAnswersWithTheDataItWasSent) {
  IcmpEcho echo(false);
  REQUIRE_OPEN(echo);
  const auto reply = echo.send(*IpAddress::parse("127.0.0.1"));
  EXPECT_EQ(reply.status, EchoStatus::Reply);
  EXPECT_EQ(reply.dataSize, 56u);
}

TEST(IcmpEcho, EveryLoopbackAddressAnswers) {
  IcmpEcho echo(false);
  REQUIRE_OPEN(echo);
  EXPECT_EQ(echo.send(*IpAddress::parse("127.0.0.2")).status, EchoStatus::Reply);
  // A second request on the same socket is matched by its own sequence number.
  EXPECT_EQ(echo.send(*IpAddress::parse("127.0.0.1")).status, EchoStatus::Reply);
}

TEST(IcmpEcho, Ipv6LoopbackAnswers) {
  IcmpEcho echo(true);
  REQUIRE_OPEN(echo);
  const auto reply = echo.send(*IpAddress::parse("::1"));
  if (reply.status == EchoStatus::SendFailed) GTEST_SKIP() << "IPv6 loopback is not configured here";
  EXPECT_EQ(reply.status, EchoStatus::Reply);
  EXPECT_EQ(reply.dataSize, 56u);
}

TEST(IcmpEcho, AddressOfTheOtherFamilyIsNotSent) {
  IcmpEcho echo(false);
  REQUIRE_OPEN(echo);
  EXPECT_EQ(echo.send(*IpAddress::parse("::1")).status, EchoStatus::SendFailed);
}

TEST(IcmpEcho, ChecksumOfAKnownHeader) {
  // An echo request header with identifier 1 and sequence 1, checksum field zero.
  const std::uint8_t header[] = {8, 0, 0, 0, 0, 1, 0, 1};
  EXPECT_EQ(internetChecksum(header, sizeof header), 0xF7FD);
  const std::uint8_t odd[] = {0x01};
  EXPECT_EQ(internetChecksum(odd, 1), 0xFEFF);
}

}  // namespace
}  // namespace kip::test
