#include <ostream>

#include "conditions/condition_evaluator.h"
#include "conditions/host_probe_runner.h"
#include "model/definition_store.h"
#include "model/environment_snapshot.h"
#include "model/preferences.h"
#include "net/system_name_resolver.h"
#include "platform/linux/linux_group_membership.h"
#include "platform/linux/linux_network_services.h"
#include "platform/linux/linux_system_info.h"
#include "platform/linux/sqlite_registry.h"
#include "platform/linux/system_clock.h"
#include "verbs.h"

namespace kip::ctl {

namespace {

constexpr const char* kTestUsage = "usage: kipctl test NAME [--global]\n";

}  // namespace

// kipctl test NAME [--global]: the condition test of one definition in the program's own environment.
// Prints Result and TestResult; writes nothing. Exit 0 passed, 1 not passed (a pending delay included),
// 2 no such definition or nothing to test.
int runTest(const std::vector<std::string>& args, Io& io) {
  bool global = false;
  std::vector<std::string> names;
  for (const auto& arg : args) {
    if (arg == "--global")
      global = true;
    else if (arg.size() > 2 && arg.starts_with("--")) {
      io.err << "kipctl test: unknown option \"" << arg << "\"\n" << kTestUsage;
      return 2;
    } else {
      names.push_back(arg);
    }
  }
  if (names.size() != 1 || names.front().empty()) {
    io.err << "kipctl test: give exactly one definition NAME\n" << kTestUsage;
    return 2;
  }

  auto registry = SqliteRegistry::fromEnvironment();
  if (!registry) {
    io.err << "kipctl: cannot open the registry hives\n";
    return 2;
  }
  const Hive hive = global ? Hive::LocalMachine : Hive::CurrentUser;
  if (const auto problem = registry->hiveProblem(hive); !problem.empty()) io.err << "kipctl: " << problem << '\n';

  // The environment snapshot and the running preferences as the program gathers them at start-up.
  LinuxSystemInfo system;
  EnvironmentSnapshot env;
  env.IsNT = system.isNT();
  readPreviousStart(*registry, env);
  env.UserName = readUserName(system);
  Preferences prefs;
  readPreferences(*registry, prefs);
  env.ConfigName = readConfigName(*registry, env.IsNT);
  env.PowerState = powerStateFrom(system.powerStatus());

  std::vector<DefinitionPtr> definitions;
  DefinitionStore(*registry).load(hive, false, definitions);
  DefinitionPtr definition;
  const std::string wanted = foldName(names.front());
  for (const auto& candidate : definitions)
    if (foldName(candidate->Name) == wanted) definition = candidate;
  if (!definition) {
    io.err << "kipctl test: no definition \"" << names.front() << "\" in the " << (global ? "machine-wide" : "per-user")
           << " list\n";
    return 2;
  }

  SystemNameResolver resolver;
  const auto services = LinuxNetworkServices::fromEnvironment(resolver);
  HostProbeRunner host(resolver);
  NetworkProbe probe(*services, host);
  LinuxGroupMembership groups;
  SystemClock clock;
  NetworkResults results;
  ConditionEvaluator evaluator(env, results, prefs, system, clock, probe, groups);
  const bool passed = evaluator.test(*definition);
  io.out << definition->Result << '\n' << definition->TestResult << '\n';
  return passed ? 0 : 1;
}

}  // namespace kip::ctl
