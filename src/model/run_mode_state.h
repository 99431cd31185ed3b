#pragma once

#include <cstdint>

namespace kip {

// How this run of the program was started and where its start-up stands; held by the main window and read
// by the start queue.
struct RunModeState {
  std::int32_t StartupCountdown = 0;
  bool LogonStart = false;
  bool GlobalEdit = false;
  bool WindowOpened = false;
  // The autostart decision of the start-up sequence.
  bool autostartDecision = false;
  // The start-up sequence entered the autostart run.
  bool autostartRun = false;
};

}  // namespace kip
