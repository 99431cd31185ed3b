#include "ui/help_opener.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include "platform/linux/posix_launcher.h"

#ifndef KIP_DATADIR
#define KIP_DATADIR "/usr/local/share"
#endif

namespace kip {

QString helpTopicPage(int topic) {
  const QString name = QStringLiteral("topic-%1.html").arg(topic);
  // Beside the program (the build folder), then the installed folder, first relative to the program so
  // that a moved installation still finds its pages.
  const QString programDir = QCoreApplication::applicationDirPath();
  const QStringList folders = {programDir + QStringLiteral("/help"),
                               programDir + QStringLiteral("/../share/kiplaunch/help"),
                               QStringLiteral(KIP_DATADIR "/kiplaunch/help")};
  for (const QString& folder : folders) {
    const QFileInfo page(folder + QLatin1Char('/') + name);
    if (page.isFile()) return page.absoluteFilePath();
  }
  return {};
}

bool openWithOpener(const QString& address) {
  // The same opener that opens documents, so KIPLAUNCH_OPENER has one meaning everywhere.
  const QString opener = QString::fromStdString(PosixLauncher::optionsFromEnvironment().opener);
  return QProcess::startDetached(opener, {address});
}

bool openHelpTopic(int topic) {
  const QString page = helpTopicPage(topic);
  return !page.isEmpty() && openWithOpener(QUrl::fromLocalFile(page).toString());
}

}  // namespace kip
