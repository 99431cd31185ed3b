#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "model/preferences.h"
#include "platform/linux/sqlite_registry.h"
#include "verbs.h"

namespace kip::ctl {

namespace {

constexpr const char* kProgramName = "kiplaunch";

// The kiplaunch installed beside this kipctl, so that a build or an install outside PATH starts its own
// copy; empty when there is none.
std::string programBesideSelf() {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  const auto beside = self.parent_path() / kProgramName;
  if (::access(beside.c_str(), X_OK) != 0) return {};
  return beside.string();
}

}  // namespace

// kipctl logon: run by the desktop's autostart entry for every user. Hands over to kiplaunch only when the
// user switched the autostart run on, so users who never did see no window at logon. Writes nothing.
int runLogon(const std::vector<std::string>& args, Io& io) {
  if (!args.empty()) {
    io.err << "kipctl logon: takes no argument\nusage: kipctl logon\n";
    return 1;
  }
  auto registry = SqliteRegistry::fromEnvironment();
  Preferences prefs;
  if (registry) readPreferences(*registry, prefs);
  if (!prefs.AutostartEnabled) return 0;

  io.out.flush();
  io.err.flush();
  const std::string beside = programBesideSelf();
  if (!beside.empty()) {
    ::execl(beside.c_str(), kProgramName, static_cast<char*>(nullptr));
  } else {
    ::execlp(kProgramName, kProgramName, static_cast<char*>(nullptr));
  }
  const int error = errno;
  io.err << "kipctl logon: cannot start " << (beside.empty() ? kProgramName : beside) << ": " << std::strerror(error)
         << '\n';
  return 1;
}

}  // namespace kip::ctl
