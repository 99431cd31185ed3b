#include "platform/registry_values.h"

#include <gtest/gtest.h>

#include "doubles/memory_registry.h"

namespace kip::test {
namespace {

class RegistryValuesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(registry.createKey(Hive::CurrentUser, "K", key), 0); }
  void raw(std::string_view name, RegType type, std::vector<std::uint8_t> data) {
    registry.setRaw(Hive::CurrentUser, "K", name, type, std::move(data));
  }

  MemoryRegistry registry;
  std::unique_ptr<RegKey> key;
};

TEST_F(RegistryValuesTest, WritesUseTheStoredFormsOfEachType) {
  EXPECT_EQ(writeText(*key, "T", "abc"), 0);
  EXPECT_EQ(writeDword(*key, "D", -2), 0);
  EXPECT_EQ(writeDouble(*key, "F", 1.5), 0);
  const auto text = registry.value(Hive::CurrentUser, "K", "T");
  EXPECT_EQ(text->type, RegType::Sz);
  EXPECT_EQ(text->data, (std::vector<std::uint8_t>{'a', 'b', 'c'}));
  const auto dword = registry.value(Hive::CurrentUser, "K", "D");
  EXPECT_EQ(dword->type, RegType::Dword);
  EXPECT_EQ(dword->data, (std::vector<std::uint8_t>{0xFE, 0xFF, 0xFF, 0xFF}));
  const auto real = registry.value(Hive::CurrentUser, "K", "F");
  EXPECT_EQ(real->type, RegType::Binary);
  // 1.5 as a little-endian IEEE-754 double.
  EXPECT_EQ(real->data, (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0xF8, 0x3F}));
  EXPECT_EQ(readDword(*key, "D"), -2);
  EXPECT_EQ(readDouble(*key, "F"), 1.5);
  EXPECT_EQ(readText(*key, "T"), "abc");
}

TEST_F(RegistryValuesTest, TextNeedsRoomForItsTerminator) {
  raw("Fits", RegType::Sz, std::vector<std::uint8_t>(9, 'x'));
  raw("Full", RegType::Sz, std::vector<std::uint8_t>(10, 'x'));
  auto terminated = std::vector<std::uint8_t>(9, 'y');
  terminated.push_back(0);
  raw("Terminated", RegType::Sz, terminated);
  raw("Over", RegType::Sz, std::vector<std::uint8_t>(11, 'x'));
  EXPECT_EQ(readText(*key, "Fits", false, 10), std::string(9, 'x'));
  EXPECT_EQ(readText(*key, "Full", false, 10), std::nullopt);
  EXPECT_EQ(readText(*key, "Terminated", false, 10), std::string(9, 'y'));
  EXPECT_EQ(readText(*key, "Over", false, 10), std::nullopt);
}

TEST_F(RegistryValuesTest, ExpandSzOnlyWhenAllowed) {
  raw("E", RegType::ExpandSz, {'%', 'H', '%'});
  EXPECT_EQ(readText(*key, "E"), std::nullopt);
  EXPECT_EQ(readText(*key, "E", true), "%H%");
  raw("B", RegType::Binary, {'a'});
  EXPECT_EQ(readText(*key, "B", true), std::nullopt);
  EXPECT_EQ(readText(*key, "Missing", true), std::nullopt);
}

TEST_F(RegistryValuesTest, NumbersAndDatesNeedTheirExactSize) {
  raw("D2", RegType::Dword, {1, 0});
  raw("D8", RegType::Dword, {1, 0, 0, 0, 0, 0, 0, 0});
  raw("B4", RegType::Binary, {1, 0, 0, 0});
  raw("D4AsBinary", RegType::Binary, {0, 0, 0, 0, 0, 0, 0xF8, 0x3F, 0});
  EXPECT_EQ(readDword(*key, "D2"), std::nullopt);
  EXPECT_EQ(readDword(*key, "D8"), std::nullopt);
  EXPECT_EQ(readDword(*key, "B4"), std::nullopt);
  EXPECT_EQ(readDouble(*key, "B4"), std::nullopt);
  EXPECT_EQ(readDouble(*key, "D4AsBinary"), std::nullopt);
  EXPECT_EQ(readDword(*key, "Missing"), std::nullopt);
}

TEST_F(RegistryValuesTest, WritesThroughAReadOnlyHandleFail) {
  std::unique_ptr<RegKey> reader;
  ASSERT_EQ(registry.openKey(Hive::CurrentUser, "K", KeyAccess::Read, reader), 0);
  EXPECT_EQ(writeText(*reader, "T", "x"), 5);
  EXPECT_EQ(writeDword(*reader, "D", 1), 5);
  EXPECT_EQ(writeDouble(*reader, "F", 1.0), 5);
  EXPECT_TRUE(registry.valueNames(Hive::CurrentUser, "K").empty());
}

TEST(RegistryPath, SplitsOnSeparatorsAndDropsEmptyParts) {
  EXPECT_EQ(splitKeyPath("A\\B\\C"), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(splitKeyPath("\\A\\\\B\\"), (std::vector<std::string>{"A", "B"}));
  EXPECT_TRUE(splitKeyPath("").empty());
  EXPECT_EQ(foldName("Start List-ä"), "START LIST-ä");
}

}  // namespace
}  // namespace kip::test
