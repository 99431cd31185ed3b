#include "ctl/reg_file_writer.h"

#include <gtest/gtest.h>

#include "ctl/reg_file_reader.h"
#include "doubles/memory_registry.h"

namespace kip::test {
namespace {

RegValue valueOf(RegType type, std::vector<std::uint8_t> data) { return RegValue{type, std::move(data)}; }
RegValue textValue(std::string_view text) { return valueOf(RegType::Sz, {text.begin(), text.end()}); }

TEST(RegFileValueFormat, WritesEachTypeAsTheRegistryEditorDoes) {
  EXPECT_EQ(formatRegFileValue("Name", textValue("C:\\x \"y\"")), "\"Name\"=\"C:\\\\x \\\"y\\\"\"\r\n");
  EXPECT_EQ(formatRegFileValue("", textValue("d")), "@=\"d\"\r\n");
  EXPECT_EQ(formatRegFileValue("a\"b", valueOf(RegType::Dword, {0x1f, 0, 0, 0})), "\"a\\\"b\"=dword:0000001f\r\n");
  EXPECT_EQ(formatRegFileValue("b", valueOf(RegType::Binary, {0xDE, 0xAD})), "\"b\"=hex:de,ad\r\n");
  EXPECT_EQ(formatRegFileValue("b", valueOf(RegType::Binary, {})), "\"b\"=hex:\r\n");
  EXPECT_EQ(formatRegFileValue("e", valueOf(RegType::ExpandSz, {'%', 'A', '%'})), "\"e\"=hex(2):25,41,25,00\r\n");
  EXPECT_EQ(formatRegFileValue("q", valueOf(static_cast<RegType>(11), {1, 0, 0, 0, 0, 0, 0, 0})),
            "\"q\"=hex(b):01,00,00,00,00,00,00,00\r\n");
}

TEST(RegFileValueFormat, WritesTextsAsBytesWhenQuotesCannotHoldThem) {
  EXPECT_EQ(formatRegFileValue("t", textValue("a\nb")), "\"t\"=hex(1):61,0a,62,00\r\n");
  EXPECT_EQ(formatRegFileValue("t", textValue("\xE9")), "\"t\"=hex(1):e9,00\r\n");
  EXPECT_EQ(formatRegFileValue("d", valueOf(RegType::Dword, {1, 2})), "\"d\"=hex(4):01,02\r\n");
  EXPECT_FALSE(formatRegFileValue("two\nlines", textValue("x")).has_value());
}

TEST(RegFileValueFormat, WrapsLongHexDataLikeTheRegistryEditor) {
  std::vector<std::uint8_t> bytes(60);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
  const auto text = *formatRegFileValue("Binary", valueOf(RegType::Binary, bytes));
  EXPECT_EQ(text,
            "\"Binary\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
            "  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,\\\r\n"
            "  2f,30,31,32,33,34,35,36,37,38,39,3a,3b\r\n");
}

TEST(RegFileWriter, ExportsTheTreeDepthFirstWithStoredNames) {
  MemoryRegistry registry;
  registry.setText(Hive::CurrentUser, "Software\\Kip", "", "top");
  registry.setDword(Hive::CurrentUser, "Software\\Kip\\beta", "n", 31);
  registry.setText(Hive::CurrentUser, "Software\\Kip\\Alpha\\Deep", "x", "y");
  registry.setText(Hive::CurrentUser, "Software\\Other", "no", "no");
  std::string problem;
  const auto text = RegFileWriter(registry).exportTree({Hive::CurrentUser, "SOFTWARE\\kip"}, problem);
  ASSERT_TRUE(text.has_value()) << problem;
  EXPECT_EQ(*text,
            "REGEDIT4\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\Kip]\r\n@=\"top\"\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\Kip\\Alpha]\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\Kip\\Alpha\\Deep]\r\n\"x\"=\"y\"\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\Kip\\beta]\r\n\"n\"=dword:0000001f\r\n\r\n");
}

TEST(RegFileWriter, AMissingKeyIsAProblem) {
  MemoryRegistry registry;
  std::string problem;
  EXPECT_FALSE(RegFileWriter(registry).exportTree({Hive::LocalMachine, "Nope"}, problem).has_value());
  EXPECT_EQ(problem, "the key HKEY_LOCAL_MACHINE\\Nope does not exist");
}

// Every value the registry can hold comes back byte for byte after an export and an import.
TEST(RegFileRoundTrip, ExportThenImportRestoresEveryValue) {
  MemoryRegistry source;
  const std::string key = "Software\\Round";
  source.setText(Hive::LocalMachine, key, "", "default");
  source.setText(Hive::LocalMachine, key, "quotes", "say \"\\\\server\\share\"");
  source.setText(Hive::LocalMachine, key, "empty", "");
  source.setText(Hive::LocalMachine, key, "lines", std::string_view("one\r\ntwo\0three", 13));
  source.setText(Hive::LocalMachine, key, "latin1", "caf\xE9");
  source.setText(Hive::LocalMachine, key, "utf8", "Grüße 😀");
  source.setDword(Hive::LocalMachine, key, "negative", -2);
  source.setRaw(Hive::LocalMachine, key, "short dword", RegType::Dword, {7});
  source.setRaw(Hive::LocalMachine, key, "expand", RegType::ExpandSz, {'%', 'P', '%', 0});
  std::vector<std::uint8_t> big(300);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7);
  source.setRaw(Hive::LocalMachine, key, "big", RegType::Binary, big);
  source.setRaw(Hive::LocalMachine, key, "multi", static_cast<RegType>(7), {'a', 0, 'b', 0, 0});
  source.setText(Hive::LocalMachine, key + "\\Sub [1]", "a]b", "c");

  std::string problem;
  const auto text = RegFileWriter(source).exportTree({Hive::LocalMachine, key}, problem);
  ASSERT_TRUE(text.has_value()) << problem;
  MemoryRegistry target;
  const auto outcome = RegFileReader(target).import(std::vector<std::uint8_t>(text->begin(), text->end()));
  ASSERT_TRUE(outcome.problems.empty()) << outcome.problems.front().line << ": " << outcome.problems.front().message;
  EXPECT_EQ(outcome.sectionsImported, 2u);

  const auto again = RegFileWriter(target).exportTree({Hive::LocalMachine, key}, problem);
  ASSERT_TRUE(again.has_value()) << problem;
  EXPECT_EQ(*again, *text);
  for (const auto& name : source.valueNames(Hive::LocalMachine, key)) {
    std::unique_ptr<RegKey> a, b;
    ASSERT_EQ(source.openKey(Hive::LocalMachine, key, KeyAccess::Read, a), 0);
    ASSERT_EQ(target.openKey(Hive::LocalMachine, key, KeyAccess::Read, b), 0);
    RegValue va, vb;
    ASSERT_EQ(a->queryValue(name, 1000, va), 0);
    ASSERT_EQ(b->queryValue(name, 1000, vb), 0) << name;
    EXPECT_EQ(va.type, vb.type) << name;
    EXPECT_EQ(va.data, vb.data) << name;
  }
}

}  // namespace
}  // namespace kip::test
