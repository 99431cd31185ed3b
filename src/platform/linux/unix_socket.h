#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

namespace kip {

// A connection to a local stream socket for one request, closed when done. Every send and receive waits at
// most the timeout given at the connection.
class UnixSocket {
 public:
  // Connects to the socket file; invalid() when it cannot.
  UnixSocket(const std::string& path, std::chrono::milliseconds timeout);
  ~UnixSocket();
  UnixSocket(const UnixSocket&) = delete;
  UnixSocket& operator=(const UnixSocket&) = delete;

  [[nodiscard]] bool connected() const { return m_fd >= 0; }
  // Sends all of the bytes; false when the peer went or the timeout passed.
  bool sendAll(const char* data, std::size_t size);
  bool sendAll(const std::string& data) { return sendAll(data.data(), data.size()); }
  // Receives exactly size bytes; false when the peer closed first or the timeout passed.
  bool receiveAll(char* data, std::size_t size);
  // Receives until the peer closes; nullopt when the timeout passed first or more than limit bytes came.
  std::optional<std::string> receiveToEnd(std::size_t limit);

 private:
  int m_fd = -1;
};

}  // namespace kip
