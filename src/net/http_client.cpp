#include "net/http_client.h"

#include <curl/curl.h>
#include <dlfcn.h>

#include <cstdlib>
#include <memory>

#include "base/shared_library.h"

namespace kip {

namespace {

// libcurl and the libraries it needs are many; they are loaded at the first HTTP test, not when the
// program starts.
struct CurlLibrary {
  decltype(&curl_global_init) globalInit = nullptr;
  decltype(&curl_easy_init) easyInit = nullptr;
  decltype(&curl_easy_cleanup) easyCleanup = nullptr;
  decltype(&curl_easy_setopt) easySetopt = nullptr;
  decltype(&curl_easy_perform) easyPerform = nullptr;
  decltype(&curl_easy_getinfo) easyGetinfo = nullptr;
  decltype(&curl_easy_strerror) easyStrerror = nullptr;
  decltype(&curl_free) free = nullptr;
  decltype(&curl_slist_append) slistAppend = nullptr;
  decltype(&curl_slist_free_all) slistFreeAll = nullptr;
  decltype(&curl_url) url = nullptr;
  decltype(&curl_url_cleanup) urlCleanup = nullptr;
  decltype(&curl_url_get) urlGet = nullptr;
  decltype(&curl_url_set) urlSet = nullptr;
};

// The loaded and initialised library, or nullptr when it is not installed; loaded once for the process.
const CurlLibrary* curlLibrary() {
  static const CurlLibrary* const library = []() -> const CurlLibrary* {
    void* handle = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!handle) return nullptr;
    static CurlLibrary lib;
    const bool ok =
        resolveSymbol(handle, "curl_global_init", lib.globalInit) &&
        resolveSymbol(handle, "curl_easy_init", lib.easyInit) &&
        resolveSymbol(handle, "curl_easy_cleanup", lib.easyCleanup) &&
        resolveSymbol(handle, "curl_easy_setopt", lib.easySetopt) &&
        resolveSymbol(handle, "curl_easy_perform", lib.easyPerform) &&
        resolveSymbol(handle, "curl_easy_getinfo", lib.easyGetinfo) &&
        resolveSymbol(handle, "curl_easy_strerror", lib.easyStrerror) && resolveSymbol(handle, "curl_free", lib.free) &&
        resolveSymbol(handle, "curl_slist_append", lib.slistAppend) &&
        resolveSymbol(handle, "curl_slist_free_all", lib.slistFreeAll) && resolveSymbol(handle, "curl_url", lib.url) &&
        resolveSymbol(handle, "curl_url_cleanup", lib.urlCleanup) &&
        resolveSymbol(handle, "curl_url_get", lib.urlGet) && resolveSymbol(handle, "curl_url_set", lib.urlSet);
    if (!ok) {
      dlclose(handle);
      return nullptr;
    }
    lib.globalInit(CURL_GLOBAL_DEFAULT);
    return &lib;
  }();
  return library;
}

struct CurlDeleter {
  void operator()(CURL* handle) const { curlLibrary()->easyCleanup(handle); }
};
struct UrlDeleter {
  void operator()(CURLU* url) const { curlLibrary()->urlCleanup(url); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curlLibrary()->slistFreeAll(list); }
};
struct CurlText {
  char* text = nullptr;
  ~CurlText() { curlLibrary()->free(text); }
};

std::size_t discard(char*, std::size_t size, std::size_t count, void*) { return size * count; }

// The host and port a request connects to first, taken from the URL when there is no proxy.
struct FirstHop {
  std::string host;
  long port = 0;
};

bool urlFirstHop(const CurlLibrary& lib, const std::string& url, FirstHop& hop) {
  std::unique_ptr<CURLU, UrlDeleter> parsed(lib.url());
  if (!parsed || lib.urlSet(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return false;
  CurlText host, port;
  if (lib.urlGet(parsed.get(), CURLUPART_HOST, &host.text, 0) != CURLUE_OK || !host.text) return false;
  if (lib.urlGet(parsed.get(), CURLUPART_PORT, &port.text, CURLU_DEFAULT_PORT) != CURLUE_OK || !port.text) return false;
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
  HttpOutcome outcome;
  const CurlLibrary* loaded = curlLibrary();
  if (!loaded) {
    outcome.detail = "libcurl is not installed";
    return outcome;
  }
  const CurlLibrary& lib = *loaded;

  FirstHop hop;
  if (!urlFirstHop(lib, request.url, hop)) {
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
    resolveList.reset(lib.slistAppend(nullptr, entry.c_str()));
  }

  std::unique_ptr<CURL, CurlDeleter> curl(lib.easyInit());
  if (!curl) {
    outcome.detail = "no transfer handle";
    return outcome;
  }
  CURL* h = curl.get();
  lib.easySetopt(h, CURLOPT_URL, request.url.c_str());
  lib.easySetopt(h, CURLOPT_NOBODY, 1L);
  lib.easySetopt(h, CURLOPT_FOLLOWLOCATION, 0L);
  lib.easySetopt(h, CURLOPT_NOSIGNAL, 1L);
  lib.easySetopt(h, CURLOPT_PROTOCOLS_STR, "http");
  lib.easySetopt(h, CURLOPT_WRITEFUNCTION, discard);
  lib.easySetopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeout.count()));
  lib.easySetopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(request.totalTimeout.count()));
  // An explicit empty proxy keeps http_proxy and no_proxy of the environment out of the test.
  lib.easySetopt(h, CURLOPT_PROXY, viaProxy ? request.proxyHost.c_str() : "");
  lib.easySetopt(h, CURLOPT_NOPROXY, "");
  if (viaProxy) {
    lib.easySetopt(h, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
    lib.easySetopt(h, CURLOPT_PROXYPORT, static_cast<long>(request.proxyPort));
  }
  if (resolveList) lib.easySetopt(h, CURLOPT_RESOLVE, resolveList.get());

  char error[CURL_ERROR_SIZE] = {};
  lib.easySetopt(h, CURLOPT_ERRORBUFFER, error);
  const CURLcode rc = lib.easyPerform(h);
  long status = 0;
  lib.easyGetinfo(h, CURLINFO_RESPONSE_CODE, &status);
  outcome.status = status;
  outcome.detail = error[0] ? error : lib.easyStrerror(rc);

  if (rc == CURLE_OK && status > 0) {
    outcome.kind = status >= 400 ? HttpStatusKind::ErrorStatus : HttpStatusKind::Done;
    return outcome;
  }
  if (status >= 400) {
    outcome.kind = HttpStatusKind::ErrorStatus;
    return outcome;
  }
  curl_off_t connectTime = 0;
  lib.easyGetinfo(h, CURLINFO_CONNECT_TIME_T, &connectTime);
  const bool neverConnected = rc == CURLE_COULDNT_RESOLVE_HOST || rc == CURLE_COULDNT_RESOLVE_PROXY ||
                              rc == CURLE_COULDNT_CONNECT || (rc == CURLE_OPERATION_TIMEDOUT && connectTime == 0);
  outcome.kind = neverConnected ? HttpStatusKind::Unreachable : HttpStatusKind::NoStatus;
  return outcome;
}

}  // namespace kip
