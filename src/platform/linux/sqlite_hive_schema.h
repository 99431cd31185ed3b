#pragma once

#include <cstdint>
#include <memory>

#include "platform/linux/sqlite_hive_connection.h"
#include "platform/linux/sqlite_statement.h"
#include "platform/registry.h"

namespace kip {

// The tables of a hive file: what an opened file holds, whether its tree of keys is sound, the tables of a
// new file, and the statements that read and write them.
class SqliteHiveSchema {
 public:
  // The id of the root key, which every path starts from.
  static constexpr std::int64_t kRootId = 1;

  enum class Content { Unknown, Empty, Registry, Foreign };

  // The statements of the key tree, prepared once the file is known to hold a registry.
  struct Statements {
    SqliteStatement findChild, keyExists, values, subkeys, insertKey, upsertValue, deleteValue;
    SqliteStatement deleteTreeValues, deleteTreeKeys, renameKey, copyValues, restoreSequence;
    bool prepared = false;
  };

  explicit SqliteHiveSchema(SqliteHiveConnection& connection);

  // What the open file holds; Unknown before inspect() and after reset().
  [[nodiscard]] Content content() const { return m_content; }
  // Tells what the open file holds and, for a registry, prepares the statements. check also runs the checks
  // that find a damaged file, which is then marked damaged. A foreign file gets a notice. Returns the SQLite
  // result code.
  int inspect(bool check);
  // Creates the tables in an empty file that may be written, unless another process has done so meanwhile;
  // 1392 when the file turns out to hold something else.
  RegCode createTables();
  // Forgets the content and finalizes the statements; called before the connection closes.
  void reset();

  [[nodiscard]] Statements& statements() { return *m_sql; }
  // Raises the counter of key ids to issued where a rollback has set it lower.
  void restoreKeySequence(std::int64_t issued);

 private:
  int checkTree();
  int prepareStatements();

  SqliteHiveConnection& m_connection;
  Content m_content = Content::Unknown;
  std::unique_ptr<Statements> m_sql;
};

}  // namespace kip
