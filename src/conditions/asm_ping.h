#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "net/http_client.h"
#include "net/icmp_echo.h"
#include "net/name_resolver.h"

namespace kip {

// Limits of one host probe beyond those of the name resolver.
struct HostProbeLimits {
  EchoSettings echo;
  std::chrono::milliseconds httpConnect = kHttpConnectLimit;
  std::chrono::milliseconds httpTotal = kHttpTotalLimit;
};

// What the host probe thread reads when it starts: the ping target and the running Proxy and Port.
struct PingRequest {
  std::string target;
  std::string proxy;
  std::string port;
};

// The host probe thread: created running, it sends one ICMP echo to the target, or one HTTP HEAD when
// the target begins with "HTTP:", and ends with a signed result.
class ASM_Ping {
 public:
  ASM_Ping(PingRequest request, NameResolver& resolver, const HostProbeLimits& limits);
  // Waits for the thread if nobody did.
  ~ASM_Ping();
  ASM_Ping(const ASM_Ping&) = delete;
  ASM_Ping& operator=(const ASM_Ping&) = delete;

  // Waits until the thread has ended and returns its result (the thread's exit code).
  std::int32_t waitFor();

 private:
  void Execute();
  std::int32_t runHttp();
  std::int32_t runPing();

  PingRequest m_request;
  NameResolver& m_resolver;
  HostProbeLimits m_limits;
  std::int32_t m_result = -1;
  std::thread m_thread;
};

// True when the first five characters of target are "HTTP:" in any mix of letter case.
bool isHttpTarget(std::string_view target);
// The URL sent for an HTTP target: the target with every "\" turned into "/".
std::string httpUrlOf(std::string_view target);
// The probe code of an HTTP outcome: 1, minus the status, -404 unreachable, -1 without status.
std::int32_t httpProbeCode(const HttpOutcome& outcome);
// The proxy port of a Port text: 80 when empty; nullopt when it is no port number.
std::optional<std::uint16_t> proxyPortOf(std::string_view port);

}  // namespace kip
