#include "platform/linux/sqlite_hive_batch.h"

#include <sqlite3.h>

#include <algorithm>
#include <string>

#include "base/win_error.h"

namespace kip {

SqliteHiveBatch::WriteScope::~WriteScope() {
  if (m_open) rollback();
}

RegCode SqliteHiveBatch::WriteScope::begin() {
  m_nested = m_batch.open();
  if (m_nested) {
    if (const RegCode code = m_batch.start()) return code;
  }
  SqliteHiveConnection& connection = m_batch.m_connection;
  const int rc = m_nested ? connection.savepoint() : connection.beginImmediate();
  if (rc != SQLITE_DONE) return m_batch.writeFailed(rc);
  m_open = true;
  return 0;
}

RegCode SqliteHiveBatch::WriteScope::commit() {
  SqliteHiveConnection& connection = m_batch.m_connection;
  const int rc = m_nested ? connection.releaseSavepoint() : connection.commit();
  if (rc == SQLITE_DONE) {
    m_open = false;
    return 0;
  }
  const RegCode code = m_batch.writeFailed(rc);
  rollback();
  m_open = false;
  return code;
}

void SqliteHiveBatch::WriteScope::rollback() {
  SqliteHiveConnection& connection = m_batch.m_connection;
  if (!connection.inTransaction()) return;
  if (m_nested) {
    connection.rollbackToSavepoint();
    connection.releaseSavepoint();
  } else {
    connection.rollback();
  }
}

SqliteHiveBatch::SqliteHiveBatch(SqliteHiveConnection& connection, SqliteHiveSchema& schema)
    : m_connection(connection), m_schema(schema) {}

RegCode SqliteHiveBatch::begin() {
  m_levels.push_back({});
  if (m_levels.size() > 1 && m_levels[m_levels.size() - 2].started) {
    if (const RegCode code = start()) {
      m_levels.pop_back();
      return code;
    }
  }
  return 0;
}

RegCode SqliteHiveBatch::start() {
  if (m_error) return m_error;
  for (std::size_t i = 0; i < m_levels.size(); ++i) {
    if (m_levels[i].started) continue;
    int rc = SQLITE_OK;
    if (i == 0) {
      // IMMEDIATE: a deferred transaction that has read cannot take the write lock once another process
      // has committed, and would fail instead of waiting.
      rc = m_connection.beginImmediate();
      if (rc == SQLITE_DONE) rc = SQLITE_OK;
    } else {
      rc = m_connection.exec("SAVEPOINT kip_batch_" + std::to_string(i));
    }
    if (rc != SQLITE_OK) {
      // The batch cannot be all or nothing any more; its later writes fail at once instead of waiting again.
      const RegCode code = m_connection.fail(rc);
      if (i == 0) m_error = code;
      return code;
    }
    m_levels[i].started = true;
  }
  return 0;
}

RegCode SqliteHiveBatch::end(bool commit) {
  const Level level = m_levels.back();
  m_levels.pop_back();
  const std::size_t depth = m_levels.size();
  if (m_error) {
    const RegCode code = commit ? m_error : 0;
    if (m_levels.empty()) m_error = 0;
    return code;
  }
  if (!level.started) return 0;
  if (!m_connection.inTransaction()) return commit ? win::kGenFailure : 0;
  int rc = SQLITE_OK;
  if (depth == 0) {
    rc = commit ? m_connection.commit() : m_connection.rollback();
    if (rc == SQLITE_DONE) rc = SQLITE_OK;
  } else {
    const std::string name = "kip_batch_" + std::to_string(depth);
    if (commit) {
      rc = m_connection.exec("RELEASE " + name);
    } else {
      rc = m_connection.exec("ROLLBACK TO " + name);
      if (rc == SQLITE_OK) rc = m_connection.exec("RELEASE " + name);
    }
  }
  if (rc != SQLITE_OK) {
    const RegCode code = m_connection.fail(rc);
    if (m_connection.inTransaction()) m_connection.rollback();
    abandon(code);
    m_connection.markChanged();
    m_schema.restoreKeySequence(m_issuedId);
    return code;
  }
  if (commit) {
    if (depth > 0) m_levels.back().createdKeys |= level.createdKeys;
  } else {
    m_connection.markChanged();
    if (level.createdKeys) m_schema.restoreKeySequence(m_issuedId);
  }
  return 0;
}

void SqliteHiveBatch::abandon(RegCode code) {
  if (!m_levels.empty() && m_error == 0) m_error = code;
  for (auto& level : m_levels) level.started = false;
}

RegCode SqliteHiveBatch::writeFailed(int rc) {
  const RegCode code = m_connection.fail(rc);
  if (!m_levels.empty() && m_levels.front().started && !m_connection.inTransaction()) {
    abandon(code);
    m_connection.markChanged();
  }
  return code;
}

void SqliteHiveBatch::keyCreated(std::int64_t id) {
  m_issuedId = std::max(m_issuedId, id);
  if (!m_levels.empty()) m_levels.back().createdKeys = true;
}

}  // namespace kip
