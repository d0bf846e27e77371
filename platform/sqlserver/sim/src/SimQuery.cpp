// Queries: T-SQL expression text translated for SQLite, run against the
// per-session catalogue views, with the server's functions registered.
#include <algorithm>
#include <array>
#include <cstring>

#include "Executor.h"
#include "SimSession.h"
#include "SimStore.h"
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

SimSession* Self(sqlite3_context* ctx) { return static_cast<SimSession*>(sqlite3_user_data(ctx)); }

std::string ArgText(sqlite3_value* v) {
  const unsigned char* t = sqlite3_value_text(v);
  return t ? reinterpret_cast<const char*>(t) : std::string();
}

void ResultText(sqlite3_context* ctx, const std::string& s) {
  sqlite3_result_text(ctx, s.c_str(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// Splits "[owner].[name]", "owner.name", "db..name" into unescaped parts.
std::vector<std::string> SplitName(const std::string& s) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c == '[' || c == '"') {
      char close = c == '[' ? ']' : '"';
      ++i;
      while (i < s.size()) {
        if (s[i] == close) {
          if (i + 1 < s.size() && s[i + 1] == close) {
            parts.back() += close;
            i += 2;
            continue;
          }
          break;
        }
        parts.back() += s[i++];
      }
    } else if (c == '.') {
      parts.emplace_back();
    } else if (c != ' ' || !parts.back().empty()) {
      parts.back() += c;
    }
  }
  for (auto& p : parts)
    while (!p.empty() && p.back() == ' ') p.pop_back();
  return parts;
}

void FnObjectProperty(sqlite3_context* ctx, int, sqlite3_value** argv) {
  SimSession* s = Self(ctx);
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  int32_t id = sqlite3_value_int(argv[0]);
  std::string prop = Upper(ArgText(argv[1]));
  auto& st = s->PropertyStatement();
  st.Bind(1, s->CurrentDb()).Bind(2, id);
  if (!st.Step()) return sqlite3_result_null(ctx);
  std::string x = st.Text(0);
  const int shipped = st.Int(1), quoted = st.Int(2), ansi = st.Int(3), owner = st.Int(4);
  st.Reset();
  while (!x.empty() && x.back() == ' ') x.pop_back();
  bool module = x == "P" || x == "V" || x == "TR" || x == "FN" || x == "IF" || x == "TF";
  auto yes = [&](bool b) { sqlite3_result_int(ctx, b ? 1 : 0); };
  if (prop == "ISMSSHIPPED") return yes(shipped != 0);
  if (prop == "ISEXTENDEDPROC") return yes(x == "X");
  if (prop == "ISPROCEDURE") return yes(x == "P");
  if (prop == "ISVIEW") return yes(x == "V");
  if (prop == "ISTRIGGER") return yes(x == "TR");
  if (prop == "ISUSERTABLE") return yes(x == "U");
  if (prop == "ISSYSTEMTABLE") return yes(x == "S");
  if (prop == "ISTABLE") return yes(x == "U" || x == "S");
  if (prop == "ISSCALARFUNCTION") return yes(x == "FN");
  if (prop == "ISINLINEFUNCTION") return yes(x == "IF");
  if (prop == "ISTABLEFUNCTION") return yes(x == "TF");
  if (prop == "OWNERID") return sqlite3_result_int(ctx, owner);
  if (prop == "EXECISANSINULLSON") return module ? yes(ansi != 0) : sqlite3_result_null(ctx);
  if (prop == "ISANSINULLSON") return module || x == "U" ? yes(ansi != 0) : sqlite3_result_null(ctx);
  if (prop == "EXECISQUOTEDIDENTON") return module ? yes(quoted != 0) : sqlite3_result_null(ctx);
  if (prop == "ISQUOTEDIDENTON") return module || x == "U" ? yes(quoted != 0) : sqlite3_result_null(ctx);
  sqlite3_result_null(ctx);
}

