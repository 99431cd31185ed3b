#include "platform/linux/sqlite_hive.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/utf8.h"
#include "platform/win_error.h"

namespace kip {

namespace {

constexpr std::int64_t kRootId = 1;
// Marks a database as a hive ("KIPL"), so that another program's database is never taken for one.
constexpr std::int64_t kApplicationId = 0x4B49504C;
constexpr std::int64_t kFormatVersion = 1;
constexpr int kBusyTimeoutMs = 5000;

constexpr RegCode kNotEnoughMemory = 8;
constexpr RegCode kDiskFull = 112;

// The root key is row 1; every other key names its parent. Names are kept as first written, and compared
// and ordered by their folded form. AUTOINCREMENT keeps a deleted key's id from being given out again.
const std::string kSchema =
    "CREATE TABLE keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " parent INTEGER REFERENCES keys(id),"
    " fold TEXT NOT NULL,"
    " name TEXT NOT NULL,"
    " UNIQUE(parent, fold));"
    "CREATE TABLE vals("
    " key INTEGER NOT NULL REFERENCES keys(id),"
    " fold TEXT NOT NULL,"
    " name TEXT NOT NULL,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " PRIMARY KEY(key, fold)) WITHOUT ROWID;"
    "INSERT INTO keys(id, parent, fold, name) VALUES(1, NULL, '', '');"
    "PRAGMA application_id = " +
    std::to_string(kApplicationId) + ";PRAGMA user_version = " + std::to_string(kFormatVersion) + ";";

constexpr const char* kTreeCte =
    "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) ";

bool accessible(const std::string& path, int mode) {
  return ::faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0;
}

// SQLite could not use the file the way it was opened, as when a WAL database lies in a folder where this
// user may not create its -shm file.
bool isAccessFailure(int rc) {
  const int primary = rc & 0xff;
  return primary == SQLITE_READONLY || primary == SQLITE_CANTOPEN || primary == SQLITE_PERM;
}

// A URI that reads the file as it stands, without locks or -shm file.
std::string immutableUri(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = "file:";
  for (const unsigned char c : std::filesystem::absolute(path).string()) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' || c == '-' ||
        c == '_' || c == '.' || c == '~') {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  return uri + "?immutable=1";
}

// Only a name with a byte outside ASCII can fold otherwise than by the ASCII-only rule of older versions.
bool hasNonAscii(std::string_view name) {
  return std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// The n-th name offered to the one of two names that fold together that must yield: "NAME(n)", cut to fit
// 259 bytes when the name did.
std::string numberedName(const std::string& name, int n) {
  constexpr std::size_t kLongestName = 259;
  const std::string suffix = "(" + std::to_string(n) + ")";
  const std::string base = name.size() <= kLongestName ? utf8Truncate(name, kLongestName - suffix.size()) : name;
  return base + suffix;
}

std::filesystem::path parentFolder(const std::string& path) {
  auto folder = std::filesystem::path(path).parent_path();
  return folder.empty() ? std::filesystem::path(".") : folder;
}

}  // namespace

struct SqliteHive::Statements {
  SqliteStatement begin, beginImmediate, commit, rollback;
  SqliteStatement savepoint, release, rollbackTo;
  SqliteStatement findChild, keyExists, values, subkeys, insertKey, upsertValue, deleteValue;
  SqliteStatement deleteTreeValues, deleteTreeKeys, renameKey, copyValues, restoreSequence;
  bool tables = false;
};

// Keeps the reads of one operation in one read transaction, unless a transaction is open already.
class SqliteHive::ReadScope {
 public:
  explicit ReadScope(SqliteHive& hive) : m_hive(hive), m_own(!hive.inTransaction()) {
    if (m_own) {
      SqliteStatement::Use begin(m_hive.m_sql->begin);
      begin->step();
    }
  }
  ~ReadScope() {
    if (m_own && m_hive.inTransaction()) {
      SqliteStatement::Use commit(m_hive.m_sql->commit);
      commit->step();
    }
  }
  ReadScope(const ReadScope&) = delete;
  ReadScope& operator=(const ReadScope&) = delete;

 private:
  SqliteHive& m_hive;
  bool m_own;
};

// Makes the statements of one write operation a unit: a transaction of its own, or a savepoint inside the
// open batch. What is not committed is undone when the scope ends.
class SqliteHive::WriteScope {
 public:
  explicit WriteScope(SqliteHive& hive) : m_hive(hive) {}
  ~WriteScope() {
    if (m_open) rollback();
  }
  WriteScope(const WriteScope&) = delete;
  WriteScope& operator=(const WriteScope&) = delete;

  RegCode begin() {
    m_nested = !m_hive.m_batch.empty();
    if (m_nested) {
      if (const RegCode code = m_hive.startBatchLevels()) return code;
    }
    SqliteStatement::Use start(m_nested ? m_hive.m_sql->savepoint : m_hive.m_sql->beginImmediate);
    const int rc = start->step();
    if (rc != SQLITE_DONE) return m_hive.writeFailed(rc);
    m_open = true;
    return 0;
  }

  RegCode commit() {
    int rc = SQLITE_DONE;
    {
      SqliteStatement::Use end(m_nested ? m_hive.m_sql->release : m_hive.m_sql->commit);
      rc = end->step();
    }
    if (rc == SQLITE_DONE) {
      m_open = false;
      return 0;
    }
    const RegCode code = m_hive.writeFailed(rc);
    rollback();
    m_open = false;
    return code;
  }

