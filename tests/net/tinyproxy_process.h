#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "doubles/child_process.h"

namespace kip::test {

// A free TCP port on 127.0.0.1 at the moment of asking.
inline std::uint16_t freeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  std::uint16_t port = 0;
  if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  if (fd >= 0) close(fd);
  return port;
}

// True once something accepts connections on 127.0.0.1:port, polling for at most limit.
inline bool waitForListener(std::uint16_t port, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool up = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    if (up) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// A real tinyproxy bound to 127.0.0.1 on a free port, in the foreground, killed at destruction.
class TinyproxyProcess {
 public:
  TinyproxyProcess() {
    if (access("/usr/bin/tinyproxy", X_OK) != 0) {
      m_problem = "tinyproxy is not installed (/usr/bin/tinyproxy)";
      return;
    }
    m_port = freeLoopbackPort();
    const std::string config = m_dir.file("tinyproxy.conf");
    writeFile(config, "Port " + std::to_string(m_port) +
                          "\nListen 127.0.0.1\nAllow 127.0.0.1\nTimeout 10\nMaxClients 10\nLogLevel Critical\n"
                          "DisableViaHeader Yes\n");
    m_child = std::make_unique<ChildProcess>("/usr/bin/tinyproxy", std::vector<std::string>{"-d", "-c", config});
    if (!m_child->started() || !waitForListener(m_port, std::chrono::seconds(10))) {
      m_problem = "tinyproxy did not start listening on 127.0.0.1:" + std::to_string(m_port);
      if (m_child->started()) m_problem += ": " + m_child->wait(std::chrono::milliseconds(100)).err;
      m_child.reset();
    }
  }

  // Empty when the proxy runs; else why it does not.
  [[nodiscard]] const std::string& problem() const { return m_problem; }
  [[nodiscard]] std::uint16_t port() const { return m_port; }

 private:
  TempDir m_dir;
  std::uint16_t m_port = 0;
  std::unique_ptr<ChildProcess> m_child;
  std::string m_problem;
};

}  // namespace kip::test
