#include "ui/help_key_filter.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include "ui/help_opener.h"

namespace kip {

HelpKeyFilter::HelpKeyFilter(QObject* parent, std::function<void(int)> opener)
    : QObject(parent), m_opener(std::move(opener)) {
  if (!m_opener) m_opener = [](int topic) { openHelpTopic(topic); };
}

int HelpKeyFilter::topicOf(const QWidget* widget) {
  for (; widget; widget = widget->parentWidget()) {
    const QVariant topic = widget->property(kHelpTopicProperty);
    bool ok = false;
    const int number = topic.toInt(&ok);
    if (topic.isValid() && ok && number > 0) return number;
  }
  return 0;
}

bool HelpKeyFilter::eventFilter(QObject* watched, QEvent* event) {
  // Claim F1 before any shortcut bound to it, so that the key press below reaches the focus widget.
  if (event->type() == QEvent::ShortcutOverride && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1 &&
      watched->isWidgetType() &&
      topicOf(QApplication::focusWidget() ? QApplication::focusWidget() : static_cast<QWidget*>(watched)) > 0) {
    event->accept();
    return true;
  }
  // A key press reaches the filter once per widget it propagates through; react only to the first,
  // which is delivered to the focus widget (or the window) itself.
  if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1 &&
      watched->isWidgetType()) {
    const QWidget* target = QApplication::focusWidget();
    if (!target) target = QApplication::activeWindow();
    if (!target) target = static_cast<QWidget*>(watched);
    if (const int topic = topicOf(target); topic > 0) {
      m_opener(topic);
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace kip
