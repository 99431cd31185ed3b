#include "ui/program_list_model.h"

#include <QPainter>

namespace kip {

namespace {

QString toQt(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

ProgramListModel::ProgramListModel(DefinitionManager& manager, QObject* parent)
    : QAbstractTableModel(parent), m_manager(manager) {
  m_manager.list().setListener(this);
}

ProgramListModel::~ProgramListModel() { m_manager.list().setListener(nullptr); }

void ProgramListModel::setLargeIcons(bool large) {
  if (large == m_large) return;
  m_large = large;
  if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::DecorationRole});
}

int ProgramListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_manager.list().size());
}

int ProgramListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(kColumnCount);
}

QIcon ProgramListModel::decoration(const ListRow& row) const {
  const QString source = row.def ? toQt(row.def->IconSource) : QString();
  const QString key = source + QChar(u'\x1f') + QString::number(row.stateIndex) + (m_large ? u'L' : u'S');
  if (const auto it = m_decorations.constFind(key); it != m_decorations.constEnd()) return *it;
  const QIcon composed = compose(m_icons.iconFor(source), row.stateIndex);
  m_decorations.insert(key, composed);
  return composed;
}

QIcon ProgramListModel::compose(const QIcon& program, int stateIndex) const {
  const QPixmap state = ProgramIcons::stateImage(stateIndex);
  if (m_large) {
    // The program's icon filling 32 x 32 pixels, the state image at its lower left.
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPixmap picture = program.pixmap(32, 32);
    if (!picture.isNull() && picture.width() < 32 && picture.height() < 32)
      picture = picture.scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPainter painter(&pixmap);
    painter.drawPixmap((32 - picture.width()) / 2, (32 - picture.height()) / 2, picture);
    painter.drawPixmap(0, 16, state);
    return QIcon(pixmap);
  }
  QPixmap pixmap(34, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.drawPixmap(0, 0, state);
  painter.drawPixmap(18, 0, program.pixmap(16, 16));
  return QIcon(pixmap);
}

QVariant ProgramListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_manager.list().size()) return {};
  const ListRow& row = m_manager.list().row(static_cast<std::size_t>(index.row()));
  const auto column = static_cast<std::size_t>(index.column());
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      return toQt(row.text(column));
    case Qt::DecorationRole:
      return column == 0 ? QVariant(decoration(row)) : QVariant();
    case Qt::TextAlignmentRole:
      return QVariant::fromValue((kColumnCentred[column] ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
    default:
      return {};
  }
}

QVariant ProgramListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(kColumnCount)) return {};
  const auto column = static_cast<std::size_t>(section);
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return QString::fromLatin1(kColumnCaptions[column].data());
  if (role == Qt::TextAlignmentRole)
    return QVariant::fromValue((kColumnCentred[column] ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
  return {};
}

Qt::ItemFlags ProgramListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  if (!index.isValid() || index.column() != 0) return flags;
  const ListRow& row = m_manager.list().row(static_cast<std::size_t>(index.row()));
  if (row.def && !row.def->OtherScope) flags |= Qt::ItemIsEditable;
  return flags;
}

bool ProgramListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid() || index.column() != 0) return false;
  return m_manager.renameRow(static_cast<std::size_t>(index.row()), value.toString().toStdString());
}

void ProgramListModel::rowsAboutToBeInserted(std::size_t first, std::size_t last) {
  beginInsertRows({}, static_cast<int>(first), static_cast<int>(last));
}

void ProgramListModel::rowsInserted() { endInsertRows(); }

void ProgramListModel::rowsAboutToBeRemoved(std::size_t first, std::size_t last) {
  beginRemoveRows({}, static_cast<int>(first), static_cast<int>(last));
}

void ProgramListModel::rowsRemoved() { endRemoveRows(); }

void ProgramListModel::layoutAboutToBeChanged() {
  emit QAbstractItemModel::layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  m_persistent = persistentIndexList();
}

void ProgramListModel::layoutChanged(std::span<const std::size_t> newRowOf) {
  // The selection and the current row move with their rows.
  QModelIndexList moved;
  moved.reserve(m_persistent.size());
  for (const QModelIndex& old : m_persistent) {
    const auto row = static_cast<std::size_t>(old.row());
    moved << (row < newRowOf.size() ? index(static_cast<int>(newRowOf[row]), old.column()) : QModelIndex());
  }
  changePersistentIndexList(m_persistent, moved);
  m_persistent.clear();
  emit QAbstractItemModel::layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ProgramListModel::rowChanged(std::size_t row) {
  const int r = static_cast<int>(row);
  emit dataChanged(index(r, 0), index(r, static_cast<int>(kColumnCount) - 1));
}

}  // namespace kip
