#include "exchange/scope_exchange.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "doubles/memory_registry.h"
#include "exchange_test_support.h"
#include "model/registry_layout.h"
#include "platform/registry_values.h"

namespace kip::test {
namespace {

namespace fs = std::filesystem;

// Forwards to an in-memory registry and reports a problem with one hive, as a damaged hive file does.
class DamagedRegistry final : public Registry {
 public:
  DamagedRegistry(MemoryRegistry& inner, Hive damaged) : m_inner(inner), m_damaged(damaged) {}
  RegCode openKey(Hive h, std::string_view p, KeyAccess a, std::unique_ptr<RegKey>& k) override {
    return m_inner.openKey(h, p, a, k);
  }
  RegCode createKey(Hive h, std::string_view p, std::unique_ptr<RegKey>& k) override {
    return m_inner.createKey(h, p, k);
  }
  RegCode deleteTree(Hive h, std::string_view p) override { return m_inner.deleteTree(h, p); }
  RegCode moveKey(Hive h, std::string_view f, std::string_view t) override { return m_inner.moveKey(h, f, t); }
  RegCode beginBatch(Hive h) override { return m_inner.beginBatch(h); }
  RegCode endBatch(Hive h, bool c) override { return m_inner.endBatch(h, c); }
  [[nodiscard]] std::string hiveProblem(Hive h) const override {
    return h == m_damaged ? "The hive file is damaged" : std::string();
  }

 private:
  MemoryRegistry& m_inner;
  Hive m_damaged;
};

std::string definitionKey(std::string_view name) { return std::string(kStartListKey) + "\\" + std::string(name); }

class ScopeExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() /
            ("kip-scope-exchange-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    registry.setDword(Hive::CurrentUser, kPreferencesKey, "Run", 31);  // autostart on, 30 seconds
    registry.setText(Hive::CurrentUser, kPreferencesKey, "Proxy", "stored-proxy");
    registry.setText(Hive::CurrentUser, definitionKey("Mail"), "Module", "/usr/bin/mail");
    registry.setDword(Hive::CurrentUser, definitionKey("Mail"), "Sequence", 4);
    registry.setText(Hive::CurrentUser, definitionKey("Backup"), "Module", "/usr/bin/backup");
    registry.setDword(Hive::CurrentUser, definitionKey("Backup"), "Disable", 1);
    registry.setText(Hive::LocalMachine, definitionKey("Clock"), "Module", "/usr/bin/clock");
  }
  void TearDown() override { fs::remove_all(m_dir); }

  std::string path(const char* name) const { return (m_dir / name).string(); }
  std::string read(const std::string& file) const {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }
  void write(const std::string& file, const std::string& text) const { std::ofstream(file, std::ios::binary) << text; }
  std::optional<std::string> text(Hive hive, std::string_view key, std::string_view value) {
    std::unique_ptr<RegKey> k;
    if (registry.openKey(hive, key, KeyAccess::Read, k) != 0) return std::nullopt;
    return readText(*k, value, true);
  }
  std::optional<std::int32_t> dword(Hive hive, std::string_view key, std::string_view value) {
    std::unique_ptr<RegKey> k;
    if (registry.openKey(hive, key, KeyAccess::Read, k) != 0) return std::nullopt;
    return readDword(*k, value);
  }

