// What the server checks when it compiles a batch, before any statement runs:
// the syntax of the queries (through SQLite's parser), the place of a view's
// options, and the translation of server errors of queries into messages.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "Executor.h"
#include "SimSession.h"
#include "SimTypes.h"

#include <sqlcipher/sqlite3.h>

namespace vx::sqlsim {

namespace {
bool IsCompileError(int number) {
  return number == 156 || number == 170 || number == 174 || number == 191 || number == 195;
}

// How deep parentheses, CASE and signs may nest in one statement: SQLite's own
// parser gives up before this, and the simulator's passes over the text recurse
// once per level.
constexpr int kMaxNesting = 128;

SimError NestedTooDeeply(int line) {
  return SimError{191, 15,
                  "Some part of your SQL statement is nested too deeply. Rewrite the query or break it up into "
                  "smaller queries.",
                  line};
}
}  // namespace

// A type is written as words ("int", "double precision") and a length or a
// precision and scale in parentheses; a string or binary type longer than the
// server keeps (131) is refused before anything of that length is made.
void Executor::CheckTypeLength(size_t a, size_t b) const {
  size_t k = a;
  while (k < b && Tk(k).kind == Tok::Word) ++k;
  if (k == a) SyntaxError(a);
  if (k < b) {
    if (!IsSymbol(k, "(")) SyntaxError(k);
    if (Tk(k + 1).kind != Tok::Number) SyntaxError(k + 1);
    size_t close = k + 2;
    if (IsSymbol(close, ",") && Tk(close + 1).kind == Tok::Number) close += 2;
    if (!IsSymbol(close, ")")) SyntaxError(close);
    if (close + 1 != b) SyntaxError(close + 1);
  }
  if (b != a + 4 || !IsSymbol(a + 1, "(")) return;
  const std::string& base = Tk(a).value;
  const int limit = base == "NCHAR" || base == "NVARCHAR" ? 4000
                    : base == "CHAR" || base == "VARCHAR" || base == "BINARY" || base == "VARBINARY" ? 8000
                                                                                                      : 0;
  const std::string& digits = Tk(a + 2).text;
  if (limit == 0 || digits.find_first_not_of("0123456789") != std::string::npos) return;
  const size_t first = std::min(digits.find_first_not_of('0'), digits.size());
  if (digits.size() - first <= 5 && std::atoi(digits.c_str() + first) <= limit) return;
  throw SimError{131, 15,
                 "The size (" + digits.substr(first) + ") given to the type '" + Lower(Tk(a).text) +
                     "' exceeds the maximum allowed for any data type (" + std::to_string(limit) + ").",
                 Tk(a).line};
}

// Parts of a query the server has that the translation does not model: named,
// never left to SQLite's parser to call a syntax error.
void Executor::RefuseUnmodelled(size_t from, size_t to) const {
  for (size_t k = from; k < to; ++k) {
    if (IsWord(k, "INTO")) throw Unsupported("SELECT INTO");
    // After UNION [ALL] a parenthesis can only open a query of its own.
    if ((IsWord(k, "UNION") || (IsWord(k, "ALL") && k > from && IsWord(k - 1, "UNION"))) && IsSymbol(k + 1, "("))
      throw Unsupported("A query in parentheses");
    const bool compared = IsSymbol(k - 1, "=") || IsSymbol(k - 1, "<>") || IsSymbol(k - 1, "!=") ||
                          IsSymbol(k - 1, "<") || IsSymbol(k - 1, ">") || IsSymbol(k - 1, "<=") ||
                          IsSymbol(k - 1, ">=") || IsSymbol(k - 1, "!<") || IsSymbol(k - 1, "!>");
    if (k > from && compared && (IsWord(k, "ANY") || IsWord(k, "SOME") || IsWord(k, "ALL")))
      throw Unsupported("A comparison with " + Tk(k).value);
  }
}

void Executor::CheckNesting(size_t from, size_t to) const {
  int depth = 0, cases = 0, signs = 0;
  for (size_t k = from; k < to; ++k) {
    if (IsSymbol(k, "(")) ++depth;
    else if (IsSymbol(k, ")") && depth > 0) --depth;
    else if (IsWord(k, "CASE")) ++cases;
    else if (IsWord(k, "END") && cases > 0) --cases;
    signs = IsSymbol(k, "-") || IsSymbol(k, "+") || IsSymbol(k, "~") || IsWord(k, "NOT") ? signs + 1 : 0;
    if (depth + cases + signs > kMaxNesting) throw NestedTooDeeply(Tk(k).line);
  }
}

// Whether the dotted name is written in the statement [from, to): SQLite's
// messages may name what the translation wrote instead, which no client sees.
bool Executor::Written(const std::string& name, size_t from, size_t to) const {
  size_t start = 0;
  for (;;) {
    const size_t dot = name.find('.', start);
    const std::string part = Upper(name.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
    bool found = false;
    for (size_t i = from; i < to && !found; ++i)
      found = Upper(Tk(i).text) == part || (Tk(i).kind != Tok::String && Upper(Tk(i).value) == part);
    if (!found) return false;
    if (dot == std::string::npos) return true;
    start = dot + 1;
  }
}

SimError Executor::QueryError(int rc, const std::string& msg, size_t from, size_t to) const {
  if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) return SimError{1222, 16, "Lock request time out period exceeded."};
  if (rc == SQLITE_NOMEM) return SimError{701, 17, "There is insufficient system memory to run this query."};
  auto after = [&](const char* prefix) { return msg.substr(std::strlen(prefix)); };
  if (msg.rfind("vx:", 0) == 0 && msg.find(':', 3) != std::string::npos) {
    const size_t colon = msg.find(':', 3);
    const int number = std::atoi(msg.substr(3, colon - 3).c_str());
    if (number != 0) return SimError{number, 16, msg.substr(colon + 1)};
  }
  if (msg == "vx:8134") return SimError{8134, 16, "Divide by zero error encountered."};
  if (msg == "vx:241") return SimError{241, 16, "Syntax error converting datetime from character string."};
  // Nesting the server takes but SQLite's parser does not.
  if (msg == "parser stack overflow" || msg.rfind("Expression tree is too large", 0) == 0)
    return Unsupported("A statement nested this deeply");
  // Whatever else SQLite cannot run is no T-SQL it knows: named when the
  // batch wrote it, never in SQLite's or the translation's words.
  const SimError refused = Unsupported("This statement");
  if (msg.rfind("no such table: ", 0) == 0) {
    std::string name = after("no such table: ");
    if (name.rfind("main.", 0) == 0) name = name.substr(5);
    return Written(name, from, to) ? SimError{208, 16, "Invalid object name '" + name + "'."} : refused;
  }
  if (msg.rfind("no such column: ", 0) == 0) {
    const std::string name = after("no such column: ");
    return Written(name, from, to) ? SimError{207, 16, "Invalid column name '" + name + "'."} : refused;
  }
  if (msg.rfind("no such function: ", 0) == 0) {
    const std::string name = after("no such function: ");
    return Written(name, from, to) ? SimError{195, 15, "'" + name + "' is not a recognized function name."}
                                   : refused;
  }
  if (msg.rfind("wrong number of arguments to function ", 0) == 0) {
    std::string fn = after("wrong number of arguments to function ");
    fn = fn.substr(0, fn.find('('));
    if (fn.rfind("vx_", 0) == 0) fn = fn.substr(3);  // the simulator's own version of the server's function
    if (Upper(fn) == "IFNULL") fn = "isnull";
    if (!Written(fn, from, to)) return refused;
    return SimError{174, 15, "The " + Lower(fn) + " function requires a different number of arguments."};
  }
  // A syntax error names the token written in the batch, on its own line.
  if (msg == "incomplete input" && to > from) return SyntaxErrorAt(to - 1);
  size_t near = msg.find("near \"");
  if (near != std::string::npos) {
    size_t e = msg.find('"', near + 6);
    std::string text = msg.substr(near + 6, e - near - 6);
    for (size_t i = from; i < to; ++i)
      if (Upper(Tk(i).text) == Upper(text)) return SyntaxErrorAt(i);
    return refused;
  }
  const size_t quote = msg.find('"');
  if (quote != std::string::npos && msg.find('"', quote + 1) != std::string::npos) {
    const std::string named = msg.substr(quote + 1, msg.find('"', quote + 1) - quote - 1);
    if (!named.empty() && Written(named, from, to)) return Unsupported("'" + named + "'");
  }
  return refused;
}

void Executor::CheckQuery(const std::string& sql, size_t from, size_t to) {
  s_.BindViews();
  sqlite3* h = s_.Db().Handle();
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(h, sql.c_str(), static_cast<int>(sql.size()), &st, nullptr);
  std::string msg = rc == SQLITE_OK ? std::string() : sqlite3_errmsg(h);
  sqlite3_finalize(st);
  if (rc == SQLITE_OK) return;
  // Names are resolved when the statement runs; only compile errors stop the batch here.
  SimError e = QueryError(rc, msg, from, to);
  if (IsCompileError(e.number)) throw e;
}

// The last token of the operand that starts at i: a unary sign, then a literal,
// a variable, a (qualified) name or call, a parenthesis or a CASE ... END.
size_t Executor::OperandEnd(size_t i, size_t to) const {
  while (i + 1 < to && (IsSymbol(i, "-") || IsSymbol(i, "+") || IsSymbol(i, "~"))) ++i;
  auto closing = [&](size_t k, std::string_view open, std::string_view close, bool words) {
    int depth = 0;
    for (; k < to; ++k) {
      if (words ? IsWord(k, open) : IsSymbol(k, open)) ++depth;
      else if ((words ? IsWord(k, close) : IsSymbol(k, close)) && --depth == 0) return k;
    }
    return to - 1;
  };
  if (IsSymbol(i, "(")) return closing(i, "(", ")", false);
  if (IsWord(i, "CASE")) return closing(i, "CASE", "END", true);
  if (Tk(i).kind == Tok::Word || Tk(i).kind == Tok::Bracketed || Tk(i).kind == Tok::QuotedId) {
    while (i + 2 < to && IsSymbol(i + 1, ".") && IsIdentifier(i + 2)) i += 2;
    if (i + 1 < to && IsSymbol(i + 1, "(")) return closing(i + 1, "(", ")", false);
  }
  return i < to ? i : to - 1;
}

// A view's options stand before AS: after the SELECT only WITH CHECK OPTION
// (and table hints in parentheses) may follow the keyword WITH.
void Executor::CheckViewBody(size_t bodyStart) const {
  int depth = 0;
  bool from = false;
  for (size_t i = bodyStart; Tk(i).kind != Tok::End; ++i) {
    if (IsSymbol(i, "(")) ++depth;
    else if (IsSymbol(i, ")")) --depth;
    else if (depth == 0 && IsWord(i, "FROM")) from = true;
    if (depth != 0 || !IsWord(i, "WITH")) continue;
    if (IsSymbol(i + 1, "(")) continue;
    size_t end = IsSymbol(i + 3, ";") ? i + 4 : i + 3;
    if (IsWord(i + 1, "CHECK") && IsWord(i + 2, "OPTION") && Tk(end).kind == Tok::End) continue;
    // After a table name the server reads WITH as the start of table hints.
    SyntaxError(from && IsIdentifier(i - 1) ? i + 1 : i);
  }
}

}  // namespace vx::sqlsim
