#include "sqlite/Database.h"

#include <sqlcipher/sqlite3.h>

#include <utility>

#include "automation/ErrorNumbers.h"

namespace vx::sqlite {
namespace {

constexpr const char* kSource = "SQLite";

// The file name as an SQLite URI: every byte a URI gives a meaning to is escaped.
std::string FileUri(const std::string& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string uri = "file:";
  for (const unsigned char c : path) {
    if (c == '%' || c == '?' || c == '#' || c < 0x20 || c >= 0x7F) {
      uri += '%';
      uri += hex[c >> 4];
      uri += hex[c & 0xF];
    } else {
      uri += static_cast<char>(c);
    }
  }
  return uri;
}

std::string Message(sqlite3* db, int code) {
  const char* m = db ? sqlite3_errmsg(db) : nullptr;
  return m ? m : sqlite3_errstr(code);
}

}  // namespace

SqliteError::SqliteError(int code, std::string source, std::string description)
    : ComError(err::kUnspecified, std::move(source), std::move(description)), code_(code & 0xFF) {}

Database::Database(const std::string& path, OpenMode mode, const std::optional<std::string>& key,
                   int busyTimeoutMs, int cipherPageSize)
    : path_(path) {
  // SQLite's memory statistics take one mutex of the whole process around every
  // allocation: the simulated server's sessions, each on a thread of its own,
  // would wait on it more than they work. Nothing reads the statistics. Set
  // before SQLite's first use; later it is refused and changes nothing.
  static const int unused = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  (void)unused;
  int flags = SQLITE_OPEN_FULLMUTEX;
  switch (mode) {
    case OpenMode::ReadWriteCreate: flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE; break;
    case OpenMode::ReadWrite: flags |= SQLITE_OPEN_READWRITE; break;
    case OpenMode::ReadOnly: flags |= SQLITE_OPEN_READONLY; break;
    case OpenMode::Immutable: flags |= SQLITE_OPEN_READONLY | SQLITE_OPEN_URI; break;
    case OpenMode::ImmutableAttaching: flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI; break;
  }
  const bool immutable = mode == OpenMode::Immutable || mode == OpenMode::ImmutableAttaching;
  const std::string name = immutable ? FileUri(path) + "?immutable=1" : path;
  int rc = sqlite3_open_v2(name.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    std::string msg = Message(db_, rc);
    sqlite3_close(db_);
    db_ = nullptr;
    throw SqliteError(rc, kSource, "Cannot open database file '" + path + "': " + msg);
  }
  sqlite3_busy_timeout(db_, busyTimeoutMs);
  sqlite3_extended_result_codes(db_, 0);
  if (key) {
    rc = sqlite3_key(db_, key->data(), static_cast<int>(key->size()));
    if (rc != SQLITE_OK) {
      sqlite3_close(db_);
      db_ = nullptr;
      throw SqliteError(rc, kSource, "Cannot set the key of database file '" + path + "'.");
    }
    // Plain SQLite ignores the key silently: insist on SQLCipher.
    bool cipher = false;
    {
      Statement s = Prepare("PRAGMA cipher_version");
      cipher = s.Step();
    }
    if (!cipher) {
      sqlite3_close(db_);
      db_ = nullptr;
      throw SqliteError(SQLITE_MISUSE, kSource, "The SQLite engine in use does not encrypt databases.");
    }
    if (cipherPageSize > 0) {
      try {
        Exec("PRAGMA cipher_page_size = " + std::to_string(cipherPageSize));
      } catch (...) {
        sqlite3_close(db_);
        db_ = nullptr;
        throw;
      }
    }
  }
  // Reading the schema proves the file is a database and the key fits it.
  try {
    Exec("SELECT count(*) FROM sqlite_master");
  } catch (const SqliteError& e) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw SqliteError(e.Code(), kSource,
                      "The file '" + path + "' is not a database or cannot be read: " + e.Description());
  }
}

Database::~Database() {
  if (db_) sqlite3_close_v2(db_);
}

Database::Database(Database&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)), path_(std::move(other.path_)) {}

Database& Database::operator=(Database&& other) noexcept {
  if (this != &other) {
    if (db_) sqlite3_close_v2(db_);
    db_ = std::exchange(other.db_, nullptr);
    path_ = std::move(other.path_);
  }
  return *this;
}