 private:
  void rollback() {
    if (!m_hive.m_db || !m_hive.inTransaction()) return;
    if (m_nested) {
      SqliteStatement::Use back(m_hive.m_sql->rollbackTo);
      back->step();
      SqliteStatement::Use release(m_hive.m_sql->release);
      release->step();
    } else {
      SqliteStatement::Use back(m_hive.m_sql->rollback);
      back->step();
    }
  }

  SqliteHive& m_hive;
  bool m_nested = false;
  bool m_open = false;
};

SqliteHive::SqliteHive(std::string path, bool privateFolder)
    : m_path(std::move(path)), m_privateFolder(privateFolder), m_lockWaitMs(kBusyTimeoutMs) {}

SqliteHive::~SqliteHive() { disconnect(); }

// --- Connection ---------------------------------------------------------------------------------------------

RegCode SqliteHive::enter() {
  if (m_damaged.empty()) return 0;
  if (m_db) disconnect();
  if (!m_batch.empty() && m_batchError == 0) m_batchError = win::kFileCorrupt;
  for (auto& level : m_batch) level.started = false;
  return win::kFileCorrupt;
}

RegCode SqliteHive::readyToRead() {
  if (const RegCode code = enter()) return code;
  if (!m_db) {
    struct stat info {};
    if (::stat(m_path.c_str(), &info) != 0) {
      const int err = errno;
      if (err == ENOENT || err == ENOTDIR) {
        m_notice = danglingFolderNotice();
        return win::kFileNotFound;
      }
      m_notice = "The registry file " + m_path + " cannot be read (" + std::strerror(err) + ").";
      return winErrorFromErrno(err);
    }
    if (!S_ISREG(info.st_mode)) {
      m_notice = "The registry file " + m_path + " is not a regular file.";
      return win::kAccessDenied;
    }
    if (!accessible(m_path, R_OK)) {
      m_notice = "The registry file " + m_path + " cannot be read (" + std::strerror(EACCES) + ").";
      return win::kAccessDenied;
    }
    if (const RegCode code = connect(false)) return code;
  }
  if (m_content == Content::Empty) {
    // Another process may have written the first key since.
    if (const int rc = inspect(false); rc != SQLITE_OK) return fail(rc);
  }
  switch (m_content) {
    case Content::Registry:
      return 0;
    case Content::Empty:
      return win::kFileNotFound;
    default:
      return win::kFileCorrupt;
  }
}

RegCode SqliteHive::writeAccess() {
  if (const RegCode code = enter()) return code;
  struct stat info {};
  if (::stat(m_path.c_str(), &info) != 0) {
    if (errno != ENOENT) return winErrorFromErrno(errno);
    // A new file needs a folder that may be written, or one that can be made.
    if (m_notice = danglingFolderNotice(); !m_notice.empty()) return win::kPathNotFound;
    auto folder = parentFolder(m_path);
    while (::stat(folder.c_str(), &info) != 0) {
      if (errno != ENOENT) return winErrorFromErrno(errno);
      auto up = parentFolder(folder.string());
      if (up == folder) return win::kPathNotFound;
      folder = up;
    }
    if (!S_ISDIR(info.st_mode)) return win::kPathNotFound;
    return accessible(folder.string(), W_OK | X_OK) ? 0 : win::kAccessDenied;
  }
  if (!accessible(m_path, W_OK)) return win::kAccessDenied;
  if (m_db && m_readOnly) {
    // Opened for reading while the file could not be written; it can be now.
    if (!m_readOnlyByPermission || inTransaction()) return win::kAccessDenied;
    disconnect();
    if (const RegCode code = connect(false)) return code;
    if (m_readOnly) return win::kAccessDenied;
  }
  return 0;
}

std::string SqliteHive::danglingFolderNotice() const {
  // A folder on the way that is a symbolic link to nowhere can be neither read nor made.
  for (auto folder = parentFolder(m_path);;) {
    struct stat info {};
    if (::lstat(folder.c_str(), &info) == 0) {
      if (S_ISLNK(info.st_mode) && ::stat(folder.c_str(), &info) != 0 && errno == ENOENT)
        return "The folder " + folder.string() + " of the registry file " + m_path +
               " is missing: it is a symbolic link to a place that does not exist.";
      return {};
    }
    auto up = parentFolder(folder.string());
    if (up == folder) return {};
    folder = up;
  }
}

RegCode SqliteHive::readyToWrite() {
  if (const RegCode code = enter()) return code;
  if (m_db && m_content == Content::Foreign) return win::kFileCorrupt;
  if (const RegCode code = writeAccess()) return code;
  if (!m_db) {
    struct stat info {};
    const bool exists = ::stat(m_path.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode)) return win::kAccessDenied;
    if (!exists) {
      if (const RegCode code = makeFolders()) return code;
    }
    if (const RegCode code = connect(!exists)) return code;
    if (m_readOnly) return win::kAccessDenied;
  }
  switch (m_content) {
    case Content::Registry:
      return 0;
    case Content::Empty:
      return createTables();
    default:
      return win::kFileCorrupt;
  }
}

