// T-SQL expression and query text translated for SQLite: the catalogue's tables
// as the session's views, the server's functions and operators as the
// simulator's own, and what it does not do refused by name.
#include <algorithm>
#include <array>
#include <cstring>

#include "Executor.h"
#include "SimSession.h"
#include "SimStore.h"
#include "SimTypes.h"
#include "SimCollation.h"

#include <sqlcipher/sqlite3.h>

namespace vx::sqlsim {

namespace {

bool IsSystemTable(const std::string& upper) {
  static const std::array<std::string_view, 8> t{"SYSOBJECTS", "SYSCOMMENTS", "SYSUSERS",  "SYSMEMBERS",
                                                 "SYSDATABASES", "SYSLOGINS", "SYSPROTECTS", "SYSINDEXES"};
  return std::find(t.begin(), t.end(), upper) != t.end();
}

// The table hints of `WITH (...)` or `(...)` after a table.
bool IsTableHintWord(const std::string& upper) {
  static const std::array<std::string_view, 16> h{"NOLOCK",   "READUNCOMMITTED", "READCOMMITTED", "REPEATABLEREAD",
                                                  "SERIALIZABLE", "HOLDLOCK",    "UPDLOCK",       "XLOCK",
                                                  "ROWLOCK",  "PAGLOCK",         "TABLOCK",       "TABLOCKX",
                                                  "READPAST", "NOWAIT",          "FASTFIRSTROW",  "NOEXPAND"};
  return std::find(h.begin(), h.end(), upper) != h.end();
}

// The server's system tables that the simulator does not keep.
bool IsMissingSystemTable(const std::string& upper) {
  static const std::array<std::string_view, 28> t{
      "SYSCOLUMNS",   "SYSTYPES",      "SYSDEPENDS",     "SYSPROCESSES",   "SYSFILES",
      "SYSFILEGROUPS", "SYSCONSTRAINTS", "SYSREFERENCES", "SYSFOREIGNKEYS", "SYSPERMISSIONS",
      "SYSINDEXKEYS", "SYSLOCKS",      "SYSPERFINFO",   "SYSSERVERS",     "SYSCONFIGURES",  "SYSCURCONFIGS",
      "SYSLANGUAGES", "SYSMESSAGES",   "SYSCHARSETS",   "SYSALTFILES",    "SYSDEVICES",     "SYSREMOTELOGINS",
      "SYSOLEDBUSERS", "SYSXLOGINS",   "SYSCACHEOBJECTS", "SYSPROPERTIES", "SYSFULLTEXTCATALOGS", "SYSOBJECTS_"};
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

bool Executor::IsTableHint(size_t i) const { return Tk(i).kind == Tok::Word && IsTableHintWord(Tk(i).value); }

bool Executor::InCallArguments(size_t i) const {
  // Back to the parenthesis that holds the token; a call's arguments are
  // translated on their own, so the search goes past the range in hand.
  int depth = 0;
  for (size_t k = i; k-- > 0;) {
    if (depth == 0 && (IsSymbol(k, ";") || AtStatementStart(k))) return false;
    if (IsSymbol(k, ")")) ++depth;
    else if (IsSymbol(k, "(") && depth-- == 0) {
      if (k == 0 || Tk(k - 1).kind != Tok::Word) return false;
      static const char* const kGrouping[] = {"IN", "EXISTS", "AND", "OR", "NOT", "WHERE", "ON", "WHEN", "THEN",
                                              "ELSE", "SELECT", "VALUES", "AS", "FROM", "JOIN", "BY", "HAVING",
                                              "CASE", "IF", "WHILE", "RETURN", "BETWEEN", "LIKE", "ALL", "ANY",
                                              "SOME", "ESCAPE", "DISTINCT", "TOP",
                                              // calls that compare their arguments
                                              "NULLIF", "MIN", "MAX"};
      for (const char* word : kGrouping)
        if (Tk(k - 1).value == word) return false;
      return true;
    }
  }
  return false;
}

std::string Executor::Translate(size_t from, size_t to) {
  const bool top = translateDepth_ == 0;
  struct Nesting {
    int& d;
    explicit Nesting(int& depth) : d(depth) { ++d; }
    ~Nesting() { --d; }
  } nesting(translateDepth_);
  if (top) {
    CheckNesting(from, to);
    RefuseUnmodelled(from, to);
    if (planned_.size() < tokens_.size()) planned_.resize(tokens_.size(), false);
    try {
      fromClause_ = FromClause(from, to);
    } catch (const SimError&) {
      fromClause_.clear();
    }
    // the statement's tables, unless this is a part of the statement they were read from
    if (from < sourcesFrom_ || to > sourcesTo_) CollectSources(from, to);
    if (from < to && !planned_[from]) {
      PlanRange(from, to);
      PlanTypes(from, to);
      PlanTop(from, to);
      PlanSubqueries(from, to);
      for (size_t k = from; k < to && k < planned_.size(); ++k) planned_[k] = true;
    }
  }
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
  // `alias = expression` in a select list: the alias is written after the expression.
  std::map<size_t, std::string> aliases;
  // after a LIKE's pattern: what kind of text it compares
  std::map<size_t, std::string> likeKinds;
  auto isComparison = [&](size_t k) {
    return IsSymbol(k, "=") || IsSymbol(k, "<>") || IsSymbol(k, "!=") || IsSymbol(k, "<") || IsSymbol(k, ">") ||
           IsSymbol(k, "<=") || IsSymbol(k, ">=") || IsSymbol(k, "!<") || IsSymbol(k, "!>");
  };
  for (size_t i = from; i < to; ++i) {
    closeDivisors(i);
    if (auto p = prefix_.find(i); p != prefix_.end()) emit(p->second);
    bool handled = false;
    const Token& t = Tk(i);
    if (auto r = replace_.find(i); r != replace_.end()) {
      emit(r->second);
      continue;
    }
    // Table hints change nothing here: one writer at a time, no plans.
    if ((IsWord(i, "WITH") && IsSymbol(i + 1, "(") && IsTableHint(i + 2)) ||
        (IsSymbol(i, "(") && IsTableHint(i + 1) && i > from && IsIdentifier(i - 1))) {
      i = Matching(IsSymbol(i, "(") ? i : i + 1, to);
      continue;
    }
    if ((IsSymbol(i, "&") || IsSymbol(i, "|") || IsSymbol(i, "^")) && MixesBitwise(i, from, to))
      throw Unsupported("'" + t.text + "' beside '+' or '-' without parentheses");
    if ((IsSymbol(i, "/") || IsSymbol(i, "%")) && i + 1 < to) {
      emit(t.text);
      emit("vx_divisor(");
      divisorEnds.push_back(OperandEnd(i + 1, to));
      continue;
    }
    if (isComparison(i) && !s_.ansiNulls_ && (IsWord(i + 1, "NULL") || (i > from && IsWord(i - 1, "NULL"))))
      throw Unsupported("Comparing with NULL under SET ANSI_NULLS OFF");
    const bool listStart = i > from && (IsWord(i - 1, "SELECT") || IsWord(i - 1, "DISTINCT") || IsWord(i - 1, "ALL") ||
                                        IsSymbol(i - 1, ",") || (IsWord(i - 2, "TOP") && Tk(i - 1).kind == Tok::Number));
    if (listStart && IsSymbol(i + 1, "=") && !IsSymbol(i + 2, "=")) {
      if (t.kind == Tok::Variable) throw Unsupported("Assigning a variable in a SELECT");
      if (IsIdentifier(i) || t.kind == Tok::String) {
        int depth = 0;
        size_t k = i + 2;
        for (; k < to; ++k) {
          if (IsSymbol(k, "(")) ++depth;
          else if (IsSymbol(k, ")")) --depth;
          else if (depth == 0 && (IsSymbol(k, ",") || IsWord(k, "FROM") || IsWord(k, "INTO") || IsWord(k, "WHERE") ||
                                  IsWord(k, "GROUP") || IsWord(k, "ORDER") || IsWord(k, "HAVING") || IsWord(k, "UNION")))
            break;
        }
        if (k > i + 2) {
          aliases[k - 1] = " AS " + QuoteIdent(t.kind == Tok::Word ? t.text : t.value);
          ++i;
          continue;
        }
      }
    }
    // [db.][owner.]system_table
    if ((t.kind == Tok::Word || t.kind == Tok::Bracketed || t.kind == Tok::QuotedId) &&
        (IsSymbol(i + 1, ".") || IsSystemTable(Upper(t.kind == Tok::Word ? t.text : t.value)) ||
         IsMissingSystemTable(Upper(t.kind == Tok::Word ? t.text : t.value)))) {
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
      if (parts.size() >= 2 && Upper(parts[parts.size() - 2]) == "INFORMATION_SCHEMA" && !IsSymbol(k + 1, "("))
        throw Unsupported("The view INFORMATION_SCHEMA." + parts.back());
      if (IsMissingSystemTable(last) && parts.size() <= 3 && !IsSymbol(k + 1, "("))
        throw Unsupported("The system table " + parts.back());
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
            auto exists = s_.Db().Prepare("SELECT 1 FROM sqlite_temp_master WHERE name = ?");
            exists.Bind(1, view);
            if (!exists.Step()) {
              const std::string sql = CatalogViewSql(view, table, *dbid);
              s_.Db().Exec(sql);
            }
            emit(view);
            i = k;
            handled = true;
          }
        }
        if (!handled) {
          emit(table);
          i = k;
          handled = true;
        }
      }
    }
    if (!handled) {
      switch (t.kind) {
        case Tok::String: {
          std::string lit = Literal(t.national ? t.value : VarcharText(t.value));
          // Compared with a number or a datetime, a string is converted to its type, as the server does.
          size_t otherFrom = 0, otherTo = 0;
          const bool afterBetween = i > from + 1 && IsWord(i - 1, "BETWEEN");
          const bool betweenEnd = i > from + 3 && IsWord(i - 1, "AND") && IsWord(i - 3, "BETWEEN");
          if (i > from + 1 && isComparison(i - 1) && !betweenEnd) {
            otherTo = i - 1;
            otherFrom = ExpressionStart(from, otherTo);
          } else if (i > from + 1 && (afterBetween || betweenEnd)) {
            otherTo = betweenEnd ? i - 3 : i - 1;
            otherFrom = ExpressionStart(from, otherTo);
          } else if (isComparison(i + 1) && i + 2 < to) {
            otherFrom = i + 2;
            otherTo = OperandEnd(i + 2, to) + 1;
            while (otherTo + 1 < to && Tk(otherTo).kind == Tok::Symbol &&
                   std::strchr("+-*/%&|^", Tk(otherTo).text[0]) && Tk(otherTo).text.size() == 1 && StartsOperand(otherTo + 1))
              otherTo = OperandEnd(otherTo + 1, to) + 1;
          } else if (i > from + 2 && (IsSymbol(i - 1, "(") || IsSymbol(i - 1, ","))) {
            // x [NOT] IN ('a', 'b'): a string of the list is compared with x
            size_t open = i - 1;
            while (open > from && !IsSymbol(open, "(") &&
                   (IsSymbol(open, ",") || Tk(open).kind == Tok::String || Tk(open).kind == Tok::Number))
              --open;
            if (IsSymbol(open, "(") && open > from + 1 && IsWord(open - 1, "IN")) {
              otherTo = IsWord(open - 2, "NOT") && open > from + 2 ? open - 2 : open - 1;
              otherFrom = ExpressionStart(from, otherTo);
            }
          }
          if (auto typed = literalTypes_.find(i); typed != literalTypes_.end()) {
            emit("vx_convert('" + typed->second + "', " + lit + ", NULL, " + (t.national ? "'N'" : "'V'") + ")");
            break;
          }
          if (otherTo > otherFrom) {
            // the string takes the type of what it is compared with, when that is higher
            const SqlType other = TypeOf(otherFrom, otherTo);
            std::string type;
            if (other.IsDate() || other.IsInteger() || other.base == SqlType::Float) type = other.Name();
            else if (other.base == SqlType::Decimal || other.base == SqlType::Real) type = "float";
            if (!type.empty()) {
              emit("vx_convert('" + type + "', " + lit + ", NULL, " + (t.national ? "'N'" : "'V'") + ")");
              break;
            }
          }
          // A literal compares, sorts and is made distinct as the server's columns are:
          // case-insensitive, trailing blanks ignored. An alias written as a string stays as it is.
          const Token& before = Tk(i - 1);
          const bool alias = i > from && (IsWord(i - 1, "AS") || before.kind == Tok::Number ||
                                          before.kind == Tok::String || before.kind == Tok::Variable ||
                                          IsSymbol(i - 1, ")") || IsWord(i - 1, "END") || IsWord(i - 1, "NULL") ||
                                          (IsIdentifier(i - 1) && !IsWord(i - 1, "PRINT") && !IsWord(i - 1, "WHEN")));
          // An argument of a function is a value to it, not a comparison: a collation
          // there would only keep SQLite from finding the call's result once.
          if (alias) lit = Literal(t.value);  // a name, not a varchar
          else if (!InCallArguments(i)) lit += " COLLATE " + std::string(kCollation);
          emit(lit);
          break;
        }
        case Tok::Number:
          if (t.text.size() >= 2 && (t.text[1] == 'x' || t.text[1] == 'X')) {
            // '+' joins binaries (vx_add); other operators convert them to numbers, which SQLite does not do.
            const auto isHex = [&](size_t k) {
              return Tk(k).kind == Tok::Number && Tk(k).text.size() >= 2 && (Tk(k).text[1] == 'x' || Tk(k).text[1] == 'X');
            };
            const auto other = [&](size_t op, size_t operand) {
              const Token& o = Tk(op);
              if (o.kind != Tok::Symbol || o.text == "(" || o.text == ")" || o.text == "," || o.text == ";" ||
                  o.text == "." || o.text == "+")
                return false;
              if (!isComparison(op)) return true;
              return !isHex(operand) && (Tk(operand).kind == Tok::Number || Tk(operand).kind == Tok::String);
            };
            if ((i > from && other(i - 1, i - 2)) || other(i + 1, i + 2))
              throw Unsupported("An operator other than '+' on the binary constant " + t.text);
            std::string hex = t.text.substr(2);
            if (hex.size() % 2) hex.insert(0, "0");
            emit(SameLengthBinary(i, from, to, "X'" + hex + "'"));
          } else {
            // A decimal constant is numeric to the server, with its scale: the simulator
            // keeps it as a float, which shows the same text only alone and without trailing zeros.
            if (t.text.find('.') != std::string::npos && t.text.find_first_of("eE") == std::string::npos) {
              const auto arithmetic = [&](size_t k) {
                return IsSymbol(k, "+") || IsSymbol(k, "-") || IsSymbol(k, "*") || IsSymbol(k, "/") ||
                       IsSymbol(k, "%");
              };
              const bool unary = i > from && (IsSymbol(i - 1, "-") || IsSymbol(i - 1, "+")) &&
                                 (i - 1 == from || !(Tk(i - 2).kind == Tok::Number || Tk(i - 2).kind == Tok::String ||
                                                     Tk(i - 2).kind == Tok::Variable || IsIdentifier(i - 2) ||
                                                     IsSymbol(i - 2, ")")));
              if (t.text.back() == '0' || t.text.back() == '.')
                throw Unsupported("The decimal constant " + t.text);
              if ((i > from && arithmetic(i - 1) && !unary) || arithmetic(i + 1))
                throw Unsupported("Arithmetic on the decimal constant " + t.text);
            }
            emit(t.text);
          }
          break;
        case Tok::Bracketed:
        case Tok::QuotedId: emit(QuoteIdent(t.value)); break;
        case Tok::Variable:
          if (t.value == "@@VERSION") emit("vx_version()");
          else if (t.value == "@@MICROSOFTVERSION") emit("vx_microsoftversion()");
          else if (t.value == "@@TRANCOUNT") emit("vx_trancount()");
          else if (t.value == "@@OPTIONS") emit("vx_options()");
          else if (t.value == "@@SPID") emit(std::to_string(s_.Spid()));
          else if (t.value == "@@SERVERNAME") emit(sqlite::QuoteLiteral(s_.ServerName()));
          else if (const int p = ParameterIndex(t.value); p >= 0)
            emit(IsBinaryType((*s_.parameters_)[static_cast<size_t>(p)].sqlType)
                     ? SameLengthBinary(i, from, to, "?" + std::to_string(p + 1))
                     : "?" + std::to_string(p + 1));
          else if (t.value.rfind("@@", 0) == 0) throw Unsupported(t.text);
          else throw SimError{137, 15, "Must declare the variable '" + t.text + "'.", t.line};
          break;
        case Tok::Word: {
          if (IsSymbol(i + 1, "(") && !IsWord(i - 1, "FROM") && !IsWord(i - 1, "JOIN") && !IsTableHint(i + 2) &&
              (!IsReservedWord(t.value) || t.value == "LEFT" || t.value == "RIGHT" || t.value == "CONVERT" ||
               t.value == "COALESCE" || t.value == "NULLIF")) {
            emit(TranslateCall(i, to));
            break;
          }
          // SQLite's own operators and clauses are no T-SQL.
          if ((t.value == "GLOB" || t.value == "REGEXP" || t.value == "MATCH" || t.value == "LIMIT" ||
               t.value == "OFFSET" || t.value == "NOTNULL" || t.value == "ISNULL") &&
              !IsWord(i - 1, "AS") && !IsSymbol(i - 1, ".") && !IsSymbol(i + 1, ".") && i + 1 < to)
            SyntaxError(i + 1);
          if (t.value == "CURRENT_TIMESTAMP") emit("getdate()");
          else if (t.value == "SYSTEM_USER" || t.value == "CURRENT_USER" || t.value == "SESSION_USER")
            emit(t.value == "SYSTEM_USER" ? "suser_sname()" : "user_name()");
          else if (t.value == "USER" && !IsSymbol(i + 1, "(") && !IsSymbol(i + 1, ".")) emit("user_name()");
          else if (t.value == "COLLATE" && i > from) {
            CheckCollation(i);  // the server's own collation: the operand keeps it
            ++i;
          } else if (t.value == "LIKE") {
            // like() is told whether the value's trailing blanks count, unless ESCAPE takes its place
            emit(t.text);
            size_t patternEnd = i;
            const std::string kind = LikeKind(i, from, to, patternEnd);
            if (patternEnd > i && !IsWord(patternEnd + 1, "ESCAPE"))
              likeKinds[patternEnd] = std::string(" ESCAPE '\x01") + kind + "'";
          }
          else if (t.value == "TOP" && i > from && Tk(i + 1).kind == Tok::Number) {
            if (IsWord(i + 2, "PERCENT") || IsWord(i + 2, "WITH")) throw Unsupported("TOP ... " + Tk(i + 2).value);
            limit = " LIMIT " + Tk(i + 1).text;
            ++i;
          } else emit(t.text);
          break;
        }
        default: emit(t.text); break;
      }
    }
    // the end of an operand: its divisor checks close before its chain's call does
    closeDivisors(i + 1);
    if (auto s = suffix_.find(i); s != suffix_.end()) out += s->second;
    if (auto l = likeKinds.find(i); l != likeKinds.end()) out += l->second;
    if (auto a = aliases.find(i); a != aliases.end()) out += a->second;
  }
  closeDivisors(to + 1);
  return out + limit;
}

