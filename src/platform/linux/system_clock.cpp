#include "platform/linux/system_clock.h"

#include <chrono>

namespace kip {

DateTime SystemClock::now() const {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
  return localDateTime(static_cast<std::time_t>(ms / 1000), static_cast<int>(ms % 1000));
}

}  // namespace kip
