// Queries run against the per-session catalogue views: their columns as the
// server names and types them, their rows as values.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "Executor.h"
#include "SimSession.h"
#include "SimStore.h"
#include "SimTypes.h"
#include "sqlserver_sim/SimFolder.h"

#include <sqlcipher/sqlite3.h>

namespace vx::sqlsim {

namespace {

// One prepared query: its columns as the server names them, its rows as values.
class Query : public sqlserver::RowCursor {
 public:
  Query(sqlite3* h, sqlite3_stmt* st, const std::vector<sqlserver::Parameter>* parameters) : h_(h), st_(st) {
    const int n = sqlite3_column_count(st);
    dates_.resize(static_cast<size_t>(n));
    widths_.resize(static_cast<size_t>(n));
    for (int c = 0; c < n; ++c) {
      sqlserver::Column col;
      col.name = sqlite3_column_name(st, c) ? sqlite3_column_name(st, c) : "";
      for (size_t p; (p = col.name.find("vx_divisor( ")) != std::string::npos;) col.name.replace(p, 12, "(");
      // SQLite names a column of a flattened view by its expression ("A.name"): keep the column's own name.
      if (size_t dot = col.name.rfind('.'); dot != std::string::npos && col.name.find('(') == std::string::npos) {
        col.name = col.name.substr(dot + 1);
        if (col.name.size() >= 2 && (col.name.front() == '"' || col.name.front() == '['))
          col.name = col.name.substr(1, col.name.size() - 2);
      }
      const char* decl = sqlite3_column_decltype(st, c);
      std::string d = decl ? Upper(decl) : "";
      if (d == "DATETIME") col.kind = sqlserver::Value::Kind::DateTime;
      else if (d == "INTEGER") col.kind = sqlserver::Value::Kind::Integer;
      else col.kind = sqlserver::Value::Kind::Text;
      dates_[static_cast<size_t>(c)] = d == "DATETIME";
      // A column of the server file's tables has the type the catalogue views show.
      const char* table = sqlite3_column_table_name(st, c);
      const char* origin = sqlite3_column_origin_name(st, c);
      if (table && origin) col.sqlType = CatalogColumnType(table, origin);
      // char(n) keeps n characters: the blanks its shorter values are padded with come with them.
      if (col.sqlType.rfind("char(", 0) == 0)
        widths_[static_cast<size_t>(c)] = std::strtoul(col.sqlType.c_str() + 5, nullptr, 10);
      columns_.push_back(std::move(col));
    }
    // The batch's parameters are bound by number (?1 is the first), never written into the text.
    const int bound = sqlite3_bind_parameter_count(st);
    for (int k = 1; parameters && k <= bound && static_cast<size_t>(k) <= parameters->size(); ++k) {
      const sqlserver::Value& v = (*parameters)[static_cast<size_t>(k - 1)].value;
      if (IsBinaryType((*parameters)[static_cast<size_t>(k - 1)].sqlType) && !v.IsNull()) {
        const std::string bytes = v.AsText();  // a binary value's bytes stay bytes
        sqlite3_bind_blob(st, k, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
        continue;
      }
      switch (v.GetKind()) {
        case sqlserver::Value::Kind::Null: sqlite3_bind_null(st, k); break;
        case sqlserver::Value::Kind::Integer: sqlite3_bind_int64(st, k, v.AsInt64()); break;
        case sqlserver::Value::Kind::Float: sqlite3_bind_double(st, k, v.AsDouble()); break;
        case sqlserver::Value::Kind::DateTime: sqlite3_bind_double(st, k, v.AsDate()); break;
        case sqlserver::Value::Kind::Text: {
          const std::string text = v.AsText();
          sqlite3_bind_text(st, k, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        }
      }
    }
  }
  ~Query() override { sqlite3_finalize(st_); }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  const std::vector<sqlserver::Column>& Columns() const { return columns_; }
  // Gives column `c` the server's type `type` unless it has one; a date type makes
  // its numbers dates (the simulator keeps dates as automation dates).
  void Declare(size_t c, const std::string& type) {
    if (c >= columns_.size() || type.empty() || !columns_[c].sqlType.empty()) return;
    columns_[c].sqlType = type;
    const std::string upper = Upper(type);
    if (upper != "DATETIME" && upper != "SMALLDATETIME") return;
    columns_[c].kind = sqlserver::Value::Kind::DateTime;
    dates_[c] = true;
  }
  // Steps to the first row before the columns are sent: a binary value there
  // makes its undeclared column varbinary.
  void Peek() {
    rc_ = sqlite3_step(st_);
    peeked_ = true;
    if (rc_ != SQLITE_ROW && rc_ != SQLITE_DONE && onFailure_) onFailure_();
    for (size_t c = 0; rc_ == SQLITE_ROW && c < columns_.size(); ++c)
      if (columns_[c].sqlType.empty() && sqlite3_column_type(st_, static_cast<int>(c)) == SQLITE_BLOB)
        columns_[c].sqlType = "varbinary(8000)";
  }
  void Rename(size_t c, std::string name) { columns_[c].name = std::move(name); }
  // The step's result code when it failed, after Next returned false.
  int Failure() const { return rc_ == SQLITE_DONE ? SQLITE_OK : rc_; }
  std::string FailureText() const { return sqlite3_errmsg(h_); }

  bool Next(std::vector<sqlserver::Value>& row) override {
    if (peeked_) {
      peeked_ = false;
      if (rc_ != SQLITE_ROW) return false;
    } else {
      if (rc_ != SQLITE_ROW && rc_ != SQLITE_OK) return false;
      rc_ = sqlite3_step(st_);
    }
    if (rc_ != SQLITE_ROW) {
      if (rc_ != SQLITE_DONE && onFailure_) onFailure_();
      return false;
    }
    const size_t n = columns_.size();
    row.clear();
    row.reserve(n);
    for (size_t c = 0; c < n; ++c) {
      const int i = static_cast<int>(c);
      switch (sqlite3_column_type(st_, i)) {
        case SQLITE_NULL: row.push_back(sqlserver::Value::Null()); break;
        case SQLITE_INTEGER:
          row.push_back(dates_[c] ? sqlserver::Value::DateTime(static_cast<double>(sqlite3_column_int64(st_, i)))
                                  : sqlserver::Value::Integer(sqlite3_column_int64(st_, i)));
          break;
        case SQLITE_FLOAT:
          row.push_back(dates_[c] ? sqlserver::Value::DateTime(sqlite3_column_double(st_, i))
                                  : sqlserver::Value::Float(sqlite3_column_double(st_, i)));
          break;
        default: {
          const char* p = static_cast<const char*>(sqlite3_column_blob(st_, i));
          int len = sqlite3_column_bytes(st_, i);
          std::string text = p ? std::string(p, static_cast<size_t>(len)) : std::string();
          if (text.size() < widths_[c]) text.append(widths_[c] - text.size(), ' ');
          row.push_back(sqlserver::Value::Text(std::move(text)));
        }
      }
    }
    return true;
  }
  void Rewind() override {
    sqlite3_reset(st_);
    rc_ = SQLITE_OK;
    peeked_ = false;
  }
  // Called when a step fails (it raises the server's error).
  std::function<void()> onFailure_;

 private:
  sqlite3* h_;
  sqlite3_stmt* st_;
  std::vector<sqlserver::Column> columns_;
  std::vector<bool> dates_;
  std::vector<size_t> widths_;  // of a char(n) column, else 0
  int rc_ = SQLITE_OK;
  bool peeked_ = false;
};

// The type of a catalogue view's column that the file does not keep ("info"),
// "" for another name.
std::string FillerType(const std::string& column) {
  static const char* const kSmallint[] = {"info", "ftcatid", "userstat", "sysstat", "indexdel", "cache",
                                          "language", "altuid", "gid"};
  static const char* const kInt[] = {"status",  "replinfo", "stats_schema_ver", "version", "deltrig",
                                     "instrig", "updtrig",  "seltrig", "islogin", "isntname", "isntgroup",
                                     "isaliased"};
  for (const char* c : kSmallint)
    if (column == c) return "smallint";
  for (const char* c : kInt)
    if (column == c) return "int";
  return {};
}

}  // namespace

int Executor::ParameterIndex(const std::string& upperName) const {
  if (!s_.parameters_) return -1;
  for (size_t i = 0; i < s_.parameters_->size(); ++i)
    if (Upper((*s_.parameters_)[i].name) == upperName) return static_cast<int>(i);
  return -1;
}

sqlite3_stmt* Executor::Prepare(const std::string& sql, size_t from, size_t to) {
  s_.BindViews();
  sqlite3* h = s_.Db().Handle();
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(h, sql.c_str(), static_cast<int>(sql.size()), &st, nullptr);
  if (rc != SQLITE_OK) {
    std::string msg = sqlite3_errmsg(h);
    sqlite3_finalize(st);
    throw QueryError(rc, msg, from, to);
  }
  return st;
}

sqlserver::ResultSet Executor::RunQuery(const std::string& sql, size_t from, size_t to) {
  Query q(s_.Db().Handle(), Prepare(sql, from, to), s_.parameters_);
  sqlserver::ResultSet rs;
  rs.columns = q.Columns();
  std::vector<sqlserver::Value> row;
  while (q.Next(row)) rs.rows.push_back(std::move(row));
  if (q.Failure() != SQLITE_OK) throw QueryError(q.Failure(), q.FailureText(), from, to);
  return rs;
}

void Executor::StreamQuery(const std::string& sql, size_t from, size_t to) {
  Query q(s_.Db().Handle(), Prepare(sql, from, to), s_.parameters_);
  const auto types = SelectListTypes(from, to);
  if (types.size() == q.Columns().size())
    for (size_t c = 0; c < types.size(); ++c) q.Declare(c, types[c]);
  // `*` over the catalogue: the columns the file does not keep have the server's types;
  // sysusers, whose columns the simulator does not all keep, is refused
  bool star = false, users = false;
  int depth = 0;
  for (size_t k = from; k < to; ++k) {
    if (IsSymbol(k, "(")) ++depth;
    else if (IsSymbol(k, ")")) --depth;
    else if (depth == 0 && IsSymbol(k, "*") &&
             (IsWord(k - 1, "SELECT") || IsSymbol(k - 1, ",") || IsSymbol(k - 1, ".") || IsWord(k - 1, "DISTINCT") ||
              IsWord(k - 2, "TOP")))
      star = true;
    else if (IsIdentifier(k) && Lower(Tk(k).kind == Tok::Word ? Tk(k).text : Tk(k).value) == "sysusers")
      users = true;
  }
  if (star && users) throw Unsupported("SELECT * from sysusers");
  if (star)
    for (size_t c = 0; c < q.Columns().size(); ++c) q.Declare(c, FillerType(q.Columns()[c].name));
  // An expression without an alias has no name, as the server sends it.
  const auto items = SelectListItems(from, to);
  if (items.size() == q.Columns().size())
    for (size_t c = 0; c < items.size(); ++c)
      if (!KeepsSqliteName(items[c].first, items[c].second)) q.Rename(c, "");
  // A failing step ends the result set where it stands, with the server's error.
  q.onFailure_ = [&] { throw QueryError(q.Failure(), q.FailureText(), from, to); };
  q.Peek();
  out_.ResultSet(q.Columns(), q);
}

}  // namespace vx::sqlsim
