#include "platform/linux/smb_share_client.h"

#include <libsmbclient.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "net/host_name.h"
#include "platform/win_error.h"

namespace kip {

namespace {

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
  SMBCCTX* ctx;
  ~ConnectionRelease() { smbc_getFunctionPurgeCachedServers(ctx)(ctx); }
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
SMBCCTX* sharedContext() {
  static SMBCCTX* const context = []() -> SMBCCTX* {
    SMBCCTX* ctx = smbc_new_context();
    if (!ctx) return nullptr;
    smbc_setDebug(ctx, 0);
    smbc_setOptionDebugToStderr(ctx, 1);
    smbc_setLogCallback(ctx, nullptr, swallowLog);
    smbc_setFunctionAuthData(ctx, anonymousAuth);
    smbc_setOptionNoAutoAnonymousLogin(ctx, 0);
    smbc_setOptionUseKerberos(ctx, 0);
    smbc_setOptionFallbackAfterKerberos(ctx, 1);
    smbc_setOptionUseCCache(ctx, 0);
    if (!smbc_init_context(ctx)) {
      smbc_free_context(ctx, 0);
      return nullptr;
    }
    // Override whatever the system's smb.conf says about name resolution and NetBIOS.
    const std::string config = writePrivateConfig();
    const int loaded = config.empty() ? -1 : smbc_setConfiguration(ctx, config.c_str());
    if (!config.empty()) unlink(config.c_str());
    if (loaded != 0) {
      smbc_free_context(ctx, 1);
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
  const std::string host = found.address.isV6() ? "[" + found.address.toString() + "]" : found.address.toString();
  std::string url = "smb://" + host + "/" + percentEncoded(name->share);
  if (!name->path.empty()) url += "/" + percentEncoded(name->path);

  const std::lock_guard lock(smbMutex());
  SMBCCTX* ctx = sharedContext();
  if (!ctx) return -win::kGenFailure;
  smbc_setTimeout(ctx, static_cast<int>(m_settings.timeout.count()));
  smbc_setPort(ctx, m_settings.port);
  // Every probe ends with the connections it made closed again.
  const ConnectionRelease release{ctx};

  errno = 0;
  if (name->path.empty()) {
    SMBCFILE* dir = smbc_getFunctionOpendir(ctx)(ctx, url.c_str());
    if (!dir) return -shareErrorFromErrno(errno, false);
    smbc_getFunctionClosedir(ctx)(ctx, dir);
    return 1;
  }
  struct stat info {};
  if (smbc_getFunctionStat(ctx)(ctx, url.c_str(), &info) == 0) return 1;
  const int err = errno;
  // Missing the last name is "file not found"; missing a folder on the way is "path not found".
  const auto lastSlash = url.rfind('/');
  if (err == ENOENT && name->path.find('/') != std::string::npos) {
    const std::string parent = url.substr(0, lastSlash);
    struct stat parentInfo {};
    if (smbc_getFunctionStat(ctx)(ctx, parent.c_str(), &parentInfo) != 0 || !S_ISDIR(parentInfo.st_mode))
      return -win::kPathNotFound;
  }
  return -shareErrorFromErrno(err, true);
}

}  // namespace kip
