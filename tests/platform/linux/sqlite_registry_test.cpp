#include "platform/linux/sqlite_registry.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/win_error.h"
#include "doubles/child_process.h"
#include "platform/registry_values.h"

namespace kip::test {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

std::vector<std::uint8_t> bytes(std::string_view text) { return {text.begin(), text.end()}; }

mode_t modeOf(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

// The verdict of SQLite's full integrity check on a hive file, read without the registry.
std::string integrityOf(const std::string& path) {
  sqlite3* db = nullptr;
  std::string verdict = "cannot open";
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
      verdict = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    else
      verdict = sqlite3_errmsg(db);
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return verdict;
}

// Runs body in a forked child and returns what it reported. As root the child first becomes the user
// nobody (65534), so that file permissions apply to it.
std::string inChild(const std::function<std::string()>& body, bool asNobody) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return "no pipe";
  const pid_t pid = fork();
  if (pid == 0) {
    close(pipeFds[0]);
    std::string report;
    if (asNobody && (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
      report = "cannot drop privileges";
    else
      report = body();
    const auto written = write(pipeFds[1], report.data(), report.size());
    _exit(written == static_cast<ssize_t>(report.size()) ? 0 : 1);
  }
  close(pipeFds[1]);
  std::string report;
  char buffer[256];
  for (ssize_t got; (got = read(pipeFds[0], buffer, sizeof buffer)) > 0;) report.append(buffer, got);
  close(pipeFds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return report;
}

class SqliteRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(m_dir.path().empty());
    // The folder must be passable for the child that runs as another user.
    chmod(m_dir.path().c_str(), 0755);
  }

  [[nodiscard]] std::string userPath() const { return m_dir.file("user.db"); }
  [[nodiscard]] std::string machinePath() const { return m_dir.file("machine.db"); }
  [[nodiscard]] SqliteRegistry open() const { return SqliteRegistry(userPath(), machinePath()); }

  static std::unique_ptr<RegKey> create(Registry& registry, std::string_view path, Hive hive = Hive::CurrentUser) {
    std::unique_ptr<RegKey> key;
    EXPECT_EQ(registry.createKey(hive, path, key), 0) << path;
    return key;
  }

  // A value's text, or its error code in angle brackets.
  static std::string textAt(Registry& registry, std::string_view path, std::string_view name,
                            Hive hive = Hive::CurrentUser) {
    std::unique_ptr<RegKey> key;
    if (const auto code = registry.openKey(hive, path, KeyAccess::Read, key)) return "<" + std::to_string(code) + ">";
    RegValue value;
    if (const auto code = key->queryValue(name, 1 << 20, value)) return "<" + std::to_string(code) + ">";
    return {value.data.begin(), value.data.end()};
  }

  static std::vector<std::string> subkeysOf(RegKey& key) {
    std::vector<std::string> names;
    std::string name;
    for (std::uint32_t i = 0; key.enumKey(i, name) == 0; ++i) names.push_back(name);
    return names;
  }

  static std::vector<std::string> valueNamesOf(RegKey& key) {
    std::vector<std::string> names;
    std::string name;
    RegValue value;
    for (std::uint32_t i = 0; key.enumValue(i, name, value) == 0; ++i) names.push_back(name);
    return names;
  }

  TempDir m_dir;
};

// --- Where the hives live -----------------------------------------------------------------------------------

class HivePathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"KIPLAUNCH_USER_HIVE", "KIPLAUNCH_MACHINE_HIVE", "XDG_CONFIG_HOME", "HOME"}) {
      const char* value = std::getenv(name);
      m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
      unsetenv(name);
    }
  }
  void TearDown() override {
    for (const auto& [name, value] : m_saved) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
  }
  std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

TEST_F(HivePathTest, OverridesThenXdgThenHome) {
  setenv("HOME", "/home/ann", 1);
  EXPECT_EQ(userHivePath(), "/home/ann/.config/kiplaunch/user.db");
  setenv("XDG_CONFIG_HOME", "relative/config", 1);
  EXPECT_EQ(userHivePath(), "/home/ann/.config/kiplaunch/user.db");
  setenv("XDG_CONFIG_HOME", "/srv/conf", 1);
  EXPECT_EQ(userHivePath(), "/srv/conf/kiplaunch/user.db");
  setenv("KIPLAUNCH_USER_HIVE", "/tmp/u.db", 1);
  EXPECT_EQ(userHivePath(), "/tmp/u.db");

  EXPECT_EQ(machineHivePath(), std::string(KIP_LOCALSTATEDIR) + "/lib/kiplaunch/machine.db");
  setenv("KIPLAUNCH_MACHINE_HIVE", "/tmp/m.db", 1);
  EXPECT_EQ(machineHivePath(), "/tmp/m.db");

  const auto registry = SqliteRegistry::fromEnvironment();
  EXPECT_EQ(registry->hivePath(Hive::CurrentUser), "/tmp/u.db");
  EXPECT_EQ(registry->hivePath(Hive::LocalMachine), "/tmp/m.db");
}

// --- Missing files and first writes -------------------------------------------------------------------------

TEST_F(SqliteRegistryTest, ReadingAMissingHiveCreatesNothing) {
  const std::string user = m_dir.file("config/kiplaunch/user.db");
  SqliteRegistry registry(user, machinePath());
  std::unique_ptr<RegKey> key;
  EXPECT_EQ(registry.openKey(Hive::CurrentUser, "", KeyAccess::Read, key), 2);
  EXPECT_EQ(registry.openKey(Hive::CurrentUser, "Software", KeyAccess::ReadWrite, key), 2);
  EXPECT_EQ(registry.deleteTree(Hive::CurrentUser, "Software"), 2);
  EXPECT_EQ(registry.moveKey(Hive::LocalMachine, "A", "B"), 2);
  EXPECT_EQ(registry.hiveProblem(Hive::CurrentUser), "");
  EXPECT_FALSE(fs::exists(m_dir.file("config")));
  EXPECT_FALSE(fs::exists(machinePath()));
}

