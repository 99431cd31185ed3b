#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kip::test {

// A one-thread HTTP server on 127.0.0.1 for tests and benchmarks. It answers every request with the
// same reply, or, when silent, accepts and never answers. It stops when destroyed; every wait in it is
// bounded by a short poll so that it notices.
class LoopbackHttpServer {
 public:
  enum class Mode { Status, Silent, Garbage };

  explicit LoopbackHttpServer(int status = 200, Mode mode = Mode::Status) : m_status(status), m_mode(mode) {
    m_listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listen < 0) return;
    const int on = 1;
    setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(m_listen, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(m_listen, 16) != 0 ||
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      close(m_listen);
      m_listen = -1;
      return;
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
  }

  ~LoopbackHttpServer() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    for (const int fd : m_held) close(fd);
    if (m_listen >= 0) close(m_listen);
  }
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  [[nodiscard]] bool running() const { return m_port != 0; }
  [[nodiscard]] std::uint16_t port() const { return m_port; }
  [[nodiscard]] std::string url(const std::string& path = "/") const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
  }
  // The request lines received so far ("HEAD /x HTTP/1.1"), in order.
  std::vector<std::string> requestLines() {
    const std::lock_guard lock(m_mutex);
    return m_requests;
  }
  // Extra header lines sent with every status reply (each ending in "\r\n").
  void setExtraHeaders(std::string headers) {
    const std::lock_guard lock(m_mutex);
    m_extraHeaders = std::move(headers);
  }

 private:
  void serve() {
    while (!m_stop) {
      pollfd fd{m_listen, POLLIN, 0};
      if (poll(&fd, 1, 20) <= 0) continue;
      const int client = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      handle(client);
    }
  }

  void handle(int client) {
    std::string request;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (request.find("\r\n\r\n") == std::string::npos && std::chrono::steady_clock::now() < deadline && !m_stop) {
      pollfd fd{client, POLLIN, 0};
      if (poll(&fd, 1, 20) <= 0) continue;
      char buffer[2048];
      const ssize_t n = recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      request.append(buffer, static_cast<std::size_t>(n));
    }
    std::string extra;
    {
      const std::lock_guard lock(m_mutex);
      m_requests.push_back(request.substr(0, request.find("\r\n")));
      extra = m_extraHeaders;
    }
    if (m_mode == Mode::Silent) {
      m_held.push_back(client);  // answered never, closed at the end
      return;
    }
    const std::string reply = m_mode == Mode::Garbage
                                  ? std::string("\x01\x02 this is no HTTP at all\r\n\r\n")
                                  : "HTTP/1.1 " + std::to_string(m_status) + " Test\r\nContent-Length: 0\r\n" + extra +
                                        "Connection: close\r\n\r\n";
    [[maybe_unused]] const auto sent = send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
    close(client);
  }

  int m_status;
  Mode m_mode;
  int m_listen = -1;
  std::uint16_t m_port = 0;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
  std::mutex m_mutex;
  std::vector<std::string> m_requests;
  std::string m_extraHeaders;
  std::vector<int> m_held;
};

// A TCP port on 127.0.0.1 that is bound but does not listen, so that connecting to it is refused.
class RefusingPort {
 public:
  RefusingPort() {
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_fd >= 0 && bind(m_fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
      m_port = ntohs(address.sin_port);
  }
  ~RefusingPort() {
    if (m_fd >= 0) close(m_fd);
  }
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;
  [[nodiscard]] std::uint16_t port() const { return m_port; }

 private:
  int m_fd = -1;
  std::uint16_t m_port = 0;
};

}  // namespace kip::test