RegCode SqliteHive::makeFolders() {
  const mode_t mode = m_privateFolder ? 0700 : 0755;
  std::vector<std::filesystem::path> missing;
  for (auto folder = parentFolder(m_path);;) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0) {
      if (!S_ISDIR(info.st_mode)) return win::kPathNotFound;
      break;
    }
    if (errno != ENOENT) return winErrorFromErrno(errno);
    missing.push_back(folder);
    auto up = parentFolder(folder.string());
    if (up == folder) break;
    folder = up;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (::mkdir(it->c_str(), mode) != 0) {
      if (errno == EEXIST) continue;
      return winErrorFromErrno(errno);
    }
    // The mode is meant exactly, whatever the umask.
    ::chmod(it->c_str(), mode);
  }
  return 0;
}

RegCode SqliteHive::connect(bool create) {
  const bool wantWrite = create || accessible(m_path, W_OK);
  int flags = SQLITE_OPEN_NOMUTEX | (wantWrite ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY);
  if (create) flags |= SQLITE_OPEN_CREATE;
  int rc = openConnection(m_path, flags);
  // The mode is meant exactly, whatever the umask: a machine hive must be readable by every user. SQLite
  // gives its journal files the mode of the database file.
  if (rc == SQLITE_OK && create) ::chmod(m_path.c_str(), m_privateFolder ? 0600 : 0644);
  if (rc == SQLITE_OK) rc = inspect(true);
  if (!create && rc != SQLITE_OK && isAccessFailure(rc) && m_damaged.empty()) {
    disconnect();
    rc = openConnection(immutableUri(m_path), SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
    if (rc == SQLITE_OK) rc = inspect(true);
  }
  if (rc != SQLITE_OK || !m_damaged.empty()) {
    const std::string reason = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
    const RegCode code = m_damaged.empty() ? fail(rc) : win::kFileCorrupt;
    if (m_damaged.empty()) m_notice = "The registry file " + m_path + " cannot be opened (" + reason + ").";
    disconnect();
    return code;
  }
  m_readOnly = sqlite3_db_readonly(m_db, "main") == 1;
  m_readOnlyByPermission = m_readOnly && !wantWrite;
  if (m_content != Content::Foreign) m_notice.clear();
  if (m_content == Content::Registry && !m_readOnly) {
    SqliteStatement mode;
    if (mode.prepare(m_db, "PRAGMA journal_mode") == SQLITE_OK && mode.step() == SQLITE_ROW &&
        mode.columnText(0) != "wal") {
      mode.finalize();
      exec("PRAGMA journal_mode=WAL");
    }
  }
  if (m_content == Content::Registry) refold();
  return 0;
}

int SqliteHive::openConnection(const std::string& name, int flags) {
  ++m_localGeneration;
  int rc = sqlite3_open_v2(name.c_str(), &m_db, flags, nullptr);
  if (rc != SQLITE_OK) return rc;
  sqlite3_extended_result_codes(m_db, 1);
  sqlite3_busy_timeout(m_db, m_lockWaitMs);
  exec("PRAGMA synchronous=NORMAL");
  m_sql = std::make_unique<Statements>();
  const std::pair<SqliteStatement*, const char*> statements[] = {
      {&m_sql->begin, "BEGIN"},
      {&m_sql->beginImmediate, "BEGIN IMMEDIATE"},
      {&m_sql->commit, "COMMIT"},
      {&m_sql->rollback, "ROLLBACK"},
      {&m_sql->savepoint, "SAVEPOINT kip_operation"},
      {&m_sql->release, "RELEASE kip_operation"},
      {&m_sql->rollbackTo, "ROLLBACK TO kip_operation"},
  };
  for (const auto& [statement, sql] : statements) {
    rc = statement->prepare(m_db, sql);
    if (rc != SQLITE_OK) return rc;
  }
  return SQLITE_OK;
}

int SqliteHive::inspect(bool check) {
  int rc = SQLITE_OK;
  std::int64_t objects = 0, tables = 0, applicationId = 0, version = 0;
  {
    SqliteStatement query;
    rc = query.prepare(m_db,
                       "SELECT (SELECT count(*) FROM sqlite_master),"
                       " (SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN ('keys', 'vals')),"
                       " (SELECT application_id FROM pragma_application_id),"
                       " (SELECT user_version FROM pragma_user_version)");
    if (rc != SQLITE_OK) return rc;
    rc = query.step();
    if (rc != SQLITE_ROW) return rc;
    objects = query.columnInt(0);
    tables = query.columnInt(1);
    applicationId = query.columnInt(2);
    version = query.columnInt(3);
  }
  if (objects == 0 && applicationId == 0) {
    m_content = Content::Empty;
    return SQLITE_OK;
  }
  if (applicationId != kApplicationId || tables != 2 || version != kFormatVersion) {
    m_content = Content::Foreign;
    const bool newer = applicationId == kApplicationId && version > kFormatVersion;
    m_notice = "The registry file " + m_path + " is not a registry file (" +
               (newer ? "it was written by a newer version" : "it holds other data") + "); it was left untouched.";
    return SQLITE_OK;
  }
  m_content = Content::Registry;
  if (check) {
    // Damage anywhere must stop every write, not only writes that happen to touch the damaged pages.
    SqliteStatement quick;
    rc = quick.prepare(m_db, "PRAGMA quick_check(1)");
    if (rc != SQLITE_OK) return rc;
    rc = quick.step();
    if (rc != SQLITE_ROW) return rc;
    std::string verdict(quick.columnText(0));
    if (verdict != "ok") {
      std::replace(verdict.begin(), verdict.end(), '\n', ' ');
      markDamaged(verdict);
      return SQLITE_OK;
    }
    rc = checkTree();
    if (rc != SQLITE_OK || !m_damaged.empty()) return rc;
  }
  return prepareStatements();
}

int SqliteHive::checkTree() {
  // SQLite's own check cannot see a tree damaged by hand, which would make every walk of it endless: a key
  // without a name (its path is its parent's), or keys cut off from the root by a loop of parent links.
  SqliteStatement query;
  int rc = query.prepare(m_db,
                         "SELECT (SELECT count(*) FROM keys WHERE id <> 1 AND (name = '' OR parent IS NULL)),"
                         " (SELECT count(*) FROM keys WHERE id = 1 AND parent IS NULL),"
                         " (WITH RECURSIVE reach(id) AS (SELECT 1 UNION SELECT keys.id FROM keys"
                         "   JOIN reach ON keys.parent = reach.id AND keys.id <> 1) SELECT count(*) FROM reach),"
                         " (SELECT count(*) FROM keys)");
  if (rc != SQLITE_OK) return rc;
  rc = query.step();
  if (rc != SQLITE_ROW) return rc;
  if (query.columnInt(0) > 0) {
    markDamaged("a key has no name");
  } else if (query.columnInt(1) != 1 || query.columnInt(2) != query.columnInt(3)) {
    markDamaged("its keys' parent links form a loop or lead nowhere");
  }
  return SQLITE_OK;
}

int SqliteHive::prepareStatements() {
  if (m_sql->tables) return SQLITE_OK;
  const std::string cte = kTreeCte;
  const std::pair<SqliteStatement*, std::string> statements[] = {
      {&m_sql->findChild, "SELECT id, name FROM keys WHERE parent = ?1 AND fold = ?2"},
      {&m_sql->keyExists, "SELECT 1 FROM keys WHERE id = ?1"},
      {&m_sql->values, "SELECT fold, name, type, data FROM vals WHERE key = ?1 ORDER BY fold"},
      {&m_sql->subkeys, "SELECT id, name FROM keys WHERE parent = ?1 ORDER BY fold"},
      {&m_sql->insertKey, "INSERT INTO keys(parent, fold, name) VALUES(?1, ?2, ?3)"},
      {&m_sql->upsertValue,
       "INSERT INTO vals(key, fold, name, type, data) SELECT ?1, ?2, ?3, ?4, ?5"
       " WHERE EXISTS (SELECT 1 FROM keys WHERE id = ?1)"
       " ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data"},
      {&m_sql->deleteValue, "DELETE FROM vals WHERE key = ?1 AND fold = ?2"},
      {&m_sql->deleteTreeValues, cte + "DELETE FROM vals WHERE key IN (SELECT id FROM tree)"},
      {&m_sql->deleteTreeKeys, cte + "DELETE FROM keys WHERE id IN (SELECT id FROM tree)"},
      {&m_sql->renameKey, "UPDATE keys SET name = ?2 WHERE id = ?1"},
      {&m_sql->copyValues,
       "INSERT INTO vals(key, fold, name, type, data) SELECT ?2, fold, name, type, data FROM vals WHERE key = ?1"},
      {&m_sql->restoreSequence, "UPDATE sqlite_sequence SET seq = ?1 WHERE name = 'keys' AND seq < ?1"},
  };
  for (const auto& [statement, sql] : statements) {
    const int rc = statement->prepare(m_db, sql);
    if (rc != SQLITE_OK) return rc;
  }
  m_sql->tables = true;
  return SQLITE_OK;
}

RegCode SqliteHive::createTables() {
  if (const int rc = exec("PRAGMA journal_mode=WAL"); rc != SQLITE_OK) return fail(rc);
  {
    SqliteStatement::Use begin(m_sql->beginImmediate);
    if (const int rc = begin->step(); rc != SQLITE_DONE) return fail(rc);
  }
  int rc = inspect(false);
  if (rc == SQLITE_OK && m_content == Content::Empty) rc = exec(kSchema);
  if (rc == SQLITE_OK) {
    SqliteStatement::Use commit(m_sql->commit);
    rc = commit->step();
    if (rc == SQLITE_DONE) rc = SQLITE_OK;
  }
  if (rc != SQLITE_OK) {
    const RegCode code = fail(rc);
    if (m_db && inTransaction()) {
      SqliteStatement::Use rollback(m_sql->rollback);
      rollback->step();
    }
    m_content = Content::Unknown;
    return code;
  }
  ++m_localGeneration;
  if (m_content == Content::Empty) {
    m_content = Content::Registry;
    if (const int prepared = prepareStatements(); prepared != SQLITE_OK) return fail(prepared);
  }
  return m_content == Content::Registry ? 0 : win::kFileCorrupt;
}

void SqliteHive::disconnect() {
  m_sql.reset();
  if (m_db) {
    // A damaged file gets nothing written back into it, not even a checkpoint.
    if (!m_damaged.empty()) sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, static_cast<int*>(nullptr));
    sqlite3_close(m_db);
  }
  m_db = nullptr;
  m_content = Content::Unknown;
  m_readOnly = false;
  m_readOnlyByPermission = false;
  m_staleFolds = false;
  ++m_localGeneration;
}

