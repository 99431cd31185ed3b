#include <gtest/gtest.h>

#include "model/definition_store.h"
#include "model/store_test_support.h"
#include "platform/registry_values.h"

namespace kip::test {
namespace {

class DefinitionSaveTest : public ::testing::Test {
 protected:
  // A definition as the load gives it: stored under its name in a hive.
  DefinitionPtr stored(Hive hive, const std::string& name) {
    registry.setText(hive, defKey(name), "Module", "old-" + name);
    auto def = std::make_shared<StartDefinition>();
    def->Name = def->StoredName = name;
    def->StoredHive = hive;
    def->Module = "old-" + name;
    return def;
  }
  DefinitionPtr fresh(const std::string& name) {
    auto def = std::make_shared<StartDefinition>();
    def->Name = name;
    def->Changed = true;
    return def;
  }
  SaveOutcome save(Hive scope, const std::vector<DefinitionPtr>& view, const std::vector<DefinitionPtr>& deleted = {}) {
    registry.clearWriteLog();
    return DefinitionStore(registry).save(scope, deleted, view);
  }
  std::optional<std::string> text(Hive hive, const std::string& name, std::string_view value) {
    std::unique_ptr<RegKey> key;
    if (registry.openKey(hive, defKey(name), KeyAccess::Read, key) != 0) return std::nullopt;
    return readText(*key, value);
  }
  // The value names written, in order, into one definition's key.
  std::vector<std::string> writtenInto(const std::string& name) {
    std::vector<std::string> out;
    for (const auto& w : registry.writeLog())
      if (foldName(w.path) == foldName(defKey(name))) out.push_back(w.name);
    return out;
  }
  std::vector<std::string> startList(Hive hive) { return registry.subkeys(hive, kStartListKey); }

