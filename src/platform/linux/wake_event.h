#pragma once

namespace kip {

// An eventfd that one thread signals to wake another that polls on it.
class WakeEvent {
 public:
  WakeEvent();
  ~WakeEvent();
  WakeEvent(const WakeEvent&) = delete;
  WakeEvent& operator=(const WakeEvent&) = delete;

  // The descriptor to poll for POLLIN; -1 when the eventfd could not be made.
  [[nodiscard]] int fd() const { return m_fd; }
  // Wakes the poller.
  void signal() const;
  // Takes back every wake-up given so far, so that the next poll waits again.
  void clear() const;

 private:
  int m_fd = -1;
};

}  // namespace kip
