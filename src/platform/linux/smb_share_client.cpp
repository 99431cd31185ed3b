#include "platform/linux/smb_share_client.h"

#include <dlfcn.h>
#include <libsmbclient.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "base/shared_library.h"
#include "base/win_error.h"
#include "net/host_name.h"

namespace kip {

namespace {

// libsmbclient is loaded at the first share test, not at program start: it pulls in dozens of libraries
// whose loading would delay every autostart run, most of which never test a share.
struct SmbLibrary {
  decltype(&smbc_new_context) newContext = nullptr;
  decltype(&smbc_free_context) freeContext = nullptr;
  decltype(&smbc_init_context) initContext = nullptr;
  decltype(&smbc_setConfiguration) setConfiguration = nullptr;
  decltype(&smbc_setDebug) setDebug = nullptr;
  decltype(&smbc_setLogCallback) setLogCallback = nullptr;
  decltype(&smbc_setFunctionAuthData) setFunctionAuthData = nullptr;
  decltype(&smbc_setOptionDebugToStderr) setOptionDebugToStderr = nullptr;
  decltype(&smbc_setOptionNoAutoAnonymousLogin) setOptionNoAutoAnonymousLogin = nullptr;
  decltype(&smbc_setOptionUseKerberos) setOptionUseKerberos = nullptr;
  decltype(&smbc_setOptionFallbackAfterKerberos) setOptionFallbackAfterKerberos = nullptr;
  decltype(&smbc_setOptionUseCCache) setOptionUseCCache = nullptr;
  decltype(&smbc_setTimeout) setTimeout = nullptr;
  decltype(&smbc_setPort) setPort = nullptr;
  decltype(&smbc_getFunctionOpendir) getFunctionOpendir = nullptr;
  decltype(&smbc_getFunctionClosedir) getFunctionClosedir = nullptr;
  decltype(&smbc_getFunctionStat) getFunctionStat = nullptr;
  decltype(&smbc_getFunctionPurgeCachedServers) getFunctionPurgeCachedServers = nullptr;
};

// The loaded library, or nullptr when it is not installed; loaded once and kept for the process.
const SmbLibrary* smbLibrary() {
  static const SmbLibrary* const library = []() -> const SmbLibrary* {
    void* handle = dlopen("libsmbclient.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!handle) return nullptr;
    static SmbLibrary lib;
    const bool ok = resolveSymbol(handle, "smbc_new_context", lib.newContext) &&
                    resolveSymbol(handle, "smbc_free_context", lib.freeContext) &&
                    resolveSymbol(handle, "smbc_init_context", lib.initContext) &&
                    resolveSymbol(handle, "smbc_setConfiguration", lib.setConfiguration) &&
                    resolveSymbol(handle, "smbc_setDebug", lib.setDebug) &&
                    resolveSymbol(handle, "smbc_setLogCallback", lib.setLogCallback) &&
                    resolveSymbol(handle, "smbc_setFunctionAuthData", lib.setFunctionAuthData) &&
                    resolveSymbol(handle, "smbc_setOptionDebugToStderr", lib.setOptionDebugToStderr) &&
                    resolveSymbol(handle, "smbc_setOptionNoAutoAnonymousLogin", lib.setOptionNoAutoAnonymousLogin) &&
                    resolveSymbol(handle, "smbc_setOptionUseKerberos", lib.setOptionUseKerberos) &&
                    resolveSymbol(handle, "smbc_setOptionFallbackAfterKerberos", lib.setOptionFallbackAfterKerberos) &&
                    resolveSymbol(handle, "smbc_setOptionUseCCache", lib.setOptionUseCCache) &&
                    resolveSymbol(handle, "smbc_setTimeout", lib.setTimeout) &&
                    resolveSymbol(handle, "smbc_setPort", lib.setPort) &&
                    resolveSymbol(handle, "smbc_getFunctionOpendir", lib.getFunctionOpendir) &&
                    resolveSymbol(handle, "smbc_getFunctionClosedir", lib.getFunctionClosedir) &&
                    resolveSymbol(handle, "smbc_getFunctionStat", lib.getFunctionStat) &&
                    resolveSymbol(handle, "smbc_getFunctionPurgeCachedServers", lib.getFunctionPurgeCachedServers);
    if (!ok) {
      dlclose(handle);
      return nullptr;
    }
    return &lib;
  }();
  return library;
}

// libsmbclient keeps its configuration process-wide; one connection attempt at a time.
std::mutex& smbMutex() {
  static std::mutex mutex;
  return mutex;
}

void anonymousAuth(const char*, const char*, char* workgroup, int workgroupLength, char* user, int userLength,
                   char* password, int passwordLength) {
  if (workgroupLength > 0) workgroup[0] = '\0';
  if (userLength > 0) user[0] = '\0';
  if (passwordLength > 0) password[0] = '\0';
}

void swallowLog(void*, int, const char*) {}

// Closes every connection a probe opened, when the probe returns.
struct ConnectionRelease {
  const SmbLibrary& smb;
  SMBCCTX* ctx;
  ~ConnectionRelease() { smb.getFunctionPurgeCachedServers(ctx)(ctx); }
};

// Writes the private client configuration to a file of its own and returns its path; empty on failure.
std::string writePrivateConfig() {
  const char* tmp = std::getenv("TMPDIR");
  std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/kiplaunch-smb-XXXXXX";
  const int fd = mkstemp(path.data());
  if (fd < 0) return {};
  const std::string text =
      "[global]\n"
      "  name resolve order = host\n"
      "  disable netbios = yes\n"
      "  smb ports = 445\n"
      "  client min protocol = SMB2_02\n"
      "  client use kerberos = disabled\n"
      "  wins server =\n"
      "  log level = 0\n";
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  if (!written) {
    unlink(path.c_str());
    return {};
  }
  return path;
}

std::string percentEncoded(std::string_view text) {
  static const char* kHex = "0123456789ABCDEF";
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
        c == '.' || c == '~' || c == '/') {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

// The one libsmbclient context of the process, made on first use and kept: each new context costs
// libsmbclient memory it never gives back. nullptr when it cannot be set up.
SMBCCTX* sharedContext(const SmbLibrary& smb) {
  static SMBCCTX* const context = [&smb]() -> SMBCCTX* {
    SMBCCTX* ctx = smb.newContext();
    if (!ctx) return nullptr;
    smb.setDebug(ctx, 0);
    smb.setOptionDebugToStderr(ctx, 1);
    smb.setLogCallback(ctx, nullptr, swallowLog);
    smb.setFunctionAuthData(ctx, anonymousAuth);
    smb.setOptionNoAutoAnonymousLogin(ctx, 0);
    smb.setOptionUseKerberos(ctx, 0);
    smb.setOptionFallbackAfterKerberos(ctx, 1);
    smb.setOptionUseCCache(ctx, 0);
    if (!smb.initContext(ctx)) {
      smb.freeContext(ctx, 0);
      return nullptr;
    }
    // Override whatever the system's smb.conf says about name resolution and NetBIOS.
    const std::string config = writePrivateConfig();
    const int loaded = config.empty() ? -1 : smb.setConfiguration(ctx, config.c_str());
    if (!config.empty()) unlink(config.c_str());
    if (loaded != 0) {
      smb.freeContext(ctx, 1);
      return nullptr;
    }
    return ctx;
  }();
  return context;
}

}  // namespace

std::optional<UncName> parseUnc(std::string_view text) {
  if (text.size() < 3 || text[0] != '\\' || text[1] != '\\') return std::nullopt;
  std::string rest(text.substr(2));
  for (char& c : rest)
    if (c == '\\') c = '/';
  UncName name;
  const auto serverEnd = rest.find('/');
  name.server = rest.substr(0, serverEnd);
  if (name.server.empty()) return std::nullopt;
  if (serverEnd == std::string::npos) return name;
  const std::string afterServer = rest.substr(serverEnd + 1);
  const auto shareEnd = afterServer.find('/');
  name.share = afterServer.substr(0, shareEnd);
  if (shareEnd != std::string::npos) {
    name.path = afterServer.substr(shareEnd + 1);
    while (!name.path.empty() && name.path.back() == '/') name.path.pop_back();
  }
  return name;
}

std::int32_t shareErrorFromErrno(int err, bool belowShare) {
  switch (err) {
    case ENOENT:
    case ENODEV:
      return belowShare ? win::kFileNotFound : win::kBadNetName;
    case ENOTDIR:
      return win::kPathNotFound;
    case EPERM:
      return win::kLogonFailure;
    case EACCES:
      return win::kAccessDenied;
    case EINVAL:
      return win::kBadNetName;
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE:
    // A server that never answers is unreachable to the user, not a time-out of some local wait.
    case ETIMEDOUT:
      return win::kBadNetPath;
    default:
      return winErrorFromErrno(err);
  }
}

std::int32_t SmbShareClient::connect(std::string_view unc) {
  const auto name = parseUnc(unc);
  if (!name) return -win::kBadNetPath;
  if (!isValidHostName(name->server)) return -win::kBadNetPath;
  if (name->share.empty()) return -win::kBadNetName;

  const LookupResult found = m_resolver.resolve(name->server);
  if (found.status != LookupStatus::Ok) return -win::kBadNetPath;
  // Built by appending: GCC 12 at -O3 reports a false -Wrestrict for "literal" + string.
  std::string url = "smb://";
  const bool v6 = found.address.isV6();
  if (v6) url += '[';
  url += found.address.toString();
  if (v6) url += ']';
  url += '/';
  url += percentEncoded(name->share);
  if (!name->path.empty()) {
    url += '/';
    url += percentEncoded(name->path);
  }

  const std::lock_guard lock(smbMutex());
  const SmbLibrary* smb = smbLibrary();
  if (!smb) return -win::kGenFailure;
  SMBCCTX* ctx = sharedContext(*smb);
  if (!ctx) return -win::kGenFailure;
  smb->setTimeout(ctx, static_cast<int>(m_settings.timeout.count()));
  smb->setPort(ctx, m_settings.port);
  // Every probe ends with the connections it made closed again.
  const ConnectionRelease release{*smb, ctx};

  errno = 0;
  if (name->path.empty()) {
    SMBCFILE* dir = smb->getFunctionOpendir(ctx)(ctx, url.c_str());
    if (!dir) return -shareErrorFromErrno(errno, false);
    smb->getFunctionClosedir(ctx)(ctx, dir);
    return 1;
  }
  struct stat info {};
  if (smb->getFunctionStat(ctx)(ctx, url.c_str(), &info) == 0) return 1;
  const int err = errno;
  // Missing the last name is "file not found"; missing a folder on the way is "path not found".
  const auto lastSlash = url.rfind('/');
  if (err == ENOENT && name->path.find('/') != std::string::npos) {
    const std::string parent = url.substr(0, lastSlash);
    struct stat parentInfo {};
    if (smb->getFunctionStat(ctx)(ctx, parent.c_str(), &parentInfo) != 0 || !S_ISDIR(parentInfo.st_mode))
      return -win::kPathNotFound;
  }
  return -shareErrorFromErrno(err, true);
}

}  // namespace kip
