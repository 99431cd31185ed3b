#include <gtest/gtest.h>

#include "conditions/host_probe_runner.h"
#include "doubles/fake_probes.h"
#include "loopback_http_server.h"
#include "net/icmp_echo.h"
#include "net/system_name_resolver.h"

namespace kip::test {
namespace {

bool icmpAvailable() { return IcmpEcho(false).isOpen(); }

class HostProbeTest : public ::testing::Test {
 protected:
  HostProbeTest() {
    limits.httpConnect = std::chrono::milliseconds(2000);
    limits.httpTotal = std::chrono::milliseconds(2000);
    limits.echo.timeout = std::chrono::milliseconds(1000);
  }
  FakeNameResolver resolver;
  HostProbeLimits limits;
};

TEST_F(HostProbeTest, PingOfLoopbackIsPresent) {
  if (!icmpAvailable()) GTEST_SKIP() << "no ICMP socket can be opened here";
  HostProbeRunner runner(resolver, limits);
  EXPECT_EQ(runner.probe("127.0.0.1", "", ""), 1);
  // A proxy serves HTTP only; the ping still goes direct.
  EXPECT_EQ(runner.probe("127.0.0.1", "10.255.255.1", "3128"), 1);
}

TEST_F(HostProbeTest, PingOfAResolvedName) {
  if (!icmpAvailable()) GTEST_SKIP() << "no ICMP socket can be opened here";
  resolver.addresses["box.test"] = "127.0.0.1";
  HostProbeRunner runner(resolver, limits);
  EXPECT_EQ(runner.probe("box.test", "", ""), 1);
  EXPECT_EQ(resolver.asked, std::vector<std::string>{"box.test"});
}

TEST_F(HostProbeTest, LocalhostThroughTheSystemResolver) {
  if (!icmpAvailable()) GTEST_SKIP() << "no ICMP socket can be opened here";
  SystemNameResolver system;
  HostProbeRunner runner(system, limits);
  EXPECT_EQ(runner.probe("localhost", "", ""), 1);
}

TEST_F(HostProbeTest, LookupFailureIsMinusOne) {
  HostProbeRunner runner(resolver, limits);
  EXPECT_EQ(runner.probe("nowhere.test", "", ""), -1);
  resolver.missStatus = LookupStatus::TimedOut;
  EXPECT_EQ(runner.probe("slow.test", "", ""), -1);
}

TEST_F(HostProbeTest, HttpsIsTakenForAHostNameAndFailsItsLookup) {
  SystemNameResolver system;  // refuses the name before any request: it cannot be a host
  HostProbeRunner runner(system, limits);
  EXPECT_EQ(runner.probe("https://127.0.0.1/", "", ""), -1);
  EXPECT_EQ(runner.probe("   ", "", ""), -1);
  EXPECT_EQ(runner.probe("bad host!", "", ""), -1);
}

TEST_F(HostProbeTest, HttpTargetInAnyCaseRunsTheHeadRequest) {
  LoopbackHttpServer server(200);
  HostProbeRunner runner(resolver, limits);
  const std::string port = std::to_string(server.port());
  EXPECT_EQ(runner.probe("http://127.0.0.1:" + port + "/", "", ""), 1);
  EXPECT_EQ(runner.probe("hTtP:\\\\127.0.0.1:" + port + "\\x", "", ""), 1);
  const auto lines = server.requestLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "HEAD /x HTTP/1.1");
}

TEST_F(HostProbeTest, HttpThroughTheRunningProxy) {
  LoopbackHttpServer proxy(407);
  HostProbeRunner runner(resolver, limits);
  EXPECT_EQ(runner.probe("http://web.test/", "127.0.0.1", std::to_string(proxy.port())), -407);
  EXPECT_EQ(proxy.requestLines().size(), 1u);
}

TEST_F(HostProbeTest, ProxyPortThatIsNoNumberFailsWithoutARequest) {
  LoopbackHttpServer server(200);
  HostProbeRunner runner(resolver, limits);
  EXPECT_EQ(runner.probe(server.url("/"), "127.0.0.1", "eighty"), -1);
  EXPECT_TRUE(server.requestLines().empty());
}

TEST_F(HostProbeTest, SilentServerEndsWithinTheTotalLimit) {
  LoopbackHttpServer server(200, LoopbackHttpServer::Mode::Silent);
  limits.httpTotal = std::chrono::milliseconds(300);
  HostProbeRunner runner(resolver, limits);
  EXPECT_EQ(runner.probe(server.url("/"), "", ""), -1);
}

}  // namespace
}  // namespace kip::test
