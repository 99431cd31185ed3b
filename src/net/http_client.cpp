#include "net/http_client.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace kip {

namespace {

struct CurlDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct CurlText {
  char* text = nullptr;
  ~CurlText() { curl_free(text); }
};

std::size_t discard(char*, std::size_t size, std::size_t count, void*) { return size * count; }

void initialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The host and port a request connects to first, taken from the URL when there is no proxy.
struct FirstHop {
  std::string host;
  long port = 0;
};

bool urlFirstHop(const std::string& url, FirstHop& hop) {
  std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
  if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return false;
  CurlText host, port;
  if (curl_url_get(parsed.get(), CURLUPART_HOST, &host.text, 0) != CURLUE_OK || !host.text) return false;
  if (curl_url_get(parsed.get(), CURLUPART_PORT, &port.text, CURLU_DEFAULT_PORT) != CURLUE_OK || !port.text)
    return false;
  hop.host = host.text;
  hop.port = std::strtol(port.text, nullptr, 10);
  return !hop.host.empty();
}

std::string stripBrackets(const std::string& host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') return host.substr(1, host.size() - 2);
  return host;
}

}  // namespace

HttpOutcome HttpClient::head(const HttpRequest& request) {
  initialiseCurlOnce();
  HttpOutcome outcome;

  FirstHop hop;
  if (!urlFirstHop(request.url, hop)) {
    outcome.detail = "malformed URL";
    return outcome;
  }
  const bool viaProxy = !request.proxyHost.empty();
  if (viaProxy) hop = {request.proxyHost, request.proxyPort};

  // Resolve the first hop ourselves and hand the address to libcurl, so it looks up nothing itself.
  std::unique_ptr<curl_slist, ListDeleter> resolveList;
  const std::string bare = stripBrackets(hop.host);
  if (!IpAddress::parse(bare)) {
    const LookupResult found = m_resolver.resolve(bare);
    if (found.status != LookupStatus::Ok) {
      outcome.kind = HttpStatusKind::Unreachable;
      outcome.detail = "could not resolve " + hop.host;
      return outcome;
    }
    std::string address = found.address.toString();
    if (found.address.isV6()) address = "[" + address + "]";
    const std::string entry = hop.host + ":" + std::to_string(hop.port) + ":" + address;
    resolveList.reset(curl_slist_append(nullptr, entry.c_str()));
  }

  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) {
    outcome.detail = "no transfer handle";
    return outcome;
  }
  CURL* h = curl.get();
  curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, discard);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeout.count()));
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(request.totalTimeout.count()));
  // An explicit empty proxy keeps http_proxy and no_proxy of the environment out of the test.
  curl_easy_setopt(h, CURLOPT_PROXY, viaProxy ? request.proxyHost.c_str() : "");
  curl_easy_setopt(h, CURLOPT_NOPROXY, "");
  if (viaProxy) {
    curl_easy_setopt(h, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
    curl_easy_setopt(h, CURLOPT_PROXYPORT, static_cast<long>(request.proxyPort));
  }
  if (resolveList) curl_easy_setopt(h, CURLOPT_RESOLVE, resolveList.get());

  char error[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error);
  const CURLcode rc = curl_easy_perform(h);
  long status = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  outcome.status = status;
  outcome.detail = error[0] ? error : curl_easy_strerror(rc);

  if (rc == CURLE_OK && status > 0) {
    outcome.kind = status >= 400 ? HttpStatusKind::ErrorStatus : HttpStatusKind::Done;
    return outcome;
  }
  if (status >= 400) {
    outcome.kind = HttpStatusKind::ErrorStatus;
    return outcome;
  }
  curl_off_t connectTime = 0;
  curl_easy_getinfo(h, CURLINFO_CONNECT_TIME_T, &connectTime);
  const bool neverConnected = rc == CURLE_COULDNT_RESOLVE_HOST || rc == CURLE_COULDNT_RESOLVE_PROXY ||
                              rc == CURLE_COULDNT_CONNECT || (rc == CURLE_OPERATION_TIMEDOUT && connectTime == 0);
  outcome.kind = neverConnected ? HttpStatusKind::Unreachable : HttpStatusKind::NoStatus;
  return outcome;
}

}  // namespace kip
