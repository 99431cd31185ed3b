#include "platform/linux/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kip {

InstanceLock::InstanceLock(const std::string& runtimeDir) {
  const std::string path = runtimeDir + "/KipLauncher.lock";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return;
  }
  m_fd = fd;
}

InstanceLock::~InstanceLock() {
  if (m_fd >= 0) close(m_fd);
}

}  // namespace kip
