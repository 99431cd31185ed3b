#include "ctl/reg_value_text.h"

#include <gtest/gtest.h>

#include "ctl/reg_key_name.h"
#include "doubles/memory_registry.h"

namespace kip::test {
namespace {

struct DataCase {
  std::string label;
  RegType type;
  std::string text;
  std::optional<std::vector<std::uint8_t>> bytes;  // nullopt: rejected
};

void PrintTo(const DataCase& param, std::ostream* os) { *os << param.label; }

class RegAddData : public ::testing::TestWithParam<DataCase> {};

TEST_P(RegAddData, ParsesOrRejects) {
  const auto& param = GetParam();
  std::string problem;
  const auto bytes = parseAddData(param.type, param.text, problem);
  EXPECT_EQ(bytes, param.bytes) << problem;
  EXPECT_EQ(problem.empty(), param.bytes.has_value()) << problem;
}

using Bytes = std::vector<std::uint8_t>;

INSTANTIATE_TEST_SUITE_P(
    Cases, RegAddData,
    ::testing::Values(DataCase{"Decimal", RegType::Dword, "31", Bytes{31, 0, 0, 0}},
                      DataCase{"LargestDecimal", RegType::Dword, "4294967295", Bytes{255, 255, 255, 255}},
                      DataCase{"Negative", RegType::Dword, "-2", Bytes{0xFE, 0xFF, 0xFF, 0xFF}},
                      DataCase{"SmallestNegative", RegType::Dword, "-2147483648", Bytes{0, 0, 0, 0x80}},
                      DataCase{"Hex", RegType::Dword, "0x1F", Bytes{31, 0, 0, 0}},
                      DataCase{"HexWithZeros", RegType::Dword, "0X00000000ffffffff", Bytes{255, 255, 255, 255}},
                      DataCase{"TooLarge", RegType::Dword, "4294967296", std::nullopt},
                      DataCase{"TooNegative", RegType::Dword, "-2147483649", std::nullopt},
                      DataCase{"HexTooLarge", RegType::Dword, "0x100000000", std::nullopt},
                      DataCase{"Huge", RegType::Dword, "99999999999999999999999", std::nullopt},
                      DataCase{"Garbage", RegType::Dword, "12a", std::nullopt},
                      DataCase{"Empty", RegType::Dword, "", std::nullopt},
                      DataCase{"BareMinus", RegType::Dword, "-", std::nullopt},
                      DataCase{"BareHexPrefix", RegType::Dword, "0x", std::nullopt},
                      DataCase{"Plus", RegType::Dword, "+1", std::nullopt},
                      DataCase{"Blank", RegType::Dword, " 1", std::nullopt},
                      DataCase{"Binary", RegType::Binary, "DEad01", Bytes{0xDE, 0xAD, 0x01}},
                      DataCase{"EmptyBinary", RegType::Binary, "", Bytes{}},
                      DataCase{"OddBinary", RegType::Binary, "ABC", std::nullopt},
                      DataCase{"BadBinaryDigit", RegType::Binary, "0G", std::nullopt},
                      DataCase{"Text", RegType::Sz, "C:\\x y", Bytes{'C', ':', '\\', 'x', ' ', 'y'}},
                      DataCase{"ExpandText", RegType::ExpandSz, "%HOME%", Bytes{'%', 'H', 'O', 'M', 'E', '%'}}),
    [](const auto& info) { return info.param.label; });

TEST(RegAddData, NamesTheProblem) {
  std::string problem;
  parseAddData(RegType::Dword, "4294967296", problem);
  EXPECT_EQ(problem, "\"4294967296\" is out of range for REG_DWORD (-2147483648 to 4294967295, or 0x0 to 0xffffffff)");
  parseAddData(RegType::Binary, "ABC", problem);
  EXPECT_EQ(problem, "REG_BINARY data must be an even number of hexadecimal digits, not 3");
}

TEST(RegQueryData, FormatsEachType) {
  EXPECT_EQ(formatQueryData({RegType::Dword, {0x1f, 0, 0, 0}}), "0x1f");
  EXPECT_EQ(formatQueryData({RegType::Dword, {0xFE, 0xFF, 0xFF, 0xFF}}), "0xfffffffe");
  EXPECT_EQ(formatQueryData({RegType::Dword, {0, 0, 0, 0}}), "0x0");
  EXPECT_EQ(formatQueryData({RegType::Binary, {0xDE, 0xAD, 0x0B}}), "DEAD0B");
  EXPECT_EQ(formatQueryData({RegType::Sz, {'a', ' ', 'b'}}), "a b");
  EXPECT_EQ(formatQueryData({RegType::ExpandSz, {'%', 'A', '%', 0, 'x'}}), "%A%");
  EXPECT_EQ(formatQueryData({static_cast<RegType>(kRegMultiSz), {'a', 0, 'b', 0, 0}}), "a\\0b");
  EXPECT_EQ(formatQueryData({static_cast<RegType>(kRegQword), {1, 0, 0, 0, 0, 0, 0, 0x10}}), "0x1000000000000001");
  EXPECT_EQ(formatQueryData({RegType::Dword, {1, 2}}), "0102");
}

TEST(RegTypeNames, NamesKnownAndUnknownTypes) {
  EXPECT_EQ(regTypeName(RegType::ExpandSz), "REG_EXPAND_SZ");
  EXPECT_EQ(regTypeName(static_cast<RegType>(kRegQword)), "REG_QWORD");
  EXPECT_EQ(regTypeName(static_cast<RegType>(42)), "REG_UNKNOWN_42");
  EXPECT_EQ(parseAddType("reg_dword"), RegType::Dword);
  EXPECT_EQ(parseAddType("REG_MULTI_SZ"), std::nullopt);
}

TEST(RegKeyNameParse, AcceptsBothRootSpellingsInAnyCase) {
  const auto shortForm = RegKeyName::parse("hkcu\\Software\\\\Kip\\");
  ASSERT_TRUE(shortForm.has_value());
  EXPECT_EQ(shortForm->hive, Hive::CurrentUser);
  EXPECT_EQ(shortForm->path, "Software\\Kip");
  EXPECT_EQ(shortForm->fullName(), "HKEY_CURRENT_USER\\Software\\Kip");
  const auto longForm = RegKeyName::parse("Hkey_Local_Machine\\System");
  ASSERT_TRUE(longForm.has_value());
  EXPECT_EQ(longForm->hive, Hive::LocalMachine);
  EXPECT_EQ(RegKeyName::parse("HKLM")->fullName(), "HKEY_LOCAL_MACHINE");
  EXPECT_FALSE(RegKeyName::parse("HKCR\\.txt").has_value());
  EXPECT_FALSE(RegKeyName::parse("Software\\Kip").has_value());
  EXPECT_FALSE(RegKeyName::parse("HKCUX\\A").has_value());
}

TEST(RegKeyNameParse, StoredPathKeepsTheCaseOfTheStore) {
  MemoryRegistry registry;
  registry.setText(Hive::CurrentUser, "Software\\Marl Fen\\Kip", "x", "y");
  EXPECT_EQ(storedKeyPath(registry, Hive::CurrentUser, "SOFTWARE\\marl fen\\KIP"), "Software\\Marl Fen\\Kip");
  EXPECT_EQ(storedKeyPath(registry, Hive::CurrentUser, ""), "");
  EXPECT_EQ(storedKeyPath(registry, Hive::CurrentUser, "Software\\Other"), std::nullopt);
}

}  // namespace
}  // namespace kip::test
