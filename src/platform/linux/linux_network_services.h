#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/name_resolver.h"
#include "platform/linux/dos_devices.h"
#include "platform/linux/smb_share_client.h"
#include "platform/network_services.h"

namespace kip {

// Where the kernel lists its routes.
struct RouteFiles {
  std::string ipv4 = "/proc/net/route";
  std::string ipv6 = "/proc/net/ipv6_route";
};

// One network interface as getifaddrs reports it.
struct InterfaceFacts {
  std::string name;
  unsigned flags = 0;       // IFF_UP, IFF_RUNNING, IFF_LOOPBACK, IFF_POINTOPOINT, ...
  bool hasAddress = false;  // an IPv4 or IPv6 address is assigned
};

// The network probe's local forms on Linux: interfaces and routes for the network logon and dial-up
// tests, libsmbclient for shares, dosdevices for drive paths.
class LinuxNetworkServices final : public NetworkServices {
 public:
  LinuxNetworkServices(NameResolver& resolver, DosDevices drives, SmbSettings smb = {}, RouteFiles routes = {});
  // Drives from KIPLAUNCH_DOSDEVICES (else the default folder), the SMB port from KIPLAUNCH_SMB_PORT
  // (meant for tests that run their own server; default 445).
  static std::unique_ptr<LinuxNetworkServices> fromEnvironment(NameResolver& resolver);

  std::int32_t networkLogon() override;
  std::int32_t dialUp() override;
  std::int32_t connectShare(std::string_view unc) override;
  std::int32_t pathPresence(std::string_view path) override;

 private:
  DosDevices m_drives;
  SmbShareClient m_shares;
  RouteFiles m_routes;
};

// The interfaces of this network namespace; nullopt when they cannot be read.
std::optional<std::vector<InterfaceFacts>> readInterfaces();
// The devices of the up default routes that can carry traffic (no reject or blackhole route) in the text
// of /proc/net/route.
std::vector<std::string> ipv4DefaultRoutes(std::string_view routeTable);
// The same for the text of /proc/net/ipv6_route.
std::vector<std::string> ipv6DefaultRoutes(std::string_view routeTable);
// 1 when an interface other than loopback is up with carrier and an address and one of the default routes
// leads through it; else -1222.
std::int32_t networkLogonCode(const std::vector<InterfaceFacts>& interfaces,
                              const std::vector<std::string>& defaultRouteDevices);
// 1 when an interface other than loopback is up with carrier and point-to-point; else -1.
std::int32_t dialUpCode(const std::vector<InterfaceFacts>& interfaces);
// The local path test of a Linux path: 1 present (access denied and no medium included), else minus the
// Windows error (2 missing file, 3 missing folder on the way).
std::int32_t linuxPathPresence(const std::string& path);

}  // namespace kip