bool SqliteHive::inTransaction() const { return m_db && sqlite3_get_autocommit(m_db) == 0; }

int SqliteHive::exec(const std::string& sql) { return sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr); }

RegCode SqliteHive::fail(int rc) {
  switch (rc & 0xff) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return 0;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      markDamaged(sqlite3_errstr(rc));
      return win::kFileCorrupt;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_CANTOPEN:
      return win::kAccessDenied;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return win::kBusy;
    case SQLITE_FULL:
      return kDiskFull;
    case SQLITE_NOMEM:
      return kNotEnoughMemory;
    default:
      return win::kGenFailure;
  }
}

RegCode SqliteHive::writeFailed(int rc) {
  const RegCode code = fail(rc);
  // Some failures end the whole transaction: the rest of the batch must not be committed piecemeal.
  if (!m_batch.empty() && m_batch.front().started && !inTransaction()) {
    for (auto& level : m_batch) level.started = false;
    if (m_batchError == 0) m_batchError = code;
    ++m_localGeneration;
  }
  return code;
}

void SqliteHive::markDamaged(const std::string& detail) {
  if (!m_damaged.empty()) return;
  m_damaged = "The registry file " + m_path + " is damaged (" + detail + "); it was left untouched.";
}

SqliteHive::Stamp SqliteHive::stamp() const {
  Stamp stamp;
  stamp.local = m_localGeneration;
  if (m_db) {
    unsigned int version = 0;
    sqlite3_file_control(m_db, "main", SQLITE_FCNTL_DATA_VERSION, &version);
    stamp.data = version;
  }
  return stamp;
}

