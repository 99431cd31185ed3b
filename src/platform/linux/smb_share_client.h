#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "net/name_resolver.h"

namespace kip {

// How long libsmbclient waits for a connection or an answer.
inline constexpr std::chrono::milliseconds kShareTimeout{5000};

struct SmbSettings {
  std::uint16_t port = 445;  // the server's SMB port; 445 unless a test server listens elsewhere
  std::chrono::milliseconds timeout = kShareTimeout;
};

// The parts of \\server\share[\path].
struct UncName {
  std::string server;
  std::string share;
  std::string path;  // below the share, "/"-separated, empty for the share itself
};

// Splits a share name; nullopt when it does not begin with two backslashes and a server.
std::optional<UncName> parseUnc(std::string_view text);

// Connects to SMB shares anonymously through libsmbclient. The server is looked up through the given
// resolver (so never by NetBIOS or broadcast), and libsmbclient runs on a private configuration:
// name resolution by host only, NetBIOS off, no Kerberos, nothing read from the user's ~/.smb.
class SmbShareClient {
 public:
  SmbShareClient(NameResolver& resolver, SmbSettings settings) : m_resolver(resolver), m_settings(settings) {}

  // Opens \\server\share[\path] and releases it at once: 1 when it opens, else minus the Windows error
  // (53 server unknown or unreachable, 67 no such share, 5 access denied, 1326 logon refused, 2 or 3 a
  // missing path below the share, 121 a time-out).
  std::int32_t connect(std::string_view unc);

 private:
  NameResolver& m_resolver;
  SmbSettings m_settings;
};

// The Windows error number of an errno value left by libsmbclient.
std::int32_t shareErrorFromErrno(int err, bool belowShare);

}  // namespace kip
