// EXEC of procedures, and the system procedures that set up logins, users and roles.
#include <algorithm>
#include <array>
#include <cctype>

#include "Executor.h"
#include "SimSession.h"
#include "SimStore.h"
#include "SimTypes.h"

namespace vx::sqlsim {

namespace {
std::string Arg(const std::vector<std::optional<std::string>>& args, size_t i) {
  return i < args.size() && args[i] ? *args[i] : std::string();
}
bool HasArg(const std::vector<std::optional<std::string>>& args, size_t i) {
  return i < args.size() && args[i].has_value();
}

// Rows a procedure has made whole, handed to the sink as a result set.
class RowList : public sqlserver::RowCursor {
 public:
  explicit RowList(const std::vector<std::vector<sqlserver::Value>>& rows) : rows_(rows) {}
  bool Next(std::vector<sqlserver::Value>& row) override {
    if (at_ >= rows_.size()) return false;
    row = rows_[at_++];
    return true;
  }
  void Rewind() override { at_ = 0; }

 private:
  const std::vector<std::vector<sqlserver::Value>>& rows_;
  size_t at_ = 0;
};
}  // namespace

void Executor::ExecProcedure(bool exec) {
  if (CurIs("EXEC") || CurIs("EXECUTE")) ++pos_;
  if (Cur().kind == Tok::Variable && IsSymbol(pos_ + 1, "=")) pos_ += 2;  // @ret =
  if (IsSymbol(pos_, "(")) throw Unsupported("EXEC of a string");
  ObjectName name = ParseName();
  if (Upper(name.Name()) == "SP_EXECUTESQL" && (name.parts.size() == 1 || Upper(name.Owner()) == "DBO" ||
                                                 name.Owner().empty()))
    return ExecuteSql(exec);
  std::vector<std::optional<std::string>> args;
  std::vector<std::string> argNames;  // "@name" of an argument given by name, "" by position
  size_t end = StatementEnd(pos_);
  while (pos_ < end) {
    argNames.emplace_back();
    if (Cur().kind == Tok::Variable && IsSymbol(pos_ + 1, "=")) {
      argNames.back() = Cur().text;
      pos_ += 2;
    }
    const Token& a = Cur();
    if (a.kind == Tok::String || a.kind == Tok::Number || a.kind == Tok::Bracketed || a.kind == Tok::QuotedId) {
      args.emplace_back(a.value);
    } else if (a.kind == Tok::Variable && ParameterIndex(a.value) >= 0) {
      const auto& v = (*s_.parameters_)[static_cast<size_t>(ParameterIndex(a.value))].value;
      if (v.IsNull()) args.emplace_back(std::nullopt);
      else args.emplace_back(v.AsText());
    } else if (a.kind == Tok::Word && a.value == "NULL") {
      args.emplace_back(std::nullopt);
    } else if (a.kind == Tok::Word && a.value == "DEFAULT") {
      args.emplace_back(std::nullopt);
    } else if (a.kind == Tok::Word || (a.kind == Tok::Symbol && a.text == "-" && Tk(pos_ + 1).kind == Tok::Number)) {
      if (a.kind == Tok::Symbol) {
        ++pos_;
        args.emplace_back("-" + Cur().value);
      } else {
        args.emplace_back(a.text);
      }
    } else {
      SyntaxError(pos_);
    }
    ++pos_;
    if (CurIs("OUTPUT") || CurIs("OUT")) ++pos_;
    if (pos_ < end) {
      if (!IsSymbol(pos_, ",")) SyntaxError(pos_);
      ++pos_;
    }
  }
  if (!exec) return;
  std::string lower = Upper(name.Name());
  if (lower == "SP_HELPTEXT" && !name.Database().empty()) {
    // db..sp_helptext reads that database, as a system procedure called through it does.
    HelpText(Arg(args, 0), DatabaseToRead(name.Database()));
    return;
  }
  // sp_helptext runs in the current database wherever it is called from.
  if (lower == "SP_HELPTEXT" || (lower.rfind("SP_", 0) == 0 && !s_.ResolveName(name.parts))) {
    SystemProcedure(lower, args);
    return;
  }
  auto obj = s_.ResolveName(name.parts);
  if (!obj && name.parts.size() < 3) {
    // system procedures are found in master too
    std::vector<std::string> inMaster{"master", "dbo", name.Name()};
    obj = s_.ResolveName(inMaster);
  }
  if (!obj || (obj->xtype != "P" && obj->xtype != "X"))
    throw SimError{2812, 16, "Could not find stored procedure '" + name.Name() + "'."};
  if (obj->shipped || obj->xtype != "P") return;  // the system's own procedures: found, with no effect
  // A user procedure's arguments are checked as the server checks them; its body
  // is kept, not run, so the call itself is refused.
  const std::optional<std::vector<std::string>> parameters = ProcedureParameters(*obj, name.Database());
  const std::vector<std::string> declared = parameters.value_or(std::vector<std::string>{});
  for (size_t i = 0; parameters && i < argNames.size(); ++i) {
    if (argNames[i].empty() ? i >= declared.size()
                            : std::none_of(declared.begin(), declared.end(),
                                           [&](const std::string& d) { return Upper(d) == Upper(argNames[i]); }))
      throw argNames[i].empty()
          ? SimError{8144, 16, "Procedure or function " + obj->name + " has too many arguments specified."}
          : SimError{8145, 16, argNames[i] + " is not a parameter for procedure " + obj->name + "."};
  }
  throw SimError{kUnsupportedNumber, 16,
                 "Running procedure '" + obj->name + "' is not supported by the simulated server: it keeps "
                 "procedure bodies without running them."};
}

std::optional<std::vector<std::string>> Executor::ProcedureParameters(const ObjectRow& procedure,
                                                                      const std::string& database) {
  int32_t dbid = s_.currentDb_;
  if (!database.empty()) dbid = s_.DatabaseId(database).value_or(dbid);
  auto st = s_.Db().Prepare("SELECT text FROM main.comments WHERE dbid = ? AND id = ? AND number = 1 ORDER BY colid");
  st.Bind(1, dbid).Bind(2, procedure.id);
  std::string text;
  while (st.Step())
    if (!st.IsNull(0)) text += st.Text(0);
  if (text.empty()) return std::nullopt;  // encrypted: its text is not kept
  // CREATE PROC[EDURE] name [;n] [(] @a type [= default] [OUTPUT], ... WITH | FOR | AS
  std::vector<Token> tokens;
  try {
    tokens = Tokenize(text, true);
  } catch (const LexError&) {
    return std::nullopt;
  }
  std::vector<std::string> names;
  size_t i = 0;
  auto isProc = [](const Token& t) { return t.kind == Tok::Word && (t.value == "PROC" || t.value == "PROCEDURE"); };
  while (i < tokens.size() && !isProc(tokens[i])) ++i;
  int depth = 0;
  bool atStart = true;
  for (++i; i < tokens.size() && tokens[i].kind != Tok::End; ++i) {
    const Token& t = tokens[i];
    if (t.kind == Tok::Symbol && t.text == "(") ++depth;
    else if (t.kind == Tok::Symbol && t.text == ")") --depth;
    else if (t.kind == Tok::Symbol && t.text == "," && depth <= 1) atStart = true;
    else if (depth <= 1 && t.kind == Tok::Word && (t.value == "AS" || t.value == "WITH" || t.value == "FOR")) break;
    else if (t.kind == Tok::Variable && atStart) {
      names.push_back(t.text);
      atStart = false;
    }
  }
  return names;
}

int32_t Executor::DatabaseToRead(const std::string& name) {
  auto dbid = s_.DatabaseId(name);
  if (!dbid)
    throw SimError{911, 16,
                   "Could not locate entry in sysdatabases for database '" + name +
                       "'. No entry found with that name. Make sure that the name is entered correctly."};
  if (s_.EffectiveUid(*dbid) < 0)
    throw SimError{916, 14,
                   "Server user '" + s_.Login().name + "' is not a valid user in database '" + s_.DatabaseName(*dbid) +
                       "'."};
  return *dbid;
}

void Executor::SystemProcedure(const std::string& name, const std::vector<std::optional<std::string>>& args) {
  static const std::array<std::string_view, 16> writers{
      "SP_ADDLOGIN", "SP_GRANTLOGIN", "SP_DROPLOGIN", "SP_REVOKELOGIN", "SP_PASSWORD", "SP_DEFAULTDB",
      "SP_ADDSRVROLEMEMBER", "SP_DROPSRVROLEMEMBER", "SP_ADDUSER", "SP_GRANTDBACCESS", "SP_DROPUSER",
      "SP_REVOKEDBACCESS", "SP_ADDROLE", "SP_ADDROLEMEMBER", "SP_DROPROLEMEMBER", "SP_CHANGEDBOWNER"};
  if (std::find(writers.begin(), writers.end(), name) != writers.end()) s_.NeedWrite();
  auto& db = s_.Db();
  const int32_t dbid = s_.currentDb_;
  auto requireSysadmin = [&] {
    if (!s_.IsSysadminNow()) throw SimError{15247, 16, "User does not have permission to perform this action."};
  };
  auto requireDbOwner = [&] {
    if (s_.IsSysadminNow()) return;
    int32_t uid = s_.EffectiveUid(dbid);
    if (uid < 0 || !(uid == 1 || s_.IsMember(dbid, uid, "db_owner") || s_.IsMember(dbid, uid, "db_accessadmin") ||
                     s_.IsMember(dbid, uid, "db_securityadmin")))
      throw SimError{15247, 16, "User does not have permission to perform this action."};
  };
  auto loginSid = [&](const std::string& login) -> std::optional<std::pair<int64_t, bool>> {
    auto st = db.Prepare("SELECT sid, isntname FROM main.logins WHERE name = ?");
    st.Bind(1, login);
    if (!st.Step()) return std::nullopt;
    return std::make_pair(st.Int64(0), st.Int(1) != 0);
  };
  auto addLogin = [&](const std::string& login, std::optional<std::string> password, bool windows,
                      const std::string& defdb) {
    requireSysadmin();
    if (login.empty()) throw SimError{15007, 16, "The login '' does not exist."};
    if (windows && login.find('\\') == std::string::npos)
      throw SimError{15407, 11, "'" + login + "' is not a valid Windows NT name. Give the complete name: "
                                              "<domain\\username>."};
    if (loginSid(login)) throw SimError{15025, 16, "The login '" + login + "' already exists."};
    std::string dbname = defdb.empty() ? "master" : defdb;
    if (!s_.DatabaseId(dbname)) throw SimError{15010, 16, "The database '" + dbname + "' does not exist."};
    auto next = db.Prepare("SELECT MAX(sid) FROM main.logins");
    next.Step();
    auto ins = db.Prepare(
        "INSERT INTO main.logins(sid, name, password, isntname, sysadmin, dbname, createdate) VALUES (?,?,?,?,0,?,?)");
    ins.Bind(1, next.Int64(0) + 1).Bind(2, login);
    if (password) ins.Bind(3, *password);
    else ins.Bind(3, "");
    ins.Bind(4, windows ? 1 : 0).Bind(5, dbname).Bind(6, NowOle());
    ins.Step();
  };
  auto requireRole = [&](const std::string& role) -> int32_t {
    auto st = db.Prepare("SELECT uid FROM main.users WHERE dbid = ? AND name = ? AND issqlrole = 1");
    st.Bind(1, dbid).Bind(2, role);
    if (!st.Step()) throw SimError{15014, 16, "The role '" + role + "' does not exist in the current database."};
    return st.Int(0);
  };
  auto nextUid = [&](int32_t low, int32_t high) {
    auto st = db.Prepare("SELECT MAX(uid) FROM main.users WHERE dbid = ? AND uid >= ? AND uid < ?");
    st.Bind(1, dbid).Bind(2, low).Bind(3, high);
    st.Step();
    return st.IsNull(0) ? low : st.Int(0) + 1;
  };

  if (name == "SP_ADDLOGIN") {
    addLogin(Arg(args, 0), HasArg(args, 1) ? args[1] : std::optional<std::string>(""), false, Arg(args, 2));
  } else if (name == "SP_GRANTLOGIN") {
    addLogin(Arg(args, 0), std::nullopt, true, "master");
  } else if (name == "SP_DROPLOGIN" || name == "SP_REVOKELOGIN") {
    requireSysadmin();
    auto sid = loginSid(Arg(args, 0));
    if (!sid) throw SimError{15007, 16, "The login '" + Arg(args, 0) + "' does not exist."};
    auto del = db.Prepare("DELETE FROM main.logins WHERE sid = ?");
    del.Bind(1, sid->first);
    del.Step();
  } else if (name == "SP_PASSWORD") {
    std::string login = HasArg(args, 2) ? Arg(args, 2) : s_.login_.name;
    if (Upper(login) != Upper(s_.login_.name)) requireSysadmin();
    auto upd = db.Prepare("UPDATE main.logins SET password = ? WHERE name = ? AND isntname = 0");
    upd.Bind(1, Arg(args, 1)).Bind(2, login);
    upd.Step();
    if (db.Changes() == 0) throw SimError{15007, 16, "The login '" + login + "' does not exist."};
  } else if (name == "SP_DEFAULTDB") {
    requireSysadmin();
    if (!s_.DatabaseId(Arg(args, 1))) throw SimError{15010, 16, "The database '" + Arg(args, 1) + "' does not exist."};
    auto upd = db.Prepare("UPDATE main.logins SET dbname = ? WHERE name = ?");
    upd.Bind(1, Arg(args, 1)).Bind(2, Arg(args, 0));
    upd.Step();
    if (db.Changes() == 0) throw SimError{15007, 16, "The login '" + Arg(args, 0) + "' does not exist."};
  } else if (name == "SP_ADDSRVROLEMEMBER" || name == "SP_DROPSRVROLEMEMBER") {
    requireSysadmin();
    if (!loginSid(Arg(args, 0))) throw SimError{15007, 16, "The login '" + Arg(args, 0) + "' does not exist."};
    if (Upper(Arg(args, 1)) == "SYSADMIN") {
      auto upd = db.Prepare("UPDATE main.logins SET sysadmin = ? WHERE name = ?");
      upd.Bind(1, name == "SP_ADDSRVROLEMEMBER" ? 1 : 0).Bind(2, Arg(args, 0));
      upd.Step();
    }
  } else if (name == "SP_ADDUSER" || name == "SP_GRANTDBACCESS") {
    requireDbOwner();
    std::string login = Arg(args, 0);
    std::string user = HasArg(args, 1) ? Arg(args, 1) : login;
    if (Upper(login) == "GUEST" || (!HasArg(args, 0) && Upper(user) == "GUEST")) {
      auto upd = db.Prepare("UPDATE main.users SET hasdbaccess = 1 WHERE dbid = ? AND uid = 2");
      upd.Bind(1, dbid);
      upd.Step();
      return;
    }
    if (user.empty()) throw SimError{15007, 16, "The login '' does not exist."};
    std::optional<std::pair<int64_t, bool>> sid;
    if (HasArg(args, 0)) {
      sid = loginSid(login);
      if (!sid) throw SimError{15007, 16, "The login '" + login + "' does not exist."};
      auto mapped = db.Prepare("SELECT 1 FROM main.users WHERE dbid = ? AND sid = ?");
      mapped.Bind(1, dbid).Bind(2, sid->first);
      if (mapped.Step())
        throw SimError{15063, 16, "The login already has an account under a different user name."};
    }
    if (s_.UserUid(dbid, user)) throw SimError{15023, 16, "User or role '" + user + "' already exists in the "
                                                                                     "current database."};
    int32_t uid = nextUid(5, 16384);
    auto ins = db.Prepare(
        "INSERT INTO main.users(dbid, uid, name, sid, hasdbaccess, issqluser, isntuser, issqlrole) "
        "VALUES (?, ?, ?, ?, 1, ?, ?, 0)");
    ins.Bind(1, dbid).Bind(2, uid).Bind(3, user);
    if (sid) ins.Bind(4, sid->first);
    else ins.BindNull(4);
    bool windows = sid && sid->second;
    ins.Bind(5, windows ? 0 : 1).Bind(6, windows ? 1 : 0);
    ins.Step();
    if (name == "SP_ADDUSER" && HasArg(args, 2)) {
      int32_t role = requireRole(Arg(args, 2));
      auto mem = db.Prepare("INSERT OR IGNORE INTO main.members(dbid, memberuid, groupuid) VALUES (?, ?, ?)");
      mem.Bind(1, dbid).Bind(2, uid).Bind(3, role);
      mem.Step();
    }
  } else if (name == "SP_DROPUSER" || name == "SP_REVOKEDBACCESS") {
    requireDbOwner();
    std::string user = Arg(args, 0);
    auto uid = s_.UserUid(dbid, user);
    if (!uid) throw SimError{15008, 16, "User '" + user + "' does not exist in the current database."};
    if (*uid == 2) {
      auto upd = db.Prepare("UPDATE main.users SET hasdbaccess = 0 WHERE dbid = ? AND uid = 2");
      upd.Bind(1, dbid);
      upd.Step();
      return;
    }
    if (*uid < 5 || *uid >= 16384) throw SimError{15247, 16, "User does not have permission to perform this action."};
    auto owns = db.Prepare("SELECT 1 FROM main.objects WHERE dbid = ? AND uid = ?");
    owns.Bind(1, dbid).Bind(2, *uid);
    if (owns.Step())
      throw SimError{15183, 16, "The user owns objects in the database and cannot be dropped."};
    auto del = db.Prepare("DELETE FROM main.users WHERE dbid = ? AND uid = ?");
    del.Bind(1, dbid).Bind(2, *uid);
    del.Step();
    auto delm = db.Prepare("DELETE FROM main.members WHERE dbid = ? AND memberuid = ?");
    delm.Bind(1, dbid).Bind(2, *uid);
    delm.Step();
    auto delp = db.Prepare("DELETE FROM main.protects WHERE dbid = ? AND uid = ?");  // the user's permissions go too
    delp.Bind(1, dbid).Bind(2, *uid);
    delp.Step();
  } else if (name == "SP_ADDROLE") {
    requireDbOwner();
    std::string role = Arg(args, 0);
    if (role.empty() || s_.UserUid(dbid, role))
      throw SimError{15023, 16, "User or role '" + role + "' already exists in the current database."};
    auto ins = db.Prepare(
        "INSERT INTO main.users(dbid, uid, name, sid, hasdbaccess, issqluser, isntuser, issqlrole) "
        "VALUES (?, ?, ?, NULL, 0, 0, 0, 1)");
    ins.Bind(1, dbid).Bind(2, nextUid(16400, 32767)).Bind(3, role);
    ins.Step();
  } else if (name == "SP_ADDROLEMEMBER" || name == "SP_DROPROLEMEMBER") {
    requireDbOwner();
    int32_t role = requireRole(Arg(args, 0));
    auto member = s_.UserUid(dbid, Arg(args, 1));
    if (!member || *member == 0)
      throw SimError{15410, 11, "User or role '" + Arg(args, 1) + "' does not exist in this database."};
    auto st = db.Prepare(name == "SP_ADDROLEMEMBER"
                             ? "INSERT OR IGNORE INTO main.members(dbid, memberuid, groupuid) VALUES (?, ?, ?)"
                             : "DELETE FROM main.members WHERE dbid = ? AND memberuid = ? AND groupuid = ?");
    st.Bind(1, dbid).Bind(2, *member).Bind(3, role);
    st.Step();
  } else if (name == "SP_CHANGEDBOWNER") {
    requireSysadmin();
    auto sid = loginSid(Arg(args, 0));
    if (!sid) throw SimError{15007, 16, "The login '" + Arg(args, 0) + "' does not exist."};
    auto upd = db.Prepare("UPDATE main.databases SET sid = ? WHERE dbid = ?");
    upd.Bind(1, sid->first).Bind(2, dbid);
    upd.Step();
    auto updu = db.Prepare("UPDATE main.users SET sid = ? WHERE dbid = ? AND uid = 1");
    updu.Bind(1, sid->first).Bind(2, dbid);
    updu.Step();
  } else if (name == "SP_HELPTEXT") {
    HelpText(Arg(args, 0), s_.currentDb_);
  } else {
    // Other system procedures are found in master; like every body, theirs is not run.
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static const std::array<std::string_view, 24> known{
        "sp_help",      "sp_who",        "sp_who2",     "sp_lock",         "sp_columns",   "sp_tables",
        "sp_databases", "sp_depends",    "sp_rename",   "sp_configure",    "sp_spaceused", "sp_executesql",
        "sp_server_info", "sp_stored_procedures", "sp_pkeys", "sp_fkeys", "sp_statistics", "sp_sproc_columns",
        "sp_datatype_info", "sp_special_columns", "sp_recompile", "sp_refreshview", "sp_dboption", "sp_monitor"};
    if (lower.rfind("sp_help", 0) == 0 || std::find(known.begin(), known.end(), lower) != known.end() ||
        s_.ResolveName({"master", "dbo", lower}))
      throw Unsupported("The system procedure " + lower);
    throw SimError{2812, 16, "Could not find stored procedure '" + lower + "'."};
  }
}

void Executor::HelpText(const std::string& objectName, int32_t dbid) {
  std::vector<std::string> parts(1);
  for (char c : objectName) {  // owner.name, [owner].[name]
    if (c == '.') parts.emplace_back();
    else if (c != '[' && c != ']') parts.back() += c;
  }
  if (parts.size() < 3) {
    // looked up in the database read, whichever is current
    if (parts.size() == 1) parts.insert(parts.begin(), "");
    parts.insert(parts.begin(), s_.DatabaseName(dbid));
  }
  auto obj = s_.ResolveName(parts);
  if (!obj)
    throw SimError{15009, 16, "The object '" + objectName + "' does not exist in database '" +
                                  s_.DatabaseName(dbid) + "'."};
  auto st = s_.Db().Prepare("SELECT text, encrypted FROM main.comments WHERE dbid = ? AND id = ? "
                            "ORDER BY number, colid");
  st.Bind(1, dbid).Bind(2, obj->id);
  std::string text;
  bool any = false, encrypted = false;
  while (st.Step()) {
    any = true;
    encrypted = encrypted || st.Int(1) != 0;
    if (!st.IsNull(0)) text += st.Text(0);
  }
  if (!any) throw SimError{15197, 16, "There is no text for object '" + objectName + "'."};
  if (encrypted) {
    Message(15471, 10, "The object comments have been encrypted.");
    return;
  }
  // One row per line, each with its line end; a line longer than 255 characters in pieces.
  sqlserver::ResultSet rs;
  rs.columns.push_back({"Text", sqlserver::Value::Kind::Text});
  rs.SetSqlType(0, "nvarchar(255)");
  size_t start = 0, units = 0;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    const size_t u = len == 4 ? 2 : 1;
    if (units + u > 255) {
      rs.rows.push_back({sqlserver::Value::Text(text.substr(start, i - start))});
      start = i;
      units = 0;
    }
    units += u;
    i += len;
    if (c == '\n' && i >= 2 && text[i - 2] == '\r') {
      rs.rows.push_back({sqlserver::Value::Text(text.substr(start, i - start))});
      start = i;
      units = 0;
    }
  }
  if (start < text.size()) rs.rows.push_back({sqlserver::Value::Text(text.substr(start))});
  RowList rows(rs.rows);
  out_.ResultSet(rs.columns, rows);
}

}  // namespace vx::sqlsim
