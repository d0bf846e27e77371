#include "archive/Connection.h"

#include "archive/FaultHook.h"

#include <sqlcipher/sqlite3.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <limits>
#include <sstream>

#include "ArchiveErrors.h"
#include "IdleConnection.h"
#include "PageSize.h"
#include "ProcessLock.h"
#include "Schema.h"
#include "Workgroup.h"
#include "archive/ConnectionString.h"
#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "sqlite/Database.h"

namespace vx::archive {
namespace {

constexpr const char* kSource = "Archive";
constexpr int kOpenBusyTimeoutMs = 1000;
constexpr int kBusyTimeoutMs = 5000;

struct DeclaredParameter {
  std::string name;
  int32_t type = 0;
  int32_t maxSize = 0;
};

std::vector<DeclaredParameter> ParseDeclared(const std::string& text) {
  std::vector<DeclaredParameter> out;
  std::stringstream items(text);
  std::string item;
  while (std::getline(items, item, ';')) {
    std::stringstream parts(item);
    DeclaredParameter p;
    if (parts >> p.name >> p.type >> p.maxSize) out.push_back(p);
  }
  return out;
}

const char* TypeName(int32_t t) {
  switch (t) {
    case 3: return "integer (3)";
    case 7: return "date (7)";
    case 11: return "Boolean (11)";
    case 17: return "unsigned tiny integer (17)";
    case 202: return "text (202)";
    case 203: return "long text (203)";
    default: return "unknown type";
  }
}

[[noreturn]] void ParameterError(const std::string& query, const std::string& why) {
  throw ComError(err::kArchiveParameter, kSource, "Parameters of the stored query '" + query + "' do not match: " + why + ".");
}

void CheckParameter(const std::string& query, size_t index, const DeclaredParameter& d, const Parameter& p) {
  const std::string where = "parameter " + std::to_string(index + 1) + " ('" + p.name + "')";
  if (!std::equal(d.name.begin(), d.name.end(), p.name.begin(), p.name.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
      }))
    ParameterError(query, where + " should be '" + d.name + "'");
  if (static_cast<int32_t>(p.type) != d.type)
    ParameterError(query, where + " is " + TypeName(static_cast<int32_t>(p.type)) + ", the query declares " +
                              TypeName(d.type));
  if (p.size < 0) ParameterError(query, where + " has a negative size");
  const Value& v = p.value;
  if (v.IsNull()) return;
  using K = Value::Kind;
  switch (p.type) {
    case ParamType::Integer:
    case ParamType::UnsignedTinyInt: {
      if (v.GetKind() != K::Integer && v.GetKind() != K::Boolean) ParameterError(query, where + " is not a number");
      const int64_t n = v.AsInteger();
      const bool fits = p.type == ParamType::Integer
                            ? n >= std::numeric_limits<int32_t>::min() && n <= std::numeric_limits<int32_t>::max()
                            : n >= 0 && n <= 255;
      if (!fits)
        throw ComError(err::kArchiveDataOverflow, kSource,
                       "The value of " + where + " of '" + query + "' is out of range.");
      break;
    }
    case ParamType::Date:
      if (v.GetKind() != K::Date && v.GetKind() != K::Real) ParameterError(query, where + " is not a date");
      break;
    case ParamType::Boolean:
      if (v.GetKind() != K::Boolean) ParameterError(query, where + " is not a Boolean");
      break;
    case ParamType::VarWChar:
    case ParamType::LongVarWChar: {
      if (v.GetKind() != K::Text) ParameterError(query, where + " is not text");
      const int32_t chars = CharacterCount(v.AsText());
      if (chars > p.size || (d.maxSize > 0 && chars > d.maxSize))
        throw ComError(err::kArchiveDataOverflow, kSource,
                       "The text of " + where + " of '" + query + "' is longer than its size (" +
                           std::to_string(chars) + " characters for " +
                           std::to_string(d.maxSize > 0 && d.maxSize < p.size ? d.maxSize : p.size) + ").");
      break;
    }
  }
}

Value ColumnValue(sqlite3_stmt* st, int col) {
  const int type = sqlite3_column_type(st, col);
  if (type == SQLITE_NULL) return Value::Null();
  const char* decl = sqlite3_column_decltype(st, col);
  std::string d = decl ? decl : "";
  for (auto& c : d) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (d.find("DATE") != std::string::npos && (type == SQLITE_FLOAT || type == SQLITE_INTEGER))
    return Value::Date(sqlite3_column_double(st, col));
  if (d.find("BOOL") != std::string::npos && type == SQLITE_INTEGER)
    return Value::Boolean(sqlite3_column_int64(st, col) != 0);
  switch (type) {
    case SQLITE_INTEGER: return Value::Integer(sqlite3_column_int64(st, col));
    case SQLITE_FLOAT: return Value::Real(sqlite3_column_double(st, col));
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
      return Value::Text(text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(st, col))) : "");
    }
  }
}

