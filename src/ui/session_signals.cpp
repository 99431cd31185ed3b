#include "ui/session_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

namespace kip {

namespace {
int g_pipe[2] = {-1, -1};

extern "C" void onSessionSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const auto written = write(g_pipe[1], &byte, 1);
}
}  // namespace

SessionSignals::SessionSignals(QObject* parent) : QObject(parent) {
  if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  struct sigaction action {};
  action.sa_handler = onSessionSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGHUP, SIGINT}) sigaction(sig, &action, nullptr);
  m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
  connect(m_notifier, &QSocketNotifier::activated, this, [this] {
    char buffer[16];
    while (read(g_pipe[0], buffer, sizeof buffer) > 0) {
    }
    emit sessionEnding();
  });
}

SessionSignals::~SessionSignals() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  for (int sig : {SIGTERM, SIGHUP, SIGINT}) sigaction(sig, &action, nullptr);
}

}  // namespace kip
