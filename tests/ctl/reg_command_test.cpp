#include "ctl/reg_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "doubles/child_process.h"
#include "doubles/memory_registry.h"
#include "platform/registry_values.h"

namespace kip::test {
namespace {

class RegCommandTest : public ::testing::Test {
 protected:
  int run(std::vector<std::string> args, std::string input = {}, bool terminal = false) {
    m_in.clear();
    m_in.str(std::move(input));
    m_out.str("");
    m_err.str("");
    return RegCommand(m_registry, RegConsole{m_in, m_out, m_err, terminal}).run(args);
  }
  std::string out() const { return m_out.str(); }
  std::string err() const { return m_err.str(); }
  // A failure tells its reason on exactly one line.
  void expectOneErrorLine(std::string_view fragment) const {
    const auto text = err();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_TRUE(text.starts_with("kipctl: ")) << text;
    EXPECT_NE(text.find(fragment), std::string::npos) << text;
  }
  std::optional<std::string> text(Hive hive, std::string_view path, std::string_view name) {
    std::unique_ptr<RegKey> key;
    if (m_registry.openKey(hive, path, KeyAccess::Read, key) != 0) return std::nullopt;
    return readText(*key, name, true);
  }

  MemoryRegistry m_registry;
  std::istringstream m_in;
  std::ostringstream m_out;
  std::ostringstream m_err;
};

TEST_F(RegCommandTest, QueryPrintsTheKeyAndItsValues) {
  m_registry.setText(Hive::CurrentUser, "Software\\Kip", "", "default");
  m_registry.setDword(Hive::CurrentUser, "Software\\Kip", "Delay", 31);
  m_registry.setRaw(Hive::CurrentUser, "Software\\Kip", "Executed", RegType::Binary, {0xAB, 0x01});
  m_registry.setRaw(Hive::CurrentUser, "Software\\Kip", "Empty", RegType::Sz, {});
  m_registry.setText(Hive::CurrentUser, "Software\\Kip\\Sub", "hidden", "x");
  EXPECT_EQ(run({"query", "hkcu\\SOFTWARE\\kip"}), 0) << err();
  EXPECT_EQ(out(),
            "HKEY_CURRENT_USER\\Software\\Kip\n"
            "    (Default)    REG_SZ    default\n"
            "    Delay    REG_DWORD    0x1f\n"
            "    Empty    REG_SZ    \n"
            "    Executed    REG_BINARY    AB01\n"
            "\n"
            "HKEY_CURRENT_USER\\Software\\Kip\\Sub\n");
  EXPECT_EQ(err(), "");
}

TEST_F(RegCommandTest, QueryRecursesWithAnEmptyLineBeforeEachSubkey) {
  m_registry.setText(Hive::LocalMachine, "K", "a", "1");
  m_registry.setText(Hive::LocalMachine, "K\\b\\c", "c", "3");
  m_registry.setText(Hive::LocalMachine, "K\\B2", "a", "2");
  EXPECT_EQ(run({"query", "HKEY_LOCAL_MACHINE\\K", "/s"}), 0) << err();
  EXPECT_EQ(out(),
            "HKEY_LOCAL_MACHINE\\K\n    a    REG_SZ    1\n"
            "\nHKEY_LOCAL_MACHINE\\K\\b\n"
            "\nHKEY_LOCAL_MACHINE\\K\\b\\c\n    c    REG_SZ    3\n"
            "\nHKEY_LOCAL_MACHINE\\K\\B2\n    a    REG_SZ    2\n");
  EXPECT_EQ(run({"query", "HKLM\\K", "/v", "A", "/S"}), 0) << err();
  EXPECT_EQ(out(), "HKEY_LOCAL_MACHINE\\K\n    a    REG_SZ    1\n\nHKEY_LOCAL_MACHINE\\K\\B2\n    a    REG_SZ    2\n");
}

TEST_F(RegCommandTest, QueryOfOneValueOrTheDefault) {
  m_registry.setText(Hive::CurrentUser, "K", "Module", "/usr/bin/xterm");
  EXPECT_EQ(run({"query", "HKCU\\K", "/v", "module"}), 0);
  EXPECT_EQ(out(), "HKEY_CURRENT_USER\\K\n    Module    REG_SZ    /usr/bin/xterm\n");
  EXPECT_EQ(run({"query", "HKCU\\K", "/ve"}), 0);
  EXPECT_EQ(out(), "HKEY_CURRENT_USER\\K\n    (Default)    REG_SZ    (value not set)\n");
  m_registry.setText(Hive::CurrentUser, "K", "", "d");
  EXPECT_EQ(run({"query", "HKCU\\K", "-VE"}), 0);
  EXPECT_EQ(out(), "HKEY_CURRENT_USER\\K\n    (Default)    REG_SZ    d\n");
}

TEST_F(RegCommandTest, QueryOfMissingThingsFails) {
  EXPECT_EQ(run({"query", "HKCU\\Nope"}), 1);
  expectOneErrorLine("the key HKEY_CURRENT_USER\\Nope does not exist");
  m_registry.setText(Hive::CurrentUser, "K", "a", "1");
  EXPECT_EQ(run({"query", "HKCU\\K", "/v", "b"}), 1);
  expectOneErrorLine("the value b does not exist");
}

TEST_F(RegCommandTest, AddCreatesKeysAndTypedValues) {
  EXPECT_EQ(run({"add", "HKLM\\System\\CurrentControlSet\\control\\IDConfigDB", "/v", "CurrentConfig", "/t",
                 "REG_DWORD", "/d", "1"}),
            0)
      << err();
  EXPECT_EQ(run({"add", "HKLM\\System\\CurrentControlSet\\control\\IDConfigDB\\Hardware Profiles\\0001", "/v",
                 "FriendlyName", "/d", "Docked"}),
            0);
  EXPECT_EQ(run({"add", "HKCU\\K", "/ve", "/t", "reg_expand_sz", "/d", "%HOME%"}), 0);
  EXPECT_EQ(run({"add", "HKCU\\K", "/v", "bin", "/t", "REG_BINARY", "/d", "00ff"}), 0);
  EXPECT_EQ(run({"add", "HKCU\\K", "/v", "zero", "/t", "REG_DWORD"}), 0);
  EXPECT_EQ(run({"add", "HKCU\\Only\\A\\Key"}), 0);
  EXPECT_EQ(out() + err(), "");

  std::unique_ptr<RegKey> key;
  ASSERT_EQ(
      m_registry.openKey(Hive::LocalMachine, "System\\CurrentControlSet\\control\\IDConfigDB", KeyAccess::Read, key),
      0);
  EXPECT_EQ(readDword(*key, "CurrentConfig"), 1);
  EXPECT_EQ(text(Hive::LocalMachine, "System\\CurrentControlSet\\control\\IDConfigDB\\Hardware Profiles\\0001",
                 "FriendlyName"),
            "Docked");
  EXPECT_EQ(run({"query", "HKCU\\K"}), 0);
  EXPECT_EQ(out(),
            "HKEY_CURRENT_USER\\K\n    (Default)    REG_EXPAND_SZ    %HOME%\n    bin    REG_BINARY    00FF\n"
            "    zero    REG_DWORD    0x0\n");
  EXPECT_TRUE(m_registry.hasKey(Hive::CurrentUser, "Only\\A\\Key"));
}

TEST_F(RegCommandTest, AddOverwritesOnlyWithForce) {
  m_registry.setText(Hive::CurrentUser, "K", "Name", "old");
  EXPECT_EQ(run({"add", "HKCU\\K", "/v", "NAME", "/d", "new"}), 1);
  expectOneErrorLine("/f");
  EXPECT_EQ(text(Hive::CurrentUser, "K", "Name"), "old");
  EXPECT_EQ(run({"add", "HKCU\\K", "/v", "NAME", "/d", "new", "/F"}), 0);
  EXPECT_EQ(text(Hive::CurrentUser, "K", "Name"), "new");
}

TEST_F(RegCommandTest, AddRejectsBadDataWithoutCreatingAnything) {
  EXPECT_EQ(run({"add", "HKCU\\New", "/v", "n", "/t", "REG_DWORD", "/d", "4294967296"}), 1);
  expectOneErrorLine("out of range");
  EXPECT_EQ(run({"add", "HKCU\\New", "/v", "b", "/t", "REG_BINARY", "/d", "abc"}), 1);
  expectOneErrorLine("even number");
  EXPECT_EQ(run({"add", "HKCU\\New", "/v", "m", "/t", "REG_MULTI_SZ", "/d", "a"}), 1);
  expectOneErrorLine("unknown type \"REG_MULTI_SZ\"");
  EXPECT_FALSE(m_registry.hasKey(Hive::CurrentUser, "New"));
}

TEST_F(RegCommandTest, AddToAReadOnlyHiveFails) {
  m_registry.setReadOnly(Hive::LocalMachine, true);
  EXPECT_EQ(run({"add", "HKLM\\K", "/v", "a", "/d", "b"}), 1);
  expectOneErrorLine("access denied");
}

TEST_F(RegCommandTest, DeleteWithForceRemovesTreesAndValues) {
  m_registry.setText(Hive::CurrentUser, "K\\Sub", "a", "1");
  m_registry.setText(Hive::CurrentUser, "K", "x", "1");
  m_registry.setText(Hive::CurrentUser, "K", "", "d");
  EXPECT_EQ(run({"delete", "HKCU\\K", "/v", "X", "/f"}), 0) << err();
  EXPECT_EQ(run({"delete", "HKCU\\K", "/ve", "/f"}), 0) << err();
  EXPECT_TRUE(m_registry.valueNames(Hive::CurrentUser, "K").empty());
  EXPECT_EQ(run({"delete", "HKCU\\k", "/f"}), 0) << err();
  EXPECT_FALSE(m_registry.hasKey(Hive::CurrentUser, "K"));
  EXPECT_EQ(run({"delete", "HKCU\\K", "/f"}), 1);
  expectOneErrorLine("does not exist");
  EXPECT_EQ(run({"delete", "HKCU", "/f"}), 1);
  expectOneErrorLine("whole hive");
}

struct ConfirmCase {
  std::string label;
  bool terminal;
  std::string input;
  bool deleted;
};

void PrintTo(const ConfirmCase& param, std::ostream* os) { *os << param.label; }

class RegDeleteConfirm : public RegCommandTest, public ::testing::WithParamInterface<ConfirmCase> {};

TEST_P(RegDeleteConfirm, AsksOnATerminalAndRefusesOtherwise) {
  const auto& param = GetParam();
  m_registry.setText(Hive::CurrentUser, "Software\\Kip", "a", "1");
  const int status = run({"delete", "HKCU\\software\\kip"}, param.input, param.terminal);
  EXPECT_EQ(status, param.deleted ? 0 : 1);
  EXPECT_EQ(m_registry.hasKey(Hive::CurrentUser, "Software\\Kip"), !param.deleted);
  if (param.terminal) {
    EXPECT_TRUE(out().starts_with("Delete the registry key HKEY_CURRENT_USER\\Software\\Kip (Yes/No)? ")) << out();
  }
  if (!param.deleted) {
    expectOneErrorLine(param.input.empty() || !param.terminal ? "/f" : "nothing was deleted");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegDeleteConfirm,
    ::testing::Values(ConfirmCase{"Yes", true, "yes\n", true}, ConfirmCase{"Y", true, " Y\r\n", true},
                      ConfirmCase{"No", true, "n\n", false}, ConfirmCase{"Other", true, "sure\n", false},
                      ConfirmCase{"EndOfInput", true, "", false}, ConfirmCase{"NotATerminal", false, "yes\n", false}),
    [](const auto& info) { return info.param.label; });

TEST_F(RegCommandTest, DeletingAValueAsksAboutTheValue) {
  m_registry.setText(Hive::CurrentUser, "K", "Name", "1");
  EXPECT_EQ(run({"delete", "HKCU\\K", "/v", "name"}, "y\n", true), 0);
  EXPECT_EQ(out(), "Delete the registry value Name (Yes/No)? ");
  EXPECT_FALSE(m_registry.hasValue(Hive::CurrentUser, "K", "Name"));
}

struct UsageCase {
  std::string label;
  std::vector<std::string> args;
  std::string fragment;
};

void PrintTo(const UsageCase& param, std::ostream* os) { *os << param.label; }

class RegUsage : public RegCommandTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(RegUsage, FailsWithOneLineNamingTheProblem) {
  EXPECT_EQ(run(GetParam().args), 1);
  expectOneErrorLine(GetParam().fragment);
  EXPECT_EQ(out(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegUsage,
    ::testing::Values(UsageCase{"NoOperation", {}, "missing operation"},
                      UsageCase{"UnknownOperation", {"copy", "HKCU\\A"}, "unknown operation \"copy\""},
                      UsageCase{"MissingKey", {"query"}, "missing KEY"},
                      UsageCase{"BadRoot", {"query", "HKCR\\.txt"}, "is not a registry key"},
                      UsageCase{"UnknownOption", {"query", "HKCU\\A", "/x"}, "unknown option \"/x\""},
                      UsageCase{"ForceOnQuery", {"query", "HKCU\\A", "/f"}, "unknown option \"/f\""},
                      UsageCase{"MissingValueName", {"add", "HKCU\\A", "/v"}, "/v needs a value name"},
                      UsageCase{"MissingData", {"add", "HKCU\\A", "/v", "a", "/d"}, "/d needs the data"},
                      UsageCase{"VAndVe", {"add", "HKCU\\A", "/v", "a", "/ve"}, "once"},
                      UsageCase{"DataWithoutValue", {"add", "HKCU\\A", "/d", "x"}, "need /v NAME or /ve"},
                      UsageCase{"ExtraArgument", {"query", "HKCU\\A", "HKCU\\B"}, "unexpected argument"},
                      UsageCase{"ExportWithoutFile", {"export", "HKCU\\A"}, "missing KEY and FILE"},
                      UsageCase{"ImportExtra", {"import", "a.reg", "b.reg"}, "unexpected argument \"b.reg\""}),
    [](const auto& info) { return info.param.label; });

TEST_F(RegCommandTest, ExportWritesTheFileAndImportReadsItBack) {
  TempDir dir;
  m_registry.setText(Hive::CurrentUser, "Software\\Kip", "Module", "C:\\x");
  m_registry.setDword(Hive::CurrentUser, "Software\\Kip\\Sub", "n", 5);
  const auto path = dir.file("out.reg");
  ASSERT_EQ(run({"export", "HKCU\\Software\\Kip", path}), 0) << err();
  EXPECT_EQ(readFile(path),
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Kip]\r\n\"Module\"=\"C:\\\\x\"\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\Kip\\Sub]\r\n\"n\"=dword:00000005\r\n\r\n");
  ASSERT_EQ(run({"delete", "HKCU\\Software", "/f"}), 0);
  ASSERT_EQ(run({"import", path}), 0) << err();
  EXPECT_EQ(text(Hive::CurrentUser, "Software\\Kip", "Module"), "C:\\x");
  EXPECT_TRUE(m_registry.hasValue(Hive::CurrentUser, "Software\\Kip\\Sub", "n"));
}

TEST_F(RegCommandTest, ExportAndImportFileProblems) {
  TempDir dir;
  m_registry.setText(Hive::CurrentUser, "K", "a", "1");
  EXPECT_EQ(run({"export", "HKCU\\K", dir.file("missing/out.reg")}), 1);
  expectOneErrorLine("cannot write " + dir.file("missing/out.reg") + ": No such file or directory");
  EXPECT_EQ(run({"export", "HKCU\\Nope", dir.file("out.reg")}), 1);
  expectOneErrorLine("does not exist");
  EXPECT_EQ(run({"import", dir.file("none.reg")}), 1);
  expectOneErrorLine("cannot read " + dir.file("none.reg"));
}

TEST_F(RegCommandTest, ImportErrorsNameTheFileLineAndWhatWasSkipped) {
  TempDir dir;
  const auto path = dir.file("bad.reg");
  writeFile(path, "REGEDIT4\r\n[HKCU\\A]\r\n[HKCU\\B]\r\n\"x\"=hex:0q\r\n[HKCU\\C]\r\n");
  EXPECT_EQ(run({"import", path}), 1);
  expectOneErrorLine(path + ":4: bad hex digit \"q\" in the data of the value \"x\" (its key section is skipped)");
  EXPECT_TRUE(m_registry.hasKey(Hive::CurrentUser, "A"));
  EXPECT_FALSE(m_registry.hasKey(Hive::CurrentUser, "B"));
  EXPECT_TRUE(m_registry.hasKey(Hive::CurrentUser, "C"));
  writeFile(path, "REGEDIT 4\r\n");
  EXPECT_EQ(run({"import", path}), 1);
  expectOneErrorLine(path + ":1: unknown header line \"REGEDIT 4\"");
  expectOneErrorLine("(nothing was imported)");
}

TEST_F(RegCommandTest, ImportOfAnEightBitFileSaysWhichCodePageItUsed) {
  TempDir dir;
  const auto path = dir.file("ansi.reg");
  writeFile(path, "REGEDIT4\r\n[HKCU\\K]\r\n\"n\"=\"\xC4\xE0\"\r\n[-HKCU\\Gone]\r\n\"v\"=\"1\"\r\n");
  for (const auto& [codePage, expected] : std::vector<std::pair<std::string, std::string>>{
           {"1252", "\xC3\x84\xC3\xA0"}, {"1251", "\xD0\x94\xD0\xB0"}, {"1250", "\xC3\x84\xC5\x95"}}) {
    EXPECT_EQ(run({"import", path, "/CP", codePage}), 0) << err();
    EXPECT_EQ(text(Hive::CurrentUser, "K", "n"), expected);
    EXPECT_EQ(err(), "kipctl: " + path + ": not UTF-8; read in Windows code page " + codePage + "\nkipctl: " + path +
                         ":5: a value line below a [-key] line belongs to no key; ignored\n");
  }
  EXPECT_EQ(run({"import", path}), 0);
  EXPECT_EQ(text(Hive::CurrentUser, "K", "n"), "\xC3\x84\xC3\xA0");
  EXPECT_EQ(run({"import", path, "/cp", "77777"}), 1);
  expectOneErrorLine("unknown code page \"77777\"");
}

TEST_F(RegCommandTest, ANameALineCannotCarryCostsOnlyItselfInTheExport) {
  TempDir dir;
  m_registry.setText(Hive::CurrentUser, "K", "kept", "1");
  m_registry.setText(Hive::CurrentUser, "K", "two\nlines", "2");
  m_registry.setText(Hive::CurrentUser, "K\\bad\rkey", "x", "3");
  m_registry.setText(Hive::CurrentUser, "K\\z", "y", "4");
  // A name that is no UTF-8 (an older build's, or made by hand) would make the file read back in a code page.
  m_registry.setText(Hive::CurrentUser, "K\\Caf\xE9", "w", "5");
  m_registry.setText(Hive::CurrentUser, "K\\z", "Caf\xC3\xA9", "6");
  EXPECT_EQ(run({"export", "HKCU\\K", dir.file("out.reg")}), 1);
  expectOneErrorLine(
      "not exported (a line break, a NUL or bytes that are no UTF-8 in the name): the value \"two\\nlines\" of "
      "\"HKEY_CURRENT_USER\\K\", the key \"HKEY_CURRENT_USER\\K\\bad\\rkey\", the key "
      "\"HKEY_CURRENT_USER\\K\\Caf\xEF\xBF\xBD\"");
  EXPECT_EQ(readFile(dir.file("out.reg")),
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n\"kept\"=\"1\"\r\n\r\n"
            "[HKEY_CURRENT_USER\\K\\z]\r\n\"Caf\xC3\xA9\"=\"6\"\r\n\"y\"=\"4\"\r\n\r\n");
  // Its own import reads the file back exactly.
  m_registry.setText(Hive::CurrentUser, "K\\z", "Caf\xC3\xA9", "changed");
  EXPECT_EQ(run({"import", dir.file("out.reg")}), 0);
  EXPECT_EQ(text(Hive::CurrentUser, "K\\z", "Caf\xC3\xA9"), "6");
  // No such name comes in through reg add.
  EXPECT_EQ(run({"add", "HKCU\\K\\x\xFF"}), 1);
  expectOneErrorLine("reg add: the key name holds bytes that are no UTF-8");
  EXPECT_EQ(run({"add", "HKCU\\K", "/v", "v\xFF", "/d", "1"}), 1);
  expectOneErrorLine("reg add: the value name holds bytes that are no UTF-8");
}

TEST_F(RegCommandTest, ExportReplacesAFileOnlyWhenToldOrAnswered) {
  TempDir dir;
  const auto path = dir.file("out.reg");
  writeFile(path, "old");
  m_registry.setText(Hive::CurrentUser, "K", "C:\\x.dll", "1");
  EXPECT_EQ(run({"export", "HKCU\\K", path}), 1);
  expectOneErrorLine("add /y");
  EXPECT_EQ(run({"export", "HKCU\\K", path}, "n\n", true), 1);
  EXPECT_EQ(out(), "File " + path + " already exists. Overwrite (Yes/No)? ");
  expectOneErrorLine("nothing was exported");
  EXPECT_EQ(readFile(path), "old");
  EXPECT_EQ(run({"export", "HKCU\\K", path}, "yes\n", true), 0) << err();
  EXPECT_NE(readFile(path).find("\"C:\\\\x.dll\"=\"1\""), std::string::npos) << readFile(path);
  writeFile(path, "old");
  EXPECT_EQ(run({"export", "HKCU\\K", path, "/Y"}), 0) << err();
  EXPECT_NE(readFile(path), "old");
}

}  // namespace
}  // namespace kip::test
