#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/process_launcher.h"

namespace kip::test {

// A started process of the fake launcher: runs until the test ends it, and reports its waits.
class FakeProcess final : public LaunchedProcess {
 public:
  struct Shared {
    bool running = true;
    std::int32_t exitCode = 0;
    bool exitCodeFails = false;
    bool held = true;  // false once the process object was destroyed: its handles are released
  };

  FakeProcess(int pid, std::shared_ptr<Shared> shared, std::function<void(const char*, std::uint32_t)> onWait)
      : m_pid(pid), m_shared(std::move(shared)), m_onWait(std::move(onWait)) {}
  ~FakeProcess() override { m_shared->held = false; }

  [[nodiscard]] int pid() const override { return m_pid; }
  bool exitCode(std::int32_t& code) override;
  bool waitForInputIdle(std::uint32_t limitMs) override;
  bool waitForExit(std::uint32_t limitMs) override;

 private:
  int m_pid;
  std::shared_ptr<Shared> m_shared;
  std::function<void(const char*, std::uint32_t)> m_onWait;
};

// A process launcher that starts nothing: it records every request and answers as the test scripts it.
class FakeLauncher final : public ProcessLauncher {
 public:
  struct Wait {
    int pid;
    std::string kind;  // "idle" or "exit"
    std::uint32_t limitMs;
  };
  struct Post {
    int pid;
    WindowCommand command;
  };

  SpawnOutcome spawn(const LaunchRequest& request) override;
  bool shellOpen(const LaunchRequest& request) override;
  bool postWindowCommand(const StartedProcess& process, WindowCommand command) override;

  // Command texts whose process creation fails with failError and failMessage.
  std::set<std::string> unstartable;
  // Command texts the desktop opens when process creation fails.
  std::set<std::string> openable;
  int failError = 2;
  std::string failMessage = "No such file or directory";
  // Whether a window is found for posted commands.
  bool windowFound = true;
  // Called inside every wait, so that a test can look at the world meanwhile.
  std::function<void(const Wait&)> onWait;
  // Called after every request: "spawn", "open" or "post" with the command text (or pid).
  std::function<void(const std::string& what, const std::string& text)> onRequest;

  std::vector<LaunchRequest> spawns;
  std::vector<LaunchRequest> opens;
  std::vector<Wait> waits;
  std::vector<Post> posts;

  // The command texts of the successful spawns, in order.
  [[nodiscard]] std::vector<std::string> started() const;
  // The process state of the pid-th process, to end it or break its exit code.
  FakeProcess::Shared& processState(int pid);
  // How many started processes are still held by someone.
  [[nodiscard]] int liveProcesses() const;

 private:
  std::vector<std::shared_ptr<FakeProcess::Shared>> m_records;  // index = pid - 1000
  std::vector<std::string> m_started;
};

}  // namespace kip::test
