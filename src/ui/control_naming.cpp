#include "ui/control_naming.h"

#include <QWidget>

#include "ui/help_opener.h"

namespace kip {

void nameControl(QWidget* widget, const char* controlName, const QString& accessibleName, int topic) {
  widget->setObjectName(QString::fromLatin1(controlName));
  widget->setAccessibleDescription(QString::fromLatin1(controlName));
  QString name = accessibleName;
  name.remove(QLatin1Char('&'));
  widget->setAccessibleName(name.trimmed());
  if (topic != 0) widget->setProperty(kHelpTopicProperty, topic);
}

}  // namespace kip