RegCode SqliteHive::health() const { return m_damaged.empty() ? 0 : win::kFileCorrupt; }

std::string SqliteHive::problem() {
  readyToRead();
  return m_damaged.empty() ? m_notice : m_damaged;
}

// Names stored by an older version were folded by ASCII letters only. Their folded forms are brought up to
// date when the hive is opened for writing, in one transaction. Two names of one key that now fold together
// are both kept: the one whose folded form had to change takes the first free "NAME(2)", "NAME(3)", ...
// A hive that cannot be brought up to date now (read-only, busy) keeps its old forms and is searched by
// name instead until it can.
void SqliteHive::refold() {
  struct Row {
    std::int64_t owner = 0;  // the parent key of a key, the key of a value
    std::int64_t id = 0;     // a key's id; 0 for a value
    std::string oldFold;
    std::string name;
  };
  std::vector<Row> stale;
  const std::pair<const char*, bool> queries[] = {
      {"SELECT parent, id, fold, name FROM keys WHERE id <> 1 ORDER BY id", true},
      {"SELECT key, 0, fold, name FROM vals ORDER BY key, name", false},
  };
  for (const auto& [sql, isKey] : queries) {
    SqliteStatement query;
    if (query.prepare(m_db, sql) != SQLITE_OK) return;
    while (query.step() == SQLITE_ROW) {
      std::string name(query.columnText(3));
      if (!hasNonAscii(name) || foldName(name) == query.columnText(2)) continue;
      stale.push_back({query.columnInt(0), isKey ? query.columnInt(1) : 0, std::string(query.columnText(2)), name});
    }
  }
  m_staleFolds = !stale.empty();
  if (!m_staleFolds || m_readOnly || inTransaction()) return;

  SqliteStatement keyTaken, valueTaken, updateKey, updateValue;
  if (keyTaken.prepare(m_db, "SELECT 1 FROM keys WHERE parent = ?1 AND fold = ?2") != SQLITE_OK ||
      valueTaken.prepare(m_db, "SELECT 1 FROM vals WHERE key = ?1 AND fold = ?2") != SQLITE_OK ||
      updateKey.prepare(m_db, "UPDATE keys SET fold = ?2, name = ?3 WHERE id = ?1") != SQLITE_OK ||
      updateValue.prepare(m_db, "UPDATE vals SET fold = ?3, name = ?4 WHERE key = ?1 AND fold = ?2") != SQLITE_OK)
    return;
  if (exec("BEGIN IMMEDIATE") != SQLITE_OK) return;
  bool ok = true;
  for (const Row& row : stale) {
    SqliteStatement& taken = row.id ? keyTaken : valueTaken;
    std::string name = row.name;
    std::string fold = foldName(name);
    for (int n = 2;; ++n) {
      taken.reset();
      taken.bind(1, row.owner);
      taken.bindText(2, fold);
      const int rc = taken.step();
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) {
        ok = false;
        break;
      }
      name = numberedName(row.name, n);
      fold = foldName(name);
    }
    if (!ok) break;
    SqliteStatement& update = row.id ? updateKey : updateValue;
    update.reset();
    if (row.id) {
      update.bind(1, row.id);
      update.bindText(2, fold);
      update.bindText(3, name);
    } else {
      update.bind(1, row.owner);
      update.bindText(2, row.oldFold);
      update.bindText(3, fold);
      update.bindText(4, name);
    }
    if (update.step() != SQLITE_DONE) {
      ok = false;
      break;
    }
  }
  for (auto* statement : {&keyTaken, &valueTaken, &updateKey, &updateValue}) statement->finalize();
  if (ok && exec("COMMIT") == SQLITE_OK) {
    m_staleFolds = false;
    ++m_localGeneration;
  } else if (inTransaction()) {
    exec("ROLLBACK");
  }
}

void SqliteHive::setLockWait(std::optional<std::uint32_t> waitMs) {
  m_lockWaitMs = waitMs ? static_cast<int>(std::min<std::uint32_t>(*waitMs, kBusyTimeoutMs)) : kBusyTimeoutMs;
  if (m_db) sqlite3_busy_timeout(m_db, m_lockWaitMs);
}

