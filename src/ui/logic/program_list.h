#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "exchange/exchange_list.h"
#include "model/start_definition.h"
#include "ui/logic/text_collator.h"

namespace kip {

// The eight columns of the list.
inline constexpr std::size_t kColumnCount = 8;
inline constexpr std::array<std::string_view, kColumnCount> kColumnCaptions = {
    "Name", "Command", "Configuration", "Power", "Timers", "Options", "Result", "Seq"};
inline constexpr std::array<int, kColumnCount> kColumnWidths = {100, 175, 75, 50, 50, 50, 50, 38};
// Column alignment: true when centred, false when left-aligned.
inline constexpr std::array<bool, kColumnCount> kColumnCentred = {false, false, true, true, true, true, false, true};
inline constexpr std::size_t kTimersColumn = 4;
inline constexpr std::size_t kResultColumn = 6;

// The state images: tick, cross, red "G", red "L".
enum StateImage : int { kStateEnabled = 0, kStateDisabled = 1, kStateMachine = 2, kStateUser = 3 };

// One row of the list: its definition (shared with the definition list), caption, sub-item texts of
// columns 1 to 7, image index and state image.
struct ListRow {
  DefinitionPtr def;
  std::string caption;
  std::string foldedCaption;  // the caption as names are compared, for quick searches
  std::array<std::string, kColumnCount - 1> cells;
  int imageIndex = 0;
  int stateIndex = kStateEnabled;

  // The text of column 0 to 7.
  [[nodiscard]] const std::string& text(std::size_t column) const { return column == 0 ? caption : cells[column - 1]; }
};

// Told about changes of the rows, announced before and confirmed after, as item models need.
class ProgramListListener {
 public:
  virtual ~ProgramListListener() = default;
  virtual void rowsAboutToBeInserted(std::size_t first, std::size_t last) = 0;
  virtual void rowsInserted() = 0;
  virtual void rowsAboutToBeRemoved(std::size_t first, std::size_t last) = 0;
  virtual void rowsRemoved() = 0;
  virtual void layoutAboutToBeChanged() = 0;
  // newRowOf[old] is the row that the row formerly at old now has.
  virtual void layoutChanged(std::span<const std::size_t> newRowOf) = 0;
  // Cells of one row changed (first to last column); images too when the state index changed.
  virtual void rowChanged(std::size_t row) = 0;
};

// What the in-place rename check decided.
enum class RenameOutcome { Unchanged, Accepted, Refused };

// The rows of the definition list in display order: unique names, row texts, sort, rename check.
class ProgramList final : public ExchangeList {
 public:
  explicit ProgramList(const TextCollator& collator) : m_collator(&collator) {}

  void setListener(ProgramListListener* listener) { m_listener = listener; }
  void setCollator(const TextCollator& collator) { m_collator = &collator; }
  // The edit scope decides which letter other-scope rows show.
  void setGlobalEdit(bool globalEdit) { m_globalEdit = globalEdit; }

  [[nodiscard]] std::size_t size() const { return m_rows.size(); }
  // Makes room for rows to come, so that adding thousands does not move the rows over and over.
  void reserve(std::size_t rows) { m_rows.reserve(rows); }
  [[nodiscard]] const ListRow& row(std::size_t index) const { return m_rows.at(index); }
  [[nodiscard]] std::vector<DefinitionPtr> definitions() const;
  // The row showing def; npos when none does.
  [[nodiscard]] std::size_t rowOf(const StartDefinition* def) const;

  // ExchangeList
  [[nodiscard]] std::size_t itemCount() const override { return m_rows.size(); }
  [[nodiscard]] DefinitionPtr itemDefinition(std::size_t index) const override;
  [[nodiscard]] std::optional<std::size_t> findItem(std::string_view name) const override;
  // Appends def as a new row after making its Name unique among the captions; not sorted into place.
  void AddRow(const DefinitionPtr& def) override;
  void RefreshRow(std::size_t index) override;
  // RefreshRow that says whether anything changed.
  bool refreshRow(std::size_t index);

  // Removes the row (its definition lives on); returns it.
  DefinitionPtr removeRow(std::size_t index);
  // Recomputes every row's state image (after a scope switch).
  void refreshStateImages();
  // Writes the queue's "Timers" and "Result" texts into a row.
  void setQueueColumns(std::size_t index, std::string_view timers, std::string_view result);

  // Sorts by sortCol (0 none, +n ascending by column n-1, -n descending), stably.
  void sort(std::int32_t sortCol);
  // The sortCol after a click on the header of column: a second click on the same column descends.
  static std::int32_t headerClick(std::int32_t sortCol, std::size_t column);
  // The comparison of two rows for sortCol: negative, zero or positive.
  [[nodiscard]] int ProgramListViewCompare(const ListRow& a, const ListRow& b, std::int32_t sortCol) const;

  // The rename check for a caption edited in place: another row with that name (case ignored) refuses.
  RenameOutcome renameRow(std::size_t index, const std::string& caption);

  // The state image of a definition under the edit scope.
  [[nodiscard]] int stateIndexFor(const StartDefinition& def) const;

 private:
  void indexCaption(const std::string& folded);
  void unindexCaption(const std::string& folded);
  void setCaption(ListRow& row, const std::string& caption);

  const TextCollator* m_collator;
  ProgramListListener* m_listener = nullptr;
  std::vector<ListRow> m_rows;
  // Folded captions with the number of rows that carry each, so unique names stay quick.
  std::unordered_map<std::string, std::size_t> m_captions;
  int m_nextImage = 0;
  bool m_globalEdit = false;
};

// The number the "Timers" column sorts by: |Countdown|, else Delay, else Msg.
std::int64_t timersSortKey(const StartDefinition* def);

}  // namespace kip
