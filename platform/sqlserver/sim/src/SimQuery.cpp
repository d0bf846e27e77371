// Queries: T-SQL expression text translated for SQLite, run against the
// per-session catalogue views, with the server's functions registered.
#include <algorithm>
#include <array>
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

bool IsSystemTable(const std::string& upper) {
  static const std::array<std::string_view, 6> t{"SYSOBJECTS", "SYSCOMMENTS", "SYSUSERS",
                                                 "SYSMEMBERS", "SYSDATABASES", "SYSLOGINS"};
  return std::find(t.begin(), t.end(), upper) != t.end();
}

std::string QuoteIdent(const std::string& s) {
  std::string r = "\"";
  for (char c : s) {
    r += c;
    if (c == '"') r += '"';
  }
  return r + "\"";
}

// A string literal for SQLite, which ends a statement's text at a NUL: one
// inside the value is joined in as char(0).
std::string Literal(const std::string& value) {
  if (value.find('\0') == std::string::npos) return sqlite::QuoteLiteral(value);
  std::string out = "(";
  size_t from = 0;
  for (size_t at; (at = value.find('\0', from)) != std::string::npos; from = at + 1)
    out += sqlite::QuoteLiteral(value.substr(from, at - from)) + " || char(0) || ";
  return out + sqlite::QuoteLiteral(value.substr(from)) + ")";
}

}  // namespace

std::string Executor::Translate(size_t from, size_t to) {
  std::string out;
  std::string limit;
  auto emit = [&](const std::string& s) {
    if (!out.empty() && out.back() != '.' && s != ".") out += ' ';
    out += s;
  };
  // The right operand of '/' and '%' is checked for zero (8134), as the server does.
  std::vector<size_t> divisorEnds;
  auto closeDivisors = [&](size_t before) {
    while (!divisorEnds.empty() && divisorEnds.back() < before) {
      out += ")";
      divisorEnds.pop_back();
    }
  };
  for (size_t i = from; i < to; ++i) {
    closeDivisors(i);
    const Token& t = Tk(i);
    if ((IsSymbol(i, "/") || IsSymbol(i, "%")) && i + 1 < to) {
      emit(t.text);
      emit("vx_divisor(");
      divisorEnds.push_back(OperandEnd(i + 1, to));
      continue;
    }
    // [db.][owner.]system_table
    if ((t.kind == Tok::Word || t.kind == Tok::Bracketed || t.kind == Tok::QuotedId) &&
        (IsSymbol(i + 1, ".") || IsSystemTable(Upper(t.kind == Tok::Word ? t.text : t.value)))) {
      std::vector<std::string> parts;
      size_t k = i;
      for (;;) {
        const Token& p = Tk(k);
        if (p.kind == Tok::Word) parts.push_back(p.text);
        else if (p.kind == Tok::Bracketed || p.kind == Tok::QuotedId) parts.push_back(p.value);
        else if (IsSymbol(k, ".")) {
          parts.push_back("");
          ++k;
          continue;
        } else break;
        if (k + 1 < to && IsSymbol(k + 1, ".")) {
          k += 2;
          if (IsSymbol(k, ".")) {  // "db..table"
            parts.push_back("");
            ++k;
          }
          continue;
        }
        break;
      }
      std::string last = Upper(parts.back());
      if (IsSystemTable(last) && parts.size() <= 3 && k < to) {
        std::string table = last;
        for (char& c : table) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (parts.size() == 3 && !parts[0].empty() && table != "sysdatabases" && table != "syslogins") {
          auto dbid = s_.DatabaseId(parts[0]);
          if (!dbid) throw SimError{911, 16, "Could not locate entry in sysdatabases for database '" + parts[0] +
                                                 "'. No entry found with that name. Make sure that the name is "
                                                 "entered correctly."};
          if (*dbid != s_.CurrentDb()) {
            if (s_.EffectiveUid(*dbid) < 0)
              throw SimError{916, 14, "Server user '" + s_.Login().name + "' is not a valid user in database '" +
                                          s_.DatabaseName(*dbid) + "'."};
            std::string view = "vx_" + std::to_string(*dbid) + "_" + table;
            // created on demand; the session's views of other databases stay until it ends
            std::string d = std::to_string(*dbid);
            auto exists = s_.Db().Prepare("SELECT 1 FROM sqlite_temp_master WHERE name = ?");
            exists.Bind(1, view);
            if (!exists.Step()) {
              std::string sql;
              if (table == "sysobjects")
                sql = "CREATE TEMP VIEW " + view + " AS SELECT id, name, xtype, xtype AS type, uid, parent_obj, "
                      "crdate, schema_ver, status, category FROM main.objects WHERE dbid = " + d;
              else if (table == "syscomments")
                sql = "CREATE TEMP VIEW " + view + " AS SELECT id, number, colid, status, ctext, text, encrypted, "
                      "compressed, texttype FROM main.comments WHERE dbid = " + d;
              else if (table == "sysusers")
                sql = "CREATE TEMP VIEW " + view + " AS SELECT uid, name, sid, status, hasdbaccess, issqluser, "
                      "isntuser, issqlrole FROM main.users WHERE dbid = " + d;
              else
                sql = "CREATE TEMP VIEW " + view + " AS SELECT memberuid, groupuid FROM main.members WHERE dbid = " + d;
              s_.Db().Exec(sql);
            }
            emit(view);
            i = k;
            continue;
          }
        }
        emit(table);
        i = k;
        continue;
      }
    }
    switch (t.kind) {
      case Tok::String: emit(Literal(t.value)); break;
      case Tok::Bracketed:
      case Tok::QuotedId: emit(QuoteIdent(t.value)); break;
      case Tok::Variable:
        if (t.value == "@@VERSION") emit("vx_version()");
        else if (t.value == "@@MICROSOFTVERSION") emit("vx_microsoftversion()");
        else if (t.value == "@@TRANCOUNT") emit("vx_trancount()");
        else if (t.value == "@@OPTIONS") emit("vx_options()");
        else if (t.value == "@@SPID") emit("51");
        else if (t.value == "@@SERVERNAME") emit(sqlite::QuoteLiteral(s_.ServerName()));
        else if (const int p = ParameterIndex(t.value); p >= 0) emit("?" + std::to_string(p + 1));
        else throw SimError{137, 15, "Must declare the variable '" + t.text + "'.", t.line};
        break;
      case Tok::Word: {
        bool call = IsSymbol(i + 1, "(");
        if (call && (t.value == "CONVERT")) {
          // CONVERT(type, expr [, style]) -> vx_convert('type', expr [, style])
          size_t k = i + 2;
          std::string type;
          int depth = 0;
          while (k < to && !(depth == 0 && IsSymbol(k, ","))) {
            if (IsSymbol(k, "(")) ++depth;
            if (IsSymbol(k, ")")) --depth;
            type += Tk(k).text;
            ++k;
          }
          if (k >= to) SyntaxError(k);
          emit("vx_convert(" + sqlite::QuoteLiteral(type) + ",");
          i = k;
          break;
        }
        if (call && t.value == "CAST") {
          // CAST(expr AS datetime | varbinary ...) -> vx_convert('type', expr): SQLite has no such types.
          int depth = 0;
          size_t as = 0, close = i + 1;
          for (size_t k = i + 1; k < to; ++k) {
            if (IsSymbol(k, "(")) ++depth;
            else if (IsSymbol(k, ")") && --depth == 0) {
              close = k;
              break;
            } else if (depth == 1 && IsWord(k, "AS")) as = k;
          }
          const std::string type = as ? Tk(as + 1).value : std::string();
          if (close > i + 1 && as > i + 2 &&
              (type == "DATETIME" || type == "SMALLDATETIME" || type == "VARBINARY" || type == "BINARY")) {
            std::string typeText;
            for (size_t k = as + 1; k < close; ++k) typeText += Tk(k).text;
            emit("vx_convert(" + sqlite::QuoteLiteral(typeText) + ", " + Translate(i + 2, as) + ")");
            i = close;
            break;
          }
        }
        if (call && t.value == "ISNULL") emit("IFNULL");
        else if (call && t.value == "LEN") emit("vx_len");
        else if (call && t.value == "SUBSTRING") emit("SUBSTR");
        else if (call && t.value == "DATALENGTH" && Tk(i + 2).kind == Tok::String && !Tk(i + 2).national &&
                 IsSymbol(i + 3, ")")) {
          emit("vx_datalength(" + sqlite::QuoteLiteral(Tk(i + 2).value) + ", 1)");  // varchar: a byte a character
          i += 3;
        } else if (call && t.value == "DATALENGTH") emit("vx_datalength");
        else if (t.value == "SYSTEM_USER" || t.value == "CURRENT_USER" || t.value == "SESSION_USER")
          emit(t.value == "SYSTEM_USER" ? "suser_sname()" : "user_name()");
        else if (t.value == "TOP" && i > from && Tk(i + 1).kind == Tok::Number) {
          limit = " LIMIT " + Tk(i + 1).text;
          ++i;
        } else emit(t.text);
        break;
      }
      default: emit(t.text); break;
    }
  }
  closeDivisors(to + 1);
  return out + limit;
}