// --- Batches ------------------------------------------------------------------------------------------------

RegCode SqliteHive::beginBatch() {
  // A missing file is fine (the first write creates it); a damaged or foreign one is not.
  if (const RegCode code = readyToRead(); code == win::kFileCorrupt) return code;
  m_batch.push_back({});
  if (m_batch.size() > 1 && m_batch[m_batch.size() - 2].started) {
    if (const RegCode code = startBatchLevels()) {
      m_batch.pop_back();
      return code;
    }
  }
  return 0;
}

RegCode SqliteHive::startBatchLevels() {
  if (m_batchError) return m_batchError;
  for (std::size_t i = 0; i < m_batch.size(); ++i) {
    if (m_batch[i].started) continue;
    int rc = SQLITE_OK;
    if (i == 0) {
      // IMMEDIATE: a deferred transaction that has read cannot take the write lock once another process
      // has committed, and would fail instead of waiting.
      SqliteStatement::Use begin(m_sql->beginImmediate);
      rc = begin->step();
      if (rc == SQLITE_DONE) rc = SQLITE_OK;
    } else {
      rc = exec("SAVEPOINT kip_batch_" + std::to_string(i));
    }
    if (rc != SQLITE_OK) {
      // The batch cannot be all or nothing any more; its later writes fail at once instead of waiting again.
      const RegCode code = fail(rc);
      if (i == 0) m_batchError = code;
      return code;
    }
    m_batch[i].started = true;
  }
  return 0;
}

RegCode SqliteHive::endBatch(bool commit) {
  if (m_batch.empty()) return win::kInvalidParameter;
  enter();
  const BatchLevel level = m_batch.back();
  m_batch.pop_back();
  const std::size_t depth = m_batch.size();
  if (m_batchError) {
    const RegCode code = commit ? m_batchError : 0;
    if (m_batch.empty()) m_batchError = 0;
    return code;
  }
  if (!level.started) return 0;
  if (!inTransaction()) return commit ? win::kGenFailure : 0;
  int rc = SQLITE_OK;
  if (depth == 0) {
    SqliteStatement::Use end(commit ? m_sql->commit : m_sql->rollback);
    rc = end->step();
    if (rc == SQLITE_DONE) rc = SQLITE_OK;
  } else {
    const std::string name = "kip_batch_" + std::to_string(depth);
    if (commit) {
      rc = exec("RELEASE " + name);
    } else {
      rc = exec("ROLLBACK TO " + name);
      if (rc == SQLITE_OK) rc = exec("RELEASE " + name);
    }
  }
  if (rc != SQLITE_OK) {
    const RegCode code = fail(rc);
    if (m_db && inTransaction()) {
      SqliteStatement::Use rollback(m_sql->rollback);
      rollback->step();
    }
    for (auto& outer : m_batch) outer.started = false;
    if (!m_batch.empty()) m_batchError = code;
    ++m_localGeneration;
    restoreSequence();
    return code;
  }
  if (commit) {
    if (depth > 0) m_batch.back().createdKeys |= level.createdKeys;
  } else {
    ++m_localGeneration;
    if (level.createdKeys) restoreSequence();
  }
  return 0;
}

void SqliteHive::restoreSequence() {
  // Undoing a batch also undoes the counter of key ids, but handles may still hold the ids it gave out.
  if (!m_db || !m_sql || !m_sql->tables || m_issuedId == 0) return;
  SqliteStatement::Use update(m_sql->restoreSequence);
  update->bind(1, m_issuedId);
  update->step();
}

// --- Keys ---------------------------------------------------------------------------------------------------

RegCode SqliteHive::findChild(std::int64_t parent, std::string_view fold, std::int64_t& id, std::string* name) {
  SqliteStatement::Use query(m_sql->findChild);
  query->bind(1, parent);
  query->bindText(2, fold);
  const int rc = query->step();
  if (rc == SQLITE_ROW) {
    id = query->columnInt(0);
    if (name) *name = query->columnText(1);
    return 0;
  }
  if (rc != SQLITE_DONE) return fail(rc);
  if (!m_staleFolds) return win::kFileNotFound;
  // Folded forms of an older rule: the names themselves are compared.
  SqliteStatement::Use children(m_sql->subkeys);
  children->bind(1, parent);
  int step = SQLITE_OK;
  while ((step = children->step()) == SQLITE_ROW) {
    if (foldName(children->columnText(1)) != fold) continue;
    id = children->columnInt(0);
    if (name) *name = children->columnText(1);
    return 0;
  }
  return step == SQLITE_DONE ? win::kFileNotFound : fail(step);
}

RegCode SqliteHive::findPath(std::span<const std::string> parts, std::int64_t& id) {
  id = kRootId;
  for (const auto& part : parts) {
    if (const RegCode code = findChild(id, foldName(part), id, nullptr)) return code;
  }
  return 0;
}

RegCode SqliteHive::keyExists(std::int64_t id) {
  SqliteStatement::Use query(m_sql->keyExists);
  query->bind(1, id);
  const int rc = query->step();
  if (rc == SQLITE_ROW) return 0;
  return rc == SQLITE_DONE ? win::kKeyDeleted : fail(rc);
}