TEST_F(SqliteRegistryTest, FirstWriteCreatesFoldersWithTheirModes) {
  const std::string user = m_dir.file("home/.config/kiplaunch/user.db");
  const std::string machine = m_dir.file("var/lib/kiplaunch/machine.db");
  const mode_t oldMask = umask(077);
  {
    SqliteRegistry registry(user, machine);
    auto key = create(registry, "Software\\Kip");
    EXPECT_EQ(writeText(*key, "Module", "/usr/bin/xterm"), 0);
    auto machineKey = create(registry, "SOFTWARE\\Kip", Hive::LocalMachine);
    EXPECT_EQ(writeDword(*machineKey, "Count", 7), 0);
    for (const char* suffix : {"", "-wal", "-shm"}) {
      EXPECT_EQ(modeOf(machine + suffix), 0644u) << suffix;
      EXPECT_EQ(modeOf(user + suffix), 0600u) << suffix;
    }
  }
  umask(oldMask);
  EXPECT_EQ(modeOf(m_dir.file("home")), 0700u);
  EXPECT_EQ(modeOf(m_dir.file("home/.config/kiplaunch")), 0700u);
  EXPECT_EQ(modeOf(m_dir.file("var/lib")), 0755u);
  EXPECT_EQ(modeOf(m_dir.file("var/lib/kiplaunch")), 0755u);
  EXPECT_EQ(integrityOf(user), "ok");

  SqliteRegistry again(user, machine);
  EXPECT_EQ(textAt(again, "software\\KIP", "module"), "/usr/bin/xterm");
  std::unique_ptr<RegKey> key;
  ASSERT_EQ(again.openKey(Hive::LocalMachine, "Software\\Kip", KeyAccess::Read, key), 0);
  EXPECT_EQ(readDword(*key, "Count"), 7);
}

TEST_F(SqliteRegistryTest, ZeroLengthFileIsAnEmptyHive) {
  writeFile(userPath(), "");
  auto registry = open();
  std::unique_ptr<RegKey> key;
  EXPECT_EQ(registry.openKey(Hive::CurrentUser, "Software", KeyAccess::Read, key), 2);
  EXPECT_EQ(registry.hiveProblem(Hive::CurrentUser), "");
  auto created = create(registry, "Software");
  EXPECT_EQ(writeText(*created, "A", "1"), 0);
  EXPECT_EQ(textAt(registry, "Software", "A"), "1");
}

// --- Names, order and values --------------------------------------------------------------------------------

TEST_F(SqliteRegistryTest, NamesAreCaseInsensitiveAndKeepTheirFirstSpelling) {
  auto registry = open();
  auto key = create(registry, "Software\\Marl Fen");
  EXPECT_EQ(writeText(*key, "Start Directory", "/tmp"), 0);
  EXPECT_EQ(writeText(*key, "START DIRECTORY", "/home"), 0);

  auto again = create(registry, "SOFTWARE\\marl fen");
  EXPECT_EQ(valueNamesOf(*again), std::vector<std::string>{"Start Directory"});
  EXPECT_EQ(textAt(registry, "software\\MARL FEN", "start directory"), "/home");

  std::unique_ptr<RegKey> root;
  ASSERT_EQ(registry.openKey(Hive::CurrentUser, "", KeyAccess::Read, root), 0);
  EXPECT_EQ(subkeysOf(*root), std::vector<std::string>{"Software"});
  std::unique_ptr<RegKey> software;
  ASSERT_EQ(registry.openKey(Hive::CurrentUser, "\\software\\", KeyAccess::Read, software), 0);
  EXPECT_EQ(subkeysOf(*software), std::vector<std::string>{"Marl Fen"});
}

TEST_F(SqliteRegistryTest, EnumerationIsInFoldedOrderAndEndsWith259) {
  auto registry = open();
  auto parent = create(registry, "List");
  for (const char* name : {"beta", "_under", "Alpha", "a1", "Zulu", "alpha2", "10", "9"}) {
    create(registry, std::string("List\\") + name);
    EXPECT_EQ(writeDword(*parent, name, 1), 0);
  }
  // Folding to upper case puts "_" after the letters, as the registry on Windows does.
  const std::vector<std::string> expected{"10", "9", "a1", "Alpha", "alpha2", "beta", "Zulu", "_under"};
  EXPECT_EQ(subkeysOf(*parent), expected);
  EXPECT_EQ(valueNamesOf(*parent), expected);

  std::string name;
  RegValue value;
  EXPECT_EQ(parent->enumKey(8, name), 259);
  EXPECT_EQ(parent->enumValue(8, name, value), 259);
  auto leaf = create(registry, "List\\beta");
  EXPECT_EQ(leaf->enumKey(0, name), 259);
  EXPECT_EQ(leaf->enumValue(0, name, value), 259);
}

