// The program's entry point. It needs no toolkit: without a splash screen it runs the start-up sequence,
// whose first pass starts the programs that need no waiting, before the window module and the toolkit
// are loaded at all; then it hands what it started and queued to the main window.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>

#include "app/run_engine.h"
#include "conditions/host_probe_runner.h"
#include "model/preferences.h"
#include "net/system_name_resolver.h"
#include "platform/linux/atom_file.h"
#include "platform/linux/instance_lock.h"
#include "platform/linux/linux_group_membership.h"
#include "platform/linux/linux_network_services.h"
#include "platform/linux/linux_system_info.h"
#include "platform/linux/posix_launcher.h"
#include "platform/linux/runtime_dir.h"
#include "platform/linux/sqlite_registry.h"
#include "platform/linux/system_clock.h"
#include "program/window_module.h"

namespace {

bool haveDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

constexpr const char* kNoDisplayMessage =
    "kiplaunch: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
    "Kip Launch Manager is a desktop program: start it inside a graphical session, or run it on a\n"
    "virtual display with   xvfb-run -a kiplaunch   or without any display with\n"
    "QT_QPA_PLATFORM=offscreen kiplaunch   (nothing is shown then).\n";

// A session's end during the start-up is held back until the window has installed its handler, so
// that it ends the program in order.
void holdSessionSignals() {
  const sigset_t held = kip::sessionEndSignals();
  pthread_sigmask(SIG_BLOCK, &held, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  if (!haveDisplay()) {
    std::fputs(kNoDisplayMessage, stderr);
    return 1;
  }
  std::string error;
  const auto runtime = kip::resolveRuntimeDir(error);
  if (!runtime) {
    std::fprintf(stderr, "kiplaunch: %s\n", error.c_str());
    return 1;
  }

  kip::InstanceLock lock(runtime->path);
  if (!lock.problem().empty()) {
    // Without the lock this copy cannot tell whether it is the first: it starts nothing, but says why.
    std::fprintf(stderr, "kiplaunch: %s\n", lock.problem().c_str());
    return 0;
  }
  kip::WindowModule module;
  if (!lock.acquired()) {
    // A copy runs already: ask it to raise its window and end, showing nothing.
    if (!module.load(error)) {
      std::fprintf(stderr, "kiplaunch: %s\n", error.c_str());
      return 1;
    }
    module.askToRaise(&argc, argv, runtime->path.c_str());
    return 0;
  }
  holdSessionSignals();

  kip::ToolkitPrompts prompts(module, argc, argv);
  try {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    const auto sw = kip::parseSwitch(args);

    auto registry = kip::SqliteRegistry::fromEnvironment();
    kip::LinuxSystemInfo system;
    kip::AtomFile atom(runtime->path, runtime->fallback);
    kip::SystemClock clock;
    kip::SystemNameResolver resolver;
    const auto network = kip::LinuxNetworkServices::fromEnvironment(resolver);
    kip::HostProbeRunner hostProbe(resolver);
    kip::LinuxGroupMembership groups;
    kip::PosixLauncher processes(kip::PosixLauncher::optionsFromEnvironment());
    const kip::CoreServices services{*registry, system, atom, clock, *network, hostProbe, groups, processes};

    // With a splash screen the toolkit comes first, to show it before the load; without one the load and
    // the first pass need no toolkit.
    const bool splash = kip::readSplashAtEntry(*registry);
    std::optional<kip::RunEngine> engine;
    if (!splash) {
      engine.emplace(services);
      engine->startUp(prompts, sw);
      // Everything started and nothing left to count down: the run ends here, without the toolkit.
      if (engine->autostartRunDone()) {
        engine->writeProgramEnd();
        return 0;
      }
    }
    if (!module.load(error)) {
      std::fprintf(stderr, "kiplaunch: %s\n", error.c_str());
      return 1;
    }
    const kip::WindowStart start{&argc, argv,  runtime->path.c_str(), &services, engine ? &*engine : nullptr,
                                 sw,    splash};
    const int status = module.run(&start);
    // The show states of the last starts are applied on the launcher's threads, which end with it.
    processes.finishShowStates();
    return status;
  } catch (const std::exception& e) {
    try {
      prompts.message(std::string("Unexpected error: ") + e.what(), kip::MessageIcon::Error);
    } catch (const std::exception&) {
      std::fprintf(stderr, "kiplaunch: Unexpected error: %s\n", e.what());
    }
    return 1;
  }
}
