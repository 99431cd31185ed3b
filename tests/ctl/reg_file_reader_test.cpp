#include "ctl/reg_file_reader.h"

#include <gtest/gtest.h>

#include "doubles/memory_registry.h"
#include "platform/registry_values.h"

namespace kip::test {
namespace {

class RegFileReaderTest : public ::testing::Test {
 protected:
  RegImportOutcome import(std::string_view text) {
    return RegFileReader(m_registry).import(std::vector<std::uint8_t>(text.begin(), text.end()));
  }
  std::optional<std::string> text(Hive hive, std::string_view path, std::string_view name) {
    std::unique_ptr<RegKey> key;
    if (m_registry.openKey(hive, path, KeyAccess::Read, key) != 0) return std::nullopt;
    return readText(*key, name);
  }

  MemoryRegistry m_registry;
};

TEST_F(RegFileReaderTest, SetsUpAHardwareProfileTheStartUpReads) {
  const auto outcome = import(
      "REGEDIT4\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\control\\IDConfigDB]\r\n"
      "\"CurrentConfig\"=dword:00000001\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\control\\IDConfigDB\\Hardware Profiles\\0001]\r\n"
      "\"FriendlyName\"=\"Docked\"\r\n");
  ASSERT_TRUE(outcome.problems.empty()) << outcome.problems.front().message;
  EXPECT_EQ(outcome.sectionsImported, 2u);
  std::unique_ptr<RegKey> key;
  ASSERT_EQ(
      m_registry.openKey(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\control\\IDConfigDB", KeyAccess::Read, key),
      0);
  EXPECT_EQ(readDword(*key, "CurrentConfig"), 1);
  EXPECT_EQ(text(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\control\\IDConfigDB\\Hardware Profiles\\0001",
                 "FriendlyName"),
            "Docked");
}

TEST_F(RegFileReaderTest, DeletesKeyTreesAndValues) {
  m_registry.setText(Hive::CurrentUser, "Software\\Gone\\Child", "a", "1");
  m_registry.setText(Hive::CurrentUser, "Software\\Kept", "old", "1");
  m_registry.setText(Hive::CurrentUser, "Software\\Kept", "", "default");
  const auto outcome = import(
      "Windows Registry Editor Version 5.00\n"
      "[-HKEY_CURRENT_USER\\Software\\Gone]\n"
      "[-HKEY_CURRENT_USER\\Software\\NeverWas]\n"
      "[HKEY_CURRENT_USER\\Software\\Kept]\n\"old\"=-\n@=-\n\"missing\"=-\n\"new\"=\"2\"\n");
  ASSERT_TRUE(outcome.problems.empty()) << outcome.problems.front().message;
  EXPECT_FALSE(m_registry.hasKey(Hive::CurrentUser, "Software\\Gone"));
  EXPECT_EQ(m_registry.valueNames(Hive::CurrentUser, "Software\\Kept"), std::vector<std::string>{"new"});
}

TEST_F(RegFileReaderTest, ABadLineLeavesItsSectionUntouchedAndTheOthersAreImported) {
  m_registry.setText(Hive::CurrentUser, "B", "b", "before");
  const auto outcome = import(
      "REGEDIT4\n[HKCU\\A]\n\"a\"=\"1\"\n"
      "[HKCU\\B]\n\"b\"=\"changed\"\n\"c\"=dword:zz\n"
      "[HKEY_CLASSES_ROOT\\.x]\n@=\"y\"\n"
      "[HKCU\\C]\n\"c\"=\"3\"\n\"C:\\\\dll\"=dword:1\n");
  ASSERT_EQ(outcome.problems.size(), 2u);
  EXPECT_EQ(outcome.problems[0].line, 6);
  EXPECT_EQ(outcome.problems[1].line, 7);
  EXPECT_EQ(outcome.sectionsImported, 2u);
  EXPECT_EQ(outcome.sectionsSkipped, 2u);
  EXPECT_EQ(text(Hive::CurrentUser, "A", "a"), "1");
  EXPECT_EQ(text(Hive::CurrentUser, "B", "b"), "before");
  EXPECT_EQ(text(Hive::CurrentUser, "C", "c"), "3");
  EXPECT_EQ(m_registry.valueNames(Hive::CurrentUser, "C"), (std::vector<std::string>{"c", "C:\\dll"}));
}

// A registry whose keys refuse to store a value named "poison", to fail a write in the middle of a section.
class PoisonRegistry final : public Registry {
 public:
  explicit PoisonRegistry(MemoryRegistry& inner) : m_inner(inner) {}
  RegCode openKey(Hive hive, std::string_view path, KeyAccess access, std::unique_ptr<RegKey>& key) override {
    return wrap(m_inner.openKey(hive, path, access, key), key);
  }
  RegCode createKey(Hive hive, std::string_view path, std::unique_ptr<RegKey>& key) override {
    return wrap(m_inner.createKey(hive, path, key), key);
  }
  RegCode deleteTree(Hive hive, std::string_view path) override { return m_inner.deleteTree(hive, path); }
  RegCode moveKey(Hive hive, std::string_view from, std::string_view to) override {
    return m_inner.moveKey(hive, from, to);
  }
  RegCode beginBatch(Hive hive) override { return m_inner.beginBatch(hive); }
  RegCode endBatch(Hive hive, bool commit) override { return m_inner.endBatch(hive, commit); }
  [[nodiscard]] std::string hiveProblem(Hive hive) const override { return m_inner.hiveProblem(hive); }

 private:
  class Key final : public RegKey {
   public:
    explicit Key(std::unique_ptr<RegKey> inner) : m_key(std::move(inner)) {}
    [[nodiscard]] bool writable() const override { return m_key->writable(); }
    RegCode enumKey(std::uint32_t index, std::string& name) override { return m_key->enumKey(index, name); }
    RegCode enumValue(std::uint32_t index, std::string& name, RegValue& value) override {
      return m_key->enumValue(index, name, value);
    }
    RegCode queryValue(std::string_view name, std::uint32_t size, RegValue& value) override {
      return m_key->queryValue(name, size, value);
    }
    RegCode setValue(std::string_view name, RegType type, std::span<const std::uint8_t> data) override {
      return name == "poison" ? 5 : m_key->setValue(name, type, data);
    }
    RegCode deleteValue(std::string_view name) override { return m_key->deleteValue(name); }

   private:
    std::unique_ptr<RegKey> m_key;
  };

  static RegCode wrap(RegCode code, std::unique_ptr<RegKey>& key) {
    if (code == 0) key = std::make_unique<Key>(std::move(key));
    return code;
  }

  MemoryRegistry& m_inner;
};

TEST_F(RegFileReaderTest, AFailedWriteRollsBackItsWholeSection) {
  m_registry.setText(Hive::LocalMachine, "Two", "kept", "old");
  PoisonRegistry registry(m_registry);
  const std::string_view file =
      "REGEDIT4\n[HKLM\\One]\n\"a\"=\"1\"\n"
      "[HKLM\\Two\\Sub]\n[HKLM\\Two]\n\"kept\"=-\n\"fresh\"=\"x\"\n\"poison\"=\"y\"\n";
  const auto outcome = RegFileReader(registry).import(std::vector<std::uint8_t>(file.begin(), file.end()));
  ASSERT_FALSE(outcome.problems.empty());
  EXPECT_EQ(outcome.problems.front().line, 8);
  EXPECT_NE(outcome.problems.front().message.find("access denied"), std::string::npos)
      << outcome.problems.front().message;
  EXPECT_EQ(outcome.sectionsImported, 2u);
  EXPECT_EQ(text(Hive::LocalMachine, "One", "a"), "1");
  EXPECT_TRUE(m_registry.hasKey(Hive::LocalMachine, "Two\\Sub"));
  EXPECT_EQ(m_registry.valueNames(Hive::LocalMachine, "Two"), std::vector<std::string>{"kept"});
}

TEST_F(RegFileReaderTest, AnUnwritableKeyIsReportedAtItsKeyLine) {
  m_registry.failWritesUnder(Hive::LocalMachine, "Locked");
  const auto outcome = import("REGEDIT4\n[HKLM\\Open]\n\n[HKLM\\Locked\\Key]\n\"b\"=\"2\"\n");
  ASSERT_FALSE(outcome.problems.empty());
  EXPECT_EQ(outcome.problems.front().line, 4);
  EXPECT_NE(outcome.problems.front().message.find("cannot create HKEY_LOCAL_MACHINE\\Locked\\Key"), std::string::npos)
      << outcome.problems.front().message;
  EXPECT_EQ(outcome.sectionsImported, 1u);
}

TEST_F(RegFileReaderTest, AReadOnlyHiveCostsItsSections) {
  m_registry.setReadOnly(Hive::LocalMachine, true);
  const auto outcome = import("REGEDIT4\n[HKCU\\Mine]\n\n[-HKLM\\Theirs]\n");
  ASSERT_FALSE(outcome.problems.empty());
  EXPECT_EQ(outcome.problems.front().line, 4);
  EXPECT_EQ(outcome.sectionsImported, 1u);
}

}  // namespace
}  // namespace kip::test