void FnObjectId(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::string text = ArgText(argv[0]);
  if (!text.empty() && text[0] == '#') return sqlite3_result_null(ctx);
  auto parts = SplitName(text);
  if (parts.size() > 3 || parts.back().empty()) return sqlite3_result_null(ctx);
  auto obj = Self(ctx)->ResolveName(parts);
  if (!obj) return sqlite3_result_null(ctx);
  sqlite3_result_int(ctx, obj->id);
}

void FnObjectName(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  SimSession* s = Self(ctx);
  auto obj = s->ObjectById(s->CurrentDb(), sqlite3_value_int(argv[0]));
  if (!obj) return sqlite3_result_null(ctx);
  ResultText(ctx, obj->name);
}

void FnIsMember(sqlite3_context* ctx, int, sqlite3_value** argv) {
  SimSession* s = Self(ctx);
  std::string role = ArgText(argv[0]);
  int32_t db = s->CurrentDb();
  int32_t uid = s->EffectiveUid(db);
  if (!s->UserUid(db, role)) return sqlite3_result_null(ctx);
  if (uid < 0) return sqlite3_result_int(ctx, 0);
  if (s->IsSysadminNow() && Upper(role) == "DB_OWNER") return sqlite3_result_int(ctx, 1);
  sqlite3_result_int(ctx, s->IsMember(db, uid, role) ? 1 : 0);
}

void FnIsSrvRoleMember(sqlite3_context* ctx, int, sqlite3_value** argv) {
  std::string role = Upper(ArgText(argv[0]));
  if (role != "SYSADMIN") return sqlite3_result_int(ctx, 0);
  sqlite3_result_int(ctx, Self(ctx)->Login().sysadmin ? 1 : 0);
}

void FnUserName(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  SimSession* s = Self(ctx);
  int32_t db = s->CurrentDb();
  int32_t uid = argc > 0 && sqlite3_value_type(argv[0]) != SQLITE_NULL ? sqlite3_value_int(argv[0])
                                                                       : s->EffectiveUid(db);
  std::string name = s->UserName(db, uid);
  if (name.empty()) return sqlite3_result_null(ctx);
  ResultText(ctx, name);
}

void FnUserId(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  SimSession* s = Self(ctx);
  int32_t db = s->CurrentDb();
  if (argc == 0) return sqlite3_result_int(ctx, s->EffectiveUid(db));
  auto uid = s->UserUid(db, ArgText(argv[0]));
  if (!uid) return sqlite3_result_null(ctx);
  sqlite3_result_int(ctx, *uid);
}

void FnSuserSname(sqlite3_context* ctx, int, sqlite3_value**) { ResultText(ctx, Self(ctx)->Login().name); }

void FnDbName(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  SimSession* s = Self(ctx);
  int32_t db = argc > 0 && sqlite3_value_type(argv[0]) != SQLITE_NULL ? sqlite3_value_int(argv[0]) : s->CurrentDb();
  std::string name = s->DatabaseName(db);
  if (name.empty()) return sqlite3_result_null(ctx);
  ResultText(ctx, name);
}

void FnDbId(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  SimSession* s = Self(ctx);
  if (argc == 0) return sqlite3_result_int(ctx, s->CurrentDb());
  auto id = s->DatabaseId(ArgText(argv[0]));
  if (!id) return sqlite3_result_null(ctx);
  sqlite3_result_int(ctx, *id);
}

void FnServerProperty(sqlite3_context* ctx, int, sqlite3_value** argv) {
  SimSession* s = Self(ctx);
  std::string p = Upper(ArgText(argv[0]));
  if (p == "PRODUCTVERSION") return ResultText(ctx, s->ProductVersion());
  if (p == "SERVERNAME" || p == "MACHINENAME") return ResultText(ctx, s->ServerName());
  if (p == "EDITION") return ResultText(ctx, "Developer Edition (simulated)");
  if (p == "PRODUCTLEVEL") return ResultText(ctx, "SP4");
  if (p == "COLLATION") return ResultText(ctx, "SQL_Latin1_General_CP1_CI_AS");
  sqlite3_result_null(ctx);
}

void FnGetDate(sqlite3_context* ctx, int, sqlite3_value**) { sqlite3_result_double(ctx, NowOle()); }

