#include "net/ip_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cstring>

namespace kip {

std::optional<IpAddress> IpAddress::parse(std::string_view text) {
  if (text.empty() || text.size() > 255 || text.find('\0') != std::string_view::npos) return std::nullopt;
  const std::string host(text);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_flags = AI_NUMERICHOST;
  addrinfo* list = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || !list) return std::nullopt;
  auto address = fromSockaddr(list->ai_addr);
  freeaddrinfo(list);
  return address;
}

std::optional<IpAddress> IpAddress::fromSockaddr(const sockaddr* address) {
  if (!address) return std::nullopt;
  IpAddress result;
  if (address->sa_family == AF_INET) {
    sockaddr_in in{};
    std::memcpy(&in, address, sizeof in);
    std::memcpy(result.m_bytes.data(), &in.sin_addr, 4);
    return result;
  }
  if (address->sa_family == AF_INET6) {
    sockaddr_in6 in6{};
    std::memcpy(&in6, address, sizeof in6);
    result.m_v6 = true;
    std::memcpy(result.m_bytes.data(), &in6.sin6_addr, 16);
    result.m_scope = in6.sin6_scope_id;
    return result;
  }
  return std::nullopt;
}

std::string IpAddress::toString() const {
  char buffer[INET6_ADDRSTRLEN] = {};
  inet_ntop(m_v6 ? AF_INET6 : AF_INET, m_bytes.data(), buffer, sizeof buffer);
  return buffer;
}

socklen_t IpAddress::toSockaddr(std::uint16_t port, sockaddr_storage& storage) const {
  std::memset(&storage, 0, sizeof storage);
  if (m_v6) {
    sockaddr_in6 in6{};
    in6.sin6_family = AF_INET6;
    in6.sin6_port = htons(port);
    std::memcpy(&in6.sin6_addr, m_bytes.data(), 16);
    in6.sin6_scope_id = m_scope;
    std::memcpy(&storage, &in6, sizeof in6);
    return sizeof in6;
  }
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_port = htons(port);
  std::memcpy(&in.sin_addr, m_bytes.data(), 4);
  std::memcpy(&storage, &in, sizeof in);
  return sizeof in;
}

}  // namespace kip