// A call of a function at token i: CAST and CONVERT as vx_convert with what the
// value is known to be, DATALENGTH with its varchar flag, others renamed or refused.
std::string Executor::TranslateCall(size_t& i, size_t to) {
  const std::string& w = Tk(i).value;
  if (IsSymbol(i - 1, ".")) throw Unsupported("Calling a user-defined function");
  const size_t close = Matching(i + 1, to);
  if (close >= to) SyntaxError(to);
  const std::vector<std::pair<size_t, size_t>> args = ListItems(i + 2, close);
  auto typeText = [&](size_t a, size_t b) {
    std::string type;
    for (size_t k = a; k < b; ++k) type += Tk(k).text;
    return sqlite::QuoteLiteral(type);
  };
  std::string sql;
  if (w == "CONVERT") {
    if (args.size() < 2 || args.size() > 3) SyntaxError(close);
    const auto [va, vb] = args[1];
    CheckTypeLength(args[0].first, args[0].second);
    sql = "vx_convert(" + typeText(args[0].first, args[0].second) + ", " + Translate(va, vb) + ", " +
          (args.size() == 3 ? Translate(args[2].first, args[2].second) : std::string("NULL")) + ", " +
          sqlite::QuoteLiteral(SourceHint(va, vb)) + ")";
  } else if (w == "CAST") {
    size_t as = 0;
    int depth = 0;
    for (size_t k = i + 2; k < close; ++k) {
      if (IsSymbol(k, "(")) ++depth;
      else if (IsSymbol(k, ")")) --depth;
      else if (depth == 0 && IsWord(k, "AS")) as = k;
    }
    if (as <= i + 2 || as + 1 >= close) SyntaxError(as ? as : close);
    CheckTypeLength(as + 1, close);
    sql = "vx_convert(" + typeText(as + 1, close) + ", " + Translate(i + 2, as) + ", NULL, " +
          sqlite::QuoteLiteral(SourceHint(i + 2, as)) + ")";
  } else if (w == "DATALENGTH" && args.size() == 1) {
    sql = "vx_datalength(" + Translate(args[0].first, args[0].second) +
          (SourceHint(args[0].first, args[0].second) == "V" ? ", 1)" : ")");
  } else {
    std::string name = FunctionName(i);
    sql = name + "(" + Translate(i + 2, close) + ")";
  }
  i = close;
  return sql;
}

}  // namespace vx::sqlsim
