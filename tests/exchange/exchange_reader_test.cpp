#include "exchange/exchange_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "exchange/exchange_writer.h"
#include "exchange_test_support.h"

namespace kip::test {
namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

const std::string kPreferenceBlock =
    "Network=\r\nRun=0\r\nSplash=0\r\nAboutNet=0\r\nGlobal=0\r\nProxy=\r\nPort=\r\n\r\n";

// The exchange lines of one definition, for comparing records field by field with a readable difference.
std::string fieldsOf(const DefinitionPtr& def) {
  auto copy = std::make_shared<StartDefinition>(*def);
  copy->OtherScope = false;
  FakeList one({copy});
  std::string text;
  composeExchangeText(Preferences{}, one, text);
  return text.substr(kPreferenceBlock.size());
}

class ExchangeReaderTest : public ::testing::Test {
 protected:
  ImportResult import(const std::string& text) {
    ExchangeReader reader(list, prefs, prompts);
    return reader.importBytes(text);
  }
  // The definition of the row whose caption is name.
  DefinitionPtr row(std::string_view name) {
    const auto index = list.findItem(name);
    return index ? list.itemDefinition(*index) : nullptr;
  }

  FakeList list;
  Preferences prefs;
  ScriptedPrompts prompts;
};

TEST_F(ExchangeReaderTest, ReadsThePreferenceBlock) {
  prefs.AutostartEnabled = true;
  const auto result = import(
      "network=HTTP:http://127.0.0.1/ a=b\r\nRUN=45\r\nSplash=1\r\nAboutNet=1\r\nGlobal=1\r\nProxy= host \r\n"
      "Port=3128\r\nModule=ignored\r\nUnknown=ignored\r\n; comment\r\n");
  EXPECT_EQ(result.status, ImportStatus::Completed);
  EXPECT_EQ(prefs.Network, "HTTP:http://127.0.0.1/ a=b");
  EXPECT_EQ(prefs.StartupDelay, 45);
  EXPECT_TRUE(prefs.AutostartEnabled);  // not carried by the file
  EXPECT_TRUE(prefs.Splash);
  EXPECT_TRUE(prefs.AboutNet);
  EXPECT_TRUE(prefs.Global);
  EXPECT_EQ(prefs.Proxy, " host ");
  EXPECT_EQ(prefs.Port, "3128");
  EXPECT_EQ(list.itemCount(), 0U);
  EXPECT_TRUE(prompts.messages.empty());  // definition and unknown keywords are ignored silently here
}

TEST_F(ExchangeReaderTest, PreferenceFlagsAreTrueOnlyForOneAndANegativeDelayReadsAsNone) {
  prefs.Splash = prefs.AboutNet = prefs.Global = true;
  prefs.StartupDelay = 10;
  import("Splash=2\r\nAboutNet=\r\nGlobal=yes\r\nRun=-5\r\n");
  EXPECT_FALSE(prefs.Splash);
  EXPECT_FALSE(prefs.AboutNet);
  EXPECT_FALSE(prefs.Global);
  EXPECT_EQ(prefs.StartupDelay, 0);
}

TEST_F(ExchangeReaderTest, ANewDefinitionTakesTheGivenFieldsAndKeepsDefaultsForTheRest) {
  const auto result = import(kPreferenceBlock +
                             "[Backup tool]\r\nModule=/usr/bin/backup\r\nparms=--quiet --level=3\r\nDays=none\r\n"
                             "Disable=2\r\nNetTest=4294967295\r\nFrom=0930\r\n");
  EXPECT_EQ(result.status, ImportStatus::Completed);
  EXPECT_EQ(result.added, 1U);
  ASSERT_EQ(list.added.size(), 1U);
  const auto def = list.added.front();
  EXPECT_EQ(def->Name, "Backup tool");
  EXPECT_EQ(def->Module, "/usr/bin/backup");
  EXPECT_EQ(def->Parms, "--quiet --level=3");
  EXPECT_EQ(def->Days, 0);  // no digits
  EXPECT_FALSE(def->Disable);
  EXPECT_EQ(def->NetTest, -1);  // wraps as a 32-bit number
  EXPECT_EQ(def->From, 930);
  EXPECT_EQ(def->To, 2400);
  EXPECT_EQ(def->Dates, 2147483647);
  EXPECT_TRUE(def->Changed);
  EXPECT_FALSE(def->OtherScope);
  EXPECT_FALSE(def->RunStateChanged);
  EXPECT_TRUE(def->StoredName.empty());
  EXPECT_TRUE(prompts.questions.empty());
}

TEST_F(ExchangeReaderTest, SortsLinesIntoTheirKinds) {
  import(
      "[Job] ignored after the bracket\r\n"
      "; Module=comment\r\n"
      "* Module=comment\r\n"
      "\r\n"
      "a line without the sign\r\n"
      "[neither bracket nor sign\r\n"
      "PaRmS= a = b \r\n"
      "User=first\r\n"
      "user=second\r\n"
      "Module =spaced\r\n"
      "[x=1\r\n"
      "Splash=1\r\n"
      "[a [b] c]tail]x\r\n");
  ASSERT_EQ(list.itemCount(), 2U);
  const auto job = list.itemDefinition(0);
  EXPECT_EQ(job->Name, "Job");
  EXPECT_EQ(job->Parms, " a = b ");  // first "=" splits; blanks kept
  EXPECT_EQ(job->User, "second");    // last value wins
  EXPECT_EQ(job->Module, "");
  EXPECT_EQ(list.itemDefinition(1)->Name, "a [b] c]tail");
  EXPECT_EQ(prompts.messageTexts(),
            (std::vector<std::string>{"Unrecognised keyword \"MODULE \" while processing definition of \"Job\"",
                                      "Unrecognised keyword \"[X\" while processing definition of \"Job\"",
                                      "Unrecognised keyword \"SPLASH\" while processing definition of \"Job\""}));
  EXPECT_FALSE(prefs.Splash);
}

TEST_F(ExchangeReaderTest, ReportsAPreferenceKeywordInsideASection) {
  import("[Backup tool]\r\nNetwork=host\r\nModule=m\r\n");
  EXPECT_EQ(
      prompts.messageTexts(),
      std::vector<std::string>{"Unrecognised keyword \"NETWORK\" while processing definition of \"Backup tool\""});
  EXPECT_EQ(prefs.Network, "");
  EXPECT_EQ(list.added.at(0)->Module, "m");  // reading went on
}

TEST_F(ExchangeReaderTest, AHeaderWithoutANameGivesADefinitionWithAnEmptyName) {
  import("[]\r\nModule=m\r\n[]\r\n");
  ASSERT_EQ(list.itemCount(), 1U);  // the second "[]" finds the first and is answered Cancel
  EXPECT_EQ(list.itemDefinition(0)->Name, "");
  EXPECT_EQ(prompts.questions, std::vector<std::string>{"Definition for \"\" already exists. Overwrite ?"});
}

class OverwriteTest : public ExchangeReaderTest {
 protected:
  void SetUp() override {
    existing = makeDefinition("Backup Tool", "/old/module");
    existing->Parms = "old parms";
    existing->Sequence = 5;
    existing->Result = "OK";
    existing->Executed = 45000.5;
    existing->StateSummary = "Mains";
    existing->StoredName = "Backup Tool";
    other = makeDefinition("Mail");
    list = FakeList({existing, other});
  }
  DefinitionPtr existing;
  DefinitionPtr other;
};

TEST_F(OverwriteTest, YesOverwritesTheGivenFieldsInPlace) {
  prompts.queue({Answer::Yes});
  const auto result = import("[backup tool]\r\nModule=/new/module\r\nDelay=90\r\n");
  EXPECT_EQ(result.overwritten, 1U);
  EXPECT_EQ(prompts.questions, std::vector<std::string>{"Definition for \"backup tool\" already exists. Overwrite ?"});
  EXPECT_EQ(list.itemCount(), 2U);
  EXPECT_TRUE(list.added.empty());
  EXPECT_EQ(list.refreshed, std::vector<std::size_t>{0});
  EXPECT_EQ(existing->Name, "backup tool");  // the header's form of the name
  EXPECT_EQ(list.caption(0), "backup tool");
  EXPECT_EQ(existing->Module, "/new/module");
  EXPECT_EQ(existing->Delay, 90);
  EXPECT_EQ(existing->Parms, "old parms");  // not in the section
  EXPECT_EQ(existing->Sequence, 5);         // never carried
  EXPECT_EQ(existing->Result, "OK");
  EXPECT_EQ(existing->Executed, 45000.5);
  EXPECT_EQ(existing->StateSummary, "Mains");
  EXPECT_EQ(existing->StoredName, "Backup Tool");  // the save renames the subkey
  EXPECT_TRUE(existing->Changed);
  EXPECT_FALSE(other->Changed);
}

TEST_F(OverwriteTest, NoSkipsTheSectionUpToTheNextHeader) {
  prompts.queue({Answer::No});
  const auto result = import("[Backup Tool]\r\nModule=/new\r\nBogus=1\r\n[Fresh]\r\nModule=/fresh\r\n");
  EXPECT_EQ(result.skipped, 1U);
  EXPECT_EQ(existing->Module, "/old/module");
  EXPECT_FALSE(existing->Changed);
  EXPECT_TRUE(list.refreshed.empty());
  EXPECT_TRUE(prompts.messages.empty());  // the skipped section's lines are not even looked at
  ASSERT_EQ(list.added.size(), 1U);
  EXPECT_EQ(list.added[0]->Module, "/fresh");
}

TEST_F(OverwriteTest, CancelStopsAtOnceAndKeepsWhatWasFinished) {
  prompts.queue({Answer::Yes, Answer::Cancel});
  const auto result = import(
      "Proxy=before\r\n[New one]\r\nModule=/n\r\n[Mail]\r\nModule=/mail\r\n[Backup Tool]\r\nModule=/b\r\n"
      "[Later]\r\nModule=/l\r\n");
  EXPECT_EQ(result.status, ImportStatus::Cancelled);
  EXPECT_EQ(prefs.Proxy, "before");
  EXPECT_EQ(other->Module, "/mail");
  EXPECT_TRUE(other->Changed);
  EXPECT_EQ(existing->Module, "/old/module");
  EXPECT_FALSE(existing->Changed);
  ASSERT_EQ(list.itemCount(), 3U);
  EXPECT_EQ(list.itemDefinition(2)->Name, "New one");
  EXPECT_EQ(prompts.questions.size(), 2U);
  EXPECT_EQ(result.added, 1U);
  EXPECT_EQ(result.overwritten, 1U);
}

TEST_F(OverwriteTest, CancelAtTheFirstQuestionImportsNoDefinition) {
  prompts.queue({Answer::Cancel});
  const auto result = import("Port=8080\r\n[Mail]\r\nModule=/x\r\n[New]\r\n");
  EXPECT_EQ(result.status, ImportStatus::Cancelled);
  EXPECT_EQ(prefs.Port, "8080");
  EXPECT_EQ(list.itemCount(), 2U);
  EXPECT_EQ(other->Module, "");
  EXPECT_FALSE(other->Changed);
}

TEST_F(OverwriteTest, TheQuestionIsAskedAfreshAtEveryHeader) {
  prompts.queue({Answer::Yes, Answer::Yes});
  import("[Mail]\r\nModule=/m\r\n[Brand new]\r\nModule=/b\r\n[Brand New]\r\nParms=again\r\nModule=/b2\r\n");
  ASSERT_EQ(list.itemCount(), 3U);
  EXPECT_EQ(other->Module, "/m");
  const auto added = list.itemDefinition(2);
  // The second section of that name found the definition the first one added.
  EXPECT_EQ(prompts.questions, (std::vector<std::string>{"Definition for \"Mail\" already exists. Overwrite ?",
                                                         "Definition for \"Brand New\" already exists. Overwrite ?"}));
  EXPECT_EQ(added->Name, "Brand New");
  EXPECT_EQ(added->Module, "/b2");
  EXPECT_EQ(added->Parms, "again");
  EXPECT_EQ(list.added.size(), 1U);
  EXPECT_EQ(list.refreshed, (std::vector<std::size_t>{1, 2}));
}

TEST_F(OverwriteTest, AnOtherScopeDefinitionIsFoundAndKeepsItsFlag) {
  other->OtherScope = true;
  prompts.queue({Answer::Yes});
  import("[MAIL]\r\nModule=/m\r\n");
  EXPECT_TRUE(other->OtherScope);
  EXPECT_EQ(other->Module, "/m");
  EXPECT_TRUE(other->Changed);
}

TEST_F(ExchangeReaderTest, AnOverlongLineIsReportedAndIgnored) {
  const std::string longValue(600, 'v');
  import("Network=" + longValue + "\r\n;" + longValue + "\r\n[Job]\r\nModule=short\r\nParms=" + longValue +
         "\r\nUser=u\r\n");
  EXPECT_EQ(prefs.Network, "");
  ASSERT_EQ(list.itemCount(), 1U);
  const auto job = list.itemDefinition(0);
  EXPECT_EQ(job->Module, "short");
  EXPECT_EQ(job->Parms, "");
  EXPECT_EQ(job->User, "u");  // reading went on
  EXPECT_EQ(prompts.messageTexts(),
            (std::vector<std::string>{"Line 1 is longer than 499 bytes and was ignored",
                                      "Line 5 is longer than 499 bytes and was ignored while processing definition "
                                      "of \"Job\""}));
}

TEST_F(ExchangeReaderTest, AnOverlongHeaderSkipsItsSection) {
  import("[First]\r\nModule=/first\r\n[" + std::string(600, 'n') +
         "]\r\nModule=/wrong\r\nBogus=1\r\n[Next]\r\n"
         "Module=/next\r\n");
  ASSERT_EQ(list.itemCount(), 2U);
  EXPECT_EQ(list.itemDefinition(0)->Module, "/first");  // not overwritten by the skipped section's lines
  EXPECT_EQ(list.itemDefinition(1)->Module, "/next");
  EXPECT_EQ(prompts.messageTexts(),
            std::vector<std::string>{"Line 3 is longer than 499 bytes and was ignored, with the definition it begins"});
}

TEST_F(ExchangeReaderTest, TakesOtherEncodingsAndOddBytes) {
  // A UTF-8 byte order mark, a NUL inside a value and no line end after the last line.
  import("\xEF\xBB\xBFProxy=p\r\n[Job]\r\nModule=/bin/a\0/junk\r\nUser=last"s);
  EXPECT_EQ(prefs.Proxy, "p");
  ASSERT_EQ(list.itemCount(), 1U);
  EXPECT_EQ(list.itemDefinition(0)->Module, "/bin/a");
  EXPECT_EQ(list.itemDefinition(0)->User, "last");
}

TEST_F(ExchangeReaderTest, ReadsAUtf16FileAsUtf8) {
  const std::u16string text = u"Proxy=p\u00e4\r\n[B\u00e4r]\r\nModule=/\u20ac\r\n";
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  import(bytes);
  EXPECT_EQ(prefs.Proxy, "p\xC3\xA4");
  ASSERT_EQ(list.itemCount(), 1U);
  EXPECT_EQ(list.itemDefinition(0)->Name, "B\xC3\xA4r");
  EXPECT_EQ(list.itemDefinition(0)->Module, "/\xE2\x82\xAC");
}

// Hands out its text, then fails as a broken disk or connection does.
class BreakingBuffer : public std::streambuf {
 public:
  explicit BreakingBuffer(std::string text) : m_text(std::move(text)) {}

