// The definition manager window over 1000 definitions in temporary hives, on the offscreen platform:
// the first showing (construction, load, the dialog's load-and-store pass, the list filled and painted),
// a sort by one column (goal: under 20 ms), and Start Later on one row (change, re-sort, repaint;
// goal: under 20 ms). The time from exec to the list shown is measured by main_window_startup.sh.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QTreeView>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "conditions/host_probe_runner.h"
#include "model/registry_layout.h"
#include "net/system_name_resolver.h"
#include "platform/linux/atom_file.h"
#include "platform/linux/linux_group_membership.h"
#include "platform/linux/linux_network_services.h"
#include "platform/linux/linux_system_info.h"
#include "platform/linux/posix_launcher.h"
#include "platform/linux/sqlite_registry.h"
#include "platform/linux/system_clock.h"
#include "platform/registry_values.h"
#include "ui/main_form.h"
#include "ui/qt_prompts.h"

namespace kip {
namespace {

constexpr int kDefinitions = 1000;

// Temporary hives with 1000 varied definitions, and the services of the real program over them.
struct Fixture {
  Fixture() {
    const char* base = std::getenv("TMPDIR");
    folder = std::string(base && *base ? base : "/tmp") + "/kipwindowbench-XXXXXX";
    if (!mkdtemp(folder.data())) std::abort();
    registry = std::make_unique<SqliteRegistry>(folder + "/user.db", folder + "/machine.db");
    std::unique_ptr<RegKey> key;
    for (int i = 0; i < kDefinitions; ++i) {
      const std::string path = std::string(kStartListKey) + "\\Definition " + std::to_string(i);
      registry->createKey(Hive::CurrentUser, path, key);
      writeText(*key, "Module", "/usr/lib/vendor/bin/program-" + std::to_string((i * 7919) % kDefinitions));
      writeDword(*key, "Sequence", i % 5);
      writeDword(*key, "Apm", i % 3);
      writeDword(*key, "Delay", i % 10 == 0 ? 30 : 0);
      writeText(*key, "Result", i % 4 == 0 ? "OK" : "");
    }
    atom = std::make_unique<AtomFile>(folder, false);
    network = LinuxNetworkServices::fromEnvironment(resolver);
  }
  ~Fixture() { std::filesystem::remove_all(folder); }

  std::unique_ptr<TMainForm> open() {
    auto form = std::make_unique<TMainForm>(
        MainFormServices{*registry, system, *atom, prompts, clock, *network, hostProbe, groups, processes},
        Switch::None);
    form->show();
    form->programListView()->viewport()->repaint();
    return form;
  }

  std::string folder;
  std::unique_ptr<SqliteRegistry> registry;
  LinuxSystemInfo system;
  std::unique_ptr<AtomFile> atom;
  QtPrompts prompts;
  SystemClock clock;
  SystemNameResolver resolver;
  std::unique_ptr<NetworkServices> network;
  HostProbeRunner hostProbe{resolver};
  LinuxGroupMembership groups;
  PosixLauncher processes{PosixLauncher::optionsFromEnvironment()};
};

Fixture& fixture() {
  static Fixture instance;
  return instance;
}

void BM_FirstShowing(benchmark::State& state) {
  for (auto _ : state) {
    auto form = fixture().open();
    benchmark::DoNotOptimize(form.get());
    state.PauseTiming();
    form.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_FirstShowing)->Unit(benchmark::kMillisecond)->Iterations(15);

// Each iteration clicks the column's header once, so ascending and descending sorts alternate.
void BM_SortByColumn(benchmark::State& state) {
  auto form = fixture().open();
  if (form->manager().list().size() != kDefinitions) {
    state.SkipWithError("the list is not filled");
    return;
  }
  const auto column = static_cast<std::size_t>(state.range(0));
  for (auto _ : state) {
    form->manager().headerClick(column);
    form->programListView()->viewport()->repaint();
  }
}
BENCHMARK(BM_SortByColumn)->DenseRange(0, 7)->Unit(benchmark::kMillisecond)->Iterations(30);

void BM_StartLaterOnOneRow(benchmark::State& state) {
  auto form = fixture().open();
  QTreeView* view = form->programListView();
  view->setCurrentIndex(view->model()->index(kDefinitions / 2, 0));
  const auto row = form->manager().selectedRow();
  if (!row || !form->actions().LaterButton->isEnabled()) {
    state.SkipWithError("no row selected");
    return;
  }
  const StartDefinition* def = form->manager().list().row(*row).def.get();
  const std::int32_t before = def->Sequence;
  for (auto _ : state) {
    form->actions().LaterButton->trigger();
    view->viewport()->repaint();
  }
  if (def->Sequence != before + static_cast<std::int32_t>(state.iterations())) state.SkipWithError("no change");
}
BENCHMARK(BM_StartLaterOnOneRow)->Unit(benchmark::kMillisecond)->Iterations(50);

}  // namespace
}  // namespace kip

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
