// The definition dialog's load and store without showing it, over 1000 definitions: the pass the main
// window makes when it opens, which builds every row's list texts (goal: under 20 ms for all 1000).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/linux/linux_system_info.h"
#include "platform/linux/sqlite_registry.h"
#include "ui/logic/program_form.h"

namespace kip {
namespace {

std::vector<StartDefinition> definitions() {
  std::vector<StartDefinition> list(1000);
  for (std::size_t i = 0; i < list.size(); ++i) {
    auto& d = list[i];
    const auto n = static_cast<std::int32_t>(i);
    d.Name = "Definition " + std::to_string(i);
    d.Module = "/usr/lib/some-vendor/bin/program-" + std::to_string(i);
    d.Parms = i % 2 == 0 ? "--profile default --minimised" : "";
    d.StartDirectory = "/home/someone/work/" + std::to_string(i % 17);
    d.Configuration = i % 9 == 0 ? "Docked" + std::to_string(i % 4) : "";
    d.User = i % 6 == 0 ? "someone" : "";
    d.Group = i % 50 == 0 ? "staff" + std::to_string(i % 3) : "";
    d.NetTest = i % 11 == 0 ? 1 : 0;
    d.NetResource = i % 11 == 0 ? "\\\\server\\share" : "";
    d.Apm = n % 3;
    d.Net = n % 3;
    d.Dun = n % 2;
    d.Sequence = n % 5;
    d.Days = i % 3 == 0 ? 31 : 127;
    d.From = i % 4 == 0 ? 700 : 0;
    d.To = i % 4 == 0 ? 1900 : 2400;
    d.Frequency = n % 7;
    d.Units = n % 6;
    d.Changes = n % 8;
    d.Delay = i % 10 == 0 ? 30 * n : 0;
    d.Msg = i % 13 == 0 ? 3600 : 0;
    d.Wait = i % 7 == 0 ? 86400 : 0;
    d.Executed = 46000.5 + static_cast<double>(i % 30);
    d.Tested = d.Executed;
    d.Result = "OK";
  }
  return list;
}

void BM_LoadAndStoreWithoutShowing(benchmark::State& state) {
  const char* base = std::getenv("TMPDIR");
  std::string folder = std::string(base && *base ? base : "/tmp") + "/kipformbench-XXXXXX";
  if (!mkdtemp(folder.data())) {
    state.SkipWithError("no temporary folder");
    return;
  }
  {
    SqliteRegistry registry(folder + "/user.db", folder + "/machine.db");
    LinuxSystemInfo system;
    EnvironmentSnapshot snapshot;
    snapshot.IsNT = true;
    ProgramFormState form;
    FormCreate(form, ProgramFormEnvironment{registry, snapshot, system});
    auto list = definitions();
    for (auto _ : state) {
      for (auto& d : list) {
        LoadDefinition(form, d);
        StoreDefinition(form, d);
        d.Changed = false;
      }
      benchmark::DoNotOptimize(list.data());
    }
  }
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
}
BENCHMARK(BM_LoadAndStoreWithoutShowing)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kip

BENCHMARK_MAIN();
