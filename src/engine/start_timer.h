#pragma once

namespace kip {

// The one-second timer that drives the start queue (the window's MyTimer). The launcher stops it while
// it waits for a started program, so that no tick is lost or doubled meanwhile.
class StartTimer {
 public:
  virtual ~StartTimer() = default;
  // True while the timer runs.
  [[nodiscard]] virtual bool timerEnabled() const = 0;
  // Starts or stops the timer; its interval stays one second.
  virtual void setTimerEnabled(bool enabled) = 0;
};

}  // namespace kip
