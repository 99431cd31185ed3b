#include "platform/linux/atom_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux/text_file.h"

namespace kip {

AtomFile::AtomFile(std::string runtimeDir, bool recordBootId, std::string bootIdPath)
    : m_path(std::move(runtimeDir) + "/Kip Launcher.atom"),
      m_recordBootId(recordBootId),
      m_bootIdPath(std::move(bootIdPath)) {}

bool AtomFile::exists() {
  // Only a regular file counts: a link planted there is nobody's atom.
  struct stat st {};
  if (lstat(m_path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (!m_recordBootId) return true;
  // An atom left from before a reboot belongs to an earlier logon.
  return readFirstLine(m_path) == readFirstLine(m_bootIdPath);
}

bool AtomFile::add() {
  const std::string content = m_recordBootId ? readFirstLine(m_bootIdPath) + "\n" : std::string();
  const int fd = open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool ok = content.empty() || write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
  return close(fd) == 0 && ok;
}

}  // namespace kip