 protected:
  int_type underflow() override {
    if (m_given) throw std::runtime_error("device gone");
    m_given = true;
    setg(m_text.data(), m_text.data(), m_text.data() + m_text.size());
    return traits_type::to_int_type(m_text.front());
  }

 private:
  std::string m_text;
  bool m_given = false;
};

TEST_F(ExchangeReaderTest, AReadFailureKeepsWhatWasFinishedAndDropsTheCutSection) {
  BreakingBuffer buffer("Proxy=p\r\n[Done]\r\nModule=/done\r\n[Cut]\r\nModule=/cut\r\n");
  std::istream in(&buffer);
  ExchangeReader reader(list, prefs, prompts);
  const auto result = reader.importStream(in);
  EXPECT_EQ(result.status, ImportStatus::ReadFailed);
  EXPECT_TRUE(result.opened);
  EXPECT_EQ(result.message,
            "Reading the input stopped after line 5: the input could not be read; the definitions read before it "
            "were kept");
  EXPECT_EQ(prefs.Proxy, "p");
  ASSERT_EQ(list.itemCount(), 1U);
  EXPECT_EQ(list.itemDefinition(0)->Name, "Done");
}

TEST_F(ExchangeReaderTest, ReadsAStreamToItsEnd) {
  std::istringstream in("[Job]\r\nModule=/m");
  ExchangeReader reader(list, prefs, prompts);
  EXPECT_EQ(reader.importStream(in).status, ImportStatus::Completed);
  ASSERT_EQ(list.itemCount(), 1U);
  EXPECT_EQ(list.itemDefinition(0)->Module, "/m");
}

class ImportFileTest : public ExchangeReaderTest {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() /
            ("kip-exchange-reader-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }
  fs::path m_dir;
};

TEST_F(ImportFileTest, ReadsAFile) {
  const auto path = m_dir / "defs.txt";
  { std::ofstream(path, std::ios::binary) << "Run=3\r\n[Job]\r\nModule=/m\r\n"; }
  ExchangeReader reader(list, prefs, prompts);
  const auto result = reader.importFile(path.string());
  EXPECT_EQ(result.status, ImportStatus::Completed);
  EXPECT_EQ(prefs.StartupDelay, 3);
  EXPECT_EQ(list.itemCount(), 1U);
}

TEST_F(ImportFileTest, AFileThatCannotBeReadChangesNothing) {
  fs::create_directory(m_dir / "folder");
  const std::vector<std::pair<fs::path, std::string>> cases = {{m_dir / "missing.txt", "No such file or directory"},
                                                               {m_dir / "folder", "it is a folder"}};
  for (const auto& [path, reason] : cases) {
    ExchangeReader reader(list, prefs, prompts);
    const auto result = reader.importFile(path.string());
    EXPECT_EQ(result.status, ImportStatus::ReadFailed);
    EXPECT_FALSE(result.opened);
    EXPECT_EQ(result.message, "Cannot read \"" + path.string() + "\": " + reason);
  }
  EXPECT_EQ(list.itemCount(), 0U);
}

// A list as it may stand in the window: every kind of value, an other-scope row that is not exported.
std::vector<DefinitionPtr> variedDefinitions() {
  std::vector<DefinitionPtr> rows;
  auto a = makeDefinition("Backup tool", "C:\\Tools\\backup.exe");
  a->Parms = "--x=1 ";
  a->Days = 31;
  a->NetTest = -1;
  a->NetResource = "\\\\srv\\share";
  a->Disable = true;
  a->Dates = -2147483647 - 1;
  rows.push_back(a);
  auto b = makeDefinition(" [odd] name ]", "/usr/bin/b");
  b->User = "J\xC3\xB6rg";
  b->From = 800;
  b->To = 1200;
  b->Wait = 30;
  b->WaitType = 1;
  rows.push_back(b);
  auto c = makeDefinition("Machine wide");
  c->OtherScope = true;
  rows.push_back(c);
  rows.push_back(makeDefinition("", "/empty/name"));
  for (const auto& def : rows) def->Sequence = 3;
  return rows;
}

TEST_F(ExchangeReaderTest, RoundTripIntoTheSameListChangesOnlyTheChangedFlags) {
  list = FakeList(variedDefinitions());
  prefs.Network = "DUN";
  prefs.StartupDelay = 30;
  prefs.Splash = true;
  std::vector<std::string> before;
  for (std::size_t i = 0; i < list.itemCount(); ++i) before.push_back(fieldsOf(list.itemDefinition(i)));
  const Preferences prefsBefore = prefs;
  std::string exported;
  ASSERT_TRUE(composeExchangeText(prefs, list, exported).written);

  prompts = ScriptedPrompts({}, Answer::Yes);
  const auto result = import(exported);
  EXPECT_EQ(result.overwritten, 3U);
  EXPECT_EQ(prompts.questions.size(), 3U);  // once per exported definition
  EXPECT_TRUE(prompts.messages.empty());
  ASSERT_EQ(list.itemCount(), 4U);
  for (std::size_t i = 0; i < list.itemCount(); ++i) {
    const auto def = list.itemDefinition(i);
    EXPECT_EQ(fieldsOf(def), before[i]);
    EXPECT_EQ(def->Sequence, 3);
    EXPECT_EQ(def->Changed, !def->OtherScope);
  }
  EXPECT_EQ(prefs.Network, prefsBefore.Network);
  EXPECT_EQ(prefs.StartupDelay, prefsBefore.StartupDelay);
  EXPECT_EQ(prefs.Splash, prefsBefore.Splash);
  std::string again;
  composeExchangeText(prefs, list, again);
  EXPECT_EQ(again, exported);
}

TEST_F(ExchangeReaderTest, RoundTripIntoAnEmptyListRebuildsTheDefinitions) {
  FakeList source(variedDefinitions());
  std::string exported;
  ASSERT_TRUE(composeExchangeText(prefs, source, exported).written);
  const auto result = import(exported);
  EXPECT_EQ(result.added, 3U);
  ASSERT_EQ(list.itemCount(), 3U);
  EXPECT_EQ(fieldsOf(list.itemDefinition(0)), fieldsOf(source.itemDefinition(0)));
  EXPECT_EQ(fieldsOf(list.itemDefinition(1)), fieldsOf(source.itemDefinition(1)));
  EXPECT_EQ(fieldsOf(list.itemDefinition(2)), fieldsOf(source.itemDefinition(3)));
  EXPECT_EQ(list.itemDefinition(0)->Sequence, 0);  // not carried: the default
}

}  // namespace
}  // namespace kip::test