void FnVersion(sqlite3_context* ctx, int, sqlite3_value**) {
  SimSession* s = Self(ctx);
  ResultText(ctx, "Microsoft SQL Server  2000 - " + s->ProductVersion() +
                      " (Intel X86) \n\tSimulated Server on Vexilon\n");
}

void FnMicrosoftVersion(sqlite3_context* ctx, int, sqlite3_value**) {
  sqlite3_result_int64(ctx, static_cast<int64_t>(Self(ctx)->VersionMajor()) * 0x01000000 + 2039);
}

void FnTranCount(sqlite3_context* ctx, int, sqlite3_value**) { sqlite3_result_int(ctx, Self(ctx)->TranCount()); }

void FnConvert(sqlite3_context* ctx, int, sqlite3_value** argv) {
  std::string type = Upper(ArgText(argv[0]));
  sqlite3_value* v = argv[1];
  if (sqlite3_value_type(v) == SQLITE_NULL) return sqlite3_result_null(ctx);
  if (type.rfind("INT", 0) == 0 || type == "BIT" || type == "SMALLINT" || type == "TINYINT" || type == "BIGINT")
    return sqlite3_result_int64(ctx, sqlite3_value_int64(v));
  if (type.rfind("FLOAT", 0) == 0 || type.rfind("REAL", 0) == 0 || type.rfind("DECIMAL", 0) == 0 ||
      type.rfind("NUMERIC", 0) == 0)
    return sqlite3_result_double(ctx, sqlite3_value_double(v));
  ResultText(ctx, ArgText(v));
}

void FnDivisor(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int type = sqlite3_value_numeric_type(argv[0]);
  if ((type == SQLITE_INTEGER && sqlite3_value_int64(argv[0]) == 0) ||
      (type == SQLITE_FLOAT && sqlite3_value_double(argv[0]) == 0.0))
    return sqlite3_result_error(ctx, "vx:8134", -1);
  sqlite3_result_value(ctx, argv[0]);
}

void FnLen(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::string t = ArgText(argv[0]);
  while (!t.empty() && t.back() == ' ') t.pop_back();
  int n = 0;
  for (unsigned char c : t)
    if ((c & 0xC0) != 0x80) ++n;
  sqlite3_result_int(ctx, n);
}

}  // namespace

void SimSession::RegisterFunctions() {
  sqlite3* h = db_.Handle();
  struct F {
    const char* name;
    int argc;
    void (*fn)(sqlite3_context*, int, sqlite3_value**);
  };
  const F fns[] = {{"objectproperty", 2, FnObjectProperty},
                   {"object_id", 1, FnObjectId},
                   {"object_name", 1, FnObjectName},
                   {"is_member", 1, FnIsMember},
                   {"is_srvrolemember", 1, FnIsSrvRoleMember},
                   {"is_srvrolemember", 2, FnIsSrvRoleMember},
                   {"user_name", 0, FnUserName},
                   {"user_name", 1, FnUserName},
                   {"user_id", 0, FnUserId},
                   {"user_id", 1, FnUserId},
                   {"suser_sname", 0, FnSuserSname},
                   {"suser_name", 0, FnSuserSname},
                   {"system_user", 0, FnSuserSname},
                   {"db_name", 0, FnDbName},
                   {"db_name", 1, FnDbName},
                   {"db_id", 0, FnDbId},
                   {"db_id", 1, FnDbId},
                   {"serverproperty", 1, FnServerProperty},
                   {"getdate", 0, FnGetDate},
                   {"vx_version", 0, FnVersion},
                   {"vx_microsoftversion", 0, FnMicrosoftVersion},
                   {"vx_trancount", 0, FnTranCount},
                   {"vx_convert", 2, FnConvert},
                   {"vx_convert", 3, FnConvert},
                   {"vx_len", 1, FnLen},
                   {"vx_divisor", 1, FnDivisor}};
  for (const F& f : fns)
    sqlite3_create_function(h, f.name, f.argc, SQLITE_UTF8, this, f.fn, nullptr, nullptr);
}

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