// Every letter folds. Names stored by an older version, folded by ASCII letters only, are found again; two
// of them that now fold together are both kept, the one whose folded form changed taking a numbered name.
TEST_F(SqliteRegistryTest, UnicodeNamesFoldAndOldHivesLoseNoName) {
  {
    auto registry = open();
    auto key = create(registry, "Start List\\Café");
    EXPECT_EQ(writeText(*key, "ä", "lower"), 0);
    EXPECT_EQ(writeText(*key, "Ä", "upper"), 0);
    EXPECT_EQ(valueNamesOf(*key), std::vector<std::string>{"ä"});
    EXPECT_EQ(textAt(registry, "START LIST\\CAFÉ", "Ä"), "upper");
    create(registry, "Start List\\Über");
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(userPath().c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "UPDATE keys SET fold = 'ÜBER' WHERE name = 'Über';"
                         "INSERT INTO keys(parent, fold, name) SELECT parent, 'CAFÉ', 'CAFÉ' FROM keys"
                         " WHERE name = 'Café';"
                         "INSERT INTO vals SELECT key, 'Ä', 'Ä', type, data FROM vals;",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  // A hive that may not be written is searched by name: nothing is lost, nothing is changed.
  const bool root = geteuid() == 0;
  chmod(userPath().c_str(), root ? 0644 : 0444);
  const std::string report = inChild(
      [&] {
        auto registry = open();
        std::unique_ptr<RegKey> key;
        std::string out = std::to_string(registry.openKey(Hive::CurrentUser, "start list\\ÜBER", KeyAccess::Read, key));
        registry.openKey(Hive::CurrentUser, "Start List", KeyAccess::Read, key);
        for (const auto& name : key ? subkeysOf(*key) : std::vector<std::string>{}) out += " " + name;
        return out;
      },
      root);
  EXPECT_EQ(report, "0 CAFÉ Café Über");
  chmod(userPath().c_str(), 0644);
  for (int round = 0; round < 2; ++round) {
    auto registry = open();
    std::unique_ptr<RegKey> list;
    ASSERT_EQ(registry.openKey(Hive::CurrentUser, "Start List", KeyAccess::Read, list), 0);
    EXPECT_EQ(subkeysOf(*list), (std::vector<std::string>{"Café", "CAFÉ(2)", "Über"})) << round;
    std::unique_ptr<RegKey> cafe;
    EXPECT_EQ(registry.openKey(Hive::CurrentUser, "start list\\ÜBER", KeyAccess::Read, cafe), 0);
    ASSERT_EQ(registry.openKey(Hive::CurrentUser, "Start List\\cafÉ", KeyAccess::Read, cafe), 0);
    EXPECT_EQ(valueNamesOf(*cafe), (std::vector<std::string>{"ä", "Ä(2)"}));
  }
  EXPECT_EQ(integrityOf(userPath()), "ok");
}

TEST_F(SqliteRegistryTest, QueryChecksTheBufferAndTellsMissingValues) {
  auto registry = open();
  auto key = create(registry, "K");
  EXPECT_EQ(writeText(*key, "Text", "0123456789"), 0);
  RegValue value{RegType::Dword, {9, 9}};
  EXPECT_EQ(key->queryValue("Text", 9, value), 234);
  EXPECT_EQ(value.type, RegType::Dword);  // nothing was returned
  EXPECT_EQ(value.data, (std::vector<std::uint8_t>{9, 9}));
  EXPECT_EQ(key->queryValue("text", 10, value), 0);
  EXPECT_EQ(value.type, RegType::Sz);
  EXPECT_EQ(value.data, bytes("0123456789"));
  EXPECT_EQ(key->queryValue("Other", 100, value), 2);
  EXPECT_EQ(key->deleteValue("Other"), 2);
  EXPECT_EQ(key->deleteValue("TEXT"), 0);
  EXPECT_EQ(key->queryValue("Text", 100, value), 2);
  // Only key names exclude "\"; paths are common value names.
  EXPECT_EQ(writeText(*key, "C:\\x\\y.ax", "x"), 0);
  EXPECT_EQ(key->queryValue("c:\\X\\Y.AX", 100, value), 0);
}

struct StoredValue {
  RegType type;
  std::vector<std::uint8_t> data;
};

class SqliteValueTypes : public SqliteRegistryTest, public ::testing::WithParamInterface<StoredValue> {};

TEST_P(SqliteValueTypes, DataComesBackByteForByteWithItsType) {
  const auto& stored = GetParam();
  {
    auto registry = open();
    auto key = create(registry, "Types");
    ASSERT_EQ(key->setValue("V", stored.type, stored.data), 0);
    ASSERT_EQ(key->setValue("", stored.type, stored.data), 0);
  }
  auto registry = open();
  std::unique_ptr<RegKey> key;
  ASSERT_EQ(registry.openKey(Hive::CurrentUser, "Types", KeyAccess::Read, key), 0);
  for (const char* name : {"V", ""}) {
    RegValue value;
    ASSERT_EQ(key->queryValue(name, static_cast<std::uint32_t>(stored.data.size()), value), 0);
    EXPECT_EQ(value.type, stored.type);
    EXPECT_EQ(value.data, stored.data);
  }
}

INSTANTIATE_TEST_SUITE_P(AllTypes, SqliteValueTypes,
                         ::testing::Values(StoredValue{RegType::Sz, bytes("C:\\Program Files\\x.exe")},
                                           StoredValue{RegType::Sz, {}},
                                           StoredValue{RegType::ExpandSz, bytes("%HOME%/bin")},
                                           StoredValue{RegType::Binary, {0, 1, 0, 255, 0}},
                                           StoredValue{RegType::Binary, std::vector<std::uint8_t>(70000, 0xA5)},
                                           StoredValue{RegType::Dword, {0xFF, 0xFF, 0xFF, 0x7F}}));

// --- Deleting and moving ------------------------------------------------------------------------------------

TEST_F(SqliteRegistryTest, DeleteTreeRemovesEverythingBelowAndInvalidatesHandles) {
  auto registry = open();
  create(registry, "Root\\Keep");
  auto doomed = create(registry, "Root\\Gone");
  auto deep = create(registry, "Root\\Gone\\Deeper\\Deepest");
  EXPECT_EQ(writeText(*deep, "V", "x"), 0);

  EXPECT_EQ(registry.deleteTree(Hive::CurrentUser, "root\\GONE"), 0);
  std::unique_ptr<RegKey> key;
  EXPECT_EQ(registry.openKey(Hive::CurrentUser, "Root\\Gone\\Deeper", KeyAccess::Read, key), 2);
  EXPECT_EQ(registry.openKey(Hive::CurrentUser, "Root\\Keep", KeyAccess::Read, key), 0);
  EXPECT_EQ(registry.deleteTree(Hive::CurrentUser, "Root\\Gone"), 2);
  EXPECT_EQ(registry.deleteTree(Hive::CurrentUser, ""), 5);

  // A key made again at the same path is another key: the old handles stay dead.
  auto reborn = create(registry, "Root\\Gone\\Deeper\\Deepest");
  EXPECT_EQ(writeText(*reborn, "V", "new"), 0);
  std::string name;
  RegValue value;
  EXPECT_EQ(doomed->enumKey(0, name), 1018);
  EXPECT_EQ(deep->queryValue("V", 10, value), 1018);
  EXPECT_EQ(deep->enumValue(0, name, value), 1018);
  EXPECT_EQ(writeText(*deep, "V", "y"), 1018);
  EXPECT_EQ(deep->deleteValue("V"), 1018);
  EXPECT_EQ(textAt(registry, "Root\\Gone\\Deeper\\Deepest", "V"), "new");
  EXPECT_EQ(integrityOf(userPath()), "ok");
}

TEST_F(SqliteRegistryTest, MoveCopiesTheTreeAndDeletesTheSource) {
  auto registry = open();
  auto source = create(registry, "List\\Old");
  EXPECT_EQ(writeText(*source, "Module", "prog"), 0);
  auto child = create(registry, "List\\Old\\Child");
  EXPECT_EQ(writeDword(*child, "N", 5), 0);
  create(registry, "List\\Other");

  EXPECT_EQ(registry.moveKey(Hive::CurrentUser, "List\\Old", "List\\New"), 0);
  EXPECT_EQ(textAt(registry, "List\\New", "Module"), "prog");
  std::unique_ptr<RegKey> moved;
  ASSERT_EQ(registry.openKey(Hive::CurrentUser, "list\\new\\child", KeyAccess::Read, moved), 0);
  EXPECT_EQ(readDword(*moved, "N"), 5);
  EXPECT_EQ(textAt(registry, "List\\Old", "Module"), "<2>");
  RegValue value;
  EXPECT_EQ(source->queryValue("Module", 100, value), 1018);

  EXPECT_EQ(registry.moveKey(Hive::CurrentUser, "List\\New", "List\\Other"), kRegAlreadyExists);
  EXPECT_EQ(textAt(registry, "List\\New", "Module"), "prog");
  EXPECT_EQ(registry.moveKey(Hive::CurrentUser, "List\\Missing", "List\\X"), 2);
  EXPECT_EQ(registry.moveKey(Hive::CurrentUser, "List\\New", "Nowhere\\X"), 2);
  EXPECT_EQ(registry.moveKey(Hive::CurrentUser, "List\\New", "List\\New\\Child\\X"), win::kInvalidParameter);
  EXPECT_EQ(registry.moveKey(Hive::CurrentUser, "List", "List\\Inner"), win::kInvalidParameter);

  std::unique_ptr<RegKey> list;
  ASSERT_EQ(registry.openKey(Hive::CurrentUser, "List", KeyAccess::Read, list), 0);
  EXPECT_EQ(subkeysOf(*list), (std::vector<std::string>{"New", "Other"}));
  EXPECT_EQ(integrityOf(userPath()), "ok");
}

TEST_F(SqliteRegistryTest, MoveToAnotherCaseRenamesInPlace) {
  auto registry = open();
  auto key = create(registry, "List\\editor");
  EXPECT_EQ(writeText(*key, "Module", "vi"), 0);
  EXPECT_EQ(registry.moveKey(Hive::CurrentUser, "List\\editor", "LIST\\Editor"), 0);
  std::unique_ptr<RegKey> list;
  ASSERT_EQ(registry.openKey(Hive::CurrentUser, "List", KeyAccess::Read, list), 0);
  EXPECT_EQ(subkeysOf(*list), std::vector<std::string>{"Editor"});
  // Still the same key, so its handle goes on working.
  EXPECT_EQ(readText(*key, "Module"), "vi");
  EXPECT_EQ(writeText(*key, "Parms", "-R"), 0);
  EXPECT_EQ(registry.moveKey(Hive::CurrentUser, "List\\Editor", "List\\Editor"), 0);
}

// --- Batches ------------------------------------------------------------------------------------------------

TEST_F(SqliteRegistryTest, BatchIsSeenByOthersOnlyWhenItEnds) {
  auto registry = open();
  auto observer = open();
  create(registry, "Base");
  ASSERT_EQ(registry.beginBatch(Hive::CurrentUser), 0);
  auto key = create(registry, "Base\\Def");
  EXPECT_EQ(writeText(*key, "A", "1"), 0);
  EXPECT_EQ(writeText(*key, "B", "2"), 0);
  EXPECT_EQ(textAt(registry, "Base\\Def", "B"), "2");
  EXPECT_EQ(textAt(observer, "Base\\Def", "A"), "<2>");
  ASSERT_EQ(registry.endBatch(Hive::CurrentUser, true), 0);
  EXPECT_EQ(textAt(observer, "Base\\Def", "A"), "1");
  EXPECT_EQ(textAt(observer, "Base\\Def", "B"), "2");
  EXPECT_EQ(registry.endBatch(Hive::CurrentUser, true), win::kInvalidParameter);
}

TEST_F(SqliteRegistryTest, RolledBackBatchesLeaveNothingAndTheirHandlesDie) {
  auto registry = open();
  auto base = create(registry, "Base");
  EXPECT_EQ(writeText(*base, "V", "before"), 0);

  ASSERT_EQ(registry.beginBatch(Hive::CurrentUser), 0);
  EXPECT_EQ(writeText(*base, "V", "outer"), 0);
  ASSERT_EQ(registry.beginBatch(Hive::CurrentUser), 0);
  auto inner = create(registry, "Base\\Inner");
  EXPECT_EQ(writeText(*base, "V", "inner"), 0);
  ASSERT_EQ(registry.endBatch(Hive::CurrentUser, false), 0);
  EXPECT_EQ(readText(*base, "V"), "outer");
  std::string name;
  EXPECT_EQ(inner->enumKey(0, name), 1018);
  ASSERT_EQ(registry.endBatch(Hive::CurrentUser, true), 0);
  auto observer = open();
  EXPECT_EQ(textAt(observer, "Base", "V"), "outer");

  ASSERT_EQ(registry.beginBatch(Hive::CurrentUser), 0);
  auto undone = create(registry, "Base\\Undone");
  EXPECT_EQ(registry.deleteTree(Hive::CurrentUser, "Base"), 0);
  ASSERT_EQ(registry.endBatch(Hive::CurrentUser, false), 0);
  EXPECT_EQ(textAt(registry, "Base", "V"), "outer");
  EXPECT_EQ(readText(*base, "V"), "outer");
  // Ids given out inside an undone batch are never given to another key.
  for (int i = 0; i < 5; ++i) create(registry, "Later\\K" + std::to_string(i));
  EXPECT_EQ(undone->enumKey(0, name), 1018);
  EXPECT_EQ(writeText(*inner, "X", "y"), 1018);
}

// A batch that cannot get the write lock in the set time fails as a whole, and its later writes do not wait.
TEST_F(SqliteRegistryTest, ABusyHiveFailsTheBatchWith170) {
  auto registry = open();
  auto key = create(registry, "Start List\\Editor");
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(userPath().c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  registry.setLockWait(Hive::CurrentUser, 0);
  ASSERT_EQ(registry.beginBatch(Hive::CurrentUser), 0);
  EXPECT_EQ(writeText(*key, "Result", "OK"), win::kBusy);
  sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  EXPECT_EQ(writeText(*key, "Executed", "x"), win::kBusy);
  EXPECT_EQ(registry.endBatch(Hive::CurrentUser, true), win::kBusy);
  sqlite3_close(other);
  registry.setLockWait(Hive::CurrentUser, std::nullopt);
  EXPECT_EQ(valueNamesOf(*key), std::vector<std::string>{});
  EXPECT_EQ(writeText(*key, "Result", "OK"), 0);
}

TEST_F(SqliteRegistryTest, BatchOnAMissingHiveCreatesItAtTheFirstWriteOnly) {
  auto registry = open();
  ASSERT_EQ(registry.beginBatch(Hive::LocalMachine), 0);
  ASSERT_EQ(registry.endBatch(Hive::LocalMachine, true), 0);
  EXPECT_FALSE(fs::exists(machinePath()));
  ASSERT_EQ(registry.beginBatch(Hive::LocalMachine), 0);
  create(registry, "A", Hive::LocalMachine);
  ASSERT_EQ(registry.endBatch(Hive::LocalMachine, true), 0);
  std::unique_ptr<RegKey> key;
  auto again = open();
  EXPECT_EQ(again.openKey(Hive::LocalMachine, "a", KeyAccess::Read, key), 0);
}

// --- Another connection -------------------------------------------------------------------------------------

TEST_F(SqliteRegistryTest, ChangesByAnotherConnectionReachOpenHandles) {
  auto mine = open();
  auto theirs = open();
  auto key = create(mine, "Shared\\Def");
  EXPECT_EQ(writeText(*key, "V", "mine"), 0);
  create(mine, "Other");

  std::unique_ptr<RegKey> theirKey;
  ASSERT_EQ(theirs.openKey(Hive::CurrentUser, "Shared\\Def", KeyAccess::ReadWrite, theirKey), 0);
  EXPECT_EQ(writeText(*theirKey, "V", "theirs"), 0);
  // A handle reads its copy until this connection sees the change, here by opening any key.
  std::unique_ptr<RegKey> other;
  ASSERT_EQ(mine.openKey(Hive::CurrentUser, "Other", KeyAccess::Read, other), 0);
  EXPECT_EQ(readText(*key, "V"), "theirs");

  ASSERT_EQ(theirs.deleteTree(Hive::CurrentUser, "Shared"), 0);
  EXPECT_EQ(writeText(*key, "V", "again"), 1018);
  RegValue value;
  EXPECT_EQ(key->queryValue("V", 100, value), 1018);
}

// Keys opened one after another below one parent, in one view and without: a parent replaced by another
// connection, or by this one, is never taken for the old one, and a write inside the view is not refused.
TEST_F(SqliteRegistryTest, KeysReadInARowFollowAParentReplacedMeanwhile) {
  auto mine = open();
  auto theirs = open();
  create(mine, "List\\Sub\\a");
  auto opened = [&](const char* path) {
    std::unique_ptr<RegKey> key;
    return mine.openKey(Hive::CurrentUser, path, KeyAccess::Read, key);
  };
  for (const bool view : {false, true}) {
    ASSERT_EQ(opened("List\\Sub\\a"), 0);
    ASSERT_EQ(theirs.deleteTree(Hive::CurrentUser, "List"), 0);
    create(theirs, "List\\Sub\\b");
    if (view) mine.beginReads(Hive::CurrentUser);
    EXPECT_EQ(opened("List\\Sub\\b"), 0) << view;
    EXPECT_EQ(opened("List\\Sub\\a"), 2) << view;
    // A write ends the view; what follows reads the hive as it is now.
    ASSERT_EQ(mine.deleteTree(Hive::CurrentUser, "List"), 0);
    create(mine, "List\\Sub\\a");
    EXPECT_EQ(opened("List\\Sub\\a"), 0) << view;
    EXPECT_EQ(opened("List\\Sub\\b"), 2) << view;
    auto key = create(mine, "List\\Sub\\a");
    EXPECT_EQ(writeText(*key, "V", "x"), 0);
    if (view) mine.endReads(Hive::CurrentUser);
    std::unique_ptr<RegKey> theirKey;
    ASSERT_EQ(theirs.openKey(Hive::CurrentUser, "List\\Sub\\a", KeyAccess::Read, theirKey), 0);
    EXPECT_EQ(readText(*theirKey, "V"), "x") << view;
  }
}

TEST_F(SqliteRegistryTest, HandlesOfOneKeySeeEachOthersWrites) {
  auto registry = open();
  auto first = create(registry, "Def");
  auto second = create(registry, "DEF");
  EXPECT_EQ(writeText(*first, "Module", "a"), 0);
  EXPECT_EQ(readText(*second, "Module"), "a");
  ASSERT_EQ(registry.beginBatch(Hive::CurrentUser), 0);
  EXPECT_EQ(writeText(*second, "Module", "b"), 0);
  EXPECT_EQ(readText(*first, "Module"), "b");
  EXPECT_EQ(first->deleteValue("module"), 0);
  EXPECT_EQ(readText(*second, "Module"), std::nullopt);
  ASSERT_EQ(registry.endBatch(Hive::CurrentUser, true), 0);
  EXPECT_EQ(valueNamesOf(*first), std::vector<std::string>{});
}

TEST_F(SqliteRegistryTest, AStaleCopyNeverSparesAWrite) {
  auto mine = open();
  auto theirs = open();
  auto key = create(mine, "Def");
  EXPECT_EQ(writeText(*key, "Module", "a"), 0);
  EXPECT_EQ(readText(*key, "Module"), "a");
  std::unique_ptr<RegKey> theirKey;
  ASSERT_EQ(theirs.openKey(Hive::CurrentUser, "Def", KeyAccess::ReadWrite, theirKey), 0);
  EXPECT_EQ(writeText(*theirKey, "Module", "b"), 0);
  // This handle's copy still says "a"; writing "a" again must reach the file all the same.
  ASSERT_EQ(mine.beginBatch(Hive::CurrentUser), 0);
  EXPECT_EQ(writeText(*key, "Module", "a"), 0);
  ASSERT_EQ(mine.endBatch(Hive::CurrentUser, true), 0);
  EXPECT_EQ(textAt(theirs, "Def", "Module"), "a");
}

// --- Permissions, seen by an ordinary user ------------------------------------------------------------------

TEST_F(SqliteRegistryTest, ReadOnlyHiveCanBeReadButNotWritten) {
  {
    auto registry = open();
    auto key = create(registry, "SOFTWARE\\Kip\\Start List\\Editor", Hive::LocalMachine);
    EXPECT_EQ(writeText(*key, "Module", "vi"), 0);
  }
  ASSERT_FALSE(fs::exists(machinePath() + "-wal"));
  ASSERT_FALSE(fs::exists(machinePath() + "-shm"));
  const fs::path locked = m_dir.file("locked");
  fs::create_directory(locked);
  const bool root = geteuid() == 0;
  // A hive file that only its owner may read.
  const std::string secretPath = m_dir.file("secret.db");
  {
    SqliteRegistry owner(secretPath, secretPath);
    create(owner, "Software");
  }
  chmod(secretPath.c_str(), root ? 0600 : 0);
  // Root writes everything regardless of modes; as anybody else, the owner's write bits are taken away.
  chmod(machinePath().c_str(), root ? 0644 : 0444);
  chmod(locked.c_str(), root ? 0755 : 0555);
  chmod(m_dir.path().c_str(), root ? 0755 : 0555);
  const std::string before = readFile(machinePath());

  const std::string report = inChild(
      [&] {
        SqliteRegistry registry((locked / "user.db").string(), machinePath());
        std::string out;
        std::unique_ptr<RegKey> key;
        out += "read=" + std::to_string(registry.openKey(Hive::LocalMachine, "Software\\kip\\start list\\editor",
                                                         KeyAccess::Read, key));
        out += " module=" + (key ? readText(*key, "Module").value_or("?") : std::string("?"));
        out += " set=" + (key ? std::to_string(writeText(*key, "Module", "x")) : std::string("?"));
        std::unique_ptr<RegKey> list;
        registry.openKey(Hive::LocalMachine, "SOFTWARE\\Kip\\Start List", KeyAccess::Read, list);
        std::string name;
        out += " enum=" + (list && list->enumKey(0, name) == 0 ? name : std::string("?"));
        std::unique_ptr<RegKey> other;
        out +=
            " rw=" + std::to_string(registry.openKey(Hive::LocalMachine, "SOFTWARE\\Kip", KeyAccess::ReadWrite, other));
        out += " create=" + std::to_string(registry.createKey(Hive::LocalMachine, "SOFTWARE\\New", other));
        out += " delete=" + std::to_string(registry.deleteTree(Hive::LocalMachine, "SOFTWARE\\Kip"));
        out += " move=" + std::to_string(registry.moveKey(Hive::LocalMachine, "SOFTWARE\\Kip", "SOFTWARE\\K2"));
        out += " newfile=" + std::to_string(registry.createKey(Hive::CurrentUser, "Software", other));
        out += " problem=" + registry.hiveProblem(Hive::LocalMachine);
        SqliteRegistry secret(secretPath, secretPath);
        out += " secret=" + std::to_string(secret.openKey(Hive::CurrentUser, "Software", KeyAccess::Read, other));
        const auto problem = secret.hiveProblem(Hive::CurrentUser);
        out += problem.find(secretPath + " cannot be read") != std::string::npos ? " told" : " untold:" + problem;
        return out;
      },
      root);
  chmod(m_dir.path().c_str(), 0755);
  EXPECT_EQ(report,
            "read=0 module=vi set=5 enum=Editor rw=5 create=5 delete=5 move=5 newfile=5 problem= secret=5 told");
  EXPECT_EQ(readFile(machinePath()), before);
  EXPECT_FALSE(fs::exists(machinePath() + "-wal"));
  EXPECT_FALSE(fs::exists(machinePath() + "-shm"));
  EXPECT_FALSE(fs::exists(locked / "user.db"));
}

TEST_F(SqliteRegistryTest, MissingFolderThatCannotBeMadeGives5) {
  const fs::path locked = m_dir.file("locked");
  fs::create_directory(locked);
  const bool root = geteuid() == 0;
  chmod(locked.c_str(), root ? 0755 : 0555);
  const std::string report = inChild(
      [&] {
        SqliteRegistry registry((locked / "a/b/user.db").string(), (locked / "machine.db").string());
        std::unique_ptr<RegKey> key;
        return std::to_string(registry.createKey(Hive::CurrentUser, "Software", key)) + " " +
               std::to_string(registry.createKey(Hive::LocalMachine, "Software", key)) + " " +
               std::to_string(registry.openKey(Hive::CurrentUser, "Software", KeyAccess::Read, key));
      },
      root);
  EXPECT_EQ(report, "5 5 2");
  EXPECT_FALSE(fs::exists(locked / "a"));
}

// --- Damaged files ------------------------------------------------------------------------------------------

enum class Damage { Garbage, Truncated, DamagedPage, ForeignDatabase, NamelessKey, KeyLoop };

std::string damageName(const ::testing::TestParamInfo<Damage>& info) {
  static const char* const kNames[] = {"Garbage",         "Truncated",   "DamagedPage",
                                       "ForeignDatabase", "NamelessKey", "KeyLoop"};
  return kNames[static_cast<int>(info.param)];
}

class SqliteDamagedHive : public SqliteRegistryTest, public ::testing::WithParamInterface<Damage> {
 protected:
  void makeHive() {
    SqliteRegistry registry(userPath(), machinePath());
    ASSERT_EQ(registry.beginBatch(Hive::CurrentUser), 0);
    for (int i = 0; i < 300; ++i) {
      auto key = create(registry, "Start List\\Definition " + std::to_string(i));
      ASSERT_EQ(writeText(*key, "Module", std::string(200, 'm')), 0);
    }
    ASSERT_EQ(registry.endBatch(Hive::CurrentUser, true), 0);
  }
};

TEST_P(SqliteDamagedHive, IsReportedRefusedAndLeftUntouched) {
  switch (GetParam()) {
    case Damage::Garbage:
      writeFile(userPath(), std::string(10000, 'x') + "garbage, not a database");
      break;
    case Damage::Truncated: {
      makeHive();
      ASSERT_EQ(::truncate(userPath().c_str(), static_cast<off_t>(fs::file_size(userPath()) / 2)), 0);
      break;
    }
    case Damage::DamagedPage: {
      makeHive();
      std::string content = readFile(userPath());
      ASSERT_GT(content.size(), 12 * 4096u);
      std::fill(content.begin() + 6 * 4096, content.begin() + 7 * 4096, '\x5A');
      writeFile(userPath(), content);
      break;
    }
    case Damage::ForeignDatabase: {
      sqlite3* db = nullptr;
      ASSERT_EQ(sqlite3_open(userPath().c_str(), &db), SQLITE_OK);
      sqlite3_exec(db, "CREATE TABLE notes(text); INSERT INTO notes VALUES('mine');", nullptr, nullptr, nullptr);
      sqlite3_close(db);
      break;
    }
    case Damage::NamelessKey:
    case Damage::KeyLoop: {
      // Damage by hand that SQLite's own check accepts; a walk of such a tree would never end.
      makeHive();
      const char* const sql =
          GetParam() == Damage::NamelessKey
              ? "UPDATE keys SET name = '', fold = '' WHERE name = 'Definition 5'"
              : "UPDATE keys SET parent = (SELECT id FROM keys WHERE name = 'Definition 1') WHERE name = 'Start List';"
                "UPDATE keys SET parent = (SELECT id FROM keys WHERE name = 'Start List') WHERE name = 'Definition 1'";
      sqlite3* db = nullptr;
      ASSERT_EQ(sqlite3_open(userPath().c_str(), &db), SQLITE_OK);
      ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
      sqlite3_close(db);
      break;
    }
  }
  const std::string before = readFile(userPath());
  {
    auto registry = open();
    const std::string problem = registry.hiveProblem(Hive::CurrentUser);
    EXPECT_NE(problem.find("The registry file " + userPath() + " is "), std::string::npos) << problem;
    EXPECT_NE(problem.find("; it was left untouched."), std::string::npos) << problem;
    EXPECT_EQ(problem.find('\n'), std::string::npos);

    std::unique_ptr<RegKey> key;
    EXPECT_NE(registry.openKey(Hive::CurrentUser, "Start List", KeyAccess::Read, key), 0);
    EXPECT_EQ(registry.createKey(Hive::CurrentUser, "Start List\\New", key), win::kFileCorrupt);
    EXPECT_EQ(registry.createKey(Hive::CurrentUser, "", key), win::kFileCorrupt);
    EXPECT_EQ(registry.deleteTree(Hive::CurrentUser, "Start List"), win::kFileCorrupt);
    EXPECT_EQ(registry.moveKey(Hive::CurrentUser, "Start List", "Other"), win::kFileCorrupt);
    EXPECT_EQ(registry.beginBatch(Hive::CurrentUser), win::kFileCorrupt);
    EXPECT_EQ(key, nullptr);

    // The other hive is not affected.
    create(registry, "Fine", Hive::LocalMachine);
    EXPECT_EQ(registry.hiveProblem(Hive::LocalMachine), "");
  }
  EXPECT_EQ(readFile(userPath()), before);
}

INSTANTIATE_TEST_SUITE_P(Kinds, SqliteDamagedHive,
                         ::testing::Values(Damage::Garbage, Damage::Truncated, Damage::DamagedPage,
                                           Damage::ForeignDatabase, Damage::NamelessKey, Damage::KeyLoop),
                         damageName);

TEST_F(SqliteRegistryTest, KeysOutliveTheirRegistry) {
  std::unique_ptr<RegKey> key;
  {
    auto registry = open();
    key = create(registry, "Alive");
  }
  EXPECT_EQ(writeText(*key, "V", "still"), 0);
  EXPECT_EQ(readText(*key, "V"), "still");
  key.reset();
  auto again = open();
  EXPECT_EQ(textAt(again, "Alive", "V"), "still");
}

// --- Several processes --------------------------------------------------------------------------------------

TEST_F(SqliteRegistryTest, TwoProcessesWriteAtOnceAndBatchesStayWhole) {
  {
    auto registry = open();
    create(registry, "Shared");
  }
  constexpr int kBatches = 60;
  std::vector<pid_t> writers;
  for (int writer = 0; writer < 2; ++writer) {
    const pid_t pid = fork();
    if (pid == 0) {
      auto registry = open();
      int failures = 0;
      for (int i = 0; i < kBatches; ++i) {
        const std::string tag = std::to_string(writer) + ":" + std::to_string(i);
        failures += registry.beginBatch(Hive::CurrentUser) != 0;
        std::unique_ptr<RegKey> key;
        failures += registry.createKey(Hive::CurrentUser, "Writer" + std::to_string(writer) + "\\K" + std::to_string(i),
                                       key) != 0;
        if (key) failures += writeText(*key, "Tag", tag) != 0;
        std::unique_ptr<RegKey> shared;
        failures += registry.openKey(Hive::CurrentUser, "Shared", KeyAccess::ReadWrite, shared) != 0;
        if (shared) {
          failures += writeText(*shared, "First", tag) != 0;
          failures += writeText(*shared, "Second", tag) != 0;
        }
        failures += registry.endBatch(Hive::CurrentUser, true) != 0;
      }
      _exit(failures == 0 ? 0 : 1);
    }
    writers.push_back(pid);
  }
  // Meanwhile this process keeps reading: both values of a batch always come together.
  auto reader = open();
  int torn = 0;
  for (int round = 0; round < 400; ++round) {
    std::unique_ptr<RegKey> shared;
    if (reader.openKey(Hive::CurrentUser, "Shared", KeyAccess::Read, shared) != 0) continue;
    torn += readText(*shared, "First") != readText(*shared, "Second");
  }
  for (const pid_t pid : writers) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(torn, 0);
  auto registry = open();
  for (int writer = 0; writer < 2; ++writer)
    for (int i = 0; i < kBatches; ++i)
      EXPECT_EQ(textAt(registry, "Writer" + std::to_string(writer) + "\\K" + std::to_string(i), "Tag"),
                std::to_string(writer) + ":" + std::to_string(i));
  EXPECT_EQ(textAt(registry, "Shared", "First"), textAt(registry, "Shared", "Second"));
  EXPECT_EQ(integrityOf(userPath()), "ok");
}

TEST_F(SqliteRegistryTest, KilledWriterLeavesWholeBatchesOnly) {
  constexpr int kBigBatch = 20000;
  constexpr int kSmallBatch = 25;
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    close(ready[0]);
    auto registry = open();
    // Small batches first, each reported once committed; then one long batch, killed half-way.
    for (int batch = 0; batch < 4; ++batch) {
      registry.beginBatch(Hive::CurrentUser);
      for (int i = 0; i < kSmallBatch; ++i) {
        std::unique_ptr<RegKey> key;
        registry.createKey(Hive::CurrentUser, "Small\\B" + std::to_string(batch) + "\\K" + std::to_string(i), key);
        writeText(*key, "V", std::string(100, 'v'));
      }
      registry.endBatch(Hive::CurrentUser, true);
    }
    registry.beginBatch(Hive::CurrentUser);
    for (int i = 0; i < kBigBatch; ++i) {
      std::unique_ptr<RegKey> key;
      registry.createKey(Hive::CurrentUser, "Big\\K" + std::to_string(i), key);
      for (int v = 0; v < 10; ++v) writeText(*key, "V" + std::to_string(v), std::string(100, 'b'));
      if (i == 500 && write(ready[1], "!", 1) != 1) _exit(2);
    }
    registry.endBatch(Hive::CurrentUser, true);
    _exit(0);
  }
  close(ready[1]);
  char signal = 0;
  ASSERT_EQ(read(ready[0], &signal, 1), 1);
  close(ready[0]);
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);

  EXPECT_EQ(integrityOf(userPath()), "ok");
  auto registry = open();
  EXPECT_EQ(registry.hiveProblem(Hive::CurrentUser), "");
  for (int batch = 0; batch < 4; ++batch) {
    std::unique_ptr<RegKey> key;
    ASSERT_EQ(registry.openKey(Hive::CurrentUser, "Small\\B" + std::to_string(batch), KeyAccess::Read, key), 0);
    EXPECT_EQ(subkeysOf(*key).size(), static_cast<std::size_t>(kSmallBatch));
  }
  std::unique_ptr<RegKey> big;
  const auto code = registry.openKey(Hive::CurrentUser, "Big", KeyAccess::Read, big);
  if (WIFSIGNALED(status)) {
    EXPECT_EQ(code, 2);
  } else {
    ASSERT_EQ(code, 0);
    EXPECT_EQ(subkeysOf(*big).size(), static_cast<std::size_t>(kBigBatch));
  }
  // The hive goes on working after the crash.
  auto after = create(registry, "After");
  EXPECT_EQ(writeText(*after, "V", "ok"), 0);
}

}  // namespace
}  // namespace kip::test
