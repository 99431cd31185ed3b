#include "ctl/reg_file_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kip::test {
namespace {

std::vector<std::uint8_t> bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

// UTF-16LE with a byte order mark, for the code points of a UTF-8 test text.
std::vector<std::uint8_t> utf16File(std::string_view utf8) {
  std::vector<std::uint8_t> out{0xFF, 0xFE};
  const auto unit = [&out](std::uint32_t u) {
    out.push_back(static_cast<std::uint8_t>(u));
    out.push_back(static_cast<std::uint8_t>(u >> 8));
  };
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    std::uint32_t cp = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (int k = 1; k < length; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += static_cast<std::size_t>(length);
    if (cp >= 0x10000) {
      unit(0xD800 + ((cp - 0x10000) >> 10));
      unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      unit(cp);
    }
  }
  return out;
}

struct Parsed {
  std::vector<RegFileSection> sections;
  std::optional<RegFileProblem> problem;
};

// The good sections, and the first problem of the file: what stops it being read, else its earliest bad line.
Parsed parse(const std::vector<std::uint8_t>& bytes) {
  Parsed result;
  RegFileParser parser(bytes);
  RegFileSection section;
  std::vector<RegFileProblem> bad;
  while (parser.next(section)) {
    if (section.problems.empty()) result.sections.push_back(section);
    bad.insert(bad.end(), section.problems.begin(), section.problems.end());
  }
  bad.insert(bad.end(), parser.strayLines().begin(), parser.strayLines().end());
  result.problem = parser.problem();
  for (const auto& problem : bad)
    if (!result.problem || problem.line < result.problem->line) result.problem = problem;
  return result;
}

Parsed parse(std::string_view text) { return parse(bytesOf(text)); }

std::string textOf(const RegValue& value) { return {value.data.begin(), value.data.end()}; }

TEST(RegFileParser, ReadsKeysValuesAndDeletionsOfARegedit4File) {
  const auto parsed = parse(
      "REGEDIT4\r\n\r\n"
      "; set up a profile\r\n"
      "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\control\\IDConfigDB]\r\n"
      "\"CurrentConfig\"=dword:00000001\r\n"
      "@=\"machine\"\r\n"
      "\"Old\"=-\r\n"
      "\r\n"
      "[-HKEY_CURRENT_USER\\Software\\Gone]\r\n"
      "[hkcu\\Software\\Kept]\r\n");
  ASSERT_FALSE(parsed.problem) << parsed.problem->message;
  ASSERT_EQ(parsed.sections.size(), 3u);
  const auto& profile = parsed.sections[0];
  EXPECT_EQ(profile.line, 4);
  EXPECT_EQ(profile.key.hive, Hive::LocalMachine);
  EXPECT_EQ(profile.key.path, "System\\CurrentControlSet\\control\\IDConfigDB");
  ASSERT_EQ(profile.values.size(), 3u);
  EXPECT_EQ(profile.values[0].name, "CurrentConfig");
  EXPECT_EQ(profile.values[0].value.type, RegType::Dword);
  EXPECT_EQ(profile.values[0].value.data, (std::vector<std::uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(profile.values[1].name, "");
  EXPECT_EQ(textOf(profile.values[1].value), "machine");
  EXPECT_TRUE(profile.values[2].remove);
  EXPECT_EQ(profile.values[2].line, 7);
  EXPECT_TRUE(parsed.sections[1].removeTree);
  EXPECT_EQ(parsed.sections[1].key.path, "Software\\Gone");
  EXPECT_EQ(parsed.sections[2].key.hive, Hive::CurrentUser);
  EXPECT_TRUE(parsed.sections[2].values.empty());
}

TEST(RegFileParser, UnescapesQuotedNamesAndTexts) {
  const auto parsed = parse(
      "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n"
      "\"say \\\"hi\\\"\"=\"C:\\\\Program Files\\\\x.exe \\\"%1\\\"\"\n"
      "\"semi;colon\"=\"a;b\" ; a comment after the data\n"
      "\"utf8\"=\"Grüße ✓\"\n");
  ASSERT_FALSE(parsed.problem) << parsed.problem->message;
  const auto& values = parsed.sections.at(0).values;
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[0].name, "say \"hi\"");
  EXPECT_EQ(textOf(values[0].value), "C:\\Program Files\\x.exe \"%1\"");
  EXPECT_EQ(values[1].name, "semi;colon");
  EXPECT_EQ(textOf(values[1].value), "a;b");
  EXPECT_EQ(textOf(values[2].value), "Grüße ✓");
}

TEST(RegFileParser, JoinsHexContinuationLinesAndSkipsCommentsBetweenThem) {
  const auto parsed = parse(
      "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n"
      "\"Bin\"=hex:00,01,02,\\\r\n"
      "  03,04,\\\r\n"
      "; a comment inside the data\r\n"
      "  05\r\n"
      "\"Raw\"=hex(0):\r\n"
      "\"Q\"=HEX(b):01,00,00,00,00,00,00,00\r\n");
  ASSERT_FALSE(parsed.problem) << parsed.problem->message;
  const auto& values = parsed.sections.at(0).values;
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[0].value.type, RegType::Binary);
  EXPECT_EQ(values[0].value.data, (std::vector<std::uint8_t>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(static_cast<std::uint32_t>(values[1].value.type), 0u);
  EXPECT_TRUE(values[1].value.data.empty());
  EXPECT_EQ(values[1].line, 7);
  EXPECT_EQ(static_cast<std::uint32_t>(values[2].value.type), 11u);
}

TEST(RegFileParser, Regedit4TextBytesLoseOnlyTheirTerminatingNul) {
  const auto parsed = parse(
      "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n"
      "\"Path\"=hex(2):25,48,4f,4d,45,25,00\n"
      "\"Multi\"=hex(7):61,00,62,00,00\n");
  ASSERT_FALSE(parsed.problem) << parsed.problem->message;
  const auto& values = parsed.sections.at(0).values;
  EXPECT_EQ(values[0].value.type, RegType::ExpandSz);
  EXPECT_EQ(textOf(values[0].value), "%HOME%");
  EXPECT_EQ(values[1].value.data, (std::vector<std::uint8_t>{'a', 0, 'b', 0, 0}));
}

TEST(RegFileParser, ReadsAVersion5FileInUtf16WithItsTextsConvertedToUtf8) {
  const auto parsed = parse(
      utf16File("Windows Registry Editor Version 5.00\r\n\r\n"
                "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\control\\IDConfigDB\\Hardware Profiles\\0001]\r\n"
                "\"FriendlyName\"=\"Büro 😀\"\r\n"
                "\"Path\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,fc,00,00,00\r\n"
                "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"));
  ASSERT_FALSE(parsed.problem) << parsed.problem->message;
  const auto& values = parsed.sections.at(0).values;
  EXPECT_EQ(textOf(values[0].value), "Büro 😀");
  EXPECT_EQ(values[1].value.type, RegType::ExpandSz);
  EXPECT_EQ(textOf(values[1].value), "%TEMP%ü");
  EXPECT_EQ(values[2].value.data, (std::vector<std::uint8_t>{'a', 0, 'b', 0, 0}));
}

TEST(RegFileParser, AcceptsAUtf8ByteOrderMarkAndLfLineEnds) {
  const auto parsed = parse("\xEF\xBB\xBFWindows Registry Editor Version 5.00\n[HKCU\\A]\n\"x\"=\"y\"\n");
  ASSERT_FALSE(parsed.problem) << parsed.problem->message;
  EXPECT_EQ(textOf(parsed.sections.at(0).values.at(0).value), "y");
}

struct MalformedCase {
  std::string label;
  std::string text;
  int line;
  std::string fragment;
};

void PrintTo(const MalformedCase& param, std::ostream* os) { *os << param.label; }

class RegFileParserMalformed : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(RegFileParserMalformed, NamesTheLineAndTheProblem) {
  const auto& param = GetParam();
  const auto parsed = parse(param.text);
  ASSERT_TRUE(parsed.problem.has_value());
  EXPECT_EQ(parsed.problem->line, param.line) << parsed.problem->message;
  EXPECT_NE(parsed.problem->message.find(param.fragment), std::string::npos) << parsed.problem->message;
}

const std::string kKey = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, RegFileParserMalformed,
    ::testing::Values(
        MalformedCase{"EmptyFile", "", 1, "empty"},
        MalformedCase{"UnknownHeader", "REGEDIT5\r\n[HKCU\\A]\r\n", 1, "unknown header line \"REGEDIT5\""},
        MalformedCase{"HeaderAfterBlankLines", "\r\n\r\nRegistry\r\n", 3, "unknown header"},
        MalformedCase{"ValueBeforeKey", "REGEDIT4\r\n\r\n\"a\"=\"b\"\r\n", 3, "before any [key]"},
        MalformedCase{"UnknownRoot", "REGEDIT4\r\n[HKEY_CLASSES_ROOT\\.txt]\r\n", 2,
                      "unknown root \"HKEY_CLASSES_ROOT\""},
        MalformedCase{"NoClosingBracket", kKey + "[HKEY_CURRENT_USER\\B\r\n", 4, "no closing ]"},
        MalformedCase{"WholeHiveDeletion", "REGEDIT4\r\n[-HKEY_LOCAL_MACHINE]\r\n", 2, "cannot be deleted"},
        MalformedCase{"UnterminatedString", kKey + "\"a\"=\"b\r\n", 4, "unterminated string"},
        MalformedCase{"UnterminatedName", kKey + "\"a=b\r\n", 4, "unterminated string"},
        MalformedCase{"UnknownEscapeInVersion5",
                      "Windows Registry Editor Version 5.00\r\n[HKCU\\A]\r\n\"a\"=\"C:\\Windows\"\r\n", 3,
                      "unknown escape \\W"},
        MalformedCase{"TextAfterString", kKey + "\"a\"=\"b\"c\r\n", 4, "after the closing quote"},
        MalformedCase{"MissingEquals", kKey + "\"a\" \"b\"\r\n", 4, "expected ="},
        MalformedCase{"UnknownData", kKey + "\"a\"=qword:1\r\n", 4, "unknown data"},
        MalformedCase{"BadHexDigit", kKey + "\"a\"=hex:00,0g\r\n", 4, "bad hex digit \"g\""},
        MalformedCase{"BadHexDigitOnContinuation", kKey + "\"a\"=hex:00,01,\\\r\n  02,zz\r\n", 5,
                      "bad hex digit \"z\""},
        MalformedCase{"LongHexByte", kKey + "\"a\"=hex:001\r\n", 4, "more than two digits"},
        MalformedCase{"TrailingComma", kKey + "\"a\"=hex:00,\r\n", 4, "a comma ends"},
        MalformedCase{"ContinuationAtEnd", kKey + "\"a\"=hex:00,\\\r\n", 4, "past the end of the file"},
        MalformedCase{"ContinuationOntoBlank", kKey + "\"a\"=hex:00,\\\r\n\r\n", 5, "onto an empty line"},
        MalformedCase{"BadHexType", kKey + "\"a\"=hex(z):00\r\n", 4, "type number"},
        MalformedCase{"LongDword", kKey + "\"a\"=dword:123456789\r\n", 4, "more than 8"},
        MalformedCase{"EmptyDword", kKey + "\"a\"=dword:\r\n", 4, "1 to 8"},
        MalformedCase{"BadDwordDigit", kKey + "\"a\"=dword:0000001x\r\n", 4, "bad hex digit \"x\""},
        MalformedCase{"UnrecognisedLine", kKey + "a=b\r\n", 4, "unrecognised line \"a=b\""},
        MalformedCase{"InvalidUtf8AfterAByteOrderMark", "\xEF\xBB\xBF" + kKey + "\r\n\"a\"=\"\xE9t\xE9\"\r\n", 5,
                      "not valid UTF-8"},
        MalformedCase{"InvalidUtf8InVersion5", "Windows Registry Editor Version 5.00\r\n\"a\"=\"\xE9\"\r\n", 2,
                      "not valid UTF-8"},
        MalformedCase{"Utf16WithoutBom", std::string("R\0E\0G\0", 6), 1, "byte order mark"},
        MalformedCase{"BigEndianUtf16", std::string("\xFE\xFF\0R", 4), 1, "big-endian"}),
    [](const auto& info) { return info.param.label; });

// Files as other machines and editors write them: a bad line costs its own section only.
TEST(RegFileParser, ReadsWhatWindowsAndOtherEditorsWrite) {
  RegFileParser parser(bytesOf("REGEDIT4\r\n# an editor's comment\r\n\"stray\"=\"1\"\r\n"
                               "[HKCU\\A]\r\n\"C:\\\\x\\\\y.ax\"=\"C:\\Program Files\\q\"\r\n"
                               "[-HKCU\\B]\r\n\"lost\"=hex:01,\\\r\n  02\r\n"
                               "[HKCU\\C]\r\n\"bad\"=dword:zz\r\n#\"fine\"=\"1\"\r\n"
                               "[HKCU\\D]\r\n@=\"\xCF\xF0\xE8\"\r\n"),
                       1251);
  std::vector<RegFileSection> sections;
  for (RegFileSection section; parser.next(section);) sections.push_back(section);
  ASSERT_FALSE(parser.problem());
  EXPECT_EQ(parser.codePageUsed(), 1251u);
  ASSERT_EQ(parser.strayLines().size(), 1u);
  EXPECT_EQ(parser.strayLines()[0].line, 3);
  ASSERT_EQ(sections.size(), 4u);
  ASSERT_EQ(sections[0].values.size(), 1u);
  EXPECT_EQ(sections[0].values[0].name, "C:\\x\\y.ax");
  EXPECT_EQ(textOf(sections[0].values[0].value), "C:\\Program Files\\q");  // an unknown escape keeps its backslash
  EXPECT_TRUE(sections[1].values.empty());
  ASSERT_EQ(sections[1].ignored.size(), 1u);
  EXPECT_EQ(sections[1].ignored[0].line, 7);
  EXPECT_TRUE(sections[1].problems.empty());
  ASSERT_EQ(sections[2].problems.size(), 1u);
  EXPECT_EQ(sections[2].problems[0].line, 10);
  EXPECT_EQ(textOf(sections[3].values.at(0).value), "\xD0\x9F\xD1\x80\xD0\xB8");
}

TEST(RegFileParser, Version5TextDataThatIsNotUtf16IsRejected) {
  const auto parsed = parse("Windows Registry Editor Version 5.00\r\n[HKCU\\A]\r\n\r\n\"p\"=hex(2):41,00,42\r\n");
  ASSERT_TRUE(parsed.problem.has_value());
  EXPECT_EQ(parsed.problem->line, 4);
  EXPECT_NE(parsed.problem->message.find("not UTF-16LE"), std::string::npos);
}

TEST(RegFileParser, DamagedUtf16CountsLinesUpToTheBadUnit) {
  auto bytes = utf16File("REGEDIT4\r\n[HKCU\\A]\r\n\"a\"=\"");
  bytes.push_back(0x00);
  bytes.push_back(0xDC);  // a low surrogate without its high half
  const auto parsed = parse(bytes);
  ASSERT_TRUE(parsed.problem.has_value());
  EXPECT_EQ(parsed.problem->line, 3);
  EXPECT_NE(parsed.problem->message.find("UTF-16"), std::string::npos);
}

TEST(RegFileParser, SectionsBeforeAProblemAreDeliveredAndTheBadOneIsNot) {
  const auto parsed = parse(kKey + "\"a\"=\"1\"\r\n[HKCU\\B]\r\n\"b\"=\"2\"\r\n\"c\"=hex:zz\r\n");
  ASSERT_EQ(parsed.sections.size(), 1u);
  EXPECT_EQ(parsed.sections[0].key.path, "A");
  ASSERT_TRUE(parsed.problem.has_value());
  EXPECT_EQ(parsed.problem->line, 7);
}

}  // namespace
}  // namespace kip::test
