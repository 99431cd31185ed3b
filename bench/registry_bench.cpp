// Load and save of 1000 start definitions through the real definition store on a SQLite hive in a
// temporary folder, and the size of that hive.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "model/definition_store.h"
#include "platform/linux/sqlite_registry.h"

namespace kip {
namespace {

constexpr int kDefinitions = 1000;

// A folder for one benchmark's hives, removed at the end.
class BenchFolder {
 public:
  BenchFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/kipbench-XXXXXX";
    if (mkdtemp(pattern.data())) m_path = pattern;
  }
  ~BenchFolder() {
    std::error_code ec;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
  }
  BenchFolder(const BenchFolder&) = delete;
  BenchFolder& operator=(const BenchFolder&) = delete;
  [[nodiscard]] std::string file(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

// Fills every persisted field with text and numbers of a realistic size; every field differs per round.
void fill(StartDefinition& def, int index, int round) {
  const std::string n = std::to_string(index) + "-" + std::to_string(round);
  def.Name = "Definition " + std::to_string(10000 + index);
  def.Module = "/usr/lib/kiplaunch/programs/program-" + n;
  def.Parms = "--profile work --window " + n;
  def.StartDirectory = "/home/ann/projects/" + n;
  def.Configuration = "Docked " + n;
  def.User = "ann" + n;
  def.Group = "staff" + n;
  def.NetResource = "//fileserver/share/" + n;
  def.Window = 1 + round;
  def.Apm = 2 + round;
  def.Net = 3 + round;
  def.Dun = 4 + round;
  def.NetTest = 5 + round;
  def.Days = 127 - round;
  def.Dates = 2147483647 - round;
  def.From = 800 + round;
  def.To = 1800 + round;
  def.Frequency = 6 + round;
  def.Units = 7 + round;
  def.Changes = 8 + round;
  def.Delay = 9 + round;
  def.Msg = 30 + round;
  def.MsgID = 10 + round;
  def.Wait = 11 + round;
  def.WaitType = 12 + round;
  def.Disable = round % 2 == 1;
  def.Sequence = index % 10 + round;
  def.Executed = 45000.5 + round;
  def.Tested = 45000.25 + round;
  def.TestResult = -round;
  def.Result = "Started at 09:30:00, process " + n;
  def.Changed = true;
  def.RunStateChanged = true;
}

std::vector<DefinitionPtr> definitions(int round) {
  std::vector<DefinitionPtr> defs;
  for (int i = 0; i < kDefinitions; ++i) {
    auto def = std::make_shared<StartDefinition>();
    fill(*def, i, round);
    defs.push_back(def);
  }
  return defs;
}

// Writes the 1000 definitions into a new hive and closes it, so that the file is checkpointed.
void buildHive(const std::string& path) {
  SqliteRegistry registry(path, path + ".machine");
  DefinitionStore(registry).save(Hive::CurrentUser, {}, definitions(0));
}

void BM_LoadFreshProcess(benchmark::State& state) {
  BenchFolder folder;
  const auto path = folder.file("user.db");
  buildHive(path);
  for (auto _ : state) {
    // Each round is a program start: the hive is opened (and checked) anew.
    SqliteRegistry registry(path, path + ".machine");
    std::vector<DefinitionPtr> loaded;
    DefinitionStore(registry).load(Hive::CurrentUser, false, loaded);
    if (loaded.size() != kDefinitions) state.SkipWithError("not all definitions were loaded");
    benchmark::DoNotOptimize(loaded.data());
  }
  state.counters["hive_bytes"] = static_cast<double>(std::filesystem::file_size(path));
}

void BM_LoadOpenRegistry(benchmark::State& state) {
  BenchFolder folder;
  const auto path = folder.file("user.db");
  buildHive(path);
  SqliteRegistry registry(path, path + ".machine");
  for (auto _ : state) {
    std::vector<DefinitionPtr> loaded;
    DefinitionStore(registry).load(Hive::CurrentUser, false, loaded);
    if (loaded.size() != kDefinitions) state.SkipWithError("not all definitions were loaded");
    benchmark::DoNotOptimize(loaded.data());
  }
}

// Saves 1000 loaded definitions after changing them: all_fields 1 changes every value, 0 only two fields.
void BM_Save(benchmark::State& state) {
  const bool allFields = state.range(0) == 1;
  BenchFolder folder;
  const auto path = folder.file("user.db");
  buildHive(path);
  SqliteRegistry registry(path, path + ".machine");
  DefinitionStore store(registry);
  std::vector<DefinitionPtr> defs;
  store.load(Hive::CurrentUser, false, defs);
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ++round;
    for (std::size_t i = 0; i < defs.size(); ++i) {
      auto& def = *defs[i];
      if (allFields) {
        const auto name = def.Name;
        fill(def, static_cast<int>(i), round);
        def.Name = name;
      } else {
        def.Parms = "--profile home --round " + std::to_string(round);
        def.Delay = round;
        def.Changed = true;
      }
    }
    state.ResumeTiming();
    const auto outcome = store.save(Hive::CurrentUser, {}, defs);
    if (!outcome.startListOpened || !outcome.unwritableNames.empty()) state.SkipWithError("save failed");
  }
  state.counters["hive_bytes"] = static_cast<double>(std::filesystem::file_size(path));
}

BENCHMARK(BM_LoadFreshProcess)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_LoadOpenRegistry)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_Save)
    ->ArgName("all_fields")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace kip

BENCHMARK_MAIN();
