#pragma once

#include <QString>

class QWidget;

namespace kip {

// Gives a control its control name (objectName and accessible description), its accessible name (the
// caption without "&", or a field's label) and, when topic is not 0, its help topic for F1.
void nameControl(QWidget* widget, const char* controlName, const QString& accessibleName, int topic = 0);

}  // namespace kip