RegCode SqliteHive::fetchValues(std::int64_t id, std::vector<Value>& values) {
  values.clear();
  SqliteStatement::Use query(m_sql->values);
  query->bind(1, id);
  int rc = SQLITE_OK;
  while ((rc = query->step()) == SQLITE_ROW) {
    auto& value = values.emplace_back();
    value.fold = query->columnText(0);
    value.name = query->columnText(1);
    value.value.type = static_cast<RegType>(query->columnInt(2));
    const auto data = query->columnBlob(3);
    value.value.data.assign(data.begin(), data.end());
    if (m_staleFolds) value.fold = foldName(value.name);
  }
  if (m_staleFolds)
    std::stable_sort(values.begin(), values.end(), [](const Value& a, const Value& b) { return a.fold < b.fold; });
  return rc == SQLITE_DONE ? 0 : fail(rc);
}

RegCode SqliteHive::insertKey(std::int64_t parent, std::string_view name, std::int64_t& id) {
  const std::string fold = foldName(name);
  SqliteStatement::Use insert(m_sql->insertKey);
  insert->bind(1, parent);
  insert->bindText(2, fold);
  insert->bindText(3, name);
  const int rc = insert->step();
  if (rc != SQLITE_DONE) return writeFailed(rc);
  id = sqlite3_last_insert_rowid(m_db);
  m_issuedId = std::max(m_issuedId, id);
  if (!m_batch.empty()) m_batch.back().createdKeys = true;
  return 0;
}

RegCode SqliteHive::deleteSubtree(std::int64_t id) {
  for (auto* statement : {&m_sql->deleteTreeValues, &m_sql->deleteTreeKeys}) {
    SqliteStatement::Use remove(*statement);
    remove->bind(1, id);
    if (const int rc = remove->step(); rc != SQLITE_DONE) return writeFailed(rc);
  }
  return 0;
}

RegCode SqliteHive::copyTree(std::int64_t source, std::int64_t parent, std::string_view name) {
  std::int64_t copy = 0;
  if (const RegCode code = insertKey(parent, name, copy)) return code;
  {
    SqliteStatement::Use values(m_sql->copyValues);
    values->bind(1, source);
    values->bind(2, copy);
    if (const int rc = values->step(); rc != SQLITE_DONE) return writeFailed(rc);
  }
  std::vector<std::pair<std::int64_t, std::string>> children;
  {
    SqliteStatement::Use query(m_sql->subkeys);
    query->bind(1, source);
    int rc = SQLITE_OK;
    while ((rc = query->step()) == SQLITE_ROW) children.emplace_back(query->columnInt(0), query->columnText(1));
    if (rc != SQLITE_DONE) return fail(rc);
  }
  for (const auto& [child, childName] : children) {
    if (const RegCode code = copyTree(child, copy, childName)) return code;
  }
  return 0;
}

RegCode SqliteHive::openKey(std::span<const std::string> parts, bool writable, OpenedKey& key) {
  RegCode access = 0;
  if (writable) {
    access = writeAccess();
    if (access == win::kFileCorrupt) return access;
  }
  if (const RegCode code = readyToRead()) return code;
  if (writable && access == 0 && m_readOnly) access = win::kAccessDenied;
  ReadScope scope(*this);
  if (const RegCode code = findPath(parts, key.id)) return code;
  if (access) return access;
  if (const RegCode code = fetchValues(key.id, key.values)) return code;
  key.stamp = stamp();
  return 0;
}

RegCode SqliteHive::createKey(std::span<const std::string> parts, OpenedKey& key) {
  if (const RegCode code = readyToWrite()) return code;
  {
    // Most keys exist already; finding them needs no write lock.
    ReadScope scope(*this);
    const RegCode code = findPath(parts, key.id);
    if (code == 0) {
      if (const RegCode fetched = fetchValues(key.id, key.values)) return fetched;
      key.stamp = stamp();
      return 0;
    }
    if (code != win::kFileNotFound) return code;
  }
  WriteScope scope(*this);
  if (const RegCode code = scope.begin()) return code;
  std::int64_t id = kRootId;
  bool created = false;
  for (const auto& part : parts) {
    std::int64_t child = 0;
    RegCode code = findChild(id, foldName(part), child, nullptr);
    if (code == win::kFileNotFound) {
      code = insertKey(id, part, child);
      created = true;
    }
    if (code) return code;
    id = child;
  }
  key.values.clear();
  if (!created) {
    if (const RegCode code = fetchValues(id, key.values)) return code;
  }
  if (const RegCode code = scope.commit()) return code;
  ++m_localGeneration;
  key.id = id;
  key.stamp = stamp();
  return 0;
}

RegCode SqliteHive::deleteTree(std::span<const std::string> parts) {
  if (parts.empty()) return win::kAccessDenied;
  if (const RegCode code = readyToRead()) return code;
  if (const RegCode code = readyToWrite()) return code;
  WriteScope scope(*this);
  if (const RegCode code = scope.begin()) return code;
  std::int64_t id = 0;
  if (const RegCode code = findPath(parts, id)) return code;
  if (const RegCode code = deleteSubtree(id)) return code;
  if (const RegCode code = scope.commit()) return code;
  ++m_localGeneration;
  return 0;
}

