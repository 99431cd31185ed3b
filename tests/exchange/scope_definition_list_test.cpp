#include "exchange/scope_definition_list.h"

#include <gtest/gtest.h>

#include "exchange_test_support.h"

namespace kip::test {
namespace {

TEST(ScopeDefinitionListTest, KeepsLoadOrderAndFindsCaptionsWithoutRegardToCase) {
  ScopeDefinitionList list({makeDefinition("Mail"), makeDefinition("Backup"), makeDefinition("Clock")});
  ASSERT_EQ(list.itemCount(), 3U);
  EXPECT_EQ(list.itemDefinition(1)->Name, "Backup");
  EXPECT_EQ(list.findItem("BACKUP"), 1U);
  EXPECT_EQ(list.findItem("clock"), 2U);
  EXPECT_EQ(list.findItem("Back"), std::nullopt);
  EXPECT_EQ(list.findItem(""), std::nullopt);
  EXPECT_EQ(list.itemDefinition(7), nullptr);
}

TEST(ScopeDefinitionListTest, AddRowMakesTheNameUniqueAndAppends) {
  ScopeDefinitionList list({makeDefinition("Backup")});
  auto first = makeDefinition("backup");
  auto second = makeDefinition("Backup(2)");
  list.AddRow(first);
  list.AddRow(second);
  EXPECT_EQ(first->Name, "backup(2)");
  EXPECT_EQ(second->Name, "Backup(3)");
  EXPECT_EQ(list.caption(2), "Backup(3)");
  EXPECT_EQ(list.findItem("BACKUP(2)"), 1U);
  EXPECT_EQ(list.definitions(), (std::vector<DefinitionPtr>{list.itemDefinition(0), first, second}));
}

TEST(ScopeDefinitionListTest, RefreshRowFollowsAChangedName) {
  auto def = makeDefinition("Old");
  ScopeDefinitionList list({def, makeDefinition("Other")});
  def->Name = "New";
  EXPECT_EQ(list.findItem("new"), std::nullopt);  // the caption changes only with the refresh
  list.RefreshRow(0);
  EXPECT_EQ(list.caption(0), "New");
  EXPECT_EQ(list.findItem("new"), 0U);
  EXPECT_EQ(list.findItem("old"), std::nullopt);
}

TEST(ScopeDefinitionListTest, ARenameOntoAnotherCaptionStillFindsTheFirstRow) {
  auto a = makeDefinition("A");
  auto b = makeDefinition("B");
  ScopeDefinitionList list({a, b});
  a->Name = "b";
  list.RefreshRow(0);
  EXPECT_EQ(list.findItem("B"), 0U);
  a->Name = "c";
  list.RefreshRow(0);
  EXPECT_EQ(list.findItem("B"), 1U);
  EXPECT_EQ(list.findItem("C"), 0U);
}

}  // namespace
}  // namespace kip::test
