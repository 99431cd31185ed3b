#include "platform/linux/linux_network_services.h"

#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/route.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "base/win_error.h"

namespace kip {

namespace {

constexpr unsigned kRejectRoute = 0x0200;

std::optional<std::string> readWhole(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool parseHex(std::string_view text, unsigned long& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  return ec == std::errc() && end == text.data() + text.size();
}

bool isParentFolder(const std::string& path) {
  std::string_view trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.remove_suffix(1);
  const auto slash = trimmed.rfind('/');
  const std::string parent(slash == std::string_view::npos ? std::string_view(".")
                           : slash == 0                    ? std::string_view("/")
                                                           : trimmed.substr(0, slash));
  struct stat info {};
  return stat(parent.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::uint16_t smbPortFromEnvironment() {
  const char* text = std::getenv("KIPLAUNCH_SMB_PORT");
  if (!text || !*text) return 445;
  unsigned value = 0;
  const std::string_view view(text);
  const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), value);
  if (ec != std::errc() || end != view.data() + view.size() || value == 0 || value > 65535) return 445;
  return static_cast<std::uint16_t>(value);
}

}  // namespace

std::optional<std::vector<InterfaceFacts>> readInterfaces() {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return std::nullopt;
  std::vector<InterfaceFacts> interfaces;
  for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
    if (!entry->ifa_name) continue;
    InterfaceFacts* facts = nullptr;
    for (auto& known : interfaces)
      if (known.name == entry->ifa_name) facts = &known;
    if (!facts) {
      interfaces.push_back({entry->ifa_name, entry->ifa_flags, false});
      facts = &interfaces.back();
    }
    facts->flags |= entry->ifa_flags;
    if (entry->ifa_addr && (entry->ifa_addr->sa_family == AF_INET || entry->ifa_addr->sa_family == AF_INET6))
      facts->hasAddress = true;
  }
  freeifaddrs(list);
  return interfaces;
}

std::vector<std::string> ipv4DefaultRoutes(std::string_view routeTable) {
  std::vector<std::string> devices;
  std::istringstream lines{std::string(routeTable)};
  std::string line;
  std::getline(lines, line);  // the column titles
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string iface, destination, gateway, flags, refCount, use, metric, mask;
    if (!(fields >> iface >> destination >> gateway >> flags >> refCount >> use >> metric >> mask)) continue;
    unsigned long dest = 1, netmask = 1, routeFlags = 0;
    if (!parseHex(destination, dest) || !parseHex(mask, netmask) || !parseHex(flags, routeFlags)) continue;
    // A blackhole route has no device ("*"); unreachable and prohibit routes carry the reject flag.
    if (dest == 0 && netmask == 0 && (routeFlags & RTF_UP) && !(routeFlags & kRejectRoute) && iface != "*")
      devices.push_back(iface);
  }
  return devices;
}

std::vector<std::string> ipv6DefaultRoutes(std::string_view routeTable) {
  std::vector<std::string> devices;
  std::istringstream lines{std::string(routeTable)};
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string destination, prefix, source, sourcePrefix, nextHop, metric, refCount, use, flags, iface;
    if (!(fields >> destination >> prefix >> source >> sourcePrefix >> nextHop >> metric >> refCount >> use >> flags >>
          iface))
      continue;
    unsigned long prefixLength = 1, routeFlags = 0;
    if (!parseHex(prefix, prefixLength) || !parseHex(flags, routeFlags)) continue;
    if (destination.find_first_not_of('0') != std::string::npos || prefixLength != 0) continue;
    if ((routeFlags & RTF_UP) && !(routeFlags & kRejectRoute)) devices.push_back(iface);
  }
  return devices;
}

namespace {

// Up with carrier: a cable plugged in, a tunnel held by its program.
bool carries(const InterfaceFacts& facts) {
  return (facts.flags & IFF_UP) && (facts.flags & IFF_RUNNING) && !(facts.flags & IFF_LOOPBACK);
}

}  // namespace

std::int32_t networkLogonCode(const std::vector<InterfaceFacts>& interfaces,
                              const std::vector<std::string>& defaultRouteDevices) {
  for (const auto& facts : interfaces) {
    if (!carries(facts) || !facts.hasAddress) continue;
    for (const auto& device : defaultRouteDevices)
      if (device == facts.name) return 1;
  }
  return -win::kNoNetwork;
}

std::int32_t dialUpCode(const std::vector<InterfaceFacts>& interfaces) {
  for (const auto& facts : interfaces)
    if (carries(facts) && (facts.flags & IFF_POINTOPOINT)) return 1;
  return -1;
}

std::int32_t linuxPathPresence(const std::string& path) {
  if (path.empty()) return -win::kPathNotFound;
  const int fd = open(path.c_str(), O_PATH | O_CLOEXEC);
  if (fd >= 0) {
    close(fd);
    return 1;
  }
  const int err = errno;
  if (err == EACCES || err == EPERM || err == ENOMEDIUM) return 1;
  if (err == ENOENT) return isParentFolder(path) ? -win::kFileNotFound : -win::kPathNotFound;
  return -winErrorFromErrno(err);
}

LinuxNetworkServices::LinuxNetworkServices(NameResolver& resolver, DosDevices drives, SmbSettings smb,
                                           RouteFiles routes)
    : m_drives(std::move(drives)), m_shares(resolver, smb), m_routes(std::move(routes)) {}

std::unique_ptr<LinuxNetworkServices> LinuxNetworkServices::fromEnvironment(NameResolver& resolver) {
  SmbSettings smb;
  smb.port = smbPortFromEnvironment();
  return std::make_unique<LinuxNetworkServices>(resolver, DosDevices::fromEnvironment(), smb);
}

std::int32_t LinuxNetworkServices::networkLogon() {
  const auto interfaces = readInterfaces();
  if (!interfaces) return 0;
  const auto v4 = readWhole(m_routes.ipv4);
  const auto v6 = readWhole(m_routes.ipv6);
  if (!v4 && !v6) return 0;
  std::vector<std::string> devices;
  if (v4) devices = ipv4DefaultRoutes(*v4);
  if (v6)
    for (auto& device : ipv6DefaultRoutes(*v6)) devices.push_back(std::move(device));
  return networkLogonCode(*interfaces, devices);
}

std::int32_t LinuxNetworkServices::dialUp() {
  const auto interfaces = readInterfaces();
  if (!interfaces) return -1;
  return dialUpCode(*interfaces);
}

std::int32_t LinuxNetworkServices::connectShare(std::string_view unc) { return m_shares.connect(unc); }

std::int32_t LinuxNetworkServices::pathPresence(std::string_view path) {
  if (!path.empty() && path.front() == '/') return linuxPathPresence(std::string(path));
  if (!isDrivePath(path)) return -win::kPathNotFound;
  const auto folder = m_drives.driveFolder(path[0]);
  if (!folder) return -win::kInvalidDrive;
  // A drive whose link leads nowhere has no folder to look in.
  struct stat info {};
  if (stat(folder->c_str(), &info) != 0) return -win::kPathNotFound;
  return linuxPathPresence(*m_drives.map(path));
}

}  // namespace kip
