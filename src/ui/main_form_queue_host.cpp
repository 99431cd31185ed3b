// The main window's side of the start queue: the timer, the titles, the taskbar window, the notification
// icon and the list's rows as the queue sees them.
#include "ui/main_form.h"

#include <QCoreApplication>
#include <QSystemTrayIcon>
#include <QTimer>

#include "ui/application_window.h"

namespace kip {

namespace {

constexpr int kTrayRetryLimit = 5;
constexpr int kTrayRetryMs = 3000;

QString toQt(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

bool TMainForm::timerEnabled() const { return MyTimer->isActive(); }

void TMainForm::setTimerEnabled(bool enabled) {
  if (enabled && !MyTimer->isActive())
    MyTimer->start();
  else if (!enabled)
    MyTimer->stop();
}

void TMainForm::setApplicationTitle(std::string_view title) { m_appWindow->setTitle(toQt(title)); }

void TMainForm::setMainCaption(std::string_view caption) { setWindowTitle(toQt(caption)); }

void TMainForm::setShowApp(bool shown) {
  m_showApp = shown;
  // A tick shows the taskbar window only as the queue ends; with the window never opened the program
  // ends right after, and showing it would only flash it on the desktop.
  if (shown && m_queue.inTick() && !m_state.run.WindowOpened) return;
  // While the main window is on screen it is the taskbar entry; the small window stands in otherwise.
  if (shown && !isVisible())
    m_appWindow->show();
  else if (!shown)
    m_appWindow->hide();
}

void TMainForm::minimizeApplication() {
  if (!isVisible()) m_appWindow->showMinimized();
}

void TMainForm::setTrayIconActive(bool active) {
  m_trayActive = active;
  TrayIcon1->setVisible(active);
  // At logon the panel may come up after the program: try again a few times.
  if (active && !QSystemTrayIcon::isSystemTrayAvailable() && m_trayRetries < kTrayRetryLimit) {
    ++m_trayRetries;
    QTimer::singleShot(kTrayRetryMs, this, [this] {
      if (m_trayActive && !TrayIcon1->isVisible()) setTrayIconActive(true);
    });
  }
}

void TMainForm::showWindow() {
  if (!isVisible() || isMinimized()) {
    m_appWindow->hide();
    showMinimized();
  }
}

void TMainForm::closeMainWindow() {
  // Closing from inside a tick would end the program under the queue's feet; do it right after.
  QTimer::singleShot(0, this, [this] { close(); });
}

void TMainForm::processMessages() { QCoreApplication::processEvents(); }

std::vector<DefinitionPtr> TMainForm::listViewDefinitions() { return viewOrder(); }

void TMainForm::refreshQueueColumns(std::size_t row, std::string_view timers, std::string_view result) {
  m_manager.list().setQueueColumns(row, timers, result);
}

std::vector<DefinitionPtr> TMainForm::hiddenDefinitions() { return m_state.hidden; }

std::vector<DefinitionPtr> TMainForm::allDefinitions() { return m_state.definitions; }

bool TMainForm::showStatusPage(StartDefinition& definition) {
  if (!m_programForm) return false;
  return m_manager.showStatusPage(definition);
}

}  // namespace kip
