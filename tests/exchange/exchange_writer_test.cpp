#include "exchange/exchange_writer.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "exchange_test_support.h"

namespace kip::test {
namespace {

namespace fs = std::filesystem;

const char* const kBackupSection =
    "[Backup tool]\r\n"
    "Module=C:\\Tools\\backup.exe\r\n"
    "Parms=/quiet\r\n"
    "StartDirectory=C:\\Tools\r\n"
    "Configuration=\r\n"
    "User=\r\n"
    "Group=\r\n"
    "Window=0\r\n"
    "Apm=0\r\n"
    "Net=0\r\n"
    "Dun=0\r\n"
    "NetTest=0\r\n"
    "NetResource=\r\n"
    "Days=127\r\n"
    "Dates=2147483647\r\n"
    "From=0\r\n"
    "To=2400\r\n"
    "Frequency=0\r\n"
    "Units=0\r\n"
    "Changes=0\r\n"
    "Delay=0\r\n"
    "Msg=0\r\n"
    "MsgID=0\r\n"
    "Wait=0\r\n"
    "WaitType=0\r\n"
    "Disable=0\r\n"
    "\r\n";

const char* const kDefaultPreferences =
    "Network=\r\nRun=0\r\nSplash=0\r\nAboutNet=0\r\nGlobal=0\r\nProxy=\r\nPort=\r\n\r\n";

DefinitionPtr backupTool() {
  auto def = makeDefinition("Backup tool", "C:\\Tools\\backup.exe");
  def->Parms = "/quiet";
  def->StartDirectory = "C:\\Tools";
  return def;
}

std::string compose(const Preferences& prefs, const ExchangeList& list) {
  std::string text;
  const auto result = composeExchangeText(prefs, list, text);
  EXPECT_TRUE(result.written) << result.message;
  return text;
}

std::string readWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

TEST(ExchangeWriterTest, WritesTheLayoutByteForByte) {
  Preferences prefs;
  prefs.StartupDelay = 30;
  prefs.Splash = true;
  FakeList list({backupTool()});
  EXPECT_EQ(compose(prefs, list),
            std::string("Network=\r\nRun=30\r\nSplash=1\r\nAboutNet=0\r\nGlobal=0\r\nProxy=\r\nPort=\r\n\r\n") +
                kBackupSection);
}

TEST(ExchangeWriterTest, AnEmptyListGivesThePreferenceLinesAndOneEmptyLine) {
  FakeList list;
  EXPECT_EQ(compose(Preferences{}, list), kDefaultPreferences);
}

TEST(ExchangeWriterTest, WritesEveryFieldAsHeld) {
  Preferences prefs;
  prefs.Network = "HTTP:http://127.0.0.1:8080/ x=y";
  prefs.StartupDelay = 2147483647;
  prefs.AboutNet = true;
  prefs.Global = true;
  prefs.Proxy = " proxy ";
  prefs.Port = "3128";
  prefs.AutostartEnabled = true;  // not carried
  auto def = makeDefinition(" spaced [x] ", "/usr/bin/tool");
  def->Parms = "--a=b --c=\"d e\" ";
  def->Configuration = "Docked";
  def->User = "J\xC3\xB6rg";
  def->Group = "staff";
  def->Window = 2;
  def->Apm = 1;
  def->Net = 2;
  def->Dun = 1;
  def->NetTest = -1;
  def->NetResource = "\\\\server\\share";
  def->Days = 0;
  def->Dates = -2147483647 - 1;
  def->From = 930;
  def->To = 1700;
  def->Frequency = 999;
  def->Units = 5;
  def->Changes = 7;
  def->Delay = 86400;
  def->Msg = 60;
  def->MsgID = 3;
  def->Wait = 3600;
  def->WaitType = 1;
  def->Disable = true;
  def->Sequence = 4;  // the fields below are not carried
  def->Result = "OK";
  def->TestResult = 8;
  FakeList list({def});
  EXPECT_EQ(compose(prefs, list),
            "Network=HTTP:http://127.0.0.1:8080/ x=y\r\nRun=2147483647\r\nSplash=0\r\nAboutNet=1\r\nGlobal=1\r\n"
            "Proxy= proxy \r\nPort=3128\r\n\r\n"
            "[ spaced [x] ]\r\nModule=/usr/bin/tool\r\nParms=--a=b --c=\"d e\" \r\nStartDirectory=\r\n"
            "Configuration=Docked\r\nUser=J\xC3\xB6rg\r\nGroup=staff\r\nWindow=2\r\nApm=1\r\nNet=2\r\nDun=1\r\n"
            "NetTest=-1\r\nNetResource=\\\\server\\share\r\nDays=0\r\nDates=-2147483648\r\nFrom=930\r\nTo=1700\r\n"
            "Frequency=999\r\nUnits=5\r\nChanges=7\r\nDelay=86400\r\nMsg=60\r\nMsgID=3\r\nWait=3600\r\nWaitType=1\r\n"
            "Disable=1\r\n\r\n");
}

TEST(ExchangeWriterTest, WritesRowsInDisplayOrderSkippingOtherScopeAndEmptyRows) {
  auto other = makeDefinition("Machine wide");
  other->OtherScope = true;
  FakeList list({makeDefinition("Zed"), nullptr, other, makeDefinition("Alpha")});
  std::string text;
  const auto result = composeExchangeText(Preferences{}, list, text);
  EXPECT_EQ(result.definitions, 2U);
  const auto zed = text.find("[Zed]\r\n");
  const auto alpha = text.find("[Alpha]\r\n");
  ASSERT_NE(zed, std::string::npos);
  ASSERT_NE(alpha, std::string::npos);
  EXPECT_LT(zed, alpha);
  EXPECT_EQ(text.find("Machine wide"), std::string::npos);
  EXPECT_EQ(text.rfind("\r\n\r\n"), text.size() - 4);  // each section ends with an empty line
}

struct LineBreakCase {
  const char* what;
  std::function<void(Preferences&, StartDefinition&)> spoil;
  const char* message;
  const char* leftOut;  // a line that must not be written
};

class LineBreakTest : public ::testing::TestWithParam<LineBreakCase> {};

TEST_P(LineBreakTest, LeavesOutOnlyTheTextThatHoldsALineBreakAndNamesIt) {
  Preferences prefs;
  auto def = makeDefinition("Job");
  GetParam().spoil(prefs, *def);
  FakeList list({makeDefinition("First"), def, makeDefinition("Last")});
  std::string text = "old";
  const auto result = composeExchangeText(prefs, list, text);
  EXPECT_TRUE(result.written);
  EXPECT_EQ(result.message, GetParam().message);
  EXPECT_NE(text.find("[First]\r\n"), std::string::npos);
  EXPECT_NE(text.find("[Last]\r\n"), std::string::npos);
  EXPECT_EQ(text.find(GetParam().leftOut), std::string::npos);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), std::count(text.begin(), text.end(), '\n'));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LineBreakTest,
    ::testing::Values(
        LineBreakCase{"parms", [](Preferences&, StartDefinition& d) { d.Parms = "a\nModule=evil"; },
                      "Not exported: the Parms of \"Job\" holds a line break, which the file cannot carry", "[Job]"},
        LineBreakCase{"name", [](Preferences&, StartDefinition& d) { d.Name = "Jo\rb"; },
                      "Not exported: the name of \"Jo\\rb\" holds a line break, which the file cannot carry", "[Jo"},
        LineBreakCase{"proxy", [](Preferences& p, StartDefinition&) { p.Proxy = "x\r\n"; },
                      "Not exported: the preference Proxy holds a line break, which the file cannot carry", "Proxy="}));

class ExchangeFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() /
            ("kip-exchange-writer-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  // The names in the folder, to see that no temporary file stays behind.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(m_dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path m_dir;
};

TEST_F(ExchangeFileTest, WritesAndReplacesTheFile) {
  const auto path = m_dir / "defs.txt";
  {
    std::ofstream old(path, std::ios::binary);
    old << std::string(100000, 'x');
  }
  FakeList list({backupTool()});
  const auto result = exportExchangeFile(path.string(), Preferences{}, list);
  ASSERT_TRUE(result.written) << result.message;
  EXPECT_TRUE(result.message.empty());
  EXPECT_EQ(result.definitions, 1U);
  EXPECT_EQ(readWhole(path), std::string(kDefaultPreferences) + kBackupSection);
  EXPECT_EQ(entries(), std::vector<std::string>{"defs.txt"});
}

TEST_F(ExchangeFileTest, ReplacesTheTargetOfASymbolicLinkAndKeepsTheLink) {
  const auto target = m_dir / "real.txt";
  const auto link = m_dir / "link.txt";
  { std::ofstream(target) << "old"; }
  fs::create_symlink(target, link);
  FakeList list;
  ASSERT_TRUE(exportExchangeFile(link.string(), Preferences{}, list).written);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(readWhole(target), kDefaultPreferences);
}

