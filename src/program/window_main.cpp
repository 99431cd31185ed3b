// The window module: the part of kiplaunch that needs the toolkit, loaded by the program's entry point
// once the start-up no longer runs without it.
#include <signal.h>

#include <QApplication>
#include <exception>
#include <memory>

#include "model/preferences.h"
#include "program/window_module_api.h"
#include "ui/help_key_filter.h"
#include "ui/instance_channel.h"
#include "ui/main_form.h"
#include "ui/qt_prompts.h"
#include "ui/session_signals.h"
#include "ui/splash_screen.h"

namespace {

std::unique_ptr<QApplication> g_application;

QApplication& application(int* argc, char** argv) {
  if (!g_application) {
    g_application = std::make_unique<QApplication>(*argc, argv);
    QApplication::setApplicationName("kiplaunch");
    // No display name: the toolkit would append it to every window title, and the titles are exact.
    QApplication::setQuitOnLastWindowClosed(false);
  }
  return *g_application;
}

kip::QtPrompts& toolkitPrompts() {
  static kip::QtPrompts prompts;
  return prompts;
}

// The entry point holds back the signals of a session's end until their handler is installed.
void releaseSessionSignals() {
  const sigset_t held = kip::sessionEndSignals();
  pthread_sigmask(SIG_UNBLOCK, &held, nullptr);
}

int runWindow(const kip::WindowStart& start) {
  QApplication& app = application(start.argc, start.argv);
  kip::SessionSignals sessionSignals;
  releaseSessionSignals();

  const kip::CoreServices& core = *start.services;
  kip::QtPrompts& prompts = toolkitPrompts();
  const kip::MainFormServices services{core.registry, core.system,    core.atom,   prompts,       core.clock,
                                       core.network,  core.hostProbe, core.groups, core.processes};
  std::unique_ptr<kip::TSplashscreen> splash;
  if (start.splash) {
    splash = std::make_unique<kip::TSplashscreen>();
    splash->showAndPaint();
  }
  // F1 opens the help topic of the focused control.
  kip::HelpKeyFilter helpKeys(&app);
  app.installEventFilter(&helpKeys);

  auto form = start.engine ? std::make_unique<kip::TMainForm>(services, *start.engine)
                           : std::make_unique<kip::TMainForm>(services, start.sw);
  prompts.setParent(form.get());
  splash.reset();

  QObject::connect(&sessionSignals, &kip::SessionSignals::sessionEnding, form.get(), &kip::TMainForm::sessionEnd);
  kip::InstanceChannel channel(QString::fromUtf8(start.runtimePath));
  QObject::connect(&channel, &kip::InstanceChannel::raiseRequested, form.get(), &kip::TMainForm::raiseWindow);
  channel.listen();

  if (!form->autostartRun()) form->show();
  const int status = QApplication::exec();
  prompts.setParent(nullptr);
  return status;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int kipWindowRun(const kip::WindowStart* start) {
  int status = 1;
  try {
    status = runWindow(*start);
  } catch (const std::exception& e) {
    toolkitPrompts().setParent(nullptr);
    toolkitPrompts().message(std::string("Unexpected error: ") + e.what(), kip::MessageIcon::Error);
  }
  g_application.reset();
  return status;
}

extern "C" __attribute__((visibility("default"))) void kipWindowAskToRaise(int* argc, char** argv,
                                                                           const char* runtimePath) {
  QCoreApplication core(*argc, argv);
  kip::InstanceChannel::askToRaise(QString::fromUtf8(runtimePath));
}

extern "C" __attribute__((visibility("default"))) kip::Prompts* kipWindowPrompts(int* argc, char** argv) {
  application(argc, argv);
  return &toolkitPrompts();
}
