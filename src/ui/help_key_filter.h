#pragma once

#include <QObject>
#include <functional>

class QWidget;

namespace kip {

// Application-wide F1 handling: install on the QApplication; F1 opens the help topic of the focused
// widget, or of the nearest parent that names one (the active window when nothing has the focus).
class HelpKeyFilter final : public QObject {
  Q_OBJECT

 public:
  // The opener is replaceable so tests can see which topic was asked for.
  explicit HelpKeyFilter(QObject* parent = nullptr, std::function<void(int)> opener = {});

  // The topic of a widget: its own kipHelpTopic or that of its nearest parent; 0 when none has one.
  static int topicOf(const QWidget* widget);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::function<void(int)> m_opener;
};

}  // namespace kip
