// The server's functions and system variables, registered as SQLite functions on
// each session's connection: catalogue look-ups, identity, versions, DATALENGTH
// and the check of divisors (operators, conversions and strings: SimScalars.cpp).
#include <cstdlib>
#include <cstring>

#include "SimGuard.h"
#include "SimSession.h"
#include "SimStore.h"
#include "SimTypes.h"
#include "sqlserver/Utf16.h"

#include <sqlcipher/sqlite3.h>

namespace vx::sqlsim {

namespace {

SimSession* Self(sqlite3_context* ctx) { return static_cast<SimSession*>(GuardedSession(ctx)); }

std::string ArgText(sqlite3_value* v) {
  // Whole, with any NUL inside: a name cut at a NUL would be another name.
  const unsigned char* t = sqlite3_value_text(v);
  return t ? std::string(reinterpret_cast<const char*>(t), static_cast<size_t>(sqlite3_value_bytes(v))) : std::string();
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

// Raises the simulator's refusal of what it does not know.
void Refuse(sqlite3_context* ctx, const std::string& what) {
  const std::string m = "vx:" + std::to_string(kUnsupportedNumber) + ":" + what +
                        " is not supported by the simulated server.";
  sqlite3_result_error(ctx, m.c_str(), static_cast<int>(m.size()));
}

// Whether object `id` of the current database is a view, whose indexes are kept;
// for a table, whose indexes are not, the call is refused.
bool IsView(sqlite3_context* ctx, SimSession* s, int32_t id, const char* function) {
  const auto obj = s->ObjectById(s->CurrentDb(), id);
  if (obj && obj->xtype == "U") Refuse(ctx, std::string(function) + " of a table's index");
  else if (!obj || obj->xtype != "V") sqlite3_result_null(ctx);
  return obj && obj->xtype == "V";
}

void FnIndexCol(sqlite3_context* ctx, int, sqlite3_value** argv) {
  SimSession* s = Self(ctx);
  const auto obj =
      sqlite3_value_type(argv[0]) == SQLITE_NULL ? std::nullopt : s->ResolveName(SplitName(ArgText(argv[0])));
  if (!obj) return sqlite3_result_null(ctx);
  if (!IsView(ctx, s, obj->id, "INDEX_COL")) return;
  auto st = s->Db().Prepare(
      "SELECT colname FROM main.indexkeys WHERE dbid = ? AND id = ? AND indid = ? AND keyno = ?");
  st.Bind(1, s->CurrentDb()).Bind(2, obj->id).Bind(3, sqlite3_value_int(argv[1])).Bind(4, sqlite3_value_int(argv[2]));
  if (!st.Step()) return sqlite3_result_null(ctx);
  ResultText(ctx, st.Text(0));
}

// The name of column `colid` of a view, as its select list names it.
void FnColName(sqlite3_context* ctx, int, sqlite3_value** argv) {
  SimSession* s = Self(ctx);
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
    return sqlite3_result_null(ctx);
  const int32_t id = sqlite3_value_int(argv[0]);
  const auto obj = s->ObjectById(s->CurrentDb(), id);
  if (!obj) return sqlite3_result_null(ctx);
  if (obj->xtype != "V") return Refuse(ctx, "COL_NAME of an object of type " + obj->xtype);
  auto st = s->Db().Prepare("SELECT name FROM main.viewcolumns WHERE dbid = ? AND id = ? AND colid = ?");
  st.Bind(1, s->CurrentDb()).Bind(2, id).Bind(3, sqlite3_value_int(argv[1]));
  if (st.Step()) return ResultText(ctx, st.Text(0));
  auto any = s->Db().Prepare("SELECT 1 FROM main.viewcolumns WHERE dbid = ? AND id = ?");
  any.Bind(1, s->CurrentDb()).Bind(2, id);
  if (!any.Step()) return Refuse(ctx, "COL_NAME of a view whose select list does not name its columns");
  sqlite3_result_null(ctx);
}

void FnIndexProperty(sqlite3_context* ctx, int, sqlite3_value** argv) {
  SimSession* s = Self(ctx);
  const int32_t id = sqlite3_value_int(argv[0]);
  if (!IsView(ctx, s, id, "INDEXPROPERTY")) return;
  auto st = s->Db().Prepare("SELECT indid, status FROM main.indexes WHERE dbid = ? AND id = ? AND name = ?");
  st.Bind(1, s->CurrentDb()).Bind(2, id).Bind(3, ArgText(argv[1]));
  if (!st.Step()) return sqlite3_result_null(ctx);
  const std::string prop = Upper(ArgText(argv[2]));
  if (prop == "ISCLUSTERED") return sqlite3_result_int(ctx, st.Int(0) == 1 ? 1 : 0);
  if (prop == "ISUNIQUE") return sqlite3_result_int(ctx, (st.Int(1) & 2) != 0 ? 1 : 0);
  if (prop == "INDEXID") return sqlite3_result_int(ctx, st.Int(0));
  // Options an index on a view cannot be given here, and statistics, which are not kept.
  if (prop == "ISSTATISTICS" || prop == "ISAUTOSTATISTICS" || prop == "ISHYPOTHETICAL" || prop == "ISPADINDEX" ||
      prop == "ISFULLTEXTKEY" || prop == "INDEXFILLFACTOR" || prop == "ISROWLOCKDISALLOWED" ||
      prop == "ISPAGELOCKDISALLOWED")
    return sqlite3_result_int(ctx, 0);
  Refuse(ctx, "INDEXPROPERTY '" + ArgText(argv[2]) + "'");
}

void FnIndexKeyProperty(sqlite3_context* ctx, int, sqlite3_value** argv) {
  SimSession* s = Self(ctx);
  const int32_t id = sqlite3_value_int(argv[0]);
  if (!IsView(ctx, s, id, "INDEXKEY_PROPERTY")) return;
  const std::string prop = Upper(ArgText(argv[3]));
  if (prop != "ISDESCENDING") return Refuse(ctx, "INDEXKEY_PROPERTY '" + ArgText(argv[3]) + "'");
  auto st = s->Db().Prepare(
      "SELECT descending FROM main.indexkeys WHERE dbid = ? AND id = ? AND indid = ? AND keyno = ?");
  st.Bind(1, s->CurrentDb()).Bind(2, id).Bind(3, sqlite3_value_int(argv[1])).Bind(4, sqlite3_value_int(argv[2]));
  if (!st.Step()) return sqlite3_result_null(ctx);
  sqlite3_result_int(ctx, st.Int(0));
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
  if (prop == "ISINDEXED" || prop == "ISSCHEMABOUND") {
    const bool indexed = prop == "ISINDEXED";
    if (indexed && x == "U") return Refuse(ctx, "OBJECTPROPERTY 'IsIndexed' of a table");
    if (indexed ? x != "V" : (x != "V" && x != "FN" && x != "IF" && x != "TF")) return sqlite3_result_null(ctx);
    auto has = s->Db().Prepare(indexed ? "SELECT 1 FROM main.indexes WHERE dbid = ? AND id = ?"
                                       : "SELECT 1 FROM main.bound WHERE dbid = ? AND id = ?");
    has.Bind(1, s->CurrentDb()).Bind(2, id);
    return yes(has.Step());
  }
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

void FnOptions(sqlite3_context* ctx, int, sqlite3_value**) { sqlite3_result_int(ctx, Self(ctx)->Options()); }

void FnDivisor(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int type = sqlite3_value_numeric_type(argv[0]);
  if ((type == SQLITE_INTEGER && sqlite3_value_int64(argv[0]) == 0) ||
      (type == SQLITE_FLOAT && sqlite3_value_double(argv[0]) == 0.0))
    return sqlite3_result_error(ctx, "vx:8134", -1);
  sqlite3_result_value(ctx, argv[0]);
}

// DATALENGTH: the bytes the server keeps. Text is nvarchar, two bytes a UTF-16
// code unit, unless a second argument says varchar (a '...' literal): one a character.
void FnDataLength(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL: return sqlite3_result_null(ctx);
    case SQLITE_BLOB: return sqlite3_result_int(ctx, sqlite3_value_bytes(argv[0]));
    case SQLITE_FLOAT: return sqlite3_result_int(ctx, 8);
    case SQLITE_INTEGER: {
      const int64_t v = sqlite3_value_int64(argv[0]);
      return sqlite3_result_int(ctx, v >= INT32_MIN && v <= INT32_MAX ? 4 : 8);
    }
    default: break;
  }
  const std::string t = ArgText(argv[0]);
  int n = 0;
  if (argc == 2) {
    for (unsigned char c : t)
      if ((c & 0xC0) != 0x80) ++n;
  } else {
    n = 2 * static_cast<int>(sqlserver::Utf8ToUtf16(t).size());
  }
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
                   {"index_col", 3, FnIndexCol},
                   {"col_name", 2, FnColName},
                   {"indexproperty", 3, FnIndexProperty},
                   {"indexkey_property", 4, FnIndexKeyProperty},
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
                   {"vx_options", 0, FnOptions},
                   {"vx_datalength", 1, FnDataLength},
                   {"vx_datalength", 2, FnDataLength},
                   {"vx_divisor", 1, FnDivisor}};
  for (const F& f : fns)
    CreateGuardedFunction(h, f.name, f.argc, this, f.fn);
  RegisterScalars(h, this);
}

}  // namespace vx::sqlsim