// Owns one prepared statement.
struct StatementHandle {
  sqlite3_stmt* stmt = nullptr;
  StatementHandle() = default;
  StatementHandle(StatementHandle&& o) noexcept : stmt(o.stmt) { o.stmt = nullptr; }
  StatementHandle& operator=(StatementHandle&&) = delete;
  StatementHandle(const StatementHandle&) = delete;
  ~StatementHandle() {
    if (stmt) sqlite3_finalize(stmt);
  }
};

// An archive in the rollback journal's mode (from before) is marked for the
// write-ahead log, once: every later connection finds the mark in the file. A
// file another connection is reading stays as it is this time.
void UseWriteAheadLog(vx::sqlite::Database& db) {
  sqlite3* h = db.Handle();
  sqlite3_busy_timeout(h, 0);
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(h, "PRAGMA journal_mode = WAL", -1, &st, nullptr) == SQLITE_OK) sqlite3_step(st);
  sqlite3_finalize(st);
}

}  // namespace

struct Connection::Impl {
  std::shared_ptr<detail::ProcessLock> lock;
  std::unique_ptr<vx::sqlite::Database> db;
  std::string account;
  std::string path;
  dev_t device = 0;
  ino_t inode = 0;
  std::string key;
  bool inTransaction = false;

  // Ends the call's use of the connection: an open transaction is rolled back,
  // the connection is kept for the next call (see IdleConnection.h), and the
  // file is let go for other processes.
  void End() {
    if (!db) return;
    if (inTransaction) {
      inTransaction = false;
      try {
        db->Exec("ROLLBACK");
      } catch (...) {
      }
    }
    detail::ReturnIdleConnection(path, device, inode, key, std::move(db), lock->File());
    lock.reset();
  }

  struct Prepared {
    StatementHandle statement;
    bool returnsRows;
  };

  Prepared Prepare(const std::string& queryName, const std::vector<Parameter>& parameters) {
    std::string declaredText, body;
    bool returnsRows = false;
    try {
      auto q = db->Prepare("SELECT Parameters, Body, ReturnsRows FROM StoredQueries WHERE Name = ?1");
      q.Bind(1, queryName);
      if (!q.Step())
        throw ComError(err::kArchiveNoQuery, kSource,
                       "The archive database cannot find the stored query '" + queryName + "'.");
      declaredText = q.Text(0);
      body = q.Text(1);
      returnsRows = q.Int64(2) != 0;
    } catch (const vx::sqlite::SqliteError& e) {
      detail::RaiseMapped(e, "Cannot read the stored query '" + queryName + "'");
    }
    const auto declared = ParseDeclared(declaredText);
    if (declared.size() != parameters.size())
      ParameterError(queryName, std::to_string(parameters.size()) + " given, " + std::to_string(declared.size()) +
                                    " declared");
    for (size_t i = 0; i < declared.size(); ++i) CheckParameter(queryName, i, declared[i], parameters[i]);
    sqlite3* h = db->Handle();
    StatementHandle st;
    int rc = sqlite3_prepare_v2(h, body.c_str(), static_cast<int>(body.size()), &st.stmt, nullptr);
    if (rc != SQLITE_OK) detail::RaiseCode(rc, sqlite3_errmsg(h), "The stored query '" + queryName + "' cannot run");
    for (const Parameter& p : parameters) {
      const int index = sqlite3_bind_parameter_index(st.stmt, p.name.c_str());
      if (index == 0) continue;  // declared, not used by the body
      const Value& v = p.value;
      switch (v.GetKind()) {
        case Value::Kind::Null: rc = sqlite3_bind_null(st.stmt, index); break;
        case Value::Kind::Integer:
        case Value::Kind::Boolean: rc = sqlite3_bind_int64(st.stmt, index, v.AsInteger()); break;
        case Value::Kind::Real:
        case Value::Kind::Date: rc = sqlite3_bind_double(st.stmt, index, v.AsReal()); break;
        case Value::Kind::Text:
          rc = sqlite3_bind_text(st.stmt, index, v.AsText().data(), static_cast<int>(v.AsText().size()),
                                 SQLITE_TRANSIENT);
          break;
      }
      if (rc != SQLITE_OK) detail::RaiseCode(rc, sqlite3_errmsg(h), "The stored query '" + queryName + "' failed");
    }
    return Prepared{std::move(st), returnsRows};
  }

