#include "fake_launcher.h"

#include <stdexcept>

namespace kip::test {

namespace {
constexpr int kFirstPid = 1000;
}

bool FakeProcess::exitCode(std::int32_t& code) {
  if (m_shared->exitCodeFails) return false;
  code = m_shared->running ? 259 : m_shared->exitCode;
  return true;
}

bool FakeProcess::waitForInputIdle(std::uint32_t limitMs) {
  if (m_onWait) m_onWait("idle", limitMs);
  return !m_shared->running;
}

bool FakeProcess::waitForExit(std::uint32_t limitMs) {
  if (m_onWait) m_onWait("exit", limitMs);
  return !m_shared->running;
}

SpawnOutcome FakeLauncher::spawn(const LaunchRequest& request) {
  spawns.push_back(request);
  SpawnOutcome outcome;
  if (unstartable.count(request.commandText) != 0) {
    outcome.error = failError;
    outcome.message = failMessage;
  } else {
    const int pid = kFirstPid + static_cast<int>(m_records.size());
    auto shared = std::make_shared<FakeProcess::Shared>();
    outcome.process = std::make_unique<FakeProcess>(pid, shared, [this, pid](const char* kind, std::uint32_t limit) {
      waits.push_back({pid, kind, limit});
      if (onWait) onWait(waits.back());
    });
    m_records.push_back(shared);
    m_started.push_back(request.commandText);
  }
  if (onRequest) onRequest("spawn", request.commandText);
  return outcome;
}

bool FakeLauncher::shellOpen(const LaunchRequest& request) {
  opens.push_back(request);
  if (onRequest) onRequest("open", request.commandText);
  return openable.count(request.commandText) != 0;
}

bool FakeLauncher::postWindowCommand(const StartedProcess& process, WindowCommand command) {
  posts.push_back({process.pid(), command});
  if (onRequest) onRequest("post", std::to_string(process.pid()));
  return windowFound;
}

std::vector<std::string> FakeLauncher::started() const { return m_started; }

FakeProcess::Shared& FakeLauncher::processState(int pid) {
  const auto index = static_cast<std::size_t>(pid - kFirstPid);
  if (pid < kFirstPid || index >= m_records.size()) throw std::out_of_range("no such fake process");
  return *m_records[index];
}

int FakeLauncher::liveProcesses() const {
  int live = 0;
  for (const auto& record : m_records)
    if (record->held) ++live;
  return live;
}

}  // namespace kip::test
