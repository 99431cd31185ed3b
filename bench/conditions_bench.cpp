// The condition test of 1000 definitions without network conditions, on the real clock, power folder
// and group database (goal: at most 5 ms for all 1000).
#include <benchmark/benchmark.h>

#include <vector>

#include "conditions/condition_evaluator.h"
#include "conditions/host_probe_runner.h"
#include "net/system_name_resolver.h"
#include "platform/linux/linux_group_membership.h"
#include "platform/linux/linux_network_services.h"
#include "platform/linux/linux_system_info.h"
#include "platform/linux/system_clock.h"

namespace {

using namespace kip;

std::vector<StartDefinition> definitions(bool withPlatformCalls) {
  std::vector<StartDefinition> list(1000);
  for (std::size_t i = 0; i < list.size(); ++i) {
    auto& def = list[i];
    def.Name = "Definition " + std::to_string(i);
    def.Days = i % 3 == 0 ? 31 : 127;
    def.From = i % 4 == 0 ? 700 : 0;
    def.To = i % 4 == 0 ? 1900 : 2400;
    def.Frequency = i % 5 == 0 ? static_cast<std::int32_t>(i % 7 + 1) : 0;
    def.Units = static_cast<std::int32_t>(i % 6);
    def.Executed = 46000.5 + static_cast<double>(i % 30);
    def.User = i % 6 == 0 ? " someone " : "";
    def.Configuration = i % 9 == 0 ? "Docked" : "";
    def.Changes = i % 8 == 0 ? 5 : 0;
    def.Delay = i % 10 == 0 ? 30 : 0;
    if (withPlatformCalls) {
      def.Apm = i % 7 == 0 ? 1 : 0;
      def.Group = i % 50 == 0 ? "users" : "";
    }
  }
  return list;
}

void runConditionTests(benchmark::State& state, bool withPlatformCalls) {
  EnvironmentSnapshot env;
  env.IsNT = true;
  env.UserName = "someone";
  NetworkResults results;
  Preferences prefs;
  LinuxSystemInfo system;
  SystemClock clock;
  SystemNameResolver resolver;
  LinuxNetworkServices services(resolver, DosDevices::fromEnvironment());
  HostProbeRunner host(resolver);
  NetworkProbe probe(services, host);
  LinuxGroupMembership groups;
  ConditionEvaluator evaluator(env, results, prefs, system, clock, probe, groups);
  auto list = definitions(withPlatformCalls);
  for (auto _ : state) {
    int passed = 0;
    for (auto& def : list) passed += evaluator.test(def) ? 1 : 0;
    benchmark::DoNotOptimize(passed);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(list.size()));
}

void BM_Test1000Definitions(benchmark::State& state) { runConditionTests(state, false); }
// The same with the power status read from sysfs for one in seven and the group database for one in fifty.
void BM_Test1000DefinitionsWithPowerAndGroup(benchmark::State& state) { runConditionTests(state, true); }

BENCHMARK(BM_Test1000Definitions)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Test1000DefinitionsWithPowerAndGroup)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
