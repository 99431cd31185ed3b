#include "conditions/asm_ping.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <system_error>

namespace kip {

bool isHttpTarget(std::string_view target) {
  constexpr std::string_view kScheme = "HTTP:";
  if (target.size() < kScheme.size()) return false;
  for (std::size_t i = 0; i < kScheme.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(target[i])) != kScheme[i]) return false;
  return true;
}

std::string httpUrlOf(std::string_view target) {
  std::string url(target);
  std::replace(url.begin(), url.end(), '\\', '/');
  return url;
}

std::int32_t httpProbeCode(const HttpOutcome& outcome) {
  switch (outcome.kind) {
    case HttpStatusKind::Done:
      return 1;
    case HttpStatusKind::ErrorStatus:
      return -static_cast<std::int32_t>(std::min(outcome.status < 0 ? -outcome.status : outcome.status, 2147483647L));
    case HttpStatusKind::Unreachable:
      return -404;
    case HttpStatusKind::NoStatus:
      break;
  }
  return -1;
}

std::optional<std::uint16_t> proxyPortOf(std::string_view port) {
  if (port.empty()) return 80;
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
  if (ec != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

ASM_Ping::ASM_Ping(PingRequest request, NameResolver& resolver, const HostProbeLimits& limits)
    : m_request(std::move(request)), m_resolver(resolver), m_limits(limits) {
  try {
    m_thread = std::thread([this] { Execute(); });
  } catch (const std::system_error&) {
    // No thread, no probe: the result stays -1.
  }
}

ASM_Ping::~ASM_Ping() {
  if (m_thread.joinable()) m_thread.join();
}

std::int32_t ASM_Ping::waitFor() {
  if (m_thread.joinable()) m_thread.join();
  return m_result;
}

void ASM_Ping::Execute() { m_result = isHttpTarget(m_request.target) ? runHttp() : runPing(); }

std::int32_t ASM_Ping::runHttp() {
  HttpRequest request;
  request.url = httpUrlOf(m_request.target);
  request.proxyHost = m_request.proxy;
  if (!request.proxyHost.empty()) {
    const auto port = proxyPortOf(m_request.port);
    if (!port) return -1;
    request.proxyPort = *port;
  }
  request.connectTimeout = m_limits.httpConnect;
  request.totalTimeout = m_limits.httpTotal;
  HttpClient client(m_resolver);
  return httpProbeCode(client.head(request));
}

std::int32_t ASM_Ping::runPing() {
  const LookupResult found = m_resolver.resolve(m_request.target);
  if (found.status != LookupStatus::Ok) return -1;
  IcmpEcho echo(found.address.isV6(), m_limits.echo);
  if (!echo.isOpen()) return -1;
  const EchoReply reply = echo.send(found.address);
  return reply.status == EchoStatus::Reply && reply.dataSize != 0 ? 1 : -1;
}

}  // namespace kip
