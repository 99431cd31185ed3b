#pragma once

#include <QWidget>

namespace kip {

// The application's own taskbar button: a small top-level window that carries the application title
// (the start-up countdown during an autostart run). Closing it cancels the run.
class ApplicationWindow : public QWidget {
  Q_OBJECT
 public:
  explicit ApplicationWindow(QWidget* parent = nullptr);

  // Sets the title shown on the taskbar button.
  void setTitle(const QString& title);
  [[nodiscard]] QString title() const { return windowTitle(); }

 signals:
  // The user closed the button's window: "Close to cancel".
  void closeRequested();

 protected:
  void closeEvent(QCloseEvent* event) override;
};

}  // namespace kip
