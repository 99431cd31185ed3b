#include "net/icmp_echo.h"

#include <netinet/in.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>
#include <vector>

namespace kip {

namespace {

constexpr std::uint8_t kEchoRequestV4 = 8;
constexpr std::uint8_t kEchoReplyV4 = 0;
constexpr std::uint8_t kEchoRequestV6 = 128;
constexpr std::uint8_t kEchoReplyV6 = 129;
constexpr std::size_t kIcmpHeader = 8;

std::uint16_t readBig16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }

void writeBig16(std::uint8_t* p, std::uint16_t value) {
  p[0] = static_cast<std::uint8_t>(value >> 8);
  p[1] = static_cast<std::uint8_t>(value & 0xFF);
}

std::uint16_t freshId() {
  static std::atomic<std::uint16_t> counter{static_cast<std::uint16_t>(std::random_device{}())};
  return counter.fetch_add(1);
}

}  // namespace

std::uint16_t internetChecksum(const std::uint8_t* data, std::size_t length) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < length; i += 2) sum += readBig16(data + i);
  if (length % 2 != 0) sum += static_cast<std::uint32_t>(data[length - 1]) << 8;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

IcmpEcho::IcmpEcho(bool ipv6, EchoSettings settings) : m_settings(settings), m_v6(ipv6), m_id(freshId()) {
  const int family = ipv6 ? AF_INET6 : AF_INET;
  const int protocol = ipv6 ? static_cast<int>(IPPROTO_ICMPV6) : static_cast<int>(IPPROTO_ICMP);
  m_fd = socket(family, SOCK_DGRAM | SOCK_CLOEXEC, protocol);
  if (m_fd < 0) {
    m_fd = socket(family, SOCK_RAW | SOCK_CLOEXEC, protocol);
    m_raw = m_fd >= 0;
  }
  if (m_fd < 0) return;
  const int ttl = m_settings.ttl;
  if (ipv6)
    setsockopt(m_fd, IPPROTO_IPV6, IPV6_UNICAST_HOPS, &ttl, sizeof ttl);
  else
    setsockopt(m_fd, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
}

IcmpEcho::~IcmpEcho() {
  if (m_fd >= 0) close(m_fd);
}

bool IcmpEcho::matchesReply(const std::uint8_t* packet, std::size_t length, std::size_t& dataSize) const {
  // A raw IPv4 socket hands over the IP header too; the other kinds start at the ICMP header.
  if (m_raw && !m_v6) {
    if (length < 20) return false;
    const std::size_t headerLength = static_cast<std::size_t>(packet[0] & 0x0F) * 4;
    if (headerLength < 20 || headerLength > length) return false;
    packet += headerLength;
    length -= headerLength;
  }
  if (length < kIcmpHeader) return false;
  if (packet[0] != (m_v6 ? kEchoReplyV6 : kEchoReplyV4) || packet[1] != 0) return false;
  // An unprivileged socket gets only its own replies, with an identifier the kernel chose.
  if (m_raw && readBig16(packet + 4) != m_id) return false;
  if (readBig16(packet + 6) != m_sequence) return false;
  dataSize = length - kIcmpHeader;
  return true;
}

EchoReply IcmpEcho::send(const IpAddress& target) {
  EchoReply reply;
  if (m_fd < 0) return reply;
  if (target.isV6() != m_v6) {
    reply.status = EchoStatus::SendFailed;
    return reply;
  }
  ++m_sequence;
  std::vector<std::uint8_t> request(kIcmpHeader + m_settings.dataSize);
  request[0] = m_v6 ? kEchoRequestV6 : kEchoRequestV4;
  writeBig16(request.data() + 4, m_id);
  writeBig16(request.data() + 6, m_sequence);
  for (std::size_t i = 0; i < m_settings.dataSize; ++i) request[kIcmpHeader + i] = static_cast<std::uint8_t>(i);
  // The kernel fills in the ICMPv6 checksum itself.
  if (!m_v6) writeBig16(request.data() + 2, internetChecksum(request.data(), request.size()));

  sockaddr_storage address{};
  const socklen_t length = target.toSockaddr(0, address);
  ssize_t sent;
  do {
    sent = sendto(m_fd, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&address), length);
  } while (sent < 0 && errno == EINTR);
  if (sent < 0) {
    reply.status = EchoStatus::SendFailed;
    return reply;
  }

  const auto deadline = std::chrono::steady_clock::now() + m_settings.timeout;
  std::vector<std::uint8_t> buffer(65536);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd fd{m_fd, POLLIN, 0};
    const int ready = poll(&fd, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    const ssize_t got = recv(m_fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      break;
    }
    std::size_t dataSize = 0;
    if (matchesReply(buffer.data(), static_cast<std::size_t>(got), dataSize)) {
      reply.status = EchoStatus::Reply;
      reply.dataSize = dataSize;
      return reply;
    }
  }
  reply.status = EchoStatus::TimedOut;
  return reply;
}

}  // namespace kip
