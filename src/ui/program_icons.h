#pragma once

#include <QHash>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <optional>

namespace kip {

// The desktop icons that stand for programs, resolved on first use and kept: the Icon of the desktop entry
// whose Exec or TryExec names the program, else the icon of the file's MIME type, else a style icon.
class ProgramIcons {
 public:
  QIcon iconFor(const QString& source);

  // The four state images (tick, cross, red "G", red "L"), 16 x 16, painted once.
  static QPixmap stateImage(int index);

 private:
  QIcon resolve(const QString& source);
  void indexDesktopEntries();

  QHash<QString, QIcon> m_cache;
  // Program (its full path and its file name) to the Icon of the desktop entry that runs it.
  std::optional<QHash<QString, QString>> m_entryIcons;
};

}  // namespace kip
