#pragma once

#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kip {

// A numeric IPv4 or IPv6 address, as a name lookup returns it.
class IpAddress {
 public:
  IpAddress() = default;

  // Parses a numeric address ("127.0.0.1", "::1", "fe80::1%eth0"); nullopt for anything else.
  // Never asks a name service.
  static std::optional<IpAddress> parse(std::string_view text);
  // The address of a socket address of family AF_INET or AF_INET6.
  static std::optional<IpAddress> fromSockaddr(const sockaddr* address);

  [[nodiscard]] bool isV6() const { return m_v6; }
  // Dotted decimal for IPv4, the usual colon form for IPv6.
  [[nodiscard]] std::string toString() const;
  // Fills storage with the address and port; returns the length of the socket address.
  socklen_t toSockaddr(std::uint16_t port, sockaddr_storage& storage) const;

 private:
  bool m_v6 = false;
  std::array<std::uint8_t, 16> m_bytes{};
  std::uint32_t m_scope = 0;
};

}  // namespace kip
