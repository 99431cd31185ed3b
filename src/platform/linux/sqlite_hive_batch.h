#pragma once

#include <cstdint>
#include <vector>

#include "platform/linux/sqlite_hive_connection.h"
#include "platform/linux/sqlite_hive_schema.h"
#include "platform/registry.h"

namespace kip {

// The nested groups of writes of one hive. The outermost group is one transaction, each inner one a
// savepoint inside it. A group starts at the first write inside it, or at once inside a group that has
// started, so that groups without writes take no lock. Once the transaction is lost or cannot be begun, the
// batch's later writes and its end fail with the code that lost it.
class SqliteHiveBatch {
 public:
  // Makes the statements of one write operation a unit: a transaction of its own, or a savepoint inside the
  // open batch. What is not committed is undone when the scope ends.
  class WriteScope {
   public:
    explicit WriteScope(SqliteHiveBatch& batch) : m_batch(batch) {}
    ~WriteScope();
    WriteScope(const WriteScope&) = delete;
    WriteScope& operator=(const WriteScope&) = delete;

    RegCode begin();
    RegCode commit();

   private:
    void rollback();

    SqliteHiveBatch& m_batch;
    bool m_nested = false;
    bool m_open = false;
  };

  SqliteHiveBatch(SqliteHiveConnection& connection, SqliteHiveSchema& schema);

  // Whether a group is open.
  [[nodiscard]] bool open() const { return !m_levels.empty(); }
  // Opens a nested group; inside a group that has started, it starts at once.
  RegCode begin();
  // Starts the transaction and savepoints of the open groups that have not started yet.
  RegCode start();
  // Closes the innermost open group, keeping or undoing its writes; a group must be open.
  RegCode end(bool commit);
  // Fails the rest of the batch with code (unless it failed already), its transaction being gone.
  void abandon(RegCode code);
  // The registry code for a failed write; when the failure ended the batch's transaction, the rest of the
  // batch must not be committed piecemeal and fails too.
  RegCode writeFailed(int rc);
  // Takes note of a key created with id, whose id a rollback must not give out again.
  void keyCreated(std::int64_t id);

 private:
  struct Level {
    bool started = false;
    bool createdKeys = false;
  };

  SqliteHiveConnection& m_connection;
  SqliteHiveSchema& m_schema;
  std::vector<Level> m_levels;
  RegCode m_error = 0;
  // The highest key id given out. Undoing a batch also undoes the counter of key ids, but handles may still
  // hold the ids it gave out.
  std::int64_t m_issuedId = 0;
};

}  // namespace kip
