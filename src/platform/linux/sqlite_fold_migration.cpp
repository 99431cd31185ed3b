#include "platform/linux/sqlite_fold_migration.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/utf8.h"
#include "platform/registry.h"

namespace kip {

namespace {

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

}  // namespace

bool migrateFolds(SqliteHiveConnection& connection) {
  sqlite3* const db = connection.db();
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
    // Names that cannot be scanned now are taken as folded by the current rule.
    if (query.prepare(db, sql) != SQLITE_OK) return false;
    while (query.step() == SQLITE_ROW) {
      std::string name(query.columnText(3));
      if (!hasNonAscii(name) || foldName(name) == query.columnText(2)) continue;
      stale.push_back({query.columnInt(0), isKey ? query.columnInt(1) : 0, std::string(query.columnText(2)), name});
    }
  }
  if (stale.empty() || connection.readOnly() || connection.inTransaction()) return !stale.empty();

  SqliteStatement keyTaken, valueTaken, updateKey, updateValue;
  if (keyTaken.prepare(db, "SELECT 1 FROM keys WHERE parent = ?1 AND fold = ?2") != SQLITE_OK ||
      valueTaken.prepare(db, "SELECT 1 FROM vals WHERE key = ?1 AND fold = ?2") != SQLITE_OK ||
      updateKey.prepare(db, "UPDATE keys SET fold = ?2, name = ?3 WHERE id = ?1") != SQLITE_OK ||
      updateValue.prepare(db, "UPDATE vals SET fold = ?3, name = ?4 WHERE key = ?1 AND fold = ?2") != SQLITE_OK)
    return true;
  if (connection.exec("BEGIN IMMEDIATE") != SQLITE_OK) return true;
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
  if (ok && connection.exec("COMMIT") == SQLITE_OK) {
    connection.markChanged();
    return false;
  }
  if (connection.inTransaction()) connection.exec("ROLLBACK");
  return true;
}

}  // namespace kip