RegCode SqliteHive::moveKey(std::span<const std::string> from, std::span<const std::string> to) {
  if (from.empty()) return win::kAccessDenied;
  if (to.empty()) return kRegAlreadyExists;
  if (const RegCode code = readyToRead()) return code;
  if (const RegCode code = readyToWrite()) return code;
  WriteScope scope(*this);
  if (const RegCode code = scope.begin()) return code;
  std::int64_t source = 0;
  if (const RegCode code = findPath(from, source)) return code;
  std::int64_t parent = kRootId;
  for (std::size_t i = 0; i + 1 < to.size(); ++i) {
    if (parent == source) return win::kInvalidParameter;
    if (const RegCode code = findChild(parent, foldName(to[i]), parent, nullptr)) return code;
  }
  if (parent == source) return win::kInvalidParameter;
  const std::string& leaf = to.back();
  std::int64_t existing = 0;
  std::string existingName;
  const RegCode found = findChild(parent, foldName(leaf), existing, &existingName);
  if (found == 0) {
    if (existing != source) return kRegAlreadyExists;
    if (existingName == leaf) return 0;
    // The same key spelt in another case: it keeps its id and takes the new spelling.
    SqliteStatement::Use rename(m_sql->renameKey);
    rename->bind(1, source);
    rename->bindText(2, leaf);
    if (const int rc = rename->step(); rc != SQLITE_DONE) return writeFailed(rc);
  } else if (found != win::kFileNotFound) {
    return found;
  } else {
    if (const RegCode code = copyTree(source, parent, leaf)) return code;
    if (const RegCode code = deleteSubtree(source)) return code;
  }
  if (const RegCode code = scope.commit()) return code;
  ++m_localGeneration;
  return 0;
}

// --- Values -------------------------------------------------------------------------------------------------

RegCode SqliteHive::readValues(std::int64_t id, std::vector<Value>& values, Stamp& stamp) {
  if (const RegCode code = readyToRead()) return code == win::kFileNotFound ? win::kKeyDeleted : code;
  ReadScope scope(*this);
  if (const RegCode code = keyExists(id)) return code;
  if (const RegCode code = fetchValues(id, values)) return code;
  stamp = this->stamp();
  return 0;
}

RegCode SqliteHive::readSubkeys(std::int64_t id, std::vector<std::string>& names, Stamp& stamp) {
  if (const RegCode code = readyToRead()) return code == win::kFileNotFound ? win::kKeyDeleted : code;
  ReadScope scope(*this);
  if (const RegCode code = keyExists(id)) return code;
  names.clear();
  SqliteStatement::Use query(m_sql->subkeys);
  query->bind(1, id);
  int rc = SQLITE_OK;
  while ((rc = query->step()) == SQLITE_ROW) names.emplace_back(query->columnText(1));
  if (rc != SQLITE_DONE) return fail(rc);
  if (m_staleFolds) {
    std::stable_sort(names.begin(), names.end(),
                     [](const std::string& a, const std::string& b) { return foldName(a) < foldName(b); });
  }
  stamp = this->stamp();
  return 0;
}

// The checks every value write makes first: a usable, writable hive, and the batch's transaction begun.
RegCode SqliteHive::prepareValueWrite(bool& inBatch) {
  if (const RegCode code = enter()) return code;
  if (!m_db || m_content != Content::Registry) {
    if (const RegCode code = readyToWrite()) return code;
  }
  if (m_readOnly) return win::kAccessDenied;
  inBatch = !m_batch.empty();
  if (inBatch) return startBatchLevels();
  return 0;
}

RegCode SqliteHive::setValue(std::int64_t id, std::string_view name, std::string_view fold, RegType type,
                             std::span<const std::uint8_t> data, bool sameAsCopy, std::optional<Stamp>& copy) {
  const std::optional<Stamp> before = copy;
  copy.reset();
  bool inBatch = false;
  if (const RegCode code = prepareValueWrite(inBatch)) return code;
  // Inside the batch's transaction no other connection can write, so the stamp tells exactly whether the
  // caller's copy is current.
  const bool exact = inBatch && before && *before == stamp();
  if (exact && sameAsCopy) {
    copy = before;
    return 0;
  }
  {
    SqliteStatement::Use upsert(m_sql->upsertValue);
    upsert->bind(1, id);
    upsert->bindText(2, fold);
    upsert->bindText(3, name);
    upsert->bind(4, static_cast<std::int64_t>(type));
    upsert->bindBlob(5, data);
    if (const int rc = upsert->step(); rc != SQLITE_DONE) return writeFailed(rc);
  }
  if (sqlite3_changes(m_db) == 0) return win::kKeyDeleted;
  ++m_localGeneration;
  if (exact) copy = stamp();
  return 0;
}

RegCode SqliteHive::deleteValue(std::int64_t id, std::string_view fold, std::optional<Stamp>& copy) {
  const std::optional<Stamp> before = copy;
  copy.reset();
  bool inBatch = false;
  if (const RegCode code = prepareValueWrite(inBatch)) return code;
  const bool exact = inBatch && before && *before == stamp();
  {
    SqliteStatement::Use remove(m_sql->deleteValue);
    remove->bind(1, id);
    remove->bindText(2, fold);
    if (const int rc = remove->step(); rc != SQLITE_DONE) return writeFailed(rc);
  }
  if (sqlite3_changes(m_db) == 0) {
    if (const RegCode code = keyExists(id)) return code;
    if (exact) copy = before;
    return win::kFileNotFound;
  }
  ++m_localGeneration;
  if (exact) copy = stamp();
  return 0;
}

}  // namespace kip
