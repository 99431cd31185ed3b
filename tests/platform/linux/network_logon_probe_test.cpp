#include <net/if.h>

#include <gtest/gtest.h>

#include "doubles/child_process.h"
#include "doubles/fake_probes.h"
#include "platform/linux/linux_network_services.h"

namespace kip::test {
namespace {

constexpr const char* kRouteTitles =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

using Devices = std::vector<std::string>;

TEST(RouteTables, Ipv4DefaultRoute) {
  const auto routes = [](const std::string& rows) { return ipv4DefaultRoutes(std::string(kRouteTitles) + rows); };
  EXPECT_EQ(routes("eth0\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n"), Devices{"eth0"});
  // A network route is no default route.
  EXPECT_EQ(routes("eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"), Devices{});
  // Down, rejecting, or a blackhole (no device).
  EXPECT_EQ(routes("eth0\t00000000\t010200C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n"), Devices{});
  EXPECT_EQ(routes("eth0\t00000000\t00000000\t0201\t0\t0\t0\t00000000\t0\t0\t0\n"), Devices{});
  EXPECT_EQ(routes("*\t00000000\t00000000\t0001\t0\t0\t5\t00000000\t0\t0\t0\n"), Devices{});
  EXPECT_EQ(ipv4DefaultRoutes(kRouteTitles), Devices{});
  EXPECT_EQ(ipv4DefaultRoutes("garbage\nmore garbage here\n"), Devices{});
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
  EXPECT_EQ(ipv6DefaultRoutes(reject + local), Devices{});
  EXPECT_EQ(ipv6DefaultRoutes(reject + local + viaEth), Devices{"eth0"});
  EXPECT_EQ(ipv6DefaultRoutes(""), Devices{});
}

TEST(InterfaceRules, NetworkLogonNeedsACarryingInterfaceWithAnAddressAndARouteThroughIt) {
  const InterfaceFacts lo{"lo", IFF_UP | IFF_RUNNING | IFF_LOOPBACK, true};
  const InterfaceFacts eth{"eth0", IFF_UP | IFF_RUNNING | IFF_BROADCAST, true};
  const InterfaceFacts unplugged{"eth1", IFF_UP | IFF_BROADCAST, true};
  const InterfaceFacts ethDown{"eth1", IFF_BROADCAST, true};
  const InterfaceFacts bare{"eth2", IFF_UP | IFF_RUNNING, false};
  EXPECT_EQ(networkLogonCode({lo, eth}, {"eth0"}), 1);
  EXPECT_EQ(networkLogonCode({lo, eth}, {}), -1222);
  EXPECT_EQ(networkLogonCode({lo, eth}, {"lo"}), -1222);
  EXPECT_EQ(networkLogonCode({lo, eth, unplugged}, {"eth1"}), -1222);
  EXPECT_EQ(networkLogonCode({lo, ethDown, bare}, {"eth1", "eth2"}), -1222);
  EXPECT_EQ(networkLogonCode({}, {"eth0"}), -1222);
}

TEST(InterfaceRules, DialUpNeedsACarryingPointToPointLink) {
  const InterfaceFacts lo{"lo", IFF_UP | IFF_RUNNING | IFF_LOOPBACK, true};
  const InterfaceFacts ppp{"ppp0", IFF_UP | IFF_RUNNING | IFF_POINTOPOINT, true};
  const InterfaceFacts pppDown{"ppp1", IFF_POINTOPOINT, true};
  const InterfaceFacts unheldTun{"tun0", IFF_UP | IFF_POINTOPOINT, false};
  const InterfaceFacts eth{"eth0", IFF_UP | IFF_RUNNING | IFF_BROADCAST, true};
  EXPECT_EQ(dialUpCode({lo, eth, ppp}), 1);
  EXPECT_EQ(dialUpCode({lo, eth, pppDown, unheldTun}), -1);
  EXPECT_EQ(dialUpCode({InterfaceFacts{"lo", IFF_UP | IFF_RUNNING | IFF_LOOPBACK | IFF_POINTOPOINT, true}}), -1);
}

TEST(NetworkLogonProbe, RealInterfacesWithRouteTablesFromFiles) {
  TempDir dir;
  const auto interfaces = readInterfaces();
  ASSERT_TRUE(interfaces.has_value());
  std::string carrying = "ethX";
  for (const auto& facts : *interfaces)
    if ((facts.flags & IFF_UP) && (facts.flags & IFF_RUNNING) && !(facts.flags & IFF_LOOPBACK) && facts.hasAddress)
      carrying = facts.name;
  const bool addressed = carrying != "ethX";
  writeFile(dir.file("route"),
            std::string(kRouteTitles) + carrying + "\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n");
  writeFile(dir.file("empty"), kRouteTitles);

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
  auto devices = ipv4DefaultRoutes(v4);
  for (auto& device : ipv6DefaultRoutes(v6)) devices.push_back(device);
  EXPECT_EQ(code, networkLogonCode(*readInterfaces(), devices));
  EXPECT_NE(code, 0);
}

}  // namespace
}  // namespace kip::test
