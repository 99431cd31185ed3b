#include "platform/linux/sqlite_hive_schema.h"

#include <sqlite3.h>

#include <algorithm>
#include <string>
#include <utility>

#include "base/win_error.h"

namespace kip {

namespace {

// Marks a database as a hive ("KIPL"), so that another program's database is never taken for one.
constexpr std::int64_t kApplicationId = 0x4B49504C;
constexpr std::int64_t kFormatVersion = 1;

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

// Prepares a query of one row and steps to it: SQLITE_ROW, or the SQLite result code that kept it.
int firstRow(SqliteStatement& query, sqlite3* db, const char* sql) {
  if (const int rc = query.prepare(db, sql); rc != SQLITE_OK) return rc;
  return query.step();
}

}  // namespace

SqliteHiveSchema::SqliteHiveSchema(SqliteHiveConnection& connection)
    : m_connection(connection), m_sql(std::make_unique<Statements>()) {}

void SqliteHiveSchema::reset() {
  m_sql = std::make_unique<Statements>();
  m_content = Content::Unknown;
}

int SqliteHiveSchema::inspect(bool check) {
  sqlite3* const db = m_connection.db();
  std::int64_t objects = 0, tables = 0, applicationId = 0, version = 0;
  {
    SqliteStatement query;
    const int rc = firstRow(query, db,
                            "SELECT (SELECT count(*) FROM sqlite_master),"
                            " (SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN ('keys', 'vals')),"
                            " (SELECT application_id FROM pragma_application_id),"
                            " (SELECT user_version FROM pragma_user_version)");
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
    m_connection.setNotice("The registry file " + m_connection.path() + " is not a registry file (" +
                           (newer ? "it was written by a newer version" : "it holds other data") +
                           "); it was left untouched.");
    return SQLITE_OK;
  }
  m_content = Content::Registry;
  if (check) {
    // Damage anywhere must stop every write, not only writes that happen to touch the damaged pages.
    SqliteStatement quick;
    if (const int rc = firstRow(quick, db, "PRAGMA quick_check(1)"); rc != SQLITE_ROW) return rc;
    std::string verdict(quick.columnText(0));
    if (verdict != "ok") {
      std::replace(verdict.begin(), verdict.end(), '\n', ' ');
      m_connection.markDamaged(verdict);
      return SQLITE_OK;
    }
    const int rc = checkTree();
    if (rc != SQLITE_OK || m_connection.damaged()) return rc;
  }
  return prepareStatements();
}

int SqliteHiveSchema::checkTree() {
  // SQLite's own check cannot see a tree damaged by hand, which would make every walk of it endless: a key
  // without a name (its path is its parent's), or keys cut off from the root by a loop of parent links.
  SqliteStatement query;
  const int rc = firstRow(query, m_connection.db(),
                          "SELECT (SELECT count(*) FROM keys WHERE id <> 1 AND (name = '' OR parent IS NULL)),"
                          " (SELECT count(*) FROM keys WHERE id = 1 AND parent IS NULL),"
                          " (WITH RECURSIVE reach(id) AS (SELECT 1 UNION SELECT keys.id FROM keys"
                          "   JOIN reach ON keys.parent = reach.id AND keys.id <> 1) SELECT count(*) FROM reach),"
                          " (SELECT count(*) FROM keys)");
  if (rc != SQLITE_ROW) return rc;
  if (query.columnInt(0) > 0) {
    m_connection.markDamaged("a key has no name");
  } else if (query.columnInt(1) != 1 || query.columnInt(2) != query.columnInt(3)) {
    m_connection.markDamaged("its keys' parent links form a loop or lead nowhere");
  }
  return SQLITE_OK;
}

int SqliteHiveSchema::prepareStatements() {
  if (m_sql->prepared) return SQLITE_OK;
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
    const int rc = statement->prepare(m_connection.db(), sql);
    if (rc != SQLITE_OK) return rc;
  }
  m_sql->prepared = true;
  return SQLITE_OK;
}

RegCode SqliteHiveSchema::createTables() {
  if (const int rc = m_connection.exec("PRAGMA journal_mode=WAL"); rc != SQLITE_OK) return m_connection.fail(rc);
  if (const int rc = m_connection.beginImmediate(); rc != SQLITE_DONE) return m_connection.fail(rc);
  int rc = inspect(false);
  if (rc == SQLITE_OK && m_content == Content::Empty) rc = m_connection.exec(kSchema);
  if (rc == SQLITE_OK) {
    rc = m_connection.commit();
    if (rc == SQLITE_DONE) rc = SQLITE_OK;
  }
  if (rc != SQLITE_OK) {
    const RegCode code = m_connection.fail(rc);
    if (m_connection.inTransaction()) m_connection.rollback();
    m_content = Content::Unknown;
    return code;
  }
  m_connection.markChanged();
  if (m_content == Content::Empty) {
    m_content = Content::Registry;
    if (const int prepared = prepareStatements(); prepared != SQLITE_OK) return m_connection.fail(prepared);
  }
  return m_content == Content::Registry ? 0 : win::kFileCorrupt;
}

void SqliteHiveSchema::restoreKeySequence(std::int64_t issued) {
  if (!m_connection.isOpen() || !m_sql->prepared || issued == 0) return;
  SqliteStatement::Use update(m_sql->restoreSequence);
  update->bind(1, issued);
  update->step();
}

}  // namespace kip
