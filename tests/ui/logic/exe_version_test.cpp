#include "ui/logic/exe_version.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace kip::test {
namespace {

// This test program carries a version section of its own under another name, with texts that need
// trimming and one longer than the reader takes.
#define TEST_TEXT(name, value) name "\0" value "\0"
#define TEN_DIGITS "0123456789"
#define SIXTY_DIGITS TEN_DIGITS TEN_DIGITS TEN_DIGITS TEN_DIGITS TEN_DIGITS TEN_DIGITS
__attribute__((section(".kiptestversion"), used, retain)) const char kTestVersionBlock[] =
    "KIPVERSION1\0" TEST_TEXT("ProductName", " \t Test Product\r\n ") TEST_TEXT("FileVersion", "1.2.3.4")
        TEST_TEXT("Comments", "")
            TEST_TEXT("LegalCopyright", SIXTY_DIGITS SIXTY_DIGITS SIXTY_DIGITS SIXTY_DIGITS SIXTY_DIGITS);

TEST(ExeVersion, ReadsAndTrimsTheTextsOfTheOwnFile) {
  const TExeVersion version("/proc/self/exe", ".kiptestversion");
  EXPECT_EQ(version.GetProductName(), "Test Product");
  EXPECT_EQ(version.GetFileVersion(), "1.2.3.4");
  EXPECT_EQ(version.GetComments(), "");
  EXPECT_EQ(version.GetLegalCopyright().size(), 259u);
  EXPECT_EQ(version.GetCompanyName(), "");  // not in the section
}

TEST(ExeVersion, FilesWithoutTheSectionGiveEmptyTexts) {
  const std::string notElf = ::testing::TempDir() + "exe_version_not_elf";
  std::ofstream(notElf) << "\x7f"
                           "ELF but not really";
  for (const std::string file : {"/proc/self/exe", "/bin/true", "/no/such/file", notElf.c_str()}) {
    const TExeVersion version(file);
    EXPECT_EQ(version.GetProductName(), "") << file;
    EXPECT_EQ(version.GetProductVersion(), "") << file;
  }
}

TEST(ExeVersion, DamagedSectionContentsKeepOnlyWholePairs) {
  using Table = std::map<std::string, std::string, std::less<>>;
  const std::pair<std::string, Table> cases[] = {
      {std::string("KIPVERSION1\0A\0"
                   "1\0B\0"
                   "2\0\0C\0"
                   "3\0",
                   22),
       {{"A", "1"}, {"B", "2"}}},
      {std::string("KIPVERSION1\0A\0"
                   "1\0B\0"
                   "2",
                   19),
       {{"A", "1"}}},
      {std::string("KIPVERSION1\0A\0", 14), {}},
      {std::string("KIPVERSION2\0A\0"
                   "1\0",
                   16),
       {}},
      {std::string("KIPVERSION1A\0"
                   "1\0",
                   15),
       {}},
      {std::string(), {}},
  };
  for (const auto& [contents, expected] : cases) EXPECT_EQ(parseVersionSection(contents), expected);
}

}  // namespace
}  // namespace kip::test