namespace {

// One prepared query: its columns as the server names them, its rows as values.
class Query : public sqlserver::RowCursor {
 public:
  Query(sqlite3* h, sqlite3_stmt* st, const std::vector<sqlserver::Parameter>* parameters) : h_(h), st_(st) {
    const int n = sqlite3_column_count(st);
    dates_.resize(static_cast<size_t>(n));
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
  // The step's result code when it failed, after Next returned false.
  int Failure() const { return rc_ == SQLITE_DONE ? SQLITE_OK : rc_; }
  std::string FailureText() const { return sqlite3_errmsg(h_); }

  bool Next(std::vector<sqlserver::Value>& row) override {
    if (rc_ != SQLITE_ROW && rc_ != SQLITE_OK) return false;
    rc_ = sqlite3_step(st_);
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
          row.push_back(sqlserver::Value::Text(p ? std::string(p, static_cast<size_t>(len)) : std::string()));
        }
      }
    }
    return true;
  }
  void Rewind() override {
    sqlite3_reset(st_);
    rc_ = SQLITE_OK;
  }
  // Called when a step fails (it raises the server's error).
  std::function<void()> onFailure_;

 private:
  sqlite3* h_;
  sqlite3_stmt* st_;
  std::vector<sqlserver::Column> columns_;
  std::vector<bool> dates_;
  int rc_ = SQLITE_OK;
};

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
  // A failing step ends the result set where it stands, with the server's error.
  q.onFailure_ = [&] { throw QueryError(q.Failure(), q.FailureText(), from, to); };
  out_.ResultSet(q.Columns(), q);
}

}  // namespace vx::sqlsim
