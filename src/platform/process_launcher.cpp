#include "platform/process_launcher.h"

namespace kip {

namespace {

// A creation that was complete when it was begun.
class CompletedSpawn final : public PendingSpawn {
 public:
  explicit CompletedSpawn(SpawnOutcome outcome) : m_outcome(std::move(outcome)) {}
  SpawnOutcome outcome() override { return std::move(m_outcome); }

 private:
  SpawnOutcome m_outcome;
};

}  // namespace

std::unique_ptr<PendingSpawn> completedSpawn(SpawnOutcome outcome) {
  return std::make_unique<CompletedSpawn>(std::move(outcome));
}

std::unique_ptr<PendingSpawn> ProcessLauncher::spawnAsync(const LaunchRequest& request) {
  return completedSpawn(spawn(request));
}

}  // namespace kip
