// The server's type of an expression, read from its tokens before it is
// translated: constants, parameters, the catalogue's columns, the functions the
// simulator computes, CASE, subqueries and operators by the server's precedence.
#include <algorithm>
#include <array>
#include <cstdlib>

#include "Executor.h"
#include "SimSession.h"
#include "SimTypes.h"
#include "sqlserver/Utf16.h"


namespace vx::sqlsim {

namespace {

struct TypeName {
  const char* name;
  SqlType::Base base;
};
constexpr std::array<TypeName, 27> kTypeNames{{{"binary", SqlType::Binary},
                                               {"varbinary", SqlType::VarBinary},
                                               {"char", SqlType::Char},
                                               {"character", SqlType::Char},
                                               {"varchar", SqlType::VarChar},
                                               {"nchar", SqlType::NChar},
                                               {"nvarchar", SqlType::NVarChar},
                                               {"sysname", SqlType::NVarChar},
                                               {"image", SqlType::Image},
                                               {"text", SqlType::Text},
                                               {"ntext", SqlType::NText},
                                               {"bit", SqlType::Bit},
                                               {"tinyint", SqlType::TinyInt},
                                               {"smallint", SqlType::SmallInt},
                                               {"int", SqlType::Int},
                                               {"integer", SqlType::Int},
                                               {"bigint", SqlType::BigInt},
                                               {"smallmoney", SqlType::SmallMoney},
                                               {"money", SqlType::Money},
                                               {"decimal", SqlType::Decimal},
                                               {"numeric", SqlType::Decimal},
                                               {"dec", SqlType::Decimal},
                                               {"real", SqlType::Real},
                                               {"float", SqlType::Float},
                                               {"smalldatetime", SqlType::SmallDateTime},
                                               {"datetime", SqlType::DateTime},
                                               {"sql_variant", SqlType::Other}}};

bool HasLength(SqlType::Base b) {
  return b == SqlType::Binary || b == SqlType::VarBinary || b == SqlType::Char || b == SqlType::VarChar ||
         b == SqlType::NChar || b == SqlType::NVarChar;
}

SqlType Of(SqlType::Base b, int length = 0) { return SqlType{b, length, 0}; }

}  // namespace

std::string SqlType::Name() const {
  for (const TypeName& t : kTypeNames)
    if (t.base == base) {
      if (HasLength(base)) return std::string(t.name) + "(" + std::to_string(std::max(1, length)) + ")";
      if (base == Decimal) return "decimal(" + std::to_string(length) + ", " + std::to_string(scale) + ")";
      return t.name;
    }
  return {};
}

SqlType ParseSqlType(std::string_view declared) {
  const std::string lower = Lower(declared);
  const size_t open = lower.find('(');
  std::string name = lower.substr(0, open);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  while (!name.empty() && name.front() == ' ') name.erase(0, 1);
  SqlType t;
  for (const TypeName& n : kTypeNames)
    if (name == n.name) t.base = n.base;
  if (name == "sysname") t.length = 128;
  if (open != std::string::npos) {
    // strtol, not atoi: a length past any the server takes is no overflow here
    const auto number = [&](size_t at) {
      return static_cast<int>(std::clamp(std::strtol(lower.c_str() + at, nullptr, 10), -1L, 1L << 30));
    };
    t.length = number(open + 1);
    if (const size_t comma = lower.find(',', open); comma != std::string::npos) t.scale = number(comma + 1);
    // "max" and lengths the server would not take: the longest a value of the type holds
    if (HasLength(t.base) && t.length <= 0)
      t.length = t.base == SqlType::NChar || t.base == SqlType::NVarChar ? 4000 : 8000;
  } else if (HasLength(t.base) && name != "sysname") {
    t.length = 1;
  } else if (t.base == SqlType::Decimal) {
    t.length = 18;
  }
  return t;
}

SqlType HigherType(const SqlType& a, const SqlType& b) {
  if (a.base == SqlType::Null) return b;
  if (b.base == SqlType::Null) return a;
  if (!a.Known() || !b.Known() || a.base == SqlType::Other || b.base == SqlType::Other) return {};
  if (a.base != b.base) return a.base > b.base ? a : b;
  SqlType r = a;
  r.length = std::max(a.length, b.length);
  r.scale = std::max(a.scale, b.scale);
  return r;
}

// CASE ... END at [caseAt, end]: the type its values meet in; `branches` gets
// the ranges of its THEN and ELSE values.
SqlType Executor::CaseTypeOf(size_t caseAt, size_t end, std::vector<std::pair<size_t, size_t>>* branches) const {
  std::vector<std::pair<size_t, size_t>> values;
  int depth = 0, cases = 0;
  size_t start = 0;
  for (size_t k = caseAt + 1; k <= end; ++k) {
    if (IsSymbol(k, "(")) ++depth;
    else if (IsSymbol(k, ")")) --depth;
    else if (depth != 0) continue;
    else if (IsWord(k, "CASE")) ++cases;
    else if (IsWord(k, "END") && cases > 0) --cases;
    else if (cases != 0) continue;
    else if (IsWord(k, "WHEN") || IsWord(k, "ELSE") || IsWord(k, "END")) {
      if (start) values.emplace_back(start, k);
      start = IsWord(k, "ELSE") ? k + 1 : 0;
    } else if (IsWord(k, "THEN")) {
      start = k + 1;
    }
  }
  SqlType r{SqlType::Null};
  for (auto [x, y] : values) r = HigherType(r, TypeOf(x, y));
  if (branches) *branches = std::move(values);
  return r;
}

SqlType Executor::TypeOf(size_t a, size_t b) const {
  while (b > a + 1 && IsSymbol(a, "(") && !IsWord(a + 1, "SELECT") && Matching(a, b) == b - 1) ++a, --b;
  if (b <= a) return {};
  const auto key = std::make_pair(a, b);
  if (auto it = types_.find(key); it != types_.end()) return it->second;
  // Derived tables name columns of one another: a type not found within a few steps is unknown.
  struct Depth {
    int& d;
    explicit Depth(int& depth) : d(depth) { ++d; }
    ~Depth() { --d; }
  } depth(typingDepth_);
  if (typingDepth_ > 64) return {};
  SqlType t;
  // operands joined by arithmetic operators, left to right
  size_t s = a;
  for (bool first = true;; first = false) {
    if (!StartsOperand(s)) {
      t = {};
      break;
    }
    const size_t e = OperandEnd(s, b);
    const SqlType o = TypeOfOperand(s, e + 1);
    if (first) {
      t = o;
    } else {
      const std::string& op = Tk(s - 1).text;
      if (t.base == SqlType::Null || o.base == SqlType::Null) t = t.base == SqlType::Null ? o : t;
      else if (!t.Known() || !o.Known()) t = {};
      else if (op == "+" && t.IsString() && o.IsString()) {
        t = HigherType(t, o);
        t.length = std::min(8000, t.length + o.length);
      } else if ((op == "+" || op == "-") && (t.IsDate() || o.IsDate())) {
        t = Of(SqlType::DateTime);
        if (o.IsString() || (op == "-" && !o.IsDate() && t.IsString())) t = {};
      } else if (t.IsDate() || o.IsDate()) t = {};
      else if (t.IsString() && o.IsString()) t = {};
      else t = HigherType(t, o);
    }
    if (e + 1 >= b) break;
    const Token& op = Tk(e + 1);
    if (!(op.kind == Tok::Symbol && (op.text == "+" || op.text == "-" || op.text == "*" || op.text == "/" ||
                                     op.text == "%" || op.text == "&" || op.text == "|" || op.text == "^")) ||
        e + 2 >= b) {
      t = {};
      break;
    }
    s = e + 2;
  }
  types_[key] = t;
  return t;
}

SqlType Executor::TypeOfOperand(size_t a, size_t b) const {
  bool negative = false;
  while (b > a + 1 && (IsSymbol(a, "-") || IsSymbol(a, "+") || IsSymbol(a, "~"))) negative |= IsSymbol(a++, "-");
  if (negative) {  // a negative tinyint is a smallint
    const SqlType t = TypeOfOperand(a, b);
    return t.base == SqlType::TinyInt ? SqlType{SqlType::SmallInt} : t;
  }
  if (b > a + 1 && IsSymbol(a, "(") && !IsWord(a + 1, "SELECT") && Matching(a, b) == b - 1)
    return TypeOf(a + 1, b - 1);
  const Token& t = Tk(a);
  if (b == a + 1) {
    switch (t.kind) {
      case Tok::Number:
        if (t.text.size() >= 2 && (t.text[1] == 'x' || t.text[1] == 'X'))
          return Of(SqlType::VarBinary, static_cast<int>(std::max<size_t>(1, (t.text.size() - 1) / 2)));
        if (t.text.find_first_of("eE") != std::string::npos) return Of(SqlType::Float);
        if (const size_t dot = t.text.find('.'); dot != std::string::npos) {
          const int scale = static_cast<int>(t.text.size() - dot - 1);
          return SqlType{SqlType::Decimal, std::max(1, static_cast<int>(t.text.size()) - 1), scale};
        }
        if (t.text.size() < 10 || (t.text.size() == 10 && t.text <= "2147483647")) return Of(SqlType::Int);
        return SqlType{SqlType::Decimal, static_cast<int>(t.text.size()), 0};
      case Tok::String:
        return Of(t.national ? SqlType::NVarChar : SqlType::VarChar,
                  std::max(1, static_cast<int>(t.national ? sqlserver::Utf8ToUtf16(t.value).size() : t.value.size())));
      case Tok::Variable: {
        if (const int p = ParameterIndex(t.value); p >= 0) {
          const auto& param = (*s_.parameters_)[static_cast<size_t>(p)];
          if (param.value.GetKind() == sqlserver::Value::Kind::DateTime) return Of(SqlType::DateTime);
          return ParseSqlType(param.sqlType);
        }
        if (t.value == "@@TRANCOUNT" || t.value == "@@OPTIONS" || t.value == "@@MICROSOFTVERSION")
          return Of(SqlType::Int);
        if (t.value == "@@SPID") return Of(SqlType::SmallInt);
        if (t.value == "@@VERSION" || t.value == "@@SERVERNAME") return Of(SqlType::NVarChar, 256);
        return {};
      }
      case Tok::Word:
        if (t.value == "NULL") return Of(SqlType::Null);
        if (t.value == "CURRENT_TIMESTAMP") return Of(SqlType::DateTime);
        if (t.value == "USER" || t.value == "CURRENT_USER" || t.value == "SESSION_USER" || t.value == "SYSTEM_USER")
          return Of(SqlType::NVarChar, 128);
        break;
      default: break;
    }
  }
  // a column, perhaps qualified
  bool column = IsIdentifier(b - 1);
  for (size_t k = a; k < b && column; ++k) column = IsIdentifier(k) || IsSymbol(k, ".");
  if (column) {
    const SqlType c = ColumnTypeOf(a, b);
    if (!c.Known() && ColumnIsDate(a, b)) return Of(SqlType::DateTime);
    return c;
  }
  // a subquery: its value's type
  if (IsSymbol(a, "(") && IsWord(a + 1, "SELECT") && Matching(a, b) == b - 1) {
    const auto items = SelectListItems(a + 1, b - 1);
    if (items.size() != 1) return {};
    const auto [x, y] = ItemExpression(items[0].first, items[0].second).first;
    return TypeOf(x, y);
  }
  if (IsWord(a, "CASE") && IsWord(b - 1, "END")) return CaseTypeOf(a, b - 1, nullptr);
  if (t.kind != Tok::Word || !IsSymbol(a + 1, "(") || Matching(a + 1, b) != b - 1) return {};
  // a call
  const std::string& w = t.value;
  const auto args = ListItems(a + 2, b - 1);
  auto arg = [&](size_t n) { return n < args.size() ? TypeOf(args[n].first, args[n].second) : SqlType{}; };
  if (w == "CAST" || w == "CONVERT") return ParseSqlType(CastType(a, b));
  if (w == "GETDATE") return Of(SqlType::DateTime);
  if (w == "ISNULL" || w == "NULLIF") {
    const SqlType first = arg(0);
    return first.base == SqlType::Null && w == "ISNULL" ? arg(1) : first;
  }
  if (w == "COALESCE") {
    SqlType r{SqlType::Null};
    for (size_t n = 0; n < args.size(); ++n) r = HigherType(r, arg(n));
    return r;
  }
  if (w == "MIN" || w == "MAX" || w == "ABS") {
    if (args.size() == 1 && IsWord(args[0].first, "DISTINCT")) return TypeOf(args[0].first + 1, args[0].second);
    return arg(0);
  }
  if (w == "SUM" || w == "AVG") {
    SqlType x = args.size() == 1 && IsWord(args[0].first, "DISTINCT") ? TypeOf(args[0].first + 1, args[0].second)
                                                                       : arg(0);
    if (x.base == SqlType::TinyInt || x.base == SqlType::SmallInt || x.base == SqlType::Bit) return Of(SqlType::Int);
    if (x.base == SqlType::Int || x.base == SqlType::BigInt || x.base == SqlType::Float) return x;
    return {};
  }
  if (w == "COUNT" || w == "LEN" || w == "CHARINDEX" || w == "DATALENGTH" || w == "OBJECT_ID" ||
      w == "OBJECTPROPERTY" || w == "IS_MEMBER" || w == "IS_SRVROLEMEMBER" || w == "USER_ID")
    return Of(SqlType::Int);
  if (w == "DB_ID") return Of(SqlType::SmallInt);
  if (w == "OBJECT_NAME" || w == "USER_NAME" || w == "DB_NAME" || w == "SUSER_SNAME" || w == "SUSER_NAME" ||
      w == "COL_NAME")
    return Of(SqlType::NVarChar, 128);
  if (w == "LEFT" || w == "RIGHT" || w == "SUBSTRING" || w == "UPPER" || w == "LOWER" || w == "LTRIM" ||
      w == "RTRIM" || w == "REPLACE") {
    const SqlType x = arg(0);
    if (x.base == SqlType::NChar || x.base == SqlType::NVarChar || x.base == SqlType::NText)
      return Of(SqlType::NVarChar, w == "REPLACE" ? 4000 : x.length);
    if (x.IsString()) return Of(SqlType::VarChar, w == "REPLACE" ? 8000 : x.length);
    return {};
  }
  return {};
}

}  // namespace vx::sqlsim
