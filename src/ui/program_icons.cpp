#include "ui/program_icons.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QPainter>
#include <QStandardPaths>
#include <QStyle>
#include <array>

#include "exchange/desktop_entry.h"

namespace kip {

namespace {

QPixmap paintStateImage(int index) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  switch (index) {
    case 0: {  // black tick
      painter.setPen(QPen(Qt::black, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      const std::array<QPointF, 3> tick = {QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4)};
      painter.drawPolyline(tick.data(), 3);
      break;
    }
    case 1:  // black cross
      painter.setPen(QPen(Qt::black, 2.2, Qt::SolidLine, Qt::RoundCap));
      painter.drawLine(QPointF(4, 4), QPointF(12, 12));
      painter.drawLine(QPointF(12, 4), QPointF(4, 12));
      break;
    default: {  // red letter
      QFont font = painter.font();
      font.setBold(true);
      font.setPixelSize(14);
      painter.setFont(font);
      painter.setPen(Qt::red);
      painter.drawText(pixmap.rect(), Qt::AlignCenter, index == 2 ? "G" : "L");
    }
  }
  return pixmap;
}

}  // namespace

QPixmap ProgramIcons::stateImage(int index) {
  static const std::array<QPixmap, 4> images = {paintStateImage(0), paintStateImage(1), paintStateImage(2),
                                                paintStateImage(3)};
  return images[static_cast<std::size_t>(index >= 0 && index < 4 ? index : 0)];
}

QIcon ProgramIcons::iconFor(const QString& source) {
  if (const auto it = m_cache.constFind(source); it != m_cache.constEnd()) return *it;
  QIcon icon = resolve(source);
  m_cache.insert(source, icon);
  return icon;
}

void ProgramIcons::indexDesktopEntries() {
  m_entryIcons.emplace();
  const QStringList dirs = QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
  // Earlier folders take precedence: read them last so that their entries overwrite.
  for (auto dir = dirs.crbegin(); dir != dirs.crend(); ++dir) {
    const QFileInfoList files = QDir(*dir).entryInfoList({"*.desktop"}, QDir::Files | QDir::Readable);
    for (const QFileInfo& file : files) {
      QFile in(file.filePath());
      if (file.size() > 256 * 1024 || !in.open(QIODevice::ReadOnly)) continue;
      const QByteArray text = in.readAll();
      const auto entry = parseDesktopEntry(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
      if (!entry.problems.empty() || !entry.exec || entry.icon.empty()) continue;
      const QString program = QString::fromStdString(entry.exec->front());
      const QString icon = QString::fromStdString(entry.icon);
      m_entryIcons->insert(program, icon);
      m_entryIcons->insert(QFileInfo(program).fileName(), icon);
    }
  }
}

QIcon ProgramIcons::styleIcon(QStyle::StandardPixmap which) {
  const auto it = m_styleIcons.constFind(which);
  if (it != m_styleIcons.constEnd()) return *it;
  const QIcon icon = QApplication::style()->standardIcon(which);
  m_styleIcons.insert(which, icon);
  return icon;
}

QIcon ProgramIcons::resolve(const QString& source) {
  if (source.isEmpty()) return styleIcon(QStyle::SP_FileIcon);
  if (!m_entryIcons) indexDesktopEntries();
  const QFileInfo info(source);
  for (const QString& key : {source, info.fileName()}) {
    const auto it = m_entryIcons->constFind(key);
    if (it == m_entryIcons->constEnd()) continue;
    QIcon icon = QFileInfo(*it).isAbsolute() ? QIcon(*it) : QIcon::fromTheme(*it);
    if (!icon.isNull()) return icon;
  }
  if (info.isDir()) return styleIcon(QStyle::SP_DirIcon);
  // By name first: reading the content of every program would slow the list down.
  QMimeDatabase mimes;
  QMimeType type = mimes.mimeTypeForFile(source, QMimeDatabase::MatchExtension);
  if (type.isDefault() && info.isFile()) type = mimes.mimeTypeForFile(info, QMimeDatabase::MatchContent);
  auto known = m_typeIcons.constFind(type.name());
  if (known == m_typeIcons.constEnd())
    known =
        m_typeIcons.insert(type.name(), QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName())));
  if (!known->isNull()) return *known;
  const bool executable = info.isExecutable() || type.inherits("application/x-executable");
  return styleIcon(executable ? QStyle::SP_ComputerIcon : QStyle::SP_FileIcon);
}

}  // namespace kip
