#include <net/if.h>

#include <gtest/gtest.h>

#include "doubles/child_process.h"
#include "doubles/fake_probes.h"
#include "platform/linux/linux_network_services.h"

namespace kip::test {
namespace {

constexpr const char* kRouteTitles =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

TEST(RouteTables, Ipv4DefaultRoute) {
  EXPECT_TRUE(
      ipv4DefaultRoute(std::string(kRouteTitles) + "eth0\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n"));
  // A network route is no default route.
  EXPECT_FALSE(
      ipv4DefaultRoute(std::string(kRouteTitles) + "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"));
  // Down, rejecting or on loopback.
  EXPECT_FALSE(
      ipv4DefaultRoute(std::string(kRouteTitles) + "eth0\t00000000\t010200C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n"));
  EXPECT_FALSE(
      ipv4DefaultRoute(std::string(kRouteTitles) + "eth0\t00000000\t00000000\t0201\t0\t0\t0\t00000000\t0\t0\t0\n"));
  EXPECT_FALSE(
      ipv4DefaultRoute(std::string(kRouteTitles) + "lo\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n"));
  EXPECT_FALSE(ipv4DefaultRoute(kRouteTitles));
  EXPECT_FALSE(ipv4DefaultRoute("garbage\nmore garbage here\n"));
}

TEST(RouteTables, Ipv6DefaultRoute) {
  const std::string zeros(32, '0');
  const std::string reject =
      zeros + " 00 " + zeros + " 00 " + zeros + " ffffffff 00000001 00000000 00200200       lo\n";
  const std::string local =
      std::string(31, '0') + "1 80 " + zeros + " 00 " + zeros + " 00000000 00000002 00000000 80200001       lo\n";
  const std::string viaEth = zeros + " 00 " + zeros +
                             " 00 fe800000000000000000000000000001 00000400 00000001 "
                             "00000000 00450003     eth0\n";
  EXPECT_FALSE(ipv6DefaultRoute(reject + local));
  EXPECT_TRUE(ipv6DefaultRoute(reject + local + viaEth));
  EXPECT_FALSE(ipv6DefaultRoute(""));
}

TEST(InterfaceRules, NetworkLogonNeedsAnUpInterfaceWithAnAddressAndARoute) {
  const InterfaceFacts lo{"lo", IFF_UP | IFF_LOOPBACK, true};
  const InterfaceFacts eth{"eth0", IFF_UP | IFF_BROADCAST, true};
  const InterfaceFacts ethDown{"eth1", IFF_BROADCAST, true};
  const InterfaceFacts bare{"eth2", IFF_UP, false};
  EXPECT_EQ(networkLogonCode({lo, eth}, true), 1);
  EXPECT_EQ(networkLogonCode({lo, eth}, false), -1222);
  EXPECT_EQ(networkLogonCode({lo, ethDown, bare}, true), -1222);
  EXPECT_EQ(networkLogonCode({}, true), -1222);
}

TEST(InterfaceRules, DialUpNeedsAnUpPointToPointLink) {
  const InterfaceFacts lo{"lo", IFF_UP | IFF_LOOPBACK, true};
  const InterfaceFacts ppp{"ppp0", IFF_UP | IFF_POINTOPOINT, true};
  const InterfaceFacts pppDown{"ppp1", IFF_POINTOPOINT, true};
  const InterfaceFacts eth{"eth0", IFF_UP | IFF_BROADCAST, true};
  EXPECT_EQ(dialUpCode({lo, eth, ppp}), 1);
  EXPECT_EQ(dialUpCode({lo, eth, pppDown}), -1);
  EXPECT_EQ(dialUpCode({InterfaceFacts{"lo", IFF_UP | IFF_LOOPBACK | IFF_POINTOPOINT, true}}), -1);
}

TEST(NetworkLogonProbe, RealInterfacesWithRouteTablesFromFiles) {
  TempDir dir;
  writeFile(dir.file("route"),
            std::string(kRouteTitles) + "ethX\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n");
  writeFile(dir.file("empty"), kRouteTitles);
  const auto interfaces = readInterfaces();
  ASSERT_TRUE(interfaces.has_value());
  bool addressed = false;
  for (const auto& facts : *interfaces)
    if ((facts.flags & IFF_UP) && !(facts.flags & IFF_LOOPBACK) && facts.hasAddress) addressed = true;

  FakeNameResolver resolver;
  LinuxNetworkServices withRoute(resolver, DosDevices(dir.path()), {}, {dir.file("route"), dir.file("missing")});
  EXPECT_EQ(withRoute.networkLogon(), addressed ? 1 : -1222);
  LinuxNetworkServices noRoute(resolver, DosDevices(dir.path()), {}, {dir.file("empty"), dir.file("missing")});
  EXPECT_EQ(noRoute.networkLogon(), -1222);
  LinuxNetworkServices unreadable(resolver, DosDevices(dir.path()), {}, {dir.file("missing"), dir.file("missing")});
  EXPECT_EQ(unreadable.networkLogon(), 0);
}

TEST(NetworkLogonProbe, SystemTablesAgreeWithTheKernelsView) {
  FakeNameResolver resolver;
  LinuxNetworkServices services(resolver, DosDevices("/nonexistent"));
  const auto code = services.networkLogon();
  const auto v4 = readFile("/proc/net/route");
  const auto v6 = readFile("/proc/net/ipv6_route");
  const bool route = ipv4DefaultRoute(v4) || ipv6DefaultRoute(v6);
  EXPECT_EQ(code, networkLogonCode(*readInterfaces(), route));
  EXPECT_NE(code, 0);
}

}  // namespace
}  // namespace kip::test