  MemoryRegistry registry;
  ScriptedPrompts prompts;
  fs::path m_dir;
};

TEST_F(ScopeExchangeTest, ExportsTheStoredPreferencesAndTheScopeInLoadOrder) {
  const auto file = path("user.txt");
  const auto result = exportScope(registry, Hive::CurrentUser, file);
  ASSERT_TRUE(result.written) << result.message;
  EXPECT_EQ(result.definitions, 2U);
  const auto text = read(file);
  EXPECT_EQ(text.substr(0, text.find("\r\n\r\n") + 4),
            "Network=\r\nRun=30\r\nSplash=0\r\nAboutNet=0\r\nGlobal=0\r\nProxy=stored-proxy\r\nPort=\r\n\r\n");
  const auto backup = text.find("[Backup]\r\nModule=/usr/bin/backup\r\n");
  const auto mail = text.find("[Mail]\r\nModule=/usr/bin/mail\r\n");
  ASSERT_NE(backup, std::string::npos);
  ASSERT_NE(mail, std::string::npos);
  EXPECT_LT(backup, mail);  // the hive enumerates in alphabetical order
  EXPECT_NE(text.find("Disable=1\r\n"), std::string::npos);
  EXPECT_EQ(text.find("Clock"), std::string::npos);
}

// The conditions taken from a desktop's autostart entries go from the store into the file and back; a
// definition without them gets no such lines and no such values.
TEST_F(ScopeExchangeTest, DesktopConditionsRoundTripAndAreLeftOutWhereUnset) {
  registry.setText(Hive::CurrentUser, definitionKey("Mail"), "OnlyShowIn", "KDE;XFCE");
  registry.setText(Hive::CurrentUser, definitionKey("Mail"), "TryExec", "mail");
  registry.setText(Hive::CurrentUser, definitionKey("Mail"), "AutostartCondition", "if-exists mail-on");
  const auto file = path("conditions.txt");
  ASSERT_TRUE(exportScope(registry, Hive::CurrentUser, file).written);
  const auto written = read(file);
  const auto mail = written.find("[Mail]");
  EXPECT_NE(written.find("Disable=0\r\nOnlyShowIn=KDE;XFCE\r\nTryExec=mail\r\nAutostartCondition=if-exists mail-on\r\n",
                         mail),
            std::string::npos)
      << written;
  EXPECT_EQ(written.find("NotShowIn"), std::string::npos);
  EXPECT_EQ(written.substr(0, mail).find("OnlyShowIn"), std::string::npos);  // Backup has none

  const auto result = importScope(registry, Hive::LocalMachine, file, prompts);
  EXPECT_TRUE(result.saveMessage.empty()) << result.saveMessage;
  EXPECT_EQ(text(Hive::LocalMachine, definitionKey("Mail"), "OnlyShowIn"), "KDE;XFCE");
  EXPECT_EQ(text(Hive::LocalMachine, definitionKey("Mail"), "TryExec"), "mail");
  EXPECT_EQ(text(Hive::LocalMachine, definitionKey("Mail"), "AutostartCondition"), "if-exists mail-on");
  EXPECT_EQ(text(Hive::LocalMachine, definitionKey("Mail"), "NotShowIn"), std::nullopt);
  EXPECT_EQ(text(Hive::LocalMachine, definitionKey("Backup"), "OnlyShowIn"), std::nullopt);
}

TEST_F(ScopeExchangeTest, ExportsTheMachineWideScope) {
  const auto file = path("machine.txt");
  ASSERT_TRUE(exportScope(registry, Hive::LocalMachine, file).written);
  const auto text = read(file);
  EXPECT_NE(text.find("[Clock]\r\nModule=/usr/bin/clock\r\n"), std::string::npos);
  EXPECT_EQ(text.find("Mail"), std::string::npos);
}

TEST_F(ScopeExchangeTest, ImportSavesDefinitionsAndTheSevenPreferences) {
  const auto file = path("in.txt");
  write(
      file,
      "Run=10\r\nProxy=new-proxy\r\nSplash=1\r\n\r\n[mail]\r\nParms=--check\r\n\r\n[Fresh]\r\nModule=/usr/bin/fresh\r\n"
      "Days=31\r\n");
  prompts.queue({Answer::Yes});
  const auto result = importScope(registry, Hive::CurrentUser, file, prompts);
  EXPECT_EQ(result.import.status, ImportStatus::Completed);
  EXPECT_TRUE(result.saveAttempted);
  EXPECT_TRUE(result.saveMessage.empty()) << result.saveMessage;
  EXPECT_EQ(prompts.questions, std::vector<std::string>{"Definition for \"mail\" already exists. Overwrite ?"});
  // The overwritten definition takes the header's name, which differs only in case: still the same subkey.
  std::vector<std::string> subkeys;
  for (const auto& name : registry.subkeys(Hive::CurrentUser, kStartListKey)) subkeys.push_back(foldName(name));
  EXPECT_EQ(subkeys, (std::vector<std::string>{"BACKUP", "FRESH", "MAIL"}));
  EXPECT_EQ(text(Hive::CurrentUser, definitionKey("mail"), "Parms"), "--check");
  EXPECT_EQ(text(Hive::CurrentUser, definitionKey("mail"), "Module"), "/usr/bin/mail");
  EXPECT_EQ(dword(Hive::CurrentUser, definitionKey("mail"), "Sequence"), 4);
  EXPECT_EQ(text(Hive::CurrentUser, definitionKey("Fresh"), "Module"), "/usr/bin/fresh");
  EXPECT_EQ(dword(Hive::CurrentUser, definitionKey("Fresh"), "Days"), 31);
  EXPECT_EQ(dword(Hive::CurrentUser, definitionKey("Fresh"), "To"), 2400);
  EXPECT_EQ(dword(Hive::CurrentUser, kPreferencesKey, "Run"), 11);  // autostart stays on
  EXPECT_EQ(dword(Hive::CurrentUser, kPreferencesKey, "Splash"), 1);
  EXPECT_EQ(text(Hive::CurrentUser, kPreferencesKey, "Proxy"), "new-proxy");
  EXPECT_FALSE(registry.hasKey(Hive::LocalMachine, definitionKey("Fresh")));
}

TEST_F(ScopeExchangeTest, ImportIntoTheMachineWideScopeLeavesThePerUserDefinitions) {
  const auto file = path("in.txt");
  write(file, "[Mail]\r\nModule=/opt/mail\r\n");
  const auto result = importScope(registry, Hive::LocalMachine, file, prompts);
  EXPECT_TRUE(result.saveMessage.empty());
  EXPECT_TRUE(prompts.questions.empty());  // only the machine-wide definitions stand for the rows
  EXPECT_EQ(text(Hive::LocalMachine, definitionKey("Mail"), "Module"), "/opt/mail");
  EXPECT_EQ(text(Hive::CurrentUser, definitionKey("Mail"), "Module"), "/usr/bin/mail");
}

// A file without preference lines leaves every stored preference as it was; a definition with a text the
// registry cannot hold is reported by name and field, not stored, and the import does not count as a success.
TEST_F(ScopeExchangeTest, ImportWritesOnlyWhatTheFileSetAndRefusesOverlongTexts) {
  const auto file = path("in.txt");
  write(file, "[Long]\r\nModule=/m\r\nstartdirectory=" + std::string(305, 'd') + "\r\n[Fine]\r\nModule=/fine\r\n");
  const auto result = importScope(registry, Hive::CurrentUser, file, prompts);
  EXPECT_EQ(prompts.messageTexts(), std::vector<std::string>{textTooLongMessage("Long", "StartDirectory")});
  EXPECT_EQ(result.import.refused, 1U);
  EXPECT_FALSE(result.saveMessage.empty());
  EXPECT_FALSE(registry.hasKey(Hive::CurrentUser, definitionKey("Long")));
  EXPECT_EQ(text(Hive::CurrentUser, definitionKey("Fine"), "Module"), "/fine");
  EXPECT_EQ(registry.valueNames(Hive::CurrentUser, kPreferencesKey), (std::vector<std::string>{"Proxy", "Run"}));
  EXPECT_EQ(dword(Hive::CurrentUser, kPreferencesKey, "Run"), 31);

  write(file, "Splash=0\r\n");
  importScope(registry, Hive::CurrentUser, file, prompts);
  EXPECT_EQ(registry.valueNames(Hive::CurrentUser, kPreferencesKey),
            (std::vector<std::string>{"Proxy", "Run", "Splash"}));
}

TEST_F(ScopeExchangeTest, WhatWasFinishedBeforeCancelIsSaved) {
  const auto file = path("in.txt");
  write(file, "Port=99\r\n[New]\r\nModule=/n\r\n[Mail]\r\nModule=/changed\r\n");
  prompts.queue({Answer::Cancel});
  const auto result = importScope(registry, Hive::CurrentUser, file, prompts);
  EXPECT_EQ(result.import.status, ImportStatus::Cancelled);
  EXPECT_EQ(text(Hive::CurrentUser, definitionKey("New"), "Module"), "/n");
  EXPECT_EQ(text(Hive::CurrentUser, definitionKey("Mail"), "Module"), "/usr/bin/mail");
  EXPECT_EQ(text(Hive::CurrentUser, kPreferencesKey, "Port"), "99");
}

TEST_F(ScopeExchangeTest, AFileThatCannotBeReadLeavesTheHivesAlone) {
  const int writesBefore = registry.writeCount();
  const auto result = importScope(registry, Hive::CurrentUser, path("missing.txt"), prompts);
  EXPECT_EQ(result.import.status, ImportStatus::ReadFailed);
  EXPECT_FALSE(result.saveAttempted);
  EXPECT_EQ(registry.writeCount(), writesBefore);
}

TEST_F(ScopeExchangeTest, ReportsDefinitionsTheSaveRefused) {
  const auto file = path("in.txt");
  write(file, "[]\r\nModule=/nameless\r\n[Good]\r\nModule=/good\r\n[a\\b]\r\n");
  const auto result = importScope(registry, Hive::CurrentUser, file, prompts);
  EXPECT_EQ(result.save.invalidNames, (std::vector<std::string>{"", "a\\b"}));
  EXPECT_EQ(result.saveMessage, unsavedDefinitionsMessage(result.save));
  EXPECT_EQ(text(Hive::CurrentUser, definitionKey("Good"), "Module"), "/good");
}

TEST_F(ScopeExchangeTest, AReadOnlyScopeCannotStoreTheImport) {
  const auto file = path("in.txt");
  write(file, "[New]\r\nModule=/n\r\n");
  registry.setReadOnly(Hive::LocalMachine, true);
  const auto result = importScope(registry, Hive::LocalMachine, file, prompts);
  EXPECT_FALSE(result.save.startListOpened);
  EXPECT_EQ(result.saveMessage, "Error opening registry key - cannot store changes");
  EXPECT_FALSE(registry.hasKey(Hive::LocalMachine, definitionKey("New")));
}

TEST_F(ScopeExchangeTest, ADamagedHiveIsNeitherExportedNorImportedInto) {
  const auto file = path("in.txt");
  write(file, "[New]\r\nModule=/n\r\n");
  for (const Hive scope : {Hive::CurrentUser, Hive::LocalMachine}) {
    DamagedRegistry damaged(registry, Hive::CurrentUser);
    const auto exported = exportScope(damaged, scope, path("out.txt"));
    EXPECT_FALSE(exported.written);
    EXPECT_EQ(exported.message, "The hive file is damaged");
    const auto imported = importScope(damaged, scope, file, prompts);
    EXPECT_FALSE(imported.import.opened);
    EXPECT_EQ(imported.import.message, "The hive file is damaged");
  }
  EXPECT_FALSE(fs::exists(path("out.txt")));
  EXPECT_FALSE(registry.hasKey(Hive::CurrentUser, definitionKey("New")));
  EXPECT_FALSE(registry.hasKey(Hive::LocalMachine, definitionKey("New")));
}

}  // namespace
}  // namespace kip::test