void Database::Check(int code, std::string_view what) const {
  if (code == SQLITE_OK || code == SQLITE_ROW || code == SQLITE_DONE) return;
  throw SqliteError(code, kSource, std::string(what) + ": " + Message(db_, code));
}

void Database::Exec(std::string_view sql) {
  std::string text(sql);
  char* errmsg = nullptr;
  int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &errmsg);
  if (rc != SQLITE_OK) {
    std::string msg = errmsg ? errmsg : sqlite3_errstr(rc);
    sqlite3_free(errmsg);
    throw SqliteError(rc, kSource, msg);
  }
}

Statement Database::Prepare(std::string_view sql) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr);
  if (rc != SQLITE_OK) {
    std::string msg = Message(db_, rc);
    sqlite3_finalize(stmt);
    throw SqliteError(rc, kSource, msg);
  }
  return Statement(db_, stmt);
}

int64_t Database::LastInsertRowId() const { return sqlite3_last_insert_rowid(db_); }
int Database::Changes() const { return sqlite3_changes(db_); }

Statement::~Statement() {
  if (stmt_) sqlite3_finalize(stmt_);
}

Statement::Statement(Statement&& other) noexcept
    : db_(other.db_), stmt_(std::exchange(other.stmt_, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
  if (this != &other) {
    if (stmt_) sqlite3_finalize(stmt_);
    db_ = other.db_;
    stmt_ = std::exchange(other.stmt_, nullptr);
  }
  return *this;
}

namespace {
void CheckBind(sqlite3* db, int rc) {
  if (rc != SQLITE_OK) throw SqliteError(rc, kSource, "Cannot bind parameter: " + Message(db, rc));
}
}  // namespace

Statement& Statement::Bind(int index, int64_t value) {
  CheckBind(db_, sqlite3_bind_int64(stmt_, index, value));
  return *this;
}
Statement& Statement::Bind(int index, double value) {
  CheckBind(db_, sqlite3_bind_double(stmt_, index, value));
  return *this;
}
Statement& Statement::Bind(int index, std::string_view text) {
  CheckBind(db_, sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT));
  return *this;
}
Statement& Statement::BindBlob(int index, const std::vector<uint8_t>& blob) {
  CheckBind(db_, sqlite3_bind_blob(stmt_, index, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT));
  return *this;
}
Statement& Statement::BindNull(int index) {
  CheckBind(db_, sqlite3_bind_null(stmt_, index));
  return *this;
}
int Statement::ParameterCount() const { return sqlite3_bind_parameter_count(stmt_); }
int Statement::ParameterIndex(const std::string& name) const {
  return sqlite3_bind_parameter_index(stmt_, name.c_str());
}

bool Statement::Step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  std::string msg = Message(db_, rc);
  sqlite3_reset(stmt_);
  throw SqliteError(rc, kSource, msg);
}

void Statement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

int Statement::ColumnCount() const { return sqlite3_column_count(stmt_); }
std::string Statement::ColumnName(int col) const {
  const char* n = sqlite3_column_name(stmt_, col);
  return n ? n : "";
}
int Statement::ColumnType(int col) const { return sqlite3_column_type(stmt_, col); }
bool Statement::IsNull(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }
int64_t Statement::Int64(int col) const { return sqlite3_column_int64(stmt_, col); }
double Statement::Double(int col) const { return sqlite3_column_double(stmt_, col); }
std::string Statement::Text(int col) const {
  const unsigned char* t = sqlite3_column_text(stmt_, col);
  int n = sqlite3_column_bytes(stmt_, col);
  return t ? std::string(reinterpret_cast<const char*>(t), static_cast<size_t>(n)) : std::string();
}
std::vector<uint8_t> Statement::Blob(int col) const {
  const auto* b = static_cast<const uint8_t*>(sqlite3_column_blob(stmt_, col));
  int n = sqlite3_column_bytes(stmt_, col);
  return b ? std::vector<uint8_t>(b, b + n) : std::vector<uint8_t>();
}

Transaction::Transaction(Database& db, bool immediate) : db_(db) {
  db_.Exec(immediate ? "BEGIN IMMEDIATE" : "BEGIN");
}

Transaction::~Transaction() {
  if (open_) {
    try {
      db_.Exec("ROLLBACK");
    } catch (...) {
    }
  }
}

void Transaction::Commit() {
  db_.Exec("COMMIT");
  open_ = false;
}

std::string QuoteLiteral(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
  return out;
}

std::string QuoteName(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

}  // namespace vx::sqlite
