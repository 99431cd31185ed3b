#include "ui/logic/program_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kip::test {
namespace {

DefinitionPtr def(std::string name, std::int32_t sequence = 0, std::int32_t delay = 0, std::int32_t msg = 0,
                  std::int32_t countdown = 0) {
  auto d = std::make_shared<StartDefinition>();
  d->Name = std::move(name);
  d->Module = "/usr/bin/" + d->Name;
  d->Sequence = sequence;
  d->Delay = delay;
  d->Msg = msg;
  d->Countdown = countdown;
  return d;
}

std::vector<std::string> captions(const ProgramList& list) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < list.size(); ++i) out.push_back(list.row(i).caption);
  return out;
}

struct SortCase {
  std::int32_t sortCol;
  std::vector<std::string> expected;
};

class ProgramListSortTest : public ::testing::TestWithParam<SortCase> {};

// Rows b, a, C, d: sequences 3, -3, 1, 0; Timers keys 7 (countdown -7), 5 (delay), 2 (msg), 0.
TEST_P(ProgramListSortTest, OrdersByTheColumnOfSortCol) {
  ByteCollator bytes;
  ProgramList list(bytes);
  list.AddRow(def("b", 3, 5, 0, -7));
  list.AddRow(def("a", -3, 5));
  list.AddRow(def("C", 1, 0, 2));
  list.AddRow(def("d", 0));
  list.sort(GetParam().sortCol);
  EXPECT_EQ(captions(list), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Columns, ProgramListSortTest,
                         ::testing::Values(SortCase{0, {"b", "a", "C", "d"}},    // unsorted
                                           SortCase{1, {"C", "a", "b", "d"}},    // case-sensitive text
                                           SortCase{-1, {"d", "b", "a", "C"}},   // descending
                                           SortCase{5, {"d", "C", "a", "b"}},    // |Countdown|, Delay, Msg
                                           SortCase{8, {"d", "C", "b", "a"}},    // |Sequence|, stable on ties
                                           SortCase{-8, {"b", "a", "C", "d"}},   // ties keep their order
                                           SortCase{9, {"b", "a", "C", "d"}}));  // beyond the columns

TEST(ProgramListTest, RowsTheirTextsStateImagesAndRenames) {
  ByteCollator bytes;
  ProgramList list(bytes);
  list.AddRow(def("Backup"));
  list.AddRow(def("backup"));
  auto machine = def("Clock");
  machine->OtherScope = true;
  machine->Disable = true;
  list.AddRow(machine);
  EXPECT_EQ(captions(list), (std::vector<std::string>{"Backup", "backup(2)", "Clock"}));
  EXPECT_EQ(list.row(1).def->Name, "backup(2)");
  EXPECT_EQ(list.row(2).stateIndex, kStateMachine);  // never the cross for the other scope
  EXPECT_EQ(list.row(0).text(7), "0");
  EXPECT_EQ(list.findItem("CLOCK"), std::optional<std::size_t>(2));

  // A refresh changes only what differs, and says so.
  EXPECT_FALSE(list.refreshRow(0));
  list.row(0).def->Disable = true;
  list.row(0).def->Result = "OK";
  EXPECT_TRUE(list.refreshRow(0));
  EXPECT_EQ(list.row(0).stateIndex, kStateDisabled);
  EXPECT_EQ(list.row(0).text(6), "OK");
  list.setGlobalEdit(true);
  list.refreshStateImages();
  EXPECT_EQ(list.row(2).stateIndex, kStateUser);

  // A clash with another row, case ignored, is refused and leaves the definition alone.
  EXPECT_EQ(list.renameRow(1, "BACKUP"), RenameOutcome::Refused);
  EXPECT_EQ(list.row(1).caption, "backup(2)");
  EXPECT_FALSE(list.row(1).def->Changed);
  EXPECT_EQ(list.renameRow(1, "backup(2)"), RenameOutcome::Unchanged);
  EXPECT_EQ(list.renameRow(0, "BACKUP"), RenameOutcome::Accepted);  // its own name in other letters
  EXPECT_EQ(list.renameRow(1, "Daily"), RenameOutcome::Accepted);
  EXPECT_TRUE(list.row(1).def->Changed);
  list.AddRow(def("backup"));  // the old caption is free again
  EXPECT_EQ(list.row(3).caption, "backup(2)");
  list.removeRow(0);
  list.AddRow(def("Backup"));
  EXPECT_EQ(list.row(3).caption, "Backup");

  // Header clicks: ascending, descending, ascending.
  EXPECT_EQ(ProgramList::headerClick(3, 7), 8);
  EXPECT_EQ(ProgramList::headerClick(8, 7), -8);
  EXPECT_EQ(ProgramList::headerClick(-8, 7), 8);
}

}  // namespace
}  // namespace kip::test
