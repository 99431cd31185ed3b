#include "ui/application_window.h"

#include <QCloseEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/program_icon.h"

namespace kip {

ApplicationWindow::ApplicationWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("ApplicationWindow");
  setTitle("Kip Launch Manager");
  setWindowIcon(programIcon());
  auto* layout = new QVBoxLayout(this);
  auto* label = new QLabel("Kip Launch Manager is starting your programs.\nClose this window to cancel.", this);
  layout->addWidget(label);
  resize(320, 80);
}

void ApplicationWindow::setTitle(const QString& title) {
  setWindowTitle(title);
  // A plain window is not named by its title for assistive technology; the countdown is worth hearing.
  setAccessibleName(title);
}

void ApplicationWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  emit closeRequested();
}

}  // namespace kip