  // Steps once: true while a row is ready.
  bool Step(StatementHandle& st, const std::string& queryName) {
    const int rc = sqlite3_step(st.stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    detail::RaiseCode(rc, sqlite3_errmsg(db->Handle()), "The stored query '" + queryName + "' failed");
  }
};

namespace {

FaultHook& Hook() {
  static FaultHook hook;
  return hook;
}

void BeforeOperation(const std::string& operation) {
  if (Hook()) Hook()(operation);
}

}  // namespace

void SetFaultHook(FaultHook hook) { Hook() = std::move(hook); }

Connection::Connection(const std::string& connectionString) : impl_(std::make_unique<Impl>()) {
  BeforeOperation("open");
  const ConnectionString cs = ConnectionString::Parse(connectionString);
  const std::string provider = cs.Get("Provider");
  if (!provider.empty() && strncasecmp(provider.c_str(), "Microsoft.Jet.OLEDB.", 20) != 0)
    throw ComError(err::kArchiveConnectionString, kSource, "Provider cannot be found: '" + provider + "'.");
  const std::string path = cs.DataSource();
  if (path.empty())
    throw ComError(err::kArchiveConnectionString, kSource, "The connection string names no Data Source.");
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    throw ComError(err::kArchiveFileNotFound, kSource, "Could not find file '" + path + "'.");
  // The workgroup file holds the accounts and the key: no file, no archive.
  const detail::Logon logon = detail::LogOn(cs.SystemDatabase(), cs.UserId(), cs.Password());
  impl_->lock = detail::ProcessLock::Acquire(path);
  impl_->path = path;
  impl_->device = st.st_dev;
  impl_->inode = st.st_ino;
  impl_->key = logon.databaseKey;
  impl_->account = logon.account;
  impl_->db = detail::TakeIdleConnection(path, logon.databaseKey);
  const bool fresh = !impl_->db;
  try {
    // A file that another process keeps locked is reported as held within a
    // second (time enough for another process that lets its idle connection go
    // to fold its log); once open, the connection waits for the file as long as
    // any statement may.
    if (fresh)
      impl_->db = detail::OpenArchiveFile(path, vx::sqlite::OpenMode::ReadWrite, logon.databaseKey, kOpenBusyTimeoutMs);
    else
      sqlite3_busy_timeout(impl_->db->Handle(), kOpenBusyTimeoutMs);
    // Durability: a commit is on the disk when it returns. The archive keeps a
    // write-ahead log with synchronous FULL: a commit writes its pages to the log
    // and syncs the log once; a power cut after that loses no row, as the log is
    // read back on the next open. SQLite folds the log into the file now and then
    // (after about a thousand pages), syncing both; the log file is cut back to
    // 4 MB when it starts over. A kept connection has these settings already.
    if (fresh) {
      impl_->db->Exec("PRAGMA synchronous = FULL");
      impl_->db->Exec("PRAGMA journal_size_limit = 4194304");
    }
    {
      auto check = impl_->db->Prepare("SELECT count(*) FROM sqlite_master WHERE name = 'StoredQueries'");
      if (!check.Step() || check.Int64(0) != 1)
        throw ComError(err::kArchiveNotADatabase, kSource,
                       "The file '" + path + "' is not a Vexilon archive database.");
    }
    detail::UpgradeSchema(*impl_->db);
    if (fresh) UseWriteAheadLog(*impl_->db);
    sqlite3_busy_timeout(impl_->db->Handle(), kBusyTimeoutMs);
  } catch (const vx::sqlite::SqliteError& e) {
    impl_->db.reset();
    impl_->lock.reset();
    const int code = e.Code() & 0xFF;
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED) detail::RaiseHeld(path);
    detail::RaiseMapped(e, "Cannot open the archive database '" + path + "'");
  } catch (...) {
    impl_->db.reset();
    impl_->lock.reset();
    throw;
  }
}

