#include "ui/program_icon.h"

#include <QApplication>

namespace kip {

QIcon programIcon() {
  // Looked up once: every window asks for it, and the look-up reads the theme and the picture.
  // Kept to the end of the process rather than destroyed after the toolkit is gone.
  static const auto* const icon =
      new QIcon(QIcon::fromTheme(QStringLiteral(KIP_APP_ID), QIcon(QStringLiteral(":/icons/kiplaunch.svg"))));
  return *icon;
}

void announceProgramIdentity() {
  QGuiApplication::setDesktopFileName(QStringLiteral(KIP_APP_ID));
  QApplication::setWindowIcon(programIcon());
}

}  // namespace kip
