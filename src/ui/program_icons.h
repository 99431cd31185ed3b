#pragma once

#include <QHash>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStyle>
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
  // The style's icon, loaded once: it is read from image files every time it is asked for.
  QIcon styleIcon(QStyle::StandardPixmap which);

  QHash<QString, QIcon> m_cache;
  QHash<int, QIcon> m_styleIcons;
  // MIME type name to its theme icon (null when the theme has none), looked up once per type.
  QHash<QString, QIcon> m_typeIcons;
  // Program (its full path and its file name) to the Icon of the desktop entry that runs it.
  std::optional<QHash<QString, QString>> m_entryIcons;
};

}  // namespace kip