  MemoryRegistry registry;
};

TEST_F(DefinitionSaveTest, ChangedWritesTheDefinitionValuesInTableOrderAndClearsTheFlags) {
  auto def = fresh("New");
  EXPECT_TRUE(unsavedDefinitionsMessage(save(Hive::CurrentUser, {def})).empty());
  EXPECT_EQ(writtenInto("New"), kDefinitionValueOrder);
  EXPECT_EQ(def->StoredName, "New");
  EXPECT_EQ(def->StoredHive, Hive::CurrentUser);
  EXPECT_FALSE(def->Changed);
  // Texts are stored without a terminator, so an empty one has size 0.
  EXPECT_EQ(registry.value(Hive::CurrentUser, defKey("New"), "Parms")->data.size(), 0u);
  EXPECT_EQ(registry.value(Hive::CurrentUser, defKey("New"), "Disable")->data, (std::vector<std::uint8_t>{0, 0, 0, 0}));
}

TEST_F(DefinitionSaveTest, RunStateOnlyWritesExactlyFourValues) {
  auto def = stored(Hive::CurrentUser, "Tested");
  def->RunStateChanged = true;
  def->Result = "OK";
  def->Executed = 46000.75;
  save(Hive::CurrentUser, {def});
  EXPECT_EQ(writtenInto("Tested"), kRunStateOrder);
  EXPECT_EQ(registry.valueNames(Hive::CurrentUser, defKey("Tested")),
            (std::vector<std::string>{"Executed", "Module", "Result", "Tested", "TestResult"}));
  EXPECT_EQ(registry.value(Hive::CurrentUser, defKey("Tested"), "Executed")->data, doubleBytes(46000.75));
  EXPECT_FALSE(def->RunStateChanged);
}

// A text the next load would refuse is never stored: the definition keeps its flags and its stored values.
TEST_F(DefinitionSaveTest, ATextOverTheRegistryLimitIsRefusedAndReported) {
  auto def = stored(Hive::CurrentUser, "Long");
  def->Changed = true;
  def->Module = "fits";
  def->NetResource = std::string(kMaxTextLength + 1, 'n');
  auto report = fresh("Report");
  report->RunStateChanged = true;
  report->Result = std::string(300, 'r');  // the program's own text is cut instead
  const auto outcome = save(Hive::CurrentUser, {def, report});
  EXPECT_EQ(outcome.overlongTexts, (std::vector<std::pair<std::string, std::string>>{{"Long", "NetResource"}}));
  EXPECT_NE(unsavedDefinitionsMessage(outcome).find("\"Long\" (NetResource)"), std::string::npos);
  EXPECT_TRUE(def->Changed);
  EXPECT_EQ(text(Hive::CurrentUser, "Long", "Module"), "old-Long");
  EXPECT_EQ(text(Hive::CurrentUser, "Report", "Result"), std::string(kMaxTextLength, 'r'));
}

TEST_F(DefinitionSaveTest, BothFlagsWriteDefinitionValuesThenRunState) {
  auto def = fresh("Both");
  def->RunStateChanged = true;
  save(Hive::CurrentUser, {def});
  auto expected = kDefinitionValueOrder;
  expected.insert(expected.end(), kRunStateOrder.begin(), kRunStateOrder.end());
  EXPECT_EQ(writtenInto("Both"), expected);
}

TEST_F(DefinitionSaveTest, UnchangedAndOtherScopeDefinitionsAreNeverWritten) {
  auto unchanged = stored(Hive::CurrentUser, "Quiet");
  auto other = stored(Hive::LocalMachine, "Theirs");
  other->OtherScope = true;
  other->Changed = true;
  other->RunStateChanged = true;
  save(Hive::CurrentUser, {unchanged, other});
  EXPECT_TRUE(registry.writeLog().empty());
  EXPECT_TRUE(other->Changed && other->RunStateChanged);
  EXPECT_EQ(startList(Hive::CurrentUser), std::vector<std::string>{"Quiet"});
}

TEST_F(DefinitionSaveTest, RenameMovesTheSubkeyWithEverythingInIt) {
  auto def = stored(Hive::CurrentUser, "A");
  registry.setText(Hive::CurrentUser, defKey("A"), "Foreign", "kept");
  registry.setDword(Hive::CurrentUser, defKey("A") + "\\Child", "N", 1);
  def->Name = "B";
  def->Module = "new";
  def->Changed = true;
  save(Hive::CurrentUser, {def});
  EXPECT_EQ(startList(Hive::CurrentUser), std::vector<std::string>{"B"});
  EXPECT_EQ(text(Hive::CurrentUser, "B", "Foreign"), "kept");
  EXPECT_EQ(text(Hive::CurrentUser, "B", "Module"), "new");
  EXPECT_TRUE(registry.hasKey(Hive::CurrentUser, defKey("B") + "\\Child"));
  EXPECT_EQ(def->StoredName, "B");
}

TEST_F(DefinitionSaveTest, RenameOntoAnExistingSubkeyLeavesTheOldOneAndWritesIntoTheExisting) {
  auto def = stored(Hive::CurrentUser, "A");
  registry.setText(Hive::CurrentUser, defKey("B"), "Foreign", "theirs");
  def->Name = "B";
  def->Module = "mine";
  def->Changed = true;
  save(Hive::CurrentUser, {def});
  EXPECT_EQ(startList(Hive::CurrentUser), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(text(Hive::CurrentUser, "A", "Module"), "old-A");
  EXPECT_EQ(text(Hive::CurrentUser, "B", "Module"), "mine");
  EXPECT_EQ(text(Hive::CurrentUser, "B", "Foreign"), "theirs");
  EXPECT_EQ(def->StoredName, "B");
}

TEST_F(DefinitionSaveTest, RenameThatOnlyChangesLetterCaseRenamesInPlace) {
  auto def = stored(Hive::CurrentUser, "editor");
  registry.setText(Hive::CurrentUser, defKey("editor"), "Foreign", "kept");
  def->Name = "Editor";
  def->RunStateChanged = true;
  save(Hive::CurrentUser, {def});
  EXPECT_EQ(startList(Hive::CurrentUser), std::vector<std::string>{"Editor"});
  EXPECT_EQ(text(Hive::CurrentUser, "Editor", "Foreign"), "kept");
  EXPECT_EQ(text(Hive::CurrentUser, "Editor", "Module"), "old-editor");
  EXPECT_EQ(def->StoredName, "Editor");
}

TEST_F(DefinitionSaveTest, DeletionsHappenOnlyInTheHiveEachDefinitionCameFrom) {
  auto mine = stored(Hive::CurrentUser, "Same");
  auto global = stored(Hive::LocalMachine, "Same");
  auto neverSaved = fresh("Other");
  registry.addKey(Hive::LocalMachine, defKey("Other"));
  // Deleted while the local scope was edited, saved after the switch to the global scope.
  save(Hive::LocalMachine, {global}, {mine, neverSaved});
  EXPECT_TRUE(startList(Hive::CurrentUser).empty());
  EXPECT_EQ(startList(Hive::LocalMachine), (std::vector<std::string>{"Other", "Same"}));
  EXPECT_TRUE(mine->StoredName.empty());
  EXPECT_FALSE(mine->StoredHive.has_value());
  // A second save finds nothing left to delete.
  registry.addKey(Hive::CurrentUser, defKey("Same"));
  save(Hive::LocalMachine, {}, {mine});
  EXPECT_EQ(startList(Hive::CurrentUser), std::vector<std::string>{"Same"});
}

TEST_F(DefinitionSaveTest, RefusedDeletionKeepsTheStoredNameForTheNextSave) {
  auto global = stored(Hive::LocalMachine, "Shared");
  registry.setReadOnly(Hive::LocalMachine, true);
  save(Hive::CurrentUser, {}, {global});
  EXPECT_EQ(global->StoredName, "Shared");
  registry.setReadOnly(Hive::LocalMachine, false);
  save(Hive::CurrentUser, {}, {global});
  EXPECT_TRUE(startList(Hive::LocalMachine).empty());
  EXPECT_TRUE(global->StoredName.empty());
}

TEST_F(DefinitionSaveTest, InvalidNamesAreNeverWrittenAndKeepTheirFlags) {
  auto empty = fresh("");
  auto nested = fresh("Outer\\Inner");
  auto tooLong = fresh(std::string(260, 'n'));
  auto renamedAway = stored(Hive::CurrentUser, "Was");
  renamedAway->Name = "";
  renamedAway->RunStateChanged = true;
  auto longest = fresh(std::string(259, 'n'));
  auto good = fresh("Good");
  const auto outcome = save(Hive::CurrentUser, {empty, nested, tooLong, renamedAway, longest, good});

  EXPECT_TRUE(outcome.startListOpened);
  EXPECT_EQ(outcome.invalidNames, (std::vector<std::string>{"", "Outer\\Inner", std::string(260, 'n'), ""}));
  EXPECT_EQ(startList(Hive::CurrentUser), (std::vector<std::string>{"Good", std::string(259, 'n'), "Was"}));
  EXPECT_TRUE(registry.valueNames(Hive::CurrentUser, kStartListKey).empty());
  EXPECT_FALSE(registry.hasKey(Hive::CurrentUser, defKey("Outer")));
  EXPECT_EQ(text(Hive::CurrentUser, "Was", "Module"), "old-Was");
  for (const auto& def : {empty, nested, tooLong}) {
    EXPECT_TRUE(def->Changed);
    EXPECT_TRUE(def->StoredName.empty());
  }
  EXPECT_TRUE(renamedAway->RunStateChanged);
  EXPECT_EQ(renamedAway->StoredName, "Was");
  EXPECT_FALSE(good->Changed);

  const auto message = unsavedDefinitionsMessage(outcome);
  EXPECT_NE(message.find("\"Outer\\Inner\""), std::string::npos) << message;
  EXPECT_NE(message.find("\"\""), std::string::npos) << message;
}

TEST_F(DefinitionSaveTest, StartListThatCannotBeCreatedStopsTheWritesButNotTheDeletions) {
  auto global = stored(Hive::LocalMachine, "Gone");
  auto local = stored(Hive::CurrentUser, "AlsoGone");
  auto changed = stored(Hive::CurrentUser, "Edited");
  changed->Changed = true;
  registry.failWritesUnder(Hive::CurrentUser, kStartListKey);
  const auto outcome = save(Hive::CurrentUser, {changed}, {global, local});
  EXPECT_FALSE(outcome.startListOpened);
  EXPECT_TRUE(startList(Hive::LocalMachine).empty());
  EXPECT_EQ(startList(Hive::CurrentUser), std::vector<std::string>{"Edited"});
  EXPECT_TRUE(registry.writeLog().empty());
  EXPECT_TRUE(changed->Changed);
}

TEST_F(DefinitionSaveTest, ReadOnlyEditScopeStillDeletesInTheOtherHive) {
  auto global = stored(Hive::LocalMachine, "Gone");
  auto changed = fresh("New");
  registry.setReadOnly(Hive::CurrentUser, true);
  const auto outcome = save(Hive::CurrentUser, {changed}, {global});
  EXPECT_FALSE(outcome.startListOpened);
  EXPECT_TRUE(startList(Hive::LocalMachine).empty());
  EXPECT_TRUE(changed->Changed);
}

TEST_F(DefinitionSaveTest, SubkeyThatCannotBeOpenedIsSkippedAndKeepsItsFlags) {
  auto locked = fresh("Locked");
  auto renamed = stored(Hive::CurrentUser, "Before");
  renamed->Name = "After";
  renamed->Changed = true;
  auto open = fresh("Open");
  registry.failWritesUnder(Hive::CurrentUser, defKey("Locked"));
  registry.failWritesUnder(Hive::CurrentUser, defKey("After"));
  const auto outcome = save(Hive::CurrentUser, {locked, renamed, open});
  EXPECT_EQ(outcome.unwritableNames, (std::vector<std::string>{"Locked", "After"}));
  EXPECT_TRUE(locked->Changed);
  EXPECT_TRUE(locked->StoredName.empty());
  EXPECT_TRUE(renamed->Changed);
  // The subkey was moved before it could not be opened: the record follows it.
  EXPECT_EQ(renamed->StoredName, "After");
  EXPECT_FALSE(open->Changed);
  EXPECT_NE(unsavedDefinitionsMessage(outcome).find("\"Locked\""), std::string::npos);
}

TEST_F(DefinitionSaveTest, AFailedValueWriteKeepsTheFlagsButTheOtherValuesAreWritten) {
  auto def = fresh("Partial");
  registry.failValueWrites(Hive::CurrentUser, "Dun");
  const auto outcome = save(Hive::CurrentUser, {def});
  EXPECT_EQ(outcome.unwritableNames, std::vector<std::string>{"Partial"});
  EXPECT_TRUE(def->Changed);
  EXPECT_EQ(writtenInto("Partial").size(), kDefinitionValueOrder.size() - 1);
}

TEST_F(DefinitionSaveTest, TheWholeSaveIsOneBatchPerHive) {
  auto a = fresh("A");
  auto b = fresh("B");
  auto global = stored(Hive::LocalMachine, "G");
  save(Hive::CurrentUser, {a, b}, {global});
  EXPECT_EQ(registry.batchesBegun(Hive::CurrentUser), 1);
  EXPECT_EQ(registry.batchesBegun(Hive::LocalMachine), 1);
  EXPECT_EQ(registry.openBatches(Hive::CurrentUser), 0);
  EXPECT_EQ(registry.openBatches(Hive::LocalMachine), 0);
  save(Hive::CurrentUser, {a});
  EXPECT_EQ(registry.batchesBegun(Hive::LocalMachine), 1);
}

TEST_F(DefinitionSaveTest, ASaveTheRegistryDoesNotCommitLeavesEveryRecordAsItWas) {
  auto deleted = stored(Hive::CurrentUser, "Deleted");
  auto renamed = stored(Hive::CurrentUser, "Old");
  renamed->Name = "New";
  renamed->Changed = true;
  auto tested = stored(Hive::CurrentUser, "Tested");
  tested->RunStateChanged = true;
  registry.failNextCommit(Hive::CurrentUser);
  const auto outcome = save(Hive::CurrentUser, {renamed, tested}, {deleted});
  EXPECT_FALSE(outcome.startListOpened);
  EXPECT_EQ(startList(Hive::CurrentUser), (std::vector<std::string>{"Deleted", "Old", "Tested"}));
  EXPECT_EQ(deleted->StoredName, "Deleted");
  EXPECT_EQ(deleted->StoredHive, Hive::CurrentUser);
  EXPECT_EQ(renamed->StoredName, "Old");
  EXPECT_TRUE(renamed->Changed);
  EXPECT_TRUE(tested->RunStateChanged);

  // The next save does it all.
  EXPECT_TRUE(save(Hive::CurrentUser, {renamed, tested}, {deleted}).startListOpened);
  EXPECT_EQ(startList(Hive::CurrentUser), (std::vector<std::string>{"New", "Tested"}));
  EXPECT_FALSE(renamed->Changed || tested->RunStateChanged);
}

TEST(UnsavedDefinitionsMessage, NamesBothKindsInOneMessage) {
  EXPECT_TRUE(unsavedDefinitionsMessage({}).empty());
  SaveOutcome outcome;
  outcome.invalidNames = {"a\\b"};
  outcome.unwritableNames = {"Locked"};
  const auto message = unsavedDefinitionsMessage(outcome);
  EXPECT_LT(message.find("\"a\\b\""), message.find("\"Locked\""));
}

}  // namespace
}  // namespace kip::test
