#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "net/ip_address.h"

namespace kip {

// The echo request the host test sends: its data size, how long it waits and its time-to-live.
struct EchoSettings {
  std::size_t dataSize = 56;
  std::chrono::milliseconds timeout{4000};
  int ttl = 64;
};

enum class EchoStatus {
  Reply,       // an echo reply came back
  TimedOut,    // nothing came back in time
  NoSocket,    // neither an unprivileged nor a raw ICMP socket could be opened
  SendFailed,  // the request could not be sent (no route, say)
};

struct EchoReply {
  EchoStatus status = EchoStatus::NoSocket;
  std::size_t dataSize = 0;  // bytes of data the reply carried
};

// One ICMP echo socket of one address family: an unprivileged ICMP socket where the system allows it
// (net.ipv4.ping_group_range), else a raw socket.
class IcmpEcho {
 public:
  explicit IcmpEcho(bool ipv6, EchoSettings settings = {});
  ~IcmpEcho();
  IcmpEcho(const IcmpEcho&) = delete;
  IcmpEcho& operator=(const IcmpEcho&) = delete;

  [[nodiscard]] bool isOpen() const { return m_fd >= 0; }
  // True when the socket is the raw fallback.
  [[nodiscard]] bool isRaw() const { return m_raw; }
  // Sends one echo request to target (of this socket's family) and waits for its reply or the time-out.
  EchoReply send(const IpAddress& target);

 private:
  bool matchesReply(const std::uint8_t* packet, std::size_t length, std::size_t& dataSize) const;

  EchoSettings m_settings;
  bool m_v6 = false;
  bool m_raw = false;
  int m_fd = -1;
  std::uint16_t m_id = 0;
  std::uint16_t m_sequence = 0;
};

// The Internet checksum of a buffer.
std::uint16_t internetChecksum(const std::uint8_t* data, std::size_t length);

}  // namespace kip
