#include "platform/linux/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kip {

InstanceLock::InstanceLock(const std::string& runtimeDir) {
  const std::string path = runtimeDir + "/KipLauncher.lock";
  // A link planted in place of the lock file is never followed.
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    m_problem = "cannot open " + path + ": " + std::strerror(errno);
    return;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) m_problem = "cannot lock " + path + ": " + std::strerror(errno);
    close(fd);
    return;
  }
  m_fd = fd;
}

InstanceLock::~InstanceLock() {
  if (m_fd >= 0) close(m_fd);
}

}  // namespace kip