TEST_F(ExchangeFileTest, KeepsWhatTheOldFileWasAndRefusesWhatIsNoFile) {
  FakeList list;
  const auto exportTo = [&](const fs::path& path) { return exportExchangeFile(path.string(), Preferences{}, list); };
  std::ofstream(m_dir / "private") << "old";
  fs::permissions(m_dir / "private", fs::perms::owner_read | fs::perms::owner_write);
  std::ofstream(m_dir / "shared") << "old content that is longer";
  fs::create_hard_link(m_dir / "shared", m_dir / "link");
  fs::create_symlink("made", m_dir / "dangling");
  fs::create_symlink("/dev/null", m_dir / "null");
  ASSERT_EQ(mkfifo((m_dir / "pipe").c_str(), 0600), 0);
  for (const char* name : {"private", "shared", "dangling"}) EXPECT_TRUE(exportTo(m_dir / name).written) << name;
  for (const char* name : {"pipe", "null"})
    EXPECT_EQ(exportTo(m_dir / name).message,
              "Cannot write \"" + (m_dir / name).string() + "\": it is not a regular file");
  EXPECT_EQ(fs::status(m_dir / "private").permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(readWhole(m_dir / "link"), kDefaultPreferences);
  EXPECT_TRUE(fs::is_symlink(m_dir / "dangling"));
  EXPECT_EQ(readWhole(m_dir / "made"), kDefaultPreferences);
  EXPECT_TRUE(fs::is_fifo(m_dir / "pipe"));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  for (const auto& name : entries()) EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
}

struct UnwritableCase {
  const char* what;
  std::function<fs::path(const fs::path&)> make;  // prepares the folder, gives the path to export to
  const char* reason;
};

class UnwritableExportTest : public ExchangeFileTest, public ::testing::WithParamInterface<UnwritableCase> {};

TEST_P(UnwritableExportTest, ReportsFailureAndLeavesNothingBehind) {
  const auto path = GetParam().make(m_dir);
  const auto before = entries();
  FakeList list({backupTool()});
  const auto result = exportExchangeFile(path.string(), Preferences{}, list);
  EXPECT_FALSE(result.written);
  EXPECT_EQ(result.message, "Cannot write \"" + path.string() + "\": " + GetParam().reason);
  EXPECT_EQ(entries(), before);
}

INSTANTIATE_TEST_SUITE_P(Paths, UnwritableExportTest,
                         ::testing::Values(UnwritableCase{"missing folder",
                                                          [](const fs::path& d) { return d / "missing" / "defs.txt"; },
                                                          "No such file or directory"},
                                           UnwritableCase{"parent is a file",
                                                          [](const fs::path& d) {
                                                            std::ofstream(d / "plain") << "x";
                                                            return d / "plain" / "defs.txt";
                                                          },
                                                          "Not a directory"},
                                           UnwritableCase{"target is a folder",
                                                          [](const fs::path& d) {
                                                            fs::create_directory(d / "folder.txt");
                                                            return d / "folder.txt";
                                                          },
                                                          "it is a folder"}),
                         [](const auto& info) {
                           std::string name = info.param.what;
                           std::replace(name.begin(), name.end(), ' ', '_');
                           return name;
                         });

TEST_F(ExchangeFileTest, AWriteThatFailsPartWayKeepsTheOldFile) {
  // A file size limit makes the write fail part way, as a full disk does.
  const auto path = m_dir / "defs.txt";
  { std::ofstream(path, std::ios::binary) << "old content"; }
  std::vector<DefinitionPtr> rows;
  for (int i = 0; i < 200; ++i) rows.push_back(makeDefinition("Job " + std::to_string(i)));
  FakeList list(rows);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const auto result = exportExchangeFile(path.string(), Preferences{}, list);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, savedHandler);
  EXPECT_FALSE(result.written);
  EXPECT_EQ(result.message, "Cannot write \"" + path.string() + "\": File too large");
  EXPECT_EQ(readWhole(path), "old content");
  EXPECT_EQ(entries(), std::vector<std::string>{"defs.txt"});
}

}  // namespace
}  // namespace kip::test
