#include "Executor.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "SimSession.h"
#include "SimStore.h"

namespace vx::sqlsim {

namespace {
bool IsStarterWord(const std::string& w) {
  static const std::array<std::string_view, 40> starters{
      "SELECT", "USE",    "SET",    "SETUSER", "BEGIN",  "COMMIT", "ROLLBACK", "CREATE",
      "ALTER",  "DROP",   "IF",     "ELSE",    "EXEC",   "EXECUTE", "PRINT",   "DECLARE",
      "INSERT", "UPDATE", "DELETE", "GRANT",   "DENY",   "REVOKE", "RETURN",   "END",
      "WHILE",  "RAISERROR", "WAITFOR", "TRUNCATE", "FETCH", "OPEN", "CLOSE", "DEALLOCATE",
      "GOTO",   "BREAK",  "CONTINUE", "CHECKPOINT", "BACKUP", "RESTORE", "KILL", "SAVE"};
  return std::find(starters.begin(), starters.end(), w) != starters.end();
}
}  // namespace

Executor::Executor(SimSession& session, std::string_view batch, std::vector<Token> tokens,
                   sqlserver::ResultSink& out)
    : s_(session), batch_(batch), tokens_(std::move(tokens)), out_(out) {}

bool Executor::IsWord(size_t i, std::string_view upper) const {
  const Token& t = Tk(i);
  return t.kind == Tok::Word && t.value == upper;
}

bool Executor::IsSymbol(size_t i, std::string_view sym) const {
  const Token& t = Tk(i);
  return t.kind == Tok::Symbol && t.text == sym;
}

bool Executor::IsIdentifier(size_t i) const {
  const Token& t = Tk(i);
  return t.kind == Tok::Bracketed || t.kind == Tok::QuotedId || (t.kind == Tok::Word && !IsReservedWord(t.value));
}

bool Executor::AtStatementStart(size_t i) const {
  const Token& t = Tk(i);
  if (t.kind != Tok::Word || !IsStarterWord(t.value)) return false;
  if (t.value == "SELECT" && i > 0 && (IsWord(i - 1, "UNION") || IsWord(i - 1, "ALL") || IsSymbol(i - 1, "(")))
    return false;
  if (t.value == "UPDATE" && IsSymbol(i + 1, "(")) return false;  // IF UPDATE(col)
  return true;
}

size_t Executor::StatementEnd(size_t from) const {
  int depth = 0, cases = 0;  // the END of a CASE does not end the statement
  size_t i = from;
  for (; Tk(i).kind != Tok::End; ++i) {
    if (IsSymbol(i, "(")) ++depth;
    else if (IsSymbol(i, ")")) --depth;
    else if (IsWord(i, "CASE")) ++cases;
    else if (cases > 0 && IsWord(i, "END")) --cases;
    else if (depth == 0 && cases == 0 && i > from && (AtStatementStart(i) || IsSymbol(i, ";"))) break;
  }
  return i;
}

SimError Executor::SyntaxErrorAt(size_t i) const {
  const Token& t = Tk(i);
  if (t.kind == Tok::End) {
    const Token& last = i > 0 ? Tk(i - 1) : t;
    return SimError{170, 15, "Line " + std::to_string(last.line) + ": Incorrect syntax near '" + last.text + "'.",
                    last.line};
  }
  if (t.kind == Tok::Word && IsReservedWord(t.value))
    return SimError{156, 15, "Incorrect syntax near the keyword '" + t.text + "'.", t.line};
  std::string near = t.kind == Tok::String ? t.value : t.text;
  return SimError{170, 15, "Line " + std::to_string(t.line) + ": Incorrect syntax near '" + near + "'.", t.line};
}

void Executor::SyntaxError(size_t i) const { throw SyntaxErrorAt(i); }

void Executor::Expect(std::string_view upperWord) {
  if (!CurIs(upperWord)) SyntaxError(pos_);
  ++pos_;
}

ObjectName Executor::ParseName() {
  ObjectName n;
  size_t start = pos_;
  for (;;) {
    if (IsIdentifier(pos_)) {
      n.parts.push_back(Cur().kind == Tok::Word ? Cur().text : Cur().value);
      ++pos_;
    } else if (IsSymbol(pos_, ".") && !n.parts.empty()) {
      n.parts.push_back("");  // "db..name"
    } else {
      SyntaxError(pos_);
    }
    if (!IsSymbol(pos_, ".")) break;
    ++pos_;
    if (n.parts.size() >= 4) SyntaxError(pos_);
  }
  if (n.parts.size() > 3) SyntaxError(pos_);
  n.text = std::string(batch_.substr(Tk(start).begin, Tk(pos_ - 1).end - Tk(start).begin));
  return n;
}

std::vector<ObjectName> Executor::ParseNameList() {
  std::vector<ObjectName> names;
  for (;;) {
    names.push_back(ParseName());
    if (!IsSymbol(pos_, ",")) break;
    ++pos_;
  }
  return names;
}

std::string Executor::ParseIdentifierOrString() {
  const Token& t = Cur();
  if (t.kind == Tok::String || t.kind == Tok::Bracketed || t.kind == Tok::QuotedId) {
    ++pos_;
    return t.value;
  }
  if (t.kind == Tok::Word && !IsReservedWord(t.value)) {
    ++pos_;
    return t.text;
  }
  SyntaxError(pos_);
}

void Executor::Message(int number, int severity, std::string text) {
  out_.Message({number, severity, 1, Cur().line, std::move(text)});
}

void Executor::Parse() {
  parsing_ = true;
  Pass(false);
  parsing_ = false;
}

void Executor::Run() {
  pos_ = 0;
  depth_ = 0;
  Pass(true);
}

void Executor::Pass(bool exec) {
  bool first = true;
  while (Cur().kind != Tok::End) {
    if (IsSymbol(pos_, ";")) {
      ++pos_;
      continue;
    }
    Statement(exec, first);
    first = false;
  }
}

void Executor::Statement(bool exec, bool first) {
  // A runtime error is reported on the line of the statement that raised it.
  const size_t start = pos_;
  if (exec && s_.CancelRequested()) {
    const auto m = SimSession::Cancelled();
    throw SimError{m.number, m.severity, m.text, Cur().line};
  }
  try {
    Dispatch(exec, first);
  } catch (SimError& e) {
    if (e.line == 0) e.line = Tk(start).line;
    throw;
  }
}

void Executor::Dispatch(bool exec, bool first) {
  // Statements of the server the simulator does not run: refused by name, never
  // taken for a procedure call or a syntax error.
  static const std::array<std::string_view, 23> refused{
      "DECLARE", "WHILE",  "RAISERROR", "INSERT",   "UPDATE", "DELETE",     "RETURN",  "GOTO",
      "BREAK",   "CONTINUE", "WAITFOR", "DBCC",     "TRUNCATE", "FETCH",    "OPEN",    "CLOSE",
      "DEALLOCATE", "CHECKPOINT", "BACKUP", "RESTORE", "KILL", "READTEXT", "SAVE"};
  if (Cur().kind == Tok::Word && std::find(refused.begin(), refused.end(), Cur().value) != refused.end())
    throw Unsupported("The statement " + Cur().value);
  // A procedure name alone as the first statement runs it, as EXEC does.
  if (first && IsIdentifier(pos_) && (Cur().kind != Tok::Word || !IsStarterWord(Cur().value)) &&
      (Tk(pos_ + 1).kind != Tok::Symbol || IsSymbol(pos_ + 1, ".") || IsSymbol(pos_ + 1, ";"))) {
    ExecProcedure(exec);
    return;
  }
  struct Depth {
    int& d;
    explicit Depth(int& depth) : d(depth) { ++d; }
    ~Depth() { --d; }
  } depth(depth_);
  if (depth_ > 64)
    throw SimError{191, 15, "Some part of your SQL statement is nested too deeply. Rewrite the query or break it up "
                            "into smaller queries.", Cur().line};
  const Token& t = Cur();
  if (t.kind != Tok::Word) {
    // (SELECT ...) [UNION ...]: a query the server takes, not modelled here.
    size_t k = pos_;
    while (IsSymbol(k, "(")) ++k;
    if (k > pos_ && IsWord(k, "SELECT")) throw Unsupported("A query in parentheses");
    SyntaxError(pos_);
  }
  const std::string& w = t.value;
  if (exec && (w == "CREATE" || w == "ALTER" || w == "DROP")) s_.NeedWrite();
  if (w == "SELECT") Select(exec);
  else if (w == "USE") Use(exec);
  else if (w == "SET") Set(exec);
  else if (w == "SETUSER") SetUser(exec);
  else if (w == "BEGIN") Begin(exec);
  else if (w == "COMMIT") EndTransaction(exec, true);
  else if (w == "ROLLBACK") EndTransaction(exec, false);
  else if (w == "IF") If(exec);
  else if (w == "DROP") Drop(exec);
  else if (w == "EXEC" || w == "EXECUTE") ExecProcedure(exec);
  else if (w == "PRINT") Print(exec);
  else if (w == "GRANT" || w == "DENY" || w == "REVOKE") Permission(exec);
  else if (w == "CREATE" || w == "ALTER") Create(exec, first);
  else SyntaxError(pos_);
}

void Executor::Select(bool exec) {
  size_t from = pos_;
  size_t end = StatementEnd(pos_);
  pos_ = end;
  if (parsing_) {
    CheckSelectList(from, end);
    CheckQuery(Translate(from, end), from, end);
    CheckQueryShape(from, end);
  }
  if (!exec) return;
  StreamQuery(Translate(from, end), from, end);
}

// A select list holds values: a comparison or a condition there is the
// server's syntax error, never SQLite's 0 or 1.
void Executor::CheckSelectList(size_t from, size_t to) const {
  for (auto [a, b] : SelectListItems(from, to)) {
    if ((IsIdentifier(a) || Tk(a).kind == Tok::String || Tk(a).kind == Tok::Variable) && IsSymbol(a + 1, "=")) a += 2;
    int depth = 0, cases = 0;
    for (size_t k = a; k < b; ++k) {
      if (IsSymbol(k, "(")) ++depth;
      else if (IsSymbol(k, ")")) --depth;
      else if (IsWord(k, "CASE")) ++cases;
      else if (IsWord(k, "END") && cases > 0) --cases;
      else if (depth == 0 && cases == 0 &&
               (IsSymbol(k, "=") || IsSymbol(k, "<>") || IsSymbol(k, "!=") || IsSymbol(k, "<") || IsSymbol(k, ">") ||
                IsSymbol(k, "<=") || IsSymbol(k, ">=") || IsSymbol(k, "!<") || IsSymbol(k, "!>") ||
                IsWord(k, "LIKE") || IsWord(k, "IS") || IsWord(k, "IN") || IsWord(k, "BETWEEN") ||
                IsWord(k, "AND") || IsWord(k, "OR") || IsWord(k, "NOT") || IsWord(k, "EXISTS")))
        SyntaxError(k);
    }
  }
}

void Executor::Use(bool exec) {
  ++pos_;
  std::string name = ParseIdentifierOrString();
  if (!exec) return;
  auto dbid = s_.DatabaseId(name);
  if (!dbid)
    throw SimError{911, 16,
                   "Could not locate entry in sysdatabases for database '" + name +
                       "'. No entry found with that name. Make sure that the name is entered correctly."};
  int32_t saved = s_.impersonatedUid_;
  if (*dbid != s_.currentDb_) s_.impersonatedUid_ = -1;
  if (s_.EffectiveUid(*dbid) < 0) {
    s_.impersonatedUid_ = saved;
    throw SimError{916, 14,
                   "Server user '" + s_.login_.name + "' is not a valid user in database '" + s_.DatabaseName(*dbid) +
                       "'."};
  }
  s_.currentDb_ = *dbid;
}

void Executor::Set(bool exec) {
  ++pos_;
  if (CurIs("TRANSACTION")) {  // SET TRANSACTION ISOLATION LEVEL ...: accepted, one writer at a time anyway
    ++pos_;
    Expect("ISOLATION");
    Expect("LEVEL");
    if (CurIs("READ") && (IsWord(pos_ + 1, "UNCOMMITTED") || IsWord(pos_ + 1, "COMMITTED"))) pos_ += 2;
    else if (CurIs("REPEATABLE") && IsWord(pos_ + 1, "READ")) pos_ += 2;
    else Expect("SERIALIZABLE");
    return;
  }
  if (Cur().kind == Tok::Variable) throw Unsupported("SET " + Cur().text);
  std::vector<std::string> options;
  for (;;) {
    if (Cur().kind != Tok::Word) SyntaxError(pos_);
    options.push_back(Cur().value);
    ++pos_;
    if (!IsSymbol(pos_, ",")) break;
    ++pos_;
  }
  // SET option ON|OFF, or SET option value (TEXTSIZE, DATEFORMAT, LOCK_TIMEOUT...)
  bool on = false, isSwitch = false;
  if (CurIs("ON") || CurIs("OFF")) {
    on = CurIs("ON");
    isSwitch = true;
    ++pos_;
  } else if (options.size() == 1 && Cur().kind != Tok::End) {
    const bool negative = IsSymbol(pos_, "-");
    if (negative) ++pos_;
    // Options that would change answers the simulator gives: accepted where they
    // leave them as they are, refused otherwise.
    const std::string value = Cur().kind == Tok::Word ? Cur().value : Upper(Cur().value);
    if ((options[0] == "ROWCOUNT" && !(Cur().kind == Tok::Number && std::atoi(value.c_str()) == 0)) ||
        (options[0] == "DATEFORMAT" && value != "MDY") ||
        (options[0] == "LANGUAGE" && value != "US_ENGLISH" && value != "ENGLISH"))
      throw Unsupported("SET " + options[0] + " " + Cur().text);
    if (exec && options[0] == "LOCK_TIMEOUT" && Cur().kind == Tok::Number)
      s_.SetLockTimeout((negative ? -1 : 1) * std::atoi(Cur().value.c_str()));
    ++pos_;
  } else {
    SyntaxError(pos_);
  }
  for (const auto& o : options)
    if (on ? o == "FMTONLY" || o == "PARSEONLY" || o == "NOEXEC" || o == "SHOWPLAN_TEXT" || o == "SHOWPLAN_ALL" ||
                 o == "IMPLICIT_TRANSACTIONS"
           : o == "CONCAT_NULL_YIELDS_NULL" || o == "ANSI_WARNINGS")
      throw Unsupported("SET " + o + (on ? " ON" : " OFF"));
  if (!exec || !isSwitch) return;
  for (const auto& o : options) {
    if (o == "QUOTED_IDENTIFIER") s_.quotedIdentifier_ = on;
    else if (o == "ANSI_NULLS") s_.ansiNulls_ = on;
    else if (o == "NOCOUNT") s_.noCount_ = on;
    else if (o == "ARITHABORT") s_.arithAbort_ = on;
    else if (o == "ANSI_PADDING") s_.ansiPadding_ = on;
    else if (o == "NUMERIC_ROUNDABORT") s_.numericRoundAbort_ = on;
  }
}

void Executor::SetUser(bool exec) {
  ++pos_;
  std::optional<std::string> user;
  if (Cur().kind == Tok::String) {
    user = Cur().value;
    ++pos_;
    if (IsSymbol(pos_, ",")) {  // WITH NORESET
      ++pos_;
      Expect("WITH");
      Expect("NORESET");
    }
  }
  if (!exec) return;
  int32_t dbid = s_.currentDb_;
  bool allowed = s_.login_.sysadmin;
  if (!allowed) {
    int32_t own = -1;
    {
      int32_t saved = s_.impersonatedUid_;
      s_.impersonatedUid_ = -1;
      own = s_.EffectiveUid(dbid);
      s_.impersonatedUid_ = saved;
    }
    allowed = own >= 0 && s_.IsMember(dbid, own, "db_owner");
  }
  if (!allowed) throw SimError{15247, 16, "User does not have permission to perform this action."};
  if (!user) {
    s_.impersonatedUid_ = -1;
    return;
  }
  auto st = s_.Db().Prepare("SELECT uid, issqlrole, isntuser FROM main.users WHERE dbid = ? AND name = ?");
  st.Bind(1, dbid).Bind(2, *user);
  if (!st.Step() || st.Int(1) != 0)
    throw SimError{15008, 16, "User '" + *user + "' does not exist in the current database."};
  if (st.Int(2) != 0) throw SimError{15008, 16, "Windows user '" + *user + "' cannot be impersonated by SETUSER."};
  s_.impersonatedUid_ = st.Int(0);
}

void Executor::Begin(bool exec) {
  if (IsWord(pos_ + 1, "TRAN") || IsWord(pos_ + 1, "TRANSACTION")) {
    pos_ += 2;
    if (IsIdentifier(pos_) || Cur().kind == Tok::Variable) ++pos_;
    if (CurIs("WITH") && IsWord(pos_ + 1, "MARK")) {
      pos_ += 2;
      if (Cur().kind == Tok::String) ++pos_;
    }
    if (exec) ++s_.tranCount_;
    return;
  }
  if (IsWord(pos_ + 1, "DISTRIBUTED")) SyntaxError(pos_ + 1);
  // BEGIN ... END block
  ++pos_;
  while (!CurIs("END")) {
    if (Cur().kind == Tok::End) SyntaxError(pos_);
    if (IsSymbol(pos_, ";")) {
      ++pos_;
      continue;
    }
    Statement(exec, false);
  }
  ++pos_;
}

void Executor::EndTransaction(bool exec, bool commit) {
  ++pos_;
  if (CurIs("TRAN") || CurIs("TRANSACTION") || CurIs("WORK")) {
    ++pos_;
    if (IsIdentifier(pos_) || Cur().kind == Tok::Variable) ++pos_;
  }
  if (!exec) return;
  if (s_.tranCount_ == 0) {
    if (commit)
      throw SimError{3902, 16, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."};
    throw SimError{3903, 16, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION."};
  }
  if (commit) {
    --s_.tranCount_;
    return;
  }
  // ROLLBACK undoes everything since the outermost BEGIN TRANSACTION.
  s_.RollbackAll();
  s_.rolledBackInBatch_ = true;
  s_.BeginBatchTransaction();
}

std::string Executor::ConditionQuery(size_t from, size_t to) {
  return "SELECT CASE WHEN (" + Translate(from, to) + ") THEN 1 ELSE 0 END";
}

bool Executor::EvalCondition(size_t from, size_t to) {
  auto rs = RunQuery(ConditionQuery(from, to), from, to);
  return !rs.rows.empty() && !rs.rows[0].empty() && !rs.rows[0][0].IsNull() && rs.rows[0][0].AsInt64() == 1;
}

void Executor::If(bool exec) {
  ++pos_;
  size_t from = pos_;
  int depth = 0, cases = 0;  // the ELSE and END of a CASE do not end the condition
  while (Cur().kind != Tok::End) {
    if (IsSymbol(pos_, "(")) ++depth;
    else if (IsSymbol(pos_, ")")) --depth;
    else if (CurIs("CASE")) ++cases;
    else if (cases > 0 && CurIs("END")) --cases;
    else if (depth == 0 && cases == 0 && AtStatementStart(pos_)) break;
    ++pos_;
  }
  if (pos_ == from || Cur().kind == Tok::End) SyntaxError(pos_);
  if (parsing_) CheckQuery(ConditionQuery(from, pos_), from, pos_);
  bool cond = exec && EvalCondition(from, pos_);
  Statement(exec && cond, false);
  while (IsSymbol(pos_, ";")) ++pos_;
  if (CurIs("ELSE")) {
    ++pos_;
    Statement(exec && !cond, false);
  }
}

void Executor::Print(bool exec) {
  ++pos_;
  size_t from = pos_;
  size_t end = StatementEnd(pos_);
  if (end == from) SyntaxError(pos_);
  pos_ = end;
  // what PRINT shows is text: a datetime as CONVERT writes it
  auto query = [&] {
    const std::string sql = Translate(from, end);
    return TypeOf(from, end).IsDate() ? "SELECT vx_convert('varchar(8000)', " + sql + ", NULL, 'D')" : "SELECT " + sql;
  };
  if (parsing_) CheckQuery(query(), from, end);
  if (!exec) return;
  auto rs = RunQuery(query(), from, end);
  std::string text;
  if (!rs.rows.empty() && !rs.rows[0].empty() && !rs.rows[0][0].IsNull()) text = rs.rows[0][0].AsText();
  out_.Message({0, 0, 1, Tk(from).line, text});
}

}  // namespace vx::sqlsim
