#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <exception>

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
#include "ui/help_key_filter.h"
#include "ui/instance_channel.h"
#include "ui/main_form.h"
#include "ui/qt_prompts.h"
#include "ui/session_signals.h"
#include "ui/splash_screen.h"

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
  if (!lock.acquired()) {
    // A copy runs already: ask it to raise its window and end, showing nothing.
    QCoreApplication core(argc, argv);
    kip::InstanceChannel::askToRaise(QString::fromStdString(runtime->path));
    return 0;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName("kiplaunch");
  // No display name: the toolkit would append it to every window title, and the titles are exact.
  QApplication::setQuitOnLastWindowClosed(false);
  // Installed before anything slow, so that a logoff during start-up ends the program in order.
  kip::SessionSignals sessionSignals;

  try {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    const auto sw = kip::parseSwitch(args);

    auto registry = kip::SqliteRegistry::fromEnvironment();
    kip::LinuxSystemInfo system;
    kip::AtomFile atom(runtime->path, runtime->fallback);
    kip::QtPrompts prompts;
    kip::SystemClock clock;
    kip::SystemNameResolver resolver;
    const auto network = kip::LinuxNetworkServices::fromEnvironment(resolver);
    kip::HostProbeRunner hostProbe(resolver);
    kip::LinuxGroupMembership groups;
    kip::PosixLauncher processes(kip::PosixLauncher::optionsFromEnvironment());

    std::unique_ptr<kip::TSplashscreen> splash;
    if (kip::readSplashAtEntry(*registry)) {
      splash = std::make_unique<kip::TSplashscreen>();
      splash->showAndPaint();
    }
    // F1 opens the help topic of the focused control.
    kip::HelpKeyFilter helpKeys(&app);
    app.installEventFilter(&helpKeys);

    kip::TMainForm form({*registry, system, atom, prompts, clock, *network, hostProbe, groups, processes}, sw);
    prompts.setParent(&form);
    splash.reset();

    QObject::connect(&sessionSignals, &kip::SessionSignals::sessionEnding, &form, &kip::TMainForm::sessionEnd);
    kip::InstanceChannel channel(QString::fromStdString(runtime->path));
    QObject::connect(&channel, &kip::InstanceChannel::raiseRequested, &form, &kip::TMainForm::raiseWindow);
    channel.listen();

    if (!form.autostartRun()) form.show();
    return QApplication::exec();
  } catch (const std::exception& e) {
    kip::QtPrompts prompts;
    prompts.message(std::string("Unexpected error: ") + e.what(), kip::MessageIcon::Error);
    return 1;
  }
}
