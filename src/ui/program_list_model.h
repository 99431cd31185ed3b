#pragma once

#include <QAbstractTableModel>

#include "ui/logic/definition_manager.h"
#include "ui/program_icons.h"

namespace kip {

// The list's rows for the views, straight over the definition manager's list (no proxy: the logic sorts,
// and a new row stays at the end until the next sort). Column 0 is renamed in place through the logic.
class ProgramListModel final : public QAbstractTableModel, private ProgramListListener {
  Q_OBJECT
 public:
  explicit ProgramListModel(DefinitionManager& manager, QObject* parent = nullptr);
  ~ProgramListModel() override;

  // Large icons (icon view) or small ones with the state image beside them.
  void setLargeIcons(bool large);

  [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
  [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
  [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
  [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 private:
  void rowsAboutToBeInserted(std::size_t first, std::size_t last) override;
  void rowsInserted() override;
  void rowsAboutToBeRemoved(std::size_t first, std::size_t last) override;
  void rowsRemoved() override;
  void layoutAboutToBeChanged() override;
  void layoutChanged(std::span<const std::size_t> newRowOf) override;
  void rowChanged(std::size_t row) override;
  [[nodiscard]] QIcon decoration(const ListRow& row) const;
  [[nodiscard]] QIcon compose(const QIcon& program, int stateIndex) const;

  DefinitionManager& m_manager;
  mutable ProgramIcons m_icons;
  // Composed decorations by icon source, state image and size.
  mutable QHash<QString, QIcon> m_decorations;
  bool m_large = false;
  QModelIndexList m_persistent;
};

}  // namespace kip