Connection::~Connection() {
  if (impl_) impl_->End();
}

Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&&) noexcept = default;

bool Connection::IsOpen() const { return impl_ && impl_->db != nullptr; }
const std::string& Connection::Account() const { return impl_->account; }
bool Connection::InTransaction() const { return impl_ && impl_->inTransaction; }

namespace {
[[noreturn]] void RaiseClosed() {
  throw ComError(err::kRecordsetClosed, kSource, "Operation is not allowed when the object is closed.");
}
}  // namespace

void Connection::BeginTrans() {
  if (!IsOpen()) RaiseClosed();
  if (impl_->inTransaction)
    throw ComError(err::kArchiveQuery, kSource, "A transaction is already open on this connection.");
  BeforeOperation("begin");
  try {
    impl_->db->Exec("BEGIN IMMEDIATE");
  } catch (const vx::sqlite::SqliteError& e) {
    detail::RaiseMapped(e, "Cannot begin a transaction");
  }
  impl_->inTransaction = true;
}

void Connection::CommitTrans() {
  if (!IsOpen()) RaiseClosed();
  if (!impl_->inTransaction) throw ComError(err::kArchiveQuery, kSource, "No transaction is open on this connection.");
  BeforeOperation("commit");
  try {
    impl_->db->Exec("COMMIT");
  } catch (const vx::sqlite::SqliteError& e) {
    detail::RaiseMapped(e, "Cannot commit the transaction");
  }
  impl_->inTransaction = false;
}

void Connection::RollbackTrans() {
  if (!IsOpen()) RaiseClosed();
  if (!impl_->inTransaction) throw ComError(err::kArchiveQuery, kSource, "No transaction is open on this connection.");
  BeforeOperation("rollback");
  impl_->inTransaction = false;
  try {
    impl_->db->Exec("ROLLBACK");
  } catch (const vx::sqlite::SqliteError& e) {
    detail::RaiseMapped(e, "Cannot roll the transaction back");
  }
}

Recordset Connection::OpenRecordset(const std::string& queryName, const std::vector<Parameter>& parameters) {
  if (!IsOpen()) RaiseClosed();
  BeforeOperation(queryName);
  Impl::Prepared p = impl_->Prepare(queryName, parameters);
  if (!p.returnsRows)
    throw ComError(err::kArchiveQuery, kSource, "The stored query '" + queryName + "' returns no rows.");
  sqlite3_stmt* st = p.statement.stmt;
  const int n = sqlite3_column_count(st);
  std::vector<std::string> columns;
  for (int c = 0; c < n; ++c) columns.push_back(sqlite3_column_name(st, c));
  std::vector<std::vector<Value>> rows;
  while (impl_->Step(p.statement, queryName)) {
    std::vector<Value> row;
    row.reserve(static_cast<size_t>(n));
    for (int c = 0; c < n; ++c) row.push_back(ColumnValue(st, c));
    rows.push_back(std::move(row));
  }
  return Recordset(std::move(columns), std::move(rows));
}

void Connection::Execute(const std::string& queryName, const std::vector<Parameter>& parameters) {
  if (!IsOpen()) RaiseClosed();
  BeforeOperation(queryName);
  Impl::Prepared p = impl_->Prepare(queryName, parameters);
  while (impl_->Step(p.statement, queryName)) {
  }
}

void Connection::Close() {
  if (!IsOpen()) RaiseClosed();
  impl_->End();
}

}  // namespace vx::archive
