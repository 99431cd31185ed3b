#include "platform/linux/unix_socket.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kip {

UnixSocket::UnixSocket(const std::string& path, std::chrono::milliseconds timeout) {
  sockaddr_un address{};
  if (path.empty() || path.size() >= sizeof address.sun_path) return;
  m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_fd < 0) return;
  timeval limit{};
  limit.tv_sec = static_cast<time_t>(timeout.count() / 1000);
  limit.tv_usec = static_cast<suseconds_t>(timeout.count() % 1000 * 1000);
  setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size());
  if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(m_fd);
    m_fd = -1;
  }
}

UnixSocket::~UnixSocket() {
  if (m_fd >= 0) ::close(m_fd);
}

bool UnixSocket::sendAll(const char* data, std::size_t size) {
  if (m_fd < 0) return false;
  while (size > 0) {
    const ssize_t sent = ::send(m_fd, data, size, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

bool UnixSocket::receiveAll(char* data, std::size_t size) {
  if (m_fd < 0) return false;
  while (size > 0) {
    const ssize_t got = ::recv(m_fd, data, size, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    data += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

std::optional<std::string> UnixSocket::receiveToEnd(std::size_t limit) {
  if (m_fd < 0) return std::nullopt;
  std::string received;
  char buffer[16384];
  for (;;) {
    const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) return received;
    if (received.size() + static_cast<std::size_t>(got) > limit) return std::nullopt;
    received.append(buffer, static_cast<std::size_t>(got));
  }
}

}  // namespace kip
