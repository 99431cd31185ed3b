#include "ui/program_icon.h"

#include <QApplication>

namespace kip {

QIcon programIcon() {
  return QIcon::fromTheme(QStringLiteral(KIP_APP_ID), QIcon(QStringLiteral(":/icons/kiplaunch.svg")));
}

void announceProgramIdentity() {
  QGuiApplication::setDesktopFileName(QStringLiteral(KIP_APP_ID));
  QApplication::setWindowIcon(programIcon());
}

}  // namespace kip
