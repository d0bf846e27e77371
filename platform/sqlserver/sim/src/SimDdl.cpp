// CREATE / ALTER / DROP of procedures, views, functions and triggers, with the
// header grammar SQL Server 2000 enforces, plus CREATE TABLE and CREATE DATABASE.
#include <algorithm>
#include <cstdlib>

#include "Executor.h"
#include "SimSession.h"
#include "SimStore.h"

namespace vx::sqlsim {

namespace {
bool Contains(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

std::string KindWord(const std::string& kind) { return kind == "PROC" ? "PROCEDURE" : kind; }

std::string LowerKind(const std::string& kind) {
  std::string k = KindWord(kind);
  for (char& c : k) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return k;
}

bool KindMatches(const std::string& kind, const std::string& xtype) {
  std::string k = KindWord(kind);
  if (k == "PROCEDURE") return xtype == "P";
  if (k == "VIEW") return xtype == "V";
  if (k == "TRIGGER") return xtype == "TR";
  if (k == "FUNCTION") return xtype == "FN" || xtype == "IF" || xtype == "TF";
  if (k == "TABLE") return xtype == "U";
  return false;
}
}  // namespace

bool Executor::CanDoDdl(int32_t dbid) const {
  if (s_.IsSysadminNow()) return true;
  int32_t uid = s_.EffectiveUid(dbid);
  if (uid < 0) return false;
  return uid == 1 || s_.IsMember(dbid, uid, "db_owner") || s_.IsMember(dbid, uid, "db_ddladmin");
}

void Executor::ParseOptions(const std::vector<std::string>& allowed, Header& h) {
  for (;;) {
    const Token& t = Cur();
    if (t.kind != Tok::Word) SyntaxError(pos_);
    if (!Contains(allowed, t.value)) {
      if (IsReservedWord(t.value)) SyntaxError(pos_);
      throw SimError{195, 15, "'" + t.text + "' is not a recognized option.", t.line};
    }
    if (t.value == "ENCRYPTION") h.encrypted = true;
    if (t.value == "SCHEMABINDING") h.schemaBound = true;
    ++pos_;
    if (!IsSymbol(pos_, ",")) break;
    ++pos_;
  }
}


// The first token of a procedure or trigger body must begin a statement.
void Executor::ExpectBodyStart(const Header&) {
  static const std::vector<std::string> starters{
      "BEGIN", "BREAK", "CHECKPOINT", "CLOSE", "COMMIT", "CONTINUE", "CREATE", "DBCC", "DEALLOCATE", "DECLARE",
      "DELETE", "DENY", "DROP", "ALTER", "EXEC", "EXECUTE", "FETCH", "GOTO", "GRANT", "IF", "INSERT", "KILL",
      "OPEN", "PRINT", "RAISERROR", "READTEXT", "RETURN", "REVOKE", "ROLLBACK", "SAVE", "SELECT", "SET",
      "SETUSER", "TRUNCATE", "UPDATE", "UPDATETEXT", "WAITFOR", "WHILE", "WRITETEXT", "BACKUP", "RESTORE"};
  const Token& t = Cur();
  if (t.kind == Tok::Symbol && (t.text == "(" || t.text == ";")) return;
  if (t.kind == Tok::Word && Contains(starters, t.value)) return;
  if (IsIdentifier(pos_) && IsSymbol(pos_ + 1, ":")) return;  // a label
  SyntaxError(pos_);
}

Executor::Header Executor::ParseProcedureHeader() {
  Header h;
  h.xtype = "P";
  h.name = ParseName();
  if (IsSymbol(pos_, ";")) {
    ++pos_;
    if (Cur().kind != Tok::Number) SyntaxError(pos_);
    ++pos_;
  }
  if (!CurIs("WITH") && !CurIs("FOR") && !CurIs("AS")) {
    bool paren = IsSymbol(pos_, "(");
    size_t first = paren ? pos_ + 1 : pos_;
    if (Tk(first).kind != Tok::Variable && !(paren && IsSymbol(first, ")"))) SyntaxError(first);
    int depth = 0;
    while (!(depth == 0 && (CurIs("WITH") || CurIs("FOR") || CurIs("AS")))) {
      if (Cur().kind == Tok::End) SyntaxError(pos_);
      if (IsSymbol(pos_, "(")) ++depth;
      else if (IsSymbol(pos_, ")")) --depth;
      else if (depth == 0 && Cur().kind == Tok::Word && IsReservedWord(Cur().value) && !CurIs("NULL") && !CurIs("CURSOR") &&
               !CurIs("DEFAULT"))
        SyntaxError(pos_);
      ++pos_;
    }
  }
  if (CurIs("WITH")) {
    ++pos_;
    ParseOptions({"RECOMPILE", "ENCRYPTION"}, h);
  }
  if (CurIs("FOR")) {
    ++pos_;
    Expect("REPLICATION");
  }
  Expect("AS");
  h.bodyStart = pos_;
  ExpectBodyStart(h);
  return h;
}

std::vector<std::string> Executor::ParseColumnList() {
  if (!IsSymbol(pos_, "(")) SyntaxError(pos_);
  ++pos_;
  std::vector<std::string> names;
  for (;;) {
    if (!IsIdentifier(pos_)) SyntaxError(pos_);
    names.push_back(Cur().kind == Tok::Word ? Cur().text : Cur().value);
    ++pos_;
    if (!IsSymbol(pos_, ",")) break;
    ++pos_;
  }
  if (!IsSymbol(pos_, ")")) SyntaxError(pos_);
  ++pos_;
  return names;
}

Executor::Header Executor::ParseViewHeader() {
  Header h;
  h.xtype = "V";
  h.name = ParseName();
  if (IsSymbol(pos_, "(")) h.columns = ParseColumnList();
  if (CurIs("WITH")) {
    ++pos_;
    ParseOptions({"ENCRYPTION", "SCHEMABINDING", "VIEW_METADATA"}, h);
  }
  Expect("AS");
  h.bodyStart = pos_;
  if (!CurIs("SELECT") && !IsSymbol(pos_, "(")) SyntaxError(pos_);
  return h;
}

Executor::Header Executor::ParseFunctionHeader() {
  Header h;
  h.name = ParseName();
  auto skipParens = [&] {
    if (!IsSymbol(pos_, "(")) SyntaxError(pos_);
    int depth = 0;
    do {
      if (Cur().kind == Tok::End) SyntaxError(pos_);
      if (IsSymbol(pos_, "(")) ++depth;
      else if (IsSymbol(pos_, ")")) --depth;
      ++pos_;
    } while (depth > 0);
  };
  if (!IsSymbol(pos_, "(")) SyntaxError(pos_);
  if (!IsSymbol(pos_ + 1, ")") && Tk(pos_ + 1).kind != Tok::Variable) SyntaxError(pos_ + 1);
  skipParens();
  Expect("RETURNS");
  if (CurIs("TABLE")) {
    h.xtype = "IF";
    ++pos_;
  } else if (Cur().kind == Tok::Variable) {
    h.xtype = "TF";
    ++pos_;
    Expect("TABLE");
    skipParens();
  } else {
    h.xtype = "FN";
    if (!IsIdentifier(pos_)) SyntaxError(pos_);
    ++pos_;
    while (IsSymbol(pos_, ".")) {
      ++pos_;
      if (!IsIdentifier(pos_)) SyntaxError(pos_);
      ++pos_;
    }
    if (IsSymbol(pos_, "(")) skipParens();
  }
  if (CurIs("WITH")) {
    ++pos_;
    ParseOptions({"ENCRYPTION", "SCHEMABINDING"}, h);
  }
  if (CurIs("AS")) ++pos_;
  h.bodyStart = pos_;
  if (h.xtype == "IF") {
    if (!CurIs("RETURN")) SyntaxError(pos_);
  } else if (!CurIs("BEGIN")) {
    SyntaxError(pos_);
  }
  return h;
}

Executor::Header Executor::ParseTriggerHeader() {
  Header h;
  h.xtype = "TR";
  h.name = ParseName();
  Expect("ON");
  h.table = ParseName();
  if (CurIs("WITH")) {
    ++pos_;
    ParseOptions({"ENCRYPTION"}, h);
  }
  if (CurIs("FOR") || CurIs("AFTER")) {
    ++pos_;
  } else if (CurIs("INSTEAD")) {
    h.insteadOf = true;
    ++pos_;
    Expect("OF");
  } else {
    SyntaxError(pos_);
  }
  bool any = false;
  for (;;) {
    if (CurIs("INSERT") || CurIs("UPDATE") || CurIs("DELETE")) {
      any = true;
      ++pos_;
      if (IsSymbol(pos_, ",")) {
        ++pos_;
        continue;
      }
    }
    break;
  }
  if (!any) SyntaxError(pos_);
  if (CurIs("WITH")) {
    ++pos_;
    Expect("APPEND");
  }
  if (CurIs("NOT")) {
    ++pos_;
    Expect("FOR");
    Expect("REPLICATION");
  }
  Expect("AS");
  h.bodyStart = pos_;
  ExpectBodyStart(h);
  return h;
}

void Executor::Create(bool exec, bool first) {
  size_t keyword = pos_;
  bool alter = CurIs("ALTER");
  ++pos_;
  if (CurIs("PROC") || CurIs("PROCEDURE") || CurIs("VIEW") || CurIs("FUNCTION") || CurIs("TRIGGER")) {
    std::string kind = Cur().value;
    ++pos_;
    CreateProgrammable(exec, first, alter, kind, keyword);
  } else if (!alter && CurIs("TABLE")) {
    ++pos_;
    CreateTable(exec);
  } else if (!alter && CurIs("DATABASE")) {
    ++pos_;
    CreateDatabase(exec);
  } else if (!alter && (CurIs("UNIQUE") || CurIs("CLUSTERED") || CurIs("NONCLUSTERED") || CurIs("INDEX"))) {
    CreateIndex(exec);
  } else if (alter && CurIs("TABLE")) {
    throw Unsupported("ALTER TABLE");
  } else {
    SyntaxError(pos_);
  }
}

void Executor::CreateProgrammable(bool exec, bool first, bool alter, const std::string& kindIn, size_t keyword) {
  const std::string kind = KindWord(kindIn);
  const std::string verb = alter ? "ALTER" : "CREATE";
  if (!first)
    throw SimError{111, 15, "'" + verb + " " + kind + "' must be the first statement in a query batch.",
                   Tk(keyword).line};
  Header h = kind == "PROCEDURE" ? ParseProcedureHeader()
             : kind == "VIEW"    ? ParseViewHeader()
             : kind == "FUNCTION" ? ParseFunctionHeader()
                                  : ParseTriggerHeader();
  size_t bodyStart = h.bodyStart;
  if (kind == "VIEW") CheckViewBody(bodyStart);
  int32_t groupNumber = 1;
  for (size_t i = keyword; i < bodyStart; ++i)
    if (IsSymbol(i, ";") && Tk(i + 1).kind == Tok::Number) {
      long n = std::strtol(Tk(i + 1).value.c_str(), nullptr, 10);
      if (n < 1 || n > 32767) SyntaxError(i + 1);
      groupNumber = static_cast<int32_t>(n);
    }
  pos_ = tokens_.size() - 1;  // the body runs to the end of the batch
  if (!exec) return;

  const int32_t dbid = s_.currentDb_;
  const std::string dbName = s_.DatabaseName(dbid);
  if (h.name.parts.size() == 3)
    throw SimError{166, 15, "'" + verb + " " + kind +
                                "' does not allow specifying the database name as a prefix to the object name."};
  if (s_.EffectiveUid(dbid) < 0)
    throw SimError{916, 14, "Server user '" + s_.login_.name + "' is not a valid user in database '" + dbName + "'."};

  // The trigger's table decides the trigger's owner unless one is written.
  std::optional<ObjectRow> table;
  if (h.table) {
    table = s_.ResolveName(h.table->parts);
    if (!table || (table->xtype != "U" && table->xtype != "V"))
      throw SimError{208, 16, "Invalid object name '" + h.table->text + "'."};
    if (table->xtype == "V" && !h.insteadOf) throw Unsupported("A FOR or AFTER trigger on a view");
  }
  int32_t ownerUid;
  std::string ownerName = h.name.Owner();
  if (!ownerName.empty()) {
    auto uid = s_.UserUid(dbid, ownerName);
    auto isRole = s_.Db().Prepare("SELECT issqlrole FROM main.users WHERE dbid = ? AND name = ?");
    isRole.Bind(1, dbid).Bind(2, ownerName);
    if (!uid || (isRole.Step() && isRole.Int(0) != 0))
      throw SimError{2760, 16, "Specified owner name '" + ownerName +
                                   "' either does not exist or you do not have permission to use it."};
    ownerUid = *uid;
  } else if (table) {
    ownerUid = table->uid;
  } else {
    ownerUid = s_.EffectiveUid(dbid);
  }

  const bool bindable = kind == "VIEW" || kind == "FUNCTION";
  const std::vector<int32_t> references = bindable ? CheckReferences(h, dbid, ownerUid) : std::vector<int32_t>{};

  // The text kept is the batch as sent, an ALTER written as CREATE.
  std::string text(batch_);
  if (alter) {
    const Token& k = Tk(keyword);
    std::string word = k.text == "alter" ? "create" : k.text == "Alter" ? "Create" : "CREATE";
    text.replace(k.begin, k.end - k.begin, word);
  }

  auto& db = s_.Db();
  int32_t id;
  double now = NowOle();
  if (!alter) {
    if (!CanDoDdl(dbid))
      throw SimError{262, 14, "CREATE " + kind + " permission denied in database '" + dbName + "'."};
    auto exists = db.Prepare("SELECT id, xtype FROM main.objects WHERE dbid = ? AND name = ? AND uid = ?");
    exists.Bind(1, dbid).Bind(2, h.name.Name()).Bind(3, ownerUid);
    if (exists.Step()) {
      if (groupNumber > 1 && exists.Text(1) == "P") {
        id = exists.Int(0);
        auto has = db.Prepare("SELECT 1 FROM main.comments WHERE dbid = ? AND id = ? AND number = ?");
        has.Bind(1, dbid).Bind(2, id).Bind(3, groupNumber);
        if (has.Step())
          throw SimError{2729, 16, "Procedure '" + h.name.Name() + "' group number " + std::to_string(groupNumber) +
                                       " already exists in the database. Choose another procedure name."};
      } else {
        throw SimError{2714, 16, "There is already an object named '" + h.name.Name() + "' in the database."};
      }
    } else {
      id = NextObjectId(db);
      auto ins = db.Prepare(
          "INSERT INTO main.objects(dbid, id, name, xtype, uid, parent_obj, crdate, schema_ver, status, category, "
          "quoted_ident, ansi_nulls, shipped) VALUES (?, ?, ?, ?, ?, ?, ?, 0, ?, 0, ?, ?, 0)");
      ins.Bind(1, dbid).Bind(2, id).Bind(3, h.name.Name()).Bind(4, h.xtype).Bind(5, ownerUid)
          .Bind(6, table ? table->id : 0).Bind(7, now).Bind(8, static_cast<int64_t>(0x60000000))
          .Bind(9, s_.quotedIdentifier_ ? 1 : 0).Bind(10, s_.ansiNulls_ ? 1 : 0);
      ins.Step();
    }
  } else {
    std::optional<ObjectRow> obj = s_.ResolveName(h.name.parts);
    if (!obj) throw SimError{208, 16, "Invalid object name '" + h.name.text + "'."};
    if (!KindMatches(kind, obj->xtype) || (kind == "FUNCTION" && obj->xtype != h.xtype))
      throw SimError{2010, 16, "Cannot perform alter on '" + h.name.Name() +
                                   "' because it is an incompatible object type."};
    int32_t me = s_.EffectiveUid(dbid);
    if (obj->uid != me && !CanDoDdl(dbid))
      throw SimError{229, 14, "ALTER " + kind + " permission denied on object '" + obj->name + "', database '" +
                                  dbName + "', owner '" + s_.UserName(dbid, obj->uid) + "'."};
    if (table && obj->parent != table->id)
      throw SimError{2108, 16, "Cannot alter trigger '" + obj->name + "' on table '" + h.table->text +
                                   "' because this trigger does not belong to this table."};
    if (bindable) CheckNotReferenced(dbid, *obj, "ALTER " + kind, h.name.text);
    id = obj->id;
    if (kind == "VIEW") ForgetIndexes(dbid, id);  // altering a view drops its indexes
    auto upd = db.Prepare(
        "UPDATE main.objects SET schema_ver = schema_ver + 16, quoted_ident = ?, ansi_nulls = ? "
        "WHERE dbid = ? AND id = ?");
    upd.Bind(1, s_.quotedIdentifier_ ? 1 : 0).Bind(2, s_.ansiNulls_ ? 1 : 0).Bind(3, dbid).Bind(4, id);
    upd.Step();
  }
  auto del = db.Prepare("DELETE FROM main.comments WHERE dbid = ? AND id = ? AND number = ?");
  del.Bind(1, dbid).Bind(2, id).Bind(3, groupNumber);
  del.Step();
  auto ins = db.Prepare(
      "INSERT INTO main.comments(dbid, id, number, colid, status, ctext, text, encrypted, compressed, texttype) "
      "VALUES (?, ?, ?, ?, ?, ?, ?, ?, 0, 2)");
  int colid = 0;
  for (const std::string& row : SplitCommentRows(text)) {
    ++colid;
    ins.Reset();
    std::string ctext = h.encrypted ? Obfuscate(CommentBytes(row), id + colid) : CommentBytes(row);
    ins.Bind(1, dbid).Bind(2, id).Bind(3, groupNumber).Bind(4, colid).Bind(5, h.encrypted ? 1 : 0)
        .BindBlob(6, std::vector<uint8_t>(ctext.begin(), ctext.end()));
    if (h.encrypted) ins.BindNull(7);
    else ins.Bind(7, row);
    ins.Bind(8, h.encrypted ? 1 : 0);
    ins.Step();
  }

  if (bindable) RecordBinding(h, dbid, id, references);
  if (h.xtype == "V") {
    // Permissions on single columns name them by colid: the view's columns in order.
    auto forget = db.Prepare("DELETE FROM main.viewcolumns WHERE dbid = ? AND id = ?");
    forget.Bind(1, dbid).Bind(2, id);
    forget.Step();
    auto column = db.Prepare("INSERT OR IGNORE INTO main.viewcolumns(dbid, id, colid, name) VALUES (?, ?, ?, ?)");
    int colid = 0;
    for (const std::string& name : ViewColumns(h)) {
      column.Reset();
      column.Bind(1, dbid).Bind(2, id).Bind(3, ++colid).Bind(4, name);
      column.Step();
    }
  }

  // A procedure calling one that does not exist is still created, with a warning.
  if (kind == "PROCEDURE") {
    for (size_t i = bodyStart; Tk(i).kind != Tok::End; ++i) {
      if (!(IsWord(i, "EXEC") || IsWord(i, "EXECUTE"))) continue;
      size_t k = i + 1;
      if (Tk(k).kind == Tok::Variable || IsSymbol(k, "(")) continue;
      if (!IsIdentifier(k)) continue;
      std::vector<std::string> parts;
      while (IsIdentifier(k)) {
        parts.push_back(Tk(k).kind == Tok::Word ? Tk(k).text : Tk(k).value);
        if (!IsSymbol(k + 1, ".")) break;
        k += 2;
      }
      std::string u = Upper(parts.back());
      if (u.rfind("SP_", 0) == 0 || u.rfind("XP_", 0) == 0 || parts.size() > 3) continue;
      if (!s_.ResolveName(parts))
        out_.Message({2007, 10, 1, Tk(i).line,
                                 "Cannot add rows to sysdepends for the current stored procedure because it depends "
                                 "on the missing object '" + parts.back() + "'. The stored procedure will still be "
                                 "created."});
    }
  }
}

void Executor::Drop(bool exec) {
  ++pos_;
  if (CurIs("DATABASE")) {
    ++pos_;
    std::string name = ParseIdentifierOrString();
    if (!exec) return;
    if (!s_.IsSysadminNow()) throw SimError{262, 14, "DROP DATABASE permission denied in database 'master'."};
    auto dbid = s_.DatabaseId(name);
    if (!dbid || *dbid <= 4)
      throw SimError{3701, 11, "Cannot drop the database '" + name + "', because it does not exist in the system "
                                                                     "catalog."};
    if (*dbid == s_.currentDb_) throw SimError{3702, 16, "Cannot drop the database '" + name + "' because it is "
                                                                                              "currently in use."};
    for (const char* t : {"objects", "comments", "users", "members", "protects", "indexes", "indexkeys", "bound",
                          "bindings", "viewcolumns", "databases"}) {
      auto st = s_.Db().Prepare(std::string("DELETE FROM main.") + t + " WHERE dbid = ?");
      st.Bind(1, *dbid);
      st.Step();
    }
    return;
  }
  if (CurIs("INDEX")) {
    DropIndex(exec);
    return;
  }
  if (!(CurIs("PROC") || CurIs("PROCEDURE") || CurIs("VIEW") || CurIs("FUNCTION") || CurIs("TRIGGER") ||
        CurIs("TABLE")))
    SyntaxError(pos_);
  std::string kind = KindWord(Cur().value);
  ++pos_;
  const std::vector<ObjectName> names = ParseNameList();
  if (!exec) return;
  const int32_t dbid = s_.currentDb_;
  auto& db = s_.Db();
  for (const auto& n : names) {
    auto obj = s_.ResolveName(n.parts);
    if (!obj || !KindMatches(kind, obj->xtype))
      throw SimError{3701, 11, "Cannot drop the " + LowerKind(kind) + " '" + n.text +
                                   "', because it does not exist in the system catalog."};
    if (obj->uid != s_.EffectiveUid(dbid) && !CanDoDdl(dbid))
      throw SimError{3704, 16, "User does not have permission to perform this operation on " + LowerKind(kind) +
                                   " '" + n.text + "'."};
    if (obj->shipped && !s_.IsSysadminNow())
      throw SimError{3704, 16, "User does not have permission to perform this operation on " + LowerKind(kind) +
                                   " '" + n.text + "'."};
    CheckNotReferenced(dbid, *obj, "DROP " + kind, n.text);
    ForgetIndexes(dbid, obj->id);
    ForgetBinding(dbid, obj->id);
    // One statement per key, so each deletion finds its rows through an index.
    for (const char* sql :
         {"DELETE FROM main.comments WHERE dbid = ?1 AND id IN "
          "(SELECT id FROM main.objects WHERE dbid = ?1 AND parent_obj = ?2 AND xtype = 'TR')",
          "DELETE FROM main.comments WHERE dbid = ?1 AND id = ?2",
          "DELETE FROM main.objects WHERE dbid = ?1 AND parent_obj = ?2 AND xtype = 'TR'",
          "DELETE FROM main.objects WHERE dbid = ?1 AND id = ?2",
          "DELETE FROM main.protects WHERE dbid = ?1 AND id = ?2",
          "DELETE FROM main.viewcolumns WHERE dbid = ?1 AND id = ?2"}) {
      auto del = db.Prepare(sql);
      del.Bind(1, dbid).Bind(2, obj->id);
      del.Step();
    }
  }
}

void Executor::CreateTable(bool exec) {
  ObjectName name = ParseName();
  if (!IsSymbol(pos_, "(")) SyntaxError(pos_);
  int depth = 0;
  do {
    if (Cur().kind == Tok::End) SyntaxError(pos_);
    if (IsSymbol(pos_, "(")) ++depth;
    else if (IsSymbol(pos_, ")")) --depth;
    ++pos_;
  } while (depth > 0);
  if (CurIs("ON") && Tk(pos_ + 1).kind != Tok::End) pos_ += 2;  // ON [PRIMARY]
  if (!exec) return;
  const int32_t dbid = s_.currentDb_;
  const std::string dbName = s_.DatabaseName(dbid);
  if (name.parts.size() == 3 && Upper(name.parts[0]) != Upper(dbName))
    throw SimError{2760, 16, "The simulator creates tables in the current database only."};
  if (!CanDoDdl(dbid)) throw SimError{262, 14, "CREATE TABLE permission denied in database '" + dbName + "'."};
  int32_t ownerUid = s_.EffectiveUid(dbid);
  if (!name.Owner().empty()) {
    auto uid = s_.UserUid(dbid, name.Owner());
    if (!uid)
      throw SimError{2760, 16, "Specified owner name '" + name.Owner() +
                                   "' either does not exist or you do not have permission to use it."};
    ownerUid = *uid;
  }
  auto& db = s_.Db();
  auto exists = db.Prepare("SELECT 1 FROM main.objects WHERE dbid = ? AND name = ? AND uid = ?");
  exists.Bind(1, dbid).Bind(2, name.Name()).Bind(3, ownerUid);
  if (exists.Step())
    throw SimError{2714, 16, "There is already an object named '" + name.Name() + "' in the database."};
  auto ins = db.Prepare(
      "INSERT INTO main.objects(dbid, id, name, xtype, uid, parent_obj, crdate, schema_ver, status, category, "
      "quoted_ident, ansi_nulls, shipped) VALUES (?, ?, ?, 'U', ?, 0, ?, 0, 0, 0, ?, ?, 0)");
  ins.Bind(1, dbid).Bind(2, NextObjectId(db)).Bind(3, name.Name()).Bind(4, ownerUid).Bind(5, NowOle())
      .Bind(6, s_.quotedIdentifier_ ? 1 : 0).Bind(7, s_.ansiNulls_ ? 1 : 0);
  ins.Step();
}

void Executor::CreateDatabase(bool exec) {
  std::string name = ParseIdentifierOrString();
  pos_ = StatementEnd(pos_);  // file options are accepted and ignored
  if (!exec) return;
  if (!s_.IsSysadminNow()) throw SimError{262, 14, "CREATE DATABASE permission denied in database 'master'."};
  if (s_.tranCount_ > 0)
    throw SimError{226, 16, "CREATE DATABASE statement not allowed within multi-statement transaction."};
  if (s_.DatabaseId(name)) throw SimError{1801, 16, "Database '" + name + "' already exists."};
  auto& db = s_.Db();
  auto next = db.Prepare("SELECT MAX(dbid) FROM main.databases");
  next.Step();
  int32_t dbid = std::max<int32_t>(5, static_cast<int32_t>(next.Int64(0)) + 1);
  auto ins = db.Prepare("INSERT INTO main.databases(dbid, name, sid, crdate) VALUES (?, ?, ?, ?)");
  ins.Bind(1, dbid).Bind(2, name).Bind(3, s_.login_.sid).Bind(4, NowOle());
  ins.Step();
  InitializeDatabaseRows(db, dbid, s_.login_.sid, true);
  Message(0, 0, "The CREATE DATABASE process is allocating 0.63 MB on disk '" + name + "'.");
}

}  // namespace vx::sqlsim
