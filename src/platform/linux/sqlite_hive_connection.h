#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "platform/linux/sqlite_statement.h"
#include "platform/registry.h"

struct sqlite3;

namespace kip {

// The SQLite connection to one hive file and what the file system allows with it: whether the file may be
// read, written or created, the folders a new file needs and the modes of both, the transactions of the
// connection, and what was found wrong with the file. One thread at a time.
class SqliteHiveConnection {
 public:
  // Tells whether a copy of a key's contents is still current. It changes with every write through this
  // connection and with every change by another connection that this one has seen in a transaction.
  struct Stamp {
    std::uint64_t local = 0;
    std::uint32_t data = 0;
    bool operator==(const Stamp&) const = default;
  };

  // Keeps the reads of one operation in one read transaction, unless a transaction is open already.
  class ReadScope {
   public:
    explicit ReadScope(SqliteHiveConnection& connection);
    ~ReadScope();
    ReadScope(const ReadScope&) = delete;
    ReadScope& operator=(const ReadScope&) = delete;

   private:
    SqliteHiveConnection& m_connection;
    bool m_own;
  };

  // privateFolder: folders made for the file get mode 0700 instead of 0755, the file 0600 instead of 0644.
  SqliteHiveConnection(std::string path, bool privateFolder);
  // Statements prepared on the connection by others must be finalized first.
  ~SqliteHiveConnection();
  SqliteHiveConnection(const SqliteHiveConnection&) = delete;
  SqliteHiveConnection& operator=(const SqliteHiveConnection&) = delete;

  [[nodiscard]] const std::string& path() const { return m_path; }
  [[nodiscard]] sqlite3* db() const { return m_db; }
  [[nodiscard]] bool isOpen() const { return m_db != nullptr; }

  // Whether the existing file may be read: 2 when it is missing, 5 when it may not be read or is no regular
  // file. The notice says why, unless the file is simply missing.
  RegCode readPermission();
  // Whether the file may be written, or created when it is missing (exists tells which): 3 when no folder for
  // it can be made, 5 when the file or the nearest existing folder may not be written.
  RegCode writePermission(bool& exists);
  // Makes the folders a new file needs, with their modes; exists tells whether the file is there already.
  // 5 when the path names something else than a regular file.
  RegCode prepareFile(bool& exists);

  // Opens the file by its path, read-write when this user may write it; create makes the file, with its mode.
  // Returns the SQLite result code.
  int open(bool create);
  // Opens the file to read it as it stands, without locks or -shm file, once open() was refused and the
  // connection closed.
  int openAsItStands();
  // Learns whether the connection may write the file, which SQLite knows for sure only once it has read it.
  void learnAccess();
  // Records why the file could not be opened and returns the code for it; the caller closes the connection.
  RegCode openFailed(int rc);
  // Closes the connection; a damaged file gets nothing written back, not even a checkpoint.
  void close();
  // Switches a registry file that may be written to write-ahead logging, which lets readers go on while
  // another process writes.
  void useWriteAheadLog();
  // How long writes wait for another connection's write lock; nothing for the usual time.
  void setLockWait(std::optional<std::uint32_t> waitMs);

  // The connection may read the file but not write it.
  [[nodiscard]] bool readOnly() const { return m_readOnly; }
  // readOnly() because this user could not write the file when it was opened; a later open may write.
  [[nodiscard]] bool readOnlyByPermission() const { return m_readOnlyByPermission; }
  [[nodiscard]] bool inTransaction() const;

  // Each returns the SQLite result code of the statement, SQLITE_DONE on success. begin() starts a deferred
  // transaction, beginImmediate() one that holds the write lock; the savepoint is that of one write operation.
  int begin();
  int beginImmediate();
  int commit();
  int rollback();
  int savepoint();
  int releaseSavepoint();
  int rollbackToSavepoint();
  // Runs one or more statements without results; returns the SQLite result code.
  int exec(const std::string& sql);

  // The registry code for a SQLite result code; a damaged file is marked so.
  RegCode fail(int rc);
  // Remembers the first damage found in the file, which is then used no more.
  void markDamaged(const std::string& detail);
  [[nodiscard]] bool damaged() const { return !m_damaged.empty(); }
  // Replaces the description of what keeps the file from being used.
  void setNotice(std::string notice) { m_notice = std::move(notice); }
  // A one-line description of what makes the file unusable, empty when nothing does.
  [[nodiscard]] const std::string& problem() const { return m_damaged.empty() ? m_notice : m_damaged; }

  // Makes every stamp taken before stale; called after every change of what the connection sees.
  void markChanged() { ++m_generation; }
  // The stamp a copy taken now would carry.
  [[nodiscard]] Stamp stamp() const;

 private:
  struct Transactions {
    SqliteStatement begin, beginImmediate, commit, rollback;
    SqliteStatement savepoint, release, rollbackTo;
  };

  int openConnection(const std::string& name, int flags);
  [[nodiscard]] std::string danglingFolderNotice() const;

  std::string m_path;
  bool m_privateFolder;
  sqlite3* m_db = nullptr;
  Transactions m_transactions;
  bool m_wantWrite = false;
  bool m_readOnly = false;
  bool m_readOnlyByPermission = false;
  std::uint64_t m_generation = 1;
  std::string m_damaged;
  std::string m_notice;
  int m_lockWaitMs;
};

}  // namespace kip
