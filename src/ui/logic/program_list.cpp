#include "ui/logic/program_list.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>

#include "engine/start_queue.h"
#include "model/unique_name.h"
#include "platform/registry.h"

namespace kip {

namespace {

std::array<std::string, kColumnCount - 1> cellsOf(const StartDefinition& def) {
  return {def.Module, def.Configuration,           def.StateSummary, def.TimingSummary, def.ConditionSummary,
          def.Result, std::to_string(def.Sequence)};
}

int sign(std::int64_t value) { return value < 0 ? -1 : (value > 0 ? 1 : 0); }

}  // namespace

std::int64_t timersSortKey(const StartDefinition* def) {
  if (!def) return 0;
  if (def->Countdown != 0) return std::llabs(def->Countdown);
  if (def->Delay != 0) return def->Delay;
  return def->Msg;
}

std::vector<DefinitionPtr> ProgramList::definitions() const {
  std::vector<DefinitionPtr> out;
  out.reserve(m_rows.size());
  for (const auto& row : m_rows) out.push_back(row.def);
  return out;
}

std::size_t ProgramList::rowOf(const StartDefinition* def) const {
  for (std::size_t i = 0; i < m_rows.size(); ++i)
    if (m_rows[i].def.get() == def) return i;
  return static_cast<std::size_t>(-1);
}

DefinitionPtr ProgramList::itemDefinition(std::size_t index) const {
  return index < m_rows.size() ? m_rows[index].def : nullptr;
}

std::optional<std::size_t> ProgramList::findItem(std::string_view name) const {
  const std::string folded = foldName(name);
  if (m_captions.find(folded) == m_captions.end()) return std::nullopt;
  for (std::size_t i = 0; i < m_rows.size(); ++i)
    if (m_rows[i].def && m_rows[i].foldedCaption == folded) return i;
  return std::nullopt;
}

int ProgramList::stateIndexFor(const StartDefinition& def) const {
  if (def.OtherScope) return m_globalEdit ? kStateUser : kStateMachine;
  return def.Disable ? kStateDisabled : kStateEnabled;
}

void ProgramList::indexCaption(const std::string& folded) { ++m_captions[folded]; }

void ProgramList::unindexCaption(const std::string& folded) {
  const auto it = m_captions.find(folded);
  if (it == m_captions.end()) return;
  if (--it->second == 0) m_captions.erase(it);
}

void ProgramList::setCaption(ListRow& row, const std::string& caption) {
  unindexCaption(row.foldedCaption);
  row.caption = caption;
  row.foldedCaption = foldName(caption);
  indexCaption(row.foldedCaption);
}

void ProgramList::AddRow(const DefinitionPtr& def) {
  if (!def) return;
  def->Name = uniqueName(def->Name, [this](std::string_view candidate) {
    return m_captions.find(foldName(candidate)) != m_captions.end();
  });
  // The icon stands for the program as it was when the row was added.
  def->IconSource = def->Module;
  const std::size_t at = m_rows.size();
  if (m_listener) m_listener->rowsAboutToBeInserted(at, at);
  ListRow row;
  row.def = def;
  row.caption = def->Name;
  row.foldedCaption = foldName(row.caption);
  row.cells = cellsOf(*def);
  row.imageIndex = m_nextImage++;
  row.stateIndex = stateIndexFor(*def);
  indexCaption(row.foldedCaption);
  m_rows.push_back(std::move(row));
  if (m_listener) m_listener->rowsInserted();
}

void ProgramList::RefreshRow(std::size_t index) { refreshRow(index); }

bool ProgramList::refreshRow(std::size_t index) {
  if (index >= m_rows.size() || !m_rows[index].def) return false;
  ListRow& row = m_rows[index];
  const StartDefinition& def = *row.def;
  bool changed = false;
  if (row.caption != def.Name) {
    setCaption(row, def.Name);
    changed = true;
  }
  auto cells = cellsOf(def);
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (row.cells[i] != cells[i]) {
      row.cells[i] = std::move(cells[i]);
      changed = true;
    }
  }
  if (const int state = stateIndexFor(def); state != row.stateIndex) {
    row.stateIndex = state;
    changed = true;
  }
  if (changed && m_listener) m_listener->rowChanged(index);
  return changed;
}

