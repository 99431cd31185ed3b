#pragma once

#include <cstdint>
#include <span>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace kip {

// A prepared SQLite statement kept for the life of its connection.
class SqliteStatement {
 public:
  SqliteStatement() = default;
  ~SqliteStatement();
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  // Prepares sql on db for repeated use; returns the SQLite result code.
  int prepare(sqlite3* db, std::string_view sql);
  // Releases the statement; it must be prepared again before use.
  void finalize();
  [[nodiscard]] bool prepared() const { return m_stmt != nullptr; }

  // Parameters are numbered from 1. Texts and blobs are not copied: they must outlive the next step().
  void bind(int index, std::int64_t value);
  void bindText(int index, std::string_view text);
  void bindBlob(int index, std::span<const std::uint8_t> data);

  // Runs the statement one row further: SQLITE_ROW, SQLITE_DONE or an error code.
  int step();
  // Ends the current run and forgets the parameters, so that no read stays open.
  void reset();

  // Columns of the current row, numbered from 0.
  [[nodiscard]] std::int64_t columnInt(int column) const;
  [[nodiscard]] std::string_view columnText(int column) const;
  [[nodiscard]] std::span<const std::uint8_t> columnBlob(int column) const;
  [[nodiscard]] bool columnIsNull(int column) const;

  // Resets a statement when the scope that uses it ends.
  class Use {
   public:
    explicit Use(SqliteStatement& statement) : m_statement(statement) {}
    ~Use() { m_statement.reset(); }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    SqliteStatement* operator->() { return &m_statement; }

   private:
    SqliteStatement& m_statement;
  };

 private:
  sqlite3_stmt* m_stmt = nullptr;
};

}  // namespace kip
