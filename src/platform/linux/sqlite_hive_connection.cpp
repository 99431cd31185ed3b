#include "platform/linux/sqlite_hive_connection.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "base/win_error.h"

namespace kip {

namespace {

constexpr int kBusyTimeoutMs = 5000;

constexpr RegCode kNotEnoughMemory = 8;
constexpr RegCode kDiskFull = 112;

bool accessible(const std::string& path, int mode) {
  return ::faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0;
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

std::filesystem::path parentFolder(const std::string& path) {
  auto folder = std::filesystem::path(path).parent_path();
  return folder.empty() ? std::filesystem::path(".") : folder;
}

int run(SqliteStatement& statement) {
  SqliteStatement::Use use(statement);
  return use->step();
}

}  // namespace

SqliteHiveConnection::ReadScope::ReadScope(SqliteHiveConnection& connection)
    : m_connection(connection), m_own(!connection.inTransaction()) {
  if (m_own) m_connection.begin();
}

SqliteHiveConnection::ReadScope::~ReadScope() {
  if (m_own && m_connection.inTransaction()) m_connection.commit();
}

SqliteHiveConnection::SqliteHiveConnection(std::string path, bool privateFolder)
    : m_path(std::move(path)), m_privateFolder(privateFolder), m_lockWaitMs(kBusyTimeoutMs) {}

SqliteHiveConnection::~SqliteHiveConnection() { close(); }

// --- The file and its folders -------------------------------------------------------------------------------

RegCode SqliteHiveConnection::readPermission() {
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
  return 0;
}

RegCode SqliteHiveConnection::writePermission(bool& exists) {
  struct stat info {};
  exists = ::stat(m_path.c_str(), &info) == 0;
  if (!exists) {
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
  return accessible(m_path, W_OK) ? 0 : win::kAccessDenied;
}

std::string SqliteHiveConnection::danglingFolderNotice() const {
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

RegCode SqliteHiveConnection::prepareFile(bool& exists) {
  struct stat info {};
  exists = ::stat(m_path.c_str(), &info) == 0;
  if (exists) return S_ISREG(info.st_mode) ? 0 : win::kAccessDenied;
  const mode_t mode = m_privateFolder ? 0700 : 0755;
  std::vector<std::filesystem::path> missing;
  for (auto folder = parentFolder(m_path);;) {
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

// --- Opening and closing ------------------------------------------------------------------------------------

int SqliteHiveConnection::open(bool create) {
  m_wantWrite = create || accessible(m_path, W_OK);
  int flags = SQLITE_OPEN_NOMUTEX | (m_wantWrite ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY);
  if (create) flags |= SQLITE_OPEN_CREATE;
  const int rc = openConnection(m_path, flags);
  // The mode is meant exactly, whatever the umask: a machine hive must be readable by every user. SQLite
  // gives its journal files the mode of the database file.
  if (rc == SQLITE_OK && create) ::chmod(m_path.c_str(), m_privateFolder ? 0600 : 0644);
  return rc;
}

int SqliteHiveConnection::openAsItStands() {
  return openConnection(immutableUri(m_path), SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
}

int SqliteHiveConnection::openConnection(const std::string& name, int flags) {
  ++m_generation;
  int rc = sqlite3_open_v2(name.c_str(), &m_db, flags, nullptr);
  if (rc != SQLITE_OK) return rc;
  sqlite3_extended_result_codes(m_db, 1);
  sqlite3_busy_timeout(m_db, m_lockWaitMs);
  exec("PRAGMA synchronous=NORMAL");
  const std::pair<SqliteStatement*, const char*> statements[] = {
      {&m_transactions.begin, "BEGIN"},
      {&m_transactions.beginImmediate, "BEGIN IMMEDIATE"},
      {&m_transactions.commit, "COMMIT"},
      {&m_transactions.rollback, "ROLLBACK"},
      {&m_transactions.savepoint, "SAVEPOINT kip_operation"},
      {&m_transactions.release, "RELEASE kip_operation"},
      {&m_transactions.rollbackTo, "ROLLBACK TO kip_operation"},
  };
  for (const auto& [statement, sql] : statements) {
    rc = statement->prepare(m_db, sql);
    if (rc != SQLITE_OK) return rc;
  }
  return SQLITE_OK;
}

void SqliteHiveConnection::learnAccess() {
  m_readOnly = sqlite3_db_readonly(m_db, "main") == 1;
  m_readOnlyByPermission = m_readOnly && !m_wantWrite;
}

RegCode SqliteHiveConnection::openFailed(int rc) {
  const std::string reason = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
  const RegCode code = m_damaged.empty() ? fail(rc) : win::kFileCorrupt;
  if (m_damaged.empty()) m_notice = "The registry file " + m_path + " cannot be opened (" + reason + ").";
  return code;
}

void SqliteHiveConnection::close() {
  for (auto* statement :
       {&m_transactions.begin, &m_transactions.beginImmediate, &m_transactions.commit, &m_transactions.rollback,
        &m_transactions.savepoint, &m_transactions.release, &m_transactions.rollbackTo})
    statement->finalize();
  if (m_db) {
    if (!m_damaged.empty()) sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, static_cast<int*>(nullptr));
    sqlite3_close(m_db);
  }
  m_db = nullptr;
  m_readOnly = false;
  m_readOnlyByPermission = false;
  ++m_generation;
}

void SqliteHiveConnection::useWriteAheadLog() {
  SqliteStatement mode;
  if (mode.prepare(m_db, "PRAGMA journal_mode") == SQLITE_OK && mode.step() == SQLITE_ROW &&
      mode.columnText(0) != "wal") {
    mode.finalize();
    exec("PRAGMA journal_mode=WAL");
  }
}

void SqliteHiveConnection::setLockWait(std::optional<std::uint32_t> waitMs) {
  m_lockWaitMs = waitMs ? static_cast<int>(std::min<std::uint32_t>(*waitMs, kBusyTimeoutMs)) : kBusyTimeoutMs;
  if (m_db) sqlite3_busy_timeout(m_db, m_lockWaitMs);
}

// --- Transactions and statements ----------------------------------------------------------------------------

bool SqliteHiveConnection::inTransaction() const { return m_db && sqlite3_get_autocommit(m_db) == 0; }

int SqliteHiveConnection::begin() { return run(m_transactions.begin); }

int SqliteHiveConnection::beginImmediate() { return run(m_transactions.beginImmediate); }

int SqliteHiveConnection::commit() { return run(m_transactions.commit); }

int SqliteHiveConnection::rollback() { return run(m_transactions.rollback); }

int SqliteHiveConnection::savepoint() { return run(m_transactions.savepoint); }

int SqliteHiveConnection::releaseSavepoint() { return run(m_transactions.release); }

int SqliteHiveConnection::rollbackToSavepoint() { return run(m_transactions.rollbackTo); }

int SqliteHiveConnection::exec(const std::string& sql) {
  return sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr);
}

// --- What went wrong ----------------------------------------------------------------------------------------

RegCode SqliteHiveConnection::fail(int rc) {
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

void SqliteHiveConnection::markDamaged(const std::string& detail) {
  if (!m_damaged.empty()) return;
  m_damaged = "The registry file " + m_path + " is damaged (" + detail + "); it was left untouched.";
}

SqliteHiveConnection::Stamp SqliteHiveConnection::stamp() const {
  Stamp stamp;
  stamp.local = m_generation;
  if (m_db) {
    unsigned int version = 0;
    sqlite3_file_control(m_db, "main", SQLITE_FCNTL_DATA_VERSION, &version);
    stamp.data = version;
  }
  return stamp;
}

}  // namespace kip
