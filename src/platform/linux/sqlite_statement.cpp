#include "platform/linux/sqlite_statement.h"

#include <sqlite3.h>

namespace kip {

SqliteStatement::~SqliteStatement() { finalize(); }

int SqliteStatement::prepare(sqlite3* db, std::string_view sql) {
  finalize();
  return sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr);
}

void SqliteStatement::finalize() {
  if (m_stmt) sqlite3_finalize(m_stmt);
  m_stmt = nullptr;
}

void SqliteStatement::bind(int index, std::int64_t value) { sqlite3_bind_int64(m_stmt, index, value); }

void SqliteStatement::bindText(int index, std::string_view text) {
  // A null pointer would bind NULL; an empty name must stay an empty text.
  sqlite3_bind_text(m_stmt, index, text.empty() ? "" : text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

void SqliteStatement::bindBlob(int index, std::span<const std::uint8_t> data) {
  if (data.empty())
    sqlite3_bind_zeroblob(m_stmt, index, 0);
  else
    sqlite3_bind_blob(m_stmt, index, data.data(), static_cast<int>(data.size()), SQLITE_STATIC);
}

int SqliteStatement::step() { return sqlite3_step(m_stmt); }

void SqliteStatement::reset() {
  if (!m_stmt) return;
  sqlite3_reset(m_stmt);
  sqlite3_clear_bindings(m_stmt);
}

std::int64_t SqliteStatement::columnInt(int column) const { return sqlite3_column_int64(m_stmt, column); }

std::string_view SqliteStatement::columnText(int column) const {
  const auto* text = sqlite3_column_text(m_stmt, column);
  const auto size = sqlite3_column_bytes(m_stmt, column);
  if (!text) return {};
  return {reinterpret_cast<const char*>(text), static_cast<std::size_t>(size)};
}

std::span<const std::uint8_t> SqliteStatement::columnBlob(int column) const {
  const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(m_stmt, column));
  const auto size = sqlite3_column_bytes(m_stmt, column);
  if (!data) return {};
  return {data, static_cast<std::size_t>(size)};
}

bool SqliteStatement::columnIsNull(int column) const { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }

}  // namespace kip
