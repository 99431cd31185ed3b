#include "platform/linux/wake_event.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace kip {

WakeEvent::WakeEvent() : m_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeEvent::~WakeEvent() {
  if (m_fd >= 0) close(m_fd);
}

void WakeEvent::signal() const {
  if (m_fd < 0) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto written = write(m_fd, &one, sizeof one);
}

void WakeEvent::clear() const {
  if (m_fd < 0) return;
  std::uint64_t count = 0;
  [[maybe_unused]] const auto got = read(m_fd, &count, sizeof count);
}

}  // namespace kip
