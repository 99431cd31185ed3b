#pragma once

#include <cstdint>

namespace kip {

// A process started for a definition. Destroying it releases every handle held on the process;
// the process itself goes on running.
class StartedProcess {
 public:
  virtual ~StartedProcess() = default;
  StartedProcess(const StartedProcess&) = delete;
  StartedProcess& operator=(const StartedProcess&) = delete;

  // The process id.
  [[nodiscard]] virtual int pid() const = 0;
  // The exit code, or 259 while the process is still running; false when it cannot be asked.
  virtual bool exitCode(std::int32_t& code) = 0;

 protected:
  StartedProcess() = default;
};

}  // namespace kip
