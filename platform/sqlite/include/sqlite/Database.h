#pragma once
// A thin RAII layer over SQLCipher, the one SQLite engine of the project.
// Failures are raised as SqliteError, a ComError that also keeps SQLite's code.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "automation/ComError.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vx::sqlite {

class SqliteError : public ComError {
 public:
  SqliteError(int code, std::string source, std::string description);
  int Code() const noexcept { return code_; }  // SQLite's primary result code

 private:
  int code_;
};

// Immutable reads the file alone, as it is: no lock is taken, and nothing is
// created beside it (no log, no log index), also for a file in log mode.
// ImmutableAttaching reads its file so too, while files it attaches may be
// written (the source of a copy written into an attached file).
enum class OpenMode { ReadWriteCreate, ReadWrite, ReadOnly, Immutable, ImmutableAttaching };

class Statement;

class Database {
 public:
  // Opens (or creates) a database file. With a key the file is opened encrypted
  // and the engine is required to be SQLCipher; the key is never put in an error.
  // cipherPageSize is the encrypted file's page size (0: SQLCipher's default).
  explicit Database(const std::string& path, OpenMode mode = OpenMode::ReadWriteCreate,
                    const std::optional<std::string>& key = std::nullopt, int busyTimeoutMs = 5000,
                    int cipherPageSize = 0);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;
  Database(Database&& other) noexcept;
  Database& operator=(Database&& other) noexcept;

  void Exec(std::string_view sql);
  Statement Prepare(std::string_view sql);
  int64_t LastInsertRowId() const;
  int Changes() const;
  const std::string& Path() const { return path_; }
  sqlite3* Handle() const { return db_; }

  // Raises a SqliteError for code unless it is SQLITE_OK/ROW/DONE.
  void Check(int code, std::string_view what) const;

 private:
  sqlite3* db_ = nullptr;
  std::string path_;
};

class Statement {
 public:
  Statement(sqlite3* db, sqlite3_stmt* stmt) : db_(db), stmt_(stmt) {}
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  Statement(Statement&& other) noexcept;
  Statement& operator=(Statement&& other) noexcept;

  // Parameters are 1-based, as SQLite counts them.
  Statement& Bind(int index, int64_t value);
  Statement& Bind(int index, int value) { return Bind(index, static_cast<int64_t>(value)); }
  Statement& Bind(int index, double value);
  Statement& Bind(int index, std::string_view text);
  Statement& Bind(int index, const char* text) { return Bind(index, std::string_view(text)); }
  Statement& Bind(int index, const std::string& text) { return Bind(index, std::string_view(text)); }
  Statement& BindBlob(int index, const std::vector<uint8_t>& blob);
  Statement& BindNull(int index);
  int ParameterCount() const;
  int ParameterIndex(const std::string& name) const;  // 0 when there is none

  // True while a row is ready; false when done.
  bool Step();
  void Reset();

  int ColumnCount() const;
  std::string ColumnName(int col) const;
  int ColumnType(int col) const;  // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB, SQLITE_NULL
  bool IsNull(int col) const;
  int64_t Int64(int col) const;
  int Int(int col) const { return static_cast<int>(Int64(col)); }
  double Double(int col) const;
  std::string Text(int col) const;
  std::vector<uint8_t> Blob(int col) const;

 private:
  sqlite3* db_ = nullptr;
  sqlite3_stmt* stmt_ = nullptr;
};

// BEGIN (IMMEDIATE when asked) on construction, ROLLBACK in the destructor unless committed.
class Transaction {
 public:
  explicit Transaction(Database& db, bool immediate = true);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit();

 private:
  Database& db_;
  bool open_ = true;
};

// Quotes text as an SQL string literal ('' doubles a quote).
std::string QuoteLiteral(std::string_view text);
// Quotes a name (of a table, a column) as an SQL identifier ("" doubles a quote).
std::string QuoteName(std::string_view name);

}  // namespace vx::sqlite
