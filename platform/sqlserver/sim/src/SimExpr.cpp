// What the translation knows of an expression before SQLite runs it: the chains
// of '+' and '-' (rewritten as vx_add/vx_sub calls, since SQLite's '+' neither
// joins strings nor counts dates from 1900), whether an expression is a
// datetime or varchar, and the functions the simulator computes or refuses.
#include <algorithm>
#include <array>

#include "Executor.h"
#include "SimSession.h"
#include "SimTypes.h"

#include <sqlcipher/sqlite3.h>

namespace vx::sqlsim {

namespace {

bool OneOf(const std::string& w, std::initializer_list<std::string_view> words) {
  return std::find(words.begin(), words.end(), w) != words.end();
}

}  // namespace

SimError Unsupported(const std::string& what) {
  return SimError{kUnsupportedNumber, 16, what + " is not supported by the simulated server."};
}

bool Executor::StartsOperand(size_t i) const {
  while (IsSymbol(i, "-") || IsSymbol(i, "+") || IsSymbol(i, "~")) ++i;  // signs before the operand
  const Token& t = Tk(i);
  switch (t.kind) {
    case Tok::Number:
    case Tok::String:
    case Tok::Variable:
    case Tok::Bracketed:
    case Tok::QuotedId: return true;
    case Tok::Symbol:
      return t.text == "(";
    case Tok::Word:
      return !IsReservedWord(t.value) ||
             OneOf(t.value, {"CASE", "NULL", "CONVERT", "COALESCE", "NULLIF", "LEFT", "RIGHT", "USER",
                             "CURRENT_USER", "SESSION_USER", "SYSTEM_USER", "CURRENT_TIMESTAMP"});
    default: return false;
  }
}

size_t Executor::Matching(size_t open, size_t to) const {
  int depth = 0;
  for (size_t k = open; k < to; ++k) {
    if (IsSymbol(k, "(")) ++depth;
    else if (IsSymbol(k, ")") && --depth == 0) return k;
  }
  return to;
}

// Finds the chains of binary '+' and '-' in [from, to), nested ones included.
void Executor::PlanRange(size_t from, size_t to) {
  size_t i = from;
  while (i < to) {
    if (!StartsOperand(i)) {
      ++i;
      continue;
    }
    std::vector<std::pair<size_t, size_t>> terms;  // [first, last] tokens
    std::vector<size_t> ops;
    size_t s = i;
    for (;;) {
      size_t e = OperandEnd(s, to);
      PlanInside(s, e);
      // integer arithmetic keeps to its type's range: a unary minus, '*', '/' and '%'
      if (IsSymbol(s, "-") && e > s)
        if (const int code = TypeOf(s, e + 1).IntegerCode(); code != 0)
          Wrap(s, e, "vx_fit(", ", " + std::to_string(code) + ")", true);
      while (e + 2 < to && (IsSymbol(e + 1, "*") || IsSymbol(e + 1, "/") || IsSymbol(e + 1, "%")) &&
             StartsOperand(e + 2)) {
        PlanInside(e + 2, OperandEnd(e + 2, to));
        e = OperandEnd(e + 2, to);
        if (const int code = TypeOf(s, e + 1).IntegerCode(); code != 0)
          Wrap(s, e, "vx_fit(", ", " + std::to_string(code) + ")", true);
      }
      terms.emplace_back(s, e);
      if (e + 2 < to && (IsSymbol(e + 1, "+") || IsSymbol(e + 1, "-")) && StartsOperand(e + 2)) {
        ops.push_back(e + 1);
        s = e + 2;
        continue;
      }
      break;
    }
    if (!ops.empty()) {
      std::string open;
      for (size_t j = ops.size(); j-- > 0;) open += IsSymbol(ops[j], "+") ? "vx_add(" : "vx_sub(";
      prefix_[terms[0].first] = open + prefix_[terms[0].first];
      bool leftDate = IsDateExpr(terms[0].first, terms[0].second + 1);
      for (size_t j = 0; j < ops.size(); ++j) {
        replace_[ops[j]] = ",";
        const auto& [a, b] = terms[j + 1];
        const bool rightDate = IsDateExpr(a, b + 1);
        // the type of the chain so far: an integer's range is checked at each step
        const int code = TypeOf(terms[0].first, b + 1).IntegerCode();
        suffix_[b] += ", " + std::to_string((leftDate ? 1 : 0) | (rightDate ? 2 : 0) | (code << 2)) + ")";
        leftDate = leftDate || rightDate;
      }
    }
    i = terms.back().second + 1;
  }
}

// The parentheses of an operand (arguments, subqueries) and a CASE's inside.
void Executor::PlanInside(size_t first, size_t last) {
  if (IsWord(first, "CASE")) return PlanRange(first + 1, last);
  for (size_t k = first; k <= last; ++k) {
    if (!IsSymbol(k, "(")) continue;
    const size_t m = Matching(k, last + 1);
    PlanRange(k + 1, m);
    k = m;
  }
}

bool Executor::IsDateExpr(size_t a, size_t b) const { return TypeOf(a, b).IsDate(); }

// The type of CAST(x AS type) or CONVERT(type, x), upper-cased, as written.
std::string Executor::CastType(size_t a, size_t b) const {
  std::string type;
  if (IsWord(a, "CONVERT")) {
    for (size_t k = a + 2, depth = 0; k < b - 1; ++k) {
      if (IsSymbol(k, "(")) ++depth;
      else if (IsSymbol(k, ")")) --depth;
      else if (depth == 0 && IsSymbol(k, ",")) break;
      type += Tk(k).text;
    }
    return Upper(type);
  }
  size_t as = 0;
  for (size_t k = a + 2, depth = 0; k < b - 1; ++k) {
    if (IsSymbol(k, "(")) ++depth;
    else if (IsSymbol(k, ")")) --depth;
    else if (depth == 0 && IsWord(k, "AS")) as = k;
  }
  for (size_t k = as + 1; as && k < b - 1; ++k) type += Tk(k).text;
  return Upper(type);
}

// What a conversion needs to know of its value: "D" a datetime, "V" varchar,
// "N" nvarchar, "1"/"2"/"8" the bytes of a tinyint, smallint or bigint.
std::string Executor::SourceHint(size_t a, size_t b) const {
  while (b > a + 1 && IsSymbol(a, "(") && Matching(a, b) == b - 1) ++a, --b;
  if (b <= a) return "";
  if (b == a + 1 && Tk(a).kind == Tok::String) return Tk(a).national ? "N" : "V";
  const SqlType t = TypeOf(a, b);
  if (t.IsDate()) return "D";
  if (t.base == SqlType::Char || t.base == SqlType::VarChar || t.base == SqlType::Text) return "V";
  if (t.base == SqlType::TinyInt) return "1";
  if (t.base == SqlType::SmallInt) return "2";
  if (t.base == SqlType::BigInt) return "8";
  const bool call = IsSymbol(a + 1, "(") && Matching(a + 1, b) == b - 1;
  if (call && (IsWord(a, "CAST") || IsWord(a, "CONVERT"))) {
    const std::string type = CastType(a, b);
    if (type.rfind("VARCHAR", 0) == 0 || type.rfind("CHAR", 0) == 0) return "V";
    if (type == "TINYINT") return "1";
    if (type == "SMALLINT") return "2";
    if (type == "BIGINT") return "8";
    return "";
  }
  if (call && OneOf(Tk(a).value, {"LEFT", "RIGHT", "SUBSTRING", "UPPER", "LOWER", "LTRIM", "RTRIM", "REPLACE"})) {
    size_t e = a + 2;
    for (int depth = 0; e < b - 1; ++e) {
      if (IsSymbol(e, "(")) ++depth;
      else if (IsSymbol(e, ")")) --depth;
      else if (depth == 0 && IsSymbol(e, ",")) break;
    }
    return SourceHint(a + 2, e) == "V" ? "V" : "";
  }
  // a chain of '+' of varchar terms
  size_t s = a;
  for (bool chain = false;; chain = true) {
    if (!StartsOperand(s)) return "";
    const size_t e = OperandEnd(s, b);
    if (e + 1 == b && !chain) return "";
    if (SourceHint(s, e + 1) != "V") return "";
    if (e + 1 >= b) return "V";
    if (!IsSymbol(e + 1, "+")) return "";
    s = e + 2;
  }
}

// "FROM ..." of the statement [from, to), translated, or "".
std::string Executor::FromClause(size_t from, size_t to) {
  int depth = 0;
  size_t start = to;
  for (size_t k = from; k < to; ++k) {
    if (IsSymbol(k, "(")) ++depth;
    else if (IsSymbol(k, ")")) --depth;
    else if (depth != 0) continue;
    else if (start == to && IsWord(k, "FROM")) start = k;
    else if (start != to && (IsWord(k, "WHERE") || IsWord(k, "GROUP") || IsWord(k, "ORDER") || IsWord(k, "HAVING") ||
                             IsWord(k, "UNION") || IsWord(k, "COMPUTE") || IsWord(k, "OPTION") || IsWord(k, "FOR")))
      return "FROM " + Translate(start + 1, k);
  }
  return start == to ? std::string() : "FROM " + Translate(start + 1, to);
}

// The SQLite text of a call of function `name` (upper-cased): renamed to the
// simulator's own, kept, or refused.
std::string Executor::FunctionName(size_t i) const {
  const std::string& w = Tk(i).value;
  static const std::array<std::pair<std::string_view, std::string_view>, 12> renamed{{{"ISNULL", "IFNULL"},
                                                                                      {"SUM", "vx_sum"},
                                                                                      {"LEN", "vx_len"},
                                                                                      {"SUBSTRING", "vx_substring"},
                                                                                      {"LEFT", "vx_left"},
                                                                                      {"RIGHT", "vx_right"},
                                                                                      {"CHARINDEX", "vx_charindex"},
                                                                                      {"REPLACE", "vx_replace"},
                                                                                      {"UPPER", "vx_upper"},
                                                                                      {"LOWER", "vx_lower"},
                                                                                      {"AVG", "vx_avg"},
                                                                                      {"DATALENGTH", "vx_datalength"}}};
  for (auto [from, to] : renamed)
    if (w == from) return std::string(to);
  if (OneOf(w, {"COUNT", "MIN", "MAX", "ABS", "LTRIM", "RTRIM", "COALESCE", "NULLIF", "OBJECTPROPERTY",
                "OBJECT_ID", "OBJECT_NAME", "IS_MEMBER", "IS_SRVROLEMEMBER", "USER_NAME", "USER_ID", "SUSER_SNAME",
                "SUSER_NAME", "DB_NAME", "DB_ID", "SERVERPROPERTY", "GETDATE", "INDEX_COL", "INDEXPROPERTY",
                "INDEXKEY_PROPERTY", "COL_NAME"}))
    return Tk(i).text;
  // The server's other functions: known, not computed here.
  static const std::string_view known[] = {
      "DATEADD", "DATEDIFF", "DATEPART", "DATENAME", "DAY", "MONTH", "YEAR", "GETUTCDATE", "ISDATE", "ISNUMERIC",
      "ROUND", "FLOOR", "CEILING", "POWER", "SQRT", "SQUARE", "SIGN", "EXP", "LOG", "LOG10", "PI", "RAND", "SIN",
      "COS", "TAN", "ASIN", "ACOS", "ATAN", "ATN2", "COT", "DEGREES", "RADIANS", "STR", "SPACE", "REPLICATE",
      "REVERSE", "STUFF", "PATINDEX", "SOUNDEX", "DIFFERENCE", "ASCII", "CHAR", "NCHAR", "UNICODE", "QUOTENAME",
      "NEWID", "COL_NAME", "COL_LENGTH", "TYPE_NAME", "TYPE_ID", "HOST_NAME", "HOST_ID", "APP_NAME", "SUSER_SID",
      "SUSER_ID", "PERMISSIONS", "COLUMNPROPERTY", "DATABASEPROPERTY", "DATABASEPROPERTYEX",
      "TYPEPROPERTY", "FILE_ID", "FILE_NAME", "FILEGROUP_ID", "FILEGROUP_NAME", "FILEPROPERTY",
      "SCOPE_IDENTITY", "IDENT_CURRENT", "IDENT_SEED", "IDENT_INCR", "IDENTITY", "STDEV", "STDEVP", "VAR", "VARP",
      "COUNT_BIG", "GROUPING", "CHECKSUM", "CHECKSUM_AGG", "BINARY_CHECKSUM", "HAS_DBACCESS", "FORMATMESSAGE",
      "FULLTEXTPROPERTY", "FULLTEXTCATALOGPROPERTY", "COLLATIONPROPERTY", "OPENQUERY", "OPENROWSET",
      "OPENDATASOURCE", "OPENXML", "CONTAINSTABLE", "FREETEXTTABLE", "TEXTPTR", "TEXTVALID", "PARSENAME",
      "CURSOR_STATUS", "SQL_VARIANT_PROPERTY", "SESSIONPROPERTY",
      "OBJECTPROPERTYEX", "GETANSINULL", "STATS_DATE", "USER_SID"};
  if (std::find(std::begin(known), std::end(known), w) != std::end(known)) throw Unsupported("The function " + w);
  throw SimError{195, 15, "'" + Tk(i).text + "' is not a recognized function name.", Tk(i).line};
}

}  // namespace vx::sqlsim
