// Queries: T-SQL expression text translated for SQLite, run against the
// per-session catalogue views, with the server's functions registered.
#include <algorithm>
#include <array>
#include <cstring>

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
      case Tok::String: emit(sqlite::QuoteLiteral(t.value)); break;
      case Tok::Bracketed:
      case Tok::QuotedId: emit(QuoteIdent(t.value)); break;
      case Tok::Variable:
        if (t.value == "@@VERSION") emit("vx_version()");
        else if (t.value == "@@MICROSOFTVERSION") emit("vx_microsoftversion()");
        else if (t.value == "@@TRANCOUNT") emit("vx_trancount()");
        else if (t.value == "@@OPTIONS") emit("vx_options()");
        else if (t.value == "@@SPID") emit("51");
        else if (t.value == "@@SERVERNAME") emit(sqlite::QuoteLiteral(s_.ServerName()));
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
        else if (call && t.value == "DATALENGTH") emit("LENGTH");
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

sqlserver::ResultSet Executor::RunQuery(const std::string& sql, size_t from, size_t to) {
  s_.BindViews();
  sqlite3* h = s_.Db().Handle();
  sqlite3_stmt* st = nullptr;
  auto fail = [&](int rc) -> SimError {
    std::string msg = sqlite3_errmsg(h);
    if (st) sqlite3_finalize(st);
    st = nullptr;
    return QueryError(rc, msg, from, to);
  };
  int rc = sqlite3_prepare_v2(h, sql.c_str(), static_cast<int>(sql.size()), &st, nullptr);
  if (rc != SQLITE_OK) throw fail(rc);
  sqlserver::ResultSet rs;
  int n = sqlite3_column_count(st);
  std::vector<bool> dates(n);
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
    dates[c] = d == "DATETIME";
    rs.columns.push_back(std::move(col));
    const char* table = sqlite3_column_table_name(st, c);
    const char* origin = sqlite3_column_origin_name(st, c);
    if (table && origin) rs.SetSqlType(static_cast<size_t>(c), CatalogColumnType(table, origin));
  }
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    std::vector<sqlserver::Value> row;
    row.reserve(n);
    for (int c = 0; c < n; ++c) {
      switch (sqlite3_column_type(st, c)) {
        case SQLITE_NULL: row.push_back(sqlserver::Value::Null()); break;
        case SQLITE_INTEGER:
          row.push_back(dates[c] ? sqlserver::Value::DateTime(static_cast<double>(sqlite3_column_int64(st, c)))
                                 : sqlserver::Value::Integer(sqlite3_column_int64(st, c)));
          break;
        case SQLITE_FLOAT:
          row.push_back(dates[c] ? sqlserver::Value::DateTime(sqlite3_column_double(st, c))
                                 : sqlserver::Value::Float(sqlite3_column_double(st, c)));
          break;
        default: {
          const char* p = static_cast<const char*>(sqlite3_column_blob(st, c));
          int len = sqlite3_column_bytes(st, c);
          row.push_back(sqlserver::Value::Text(p ? std::string(p, static_cast<size_t>(len)) : std::string()));
        }
      }
    }
    rs.rows.push_back(std::move(row));
  }
  if (rc != SQLITE_DONE) throw fail(rc);
  sqlite3_finalize(st);
  return rs;
}

}  // namespace vx::sqlsim
