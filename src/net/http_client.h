#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "net/name_resolver.h"

namespace kip {

// Bounds of one HTTP request: connecting (to the server or the proxy) and the whole exchange.
inline constexpr std::chrono::milliseconds kHttpConnectLimit{5000};
inline constexpr std::chrono::milliseconds kHttpTotalLimit{10000};

struct HttpRequest {
  std::string url;
  std::string proxyHost;  // empty: a direct connection
  std::uint16_t proxyPort = 80;
  std::chrono::milliseconds connectTimeout = kHttpConnectLimit;
  std::chrono::milliseconds totalTimeout = kHttpTotalLimit;
};

enum class HttpStatusKind {
  Done,         // a response came with a status below 400
  ErrorStatus,  // a response came with a status of 400 or more
  Unreachable,  // the host or proxy could not be resolved or connected to
  NoStatus,     // the request failed without a response: a malformed URL, garbage, a time-out
};

struct HttpOutcome {
  HttpStatusKind kind = HttpStatusKind::NoStatus;
  long status = 0;     // the response's status code, 0 when there was none
  std::string detail;  // the transfer library's words for a failure
};

// One HEAD request through libcurl: no body kept, no redirect followed, only HTTP spoken. The host it
// connects to first (the proxy when there is one) is looked up through the given resolver, so that the
// lookup is bounded and replaceable like every other.
class HttpClient {
 public:
  explicit HttpClient(NameResolver& resolver) : m_resolver(resolver) {}

  // Sends the request and waits for it to end, at most the request's total time-out after the lookup.
  HttpOutcome head(const HttpRequest& request);

 private:
  NameResolver& m_resolver;
};

}  // namespace kip