DefinitionPtr ProgramList::removeRow(std::size_t index) {
  if (index >= m_rows.size()) return nullptr;
  if (m_listener) m_listener->rowsAboutToBeRemoved(index, index);
  DefinitionPtr def = std::move(m_rows[index].def);
  unindexCaption(m_rows[index].foldedCaption);
  m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(index));
  if (m_listener) m_listener->rowsRemoved();
  return def;
}

void ProgramList::refreshStateImages() {
  for (std::size_t i = 0; i < m_rows.size(); ++i) {
    auto& row = m_rows[i];
    if (!row.def) continue;
    if (const int state = stateIndexFor(*row.def); state != row.stateIndex) {
      row.stateIndex = state;
      if (m_listener) m_listener->rowChanged(i);
    }
  }
}

void ProgramList::setQueueColumns(std::size_t index, std::string_view timers, std::string_view result) {
  if (index >= m_rows.size()) return;
  auto& cells = m_rows[index].cells;
  auto& timersCell = cells[kTimersColumn - 1];
  auto& resultCell = cells[kResultColumn - 1];
  if (timersCell == timers && resultCell == result) return;
  timersCell = timers;
  resultCell = result;
  if (m_listener) m_listener->rowChanged(index);
}

int ProgramList::ProgramListViewCompare(const ListRow& a, const ListRow& b, std::int32_t sortCol) const {
  const std::int64_t k = std::llabs(sortCol);
  int result = 0;
  if (k == 5) {
    result = sign(timersSortKey(a.def.get()) - timersSortKey(b.def.get()));
  } else if (k == 8) {
    const std::int64_t sa = a.def ? std::llabs(a.def->Sequence) : 0;
    const std::int64_t sb = b.def ? std::llabs(b.def->Sequence) : 0;
    result = sign(sa - sb);
  } else if (k >= 1 && k <= 7) {
    const auto column = static_cast<std::size_t>(k - 1);
    result = sign(m_collator->compare(a.text(column), b.text(column)));
  }
  return sortCol < 0 ? -result : result;
}

void ProgramList::sort(std::int32_t sortCol) {
  if (m_rows.size() < 2) return;
  std::vector<std::size_t> order(m_rows.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return ProgramListViewCompare(m_rows[a], m_rows[b], sortCol) < 0;
  });
  if (std::is_sorted(order.begin(), order.end())) return;
  if (m_listener) m_listener->layoutAboutToBeChanged();
  std::vector<ListRow> sorted;
  sorted.reserve(m_rows.size());
  std::vector<std::size_t> newRowOf(m_rows.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    newRowOf[order[i]] = i;
    sorted.push_back(std::move(m_rows[order[i]]));
  }
  m_rows = std::move(sorted);
  if (m_listener) m_listener->layoutChanged(newRowOf);
}

std::int32_t ProgramList::headerClick(std::int32_t sortCol, std::size_t column) {
  const auto clicked = static_cast<std::int32_t>(column) + 1;
  return sortCol == clicked ? -clicked : clicked;
}

RenameOutcome ProgramList::renameRow(std::size_t index, const std::string& caption) {
  if (index >= m_rows.size() || !m_rows[index].def) return RenameOutcome::Unchanged;
  ListRow& row = m_rows[index];
  if (row.def->Name == caption) return RenameOutcome::Unchanged;
  const std::string folded = foldName(caption);
  const auto it = m_captions.find(folded);
  const std::size_t own = row.foldedCaption == folded ? 1 : 0;
  if (it != m_captions.end() && it->second > own) {
    // The old name goes back on the row.
    if (row.caption != row.def->Name) setCaption(row, row.def->Name);
    if (m_listener) m_listener->rowChanged(index);
    return RenameOutcome::Refused;
  }
  row.def->Name = caption;
  row.def->Changed = true;
  setCaption(row, caption);
  if (m_listener) m_listener->rowChanged(index);
  return RenameOutcome::Accepted;
}

}  // namespace kip
