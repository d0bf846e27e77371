// The server's types of what a query returns: the catalogue's columns as SQL
// Server 2000 declares them, and the expressions whose type the select list
// shows (GETDATE(), CAST and CONVERT); and the conversions to datetime and
// varbinary that SQLite does not make.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "Executor.h"
#include "SimSession.h"
#include "SimTypes.h"
#include "automation/OleDate.h"

namespace vx::sqlsim {

std::string CatalogColumnType(std::string_view table, std::string_view column) {
  struct Entry {
    const char* table;
    const char* column;
    const char* type;
  };
  // The columns of the server file's tables, as the catalogue views show them.
  static const Entry entries[] = {
      {"objects", "id", "int"},           {"objects", "name", "nvarchar(128)"},
      {"objects", "xtype", "char(2)"},    {"objects", "uid", "smallint"},
      {"objects", "parent_obj", "int"},   {"objects", "crdate", "datetime"},
      {"objects", "schema_ver", "int"},   {"objects", "status", "int"},
      {"objects", "category", "int"},     {"comments", "id", "int"},
      {"comments", "number", "smallint"}, {"comments", "colid", "smallint"},
      {"comments", "status", "smallint"}, {"comments", "ctext", "varbinary(8000)"},
      {"comments", "text", "nvarchar(4000)"}, {"comments", "encrypted", "bit"},
      {"comments", "compressed", "bit"},  {"comments", "texttype", "smallint"},
      {"users", "uid", "smallint"},       {"users", "name", "nvarchar(128)"},
      {"users", "status", "smallint"},    {"users", "hasdbaccess", "int"},
      {"users", "issqluser", "int"},      {"users", "isntuser", "int"},
      {"users", "issqlrole", "int"},      {"members", "memberuid", "smallint"},
      {"members", "groupuid", "smallint"}, {"databases", "name", "nvarchar(128)"},
      {"databases", "dbid", "smallint"},  {"databases", "crdate", "datetime"},
      {"databases", "status", "int"},     {"databases", "cmptlevel", "tinyint"},
      {"logins", "name", "nvarchar(128)"}, {"logins", "dbname", "nvarchar(128)"},
      {"logins", "createdate", "datetime"}, {"logins", "isntname", "int"},
      {"logins", "sysadmin", "int"},
      {"protects", "id", "int"},          {"protects", "uid", "smallint"},
      {"protects", "action", "tinyint"},  {"protects", "protecttype", "tinyint"},
      {"protects", "columns", "varbinary(4000)"}, {"protects", "grantor", "smallint"},
      {"indexes", "id", "int"},           {"indexes", "status", "int"},
      {"indexes", "indid", "smallint"},   {"indexes", "keycnt", "smallint"},
      {"indexes", "name", "nvarchar(128)"},
  };
  for (const Entry& e : entries)
    if (table == e.table && column == e.column) return e.type;
  return {};
}

namespace {

// "Feb", "february" (any case) as 1-12 at p, advancing p past it; 0 when p names no month.
int MonthName(const char*& p) {
  static const char* names[] = {"january", "february", "march",     "april",   "may",      "june",
                                "july",    "august",   "september", "october", "november", "december"};
  size_t n = 0;
  while (std::isalpha(static_cast<unsigned char>(p[n]))) ++n;
  const std::string word = Lower(std::string_view(p, n));
  for (int m = 0; m < 12; ++m)
    if (word == names[m] || (n == 3 && word == std::string_view(names[m], 3))) {
      p += n;
      return m + 1;
    }
  return 0;
}

}  // namespace

bool TextToServerDate(std::string_view text, double& ole, bool* outOfRange) {
  // "YYYY-MM-DD[ |T]HH:MM[:SS[.fff]]", "YYYYMMDD[ HH:MM[:SS]]", "MM/DD/YYYY[ HH:MM[:SS]]" and
  // "Mon DD[,] YYYY[ HH:MM[:SS[.fff]]]", the time perhaps followed by AM or PM
  std::string s(text);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  while (!s.empty() && s.front() == ' ') s.erase(0, 1);
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, n = 0;
  double sec = 0;
  const char* p = s.c_str();
  if (std::sscanf(p, "%4d-%2d-%2d%n", &y, &mo, &d, &n) == 3 ||
      (std::strlen(p) >= 8 && std::sscanf(p, "%4d%2d%2d%n", &y, &mo, &d, &n) == 3) ||
      std::sscanf(p, "%2d/%2d/%4d%n", &mo, &d, &y, &n) == 3) {
    p += n;
  } else if (const char* q = p; (mo = MonthName(q)) != 0 && *q == ' ') {
    while (*q == ' ') ++q;
    if (!std::isdigit(static_cast<unsigned char>(*q)) || std::sscanf(q, "%2d%n", &d, &n) != 1) return false;
    q += n;
    if (*q == ',') ++q;
    if (*q != ' ') return false;
    while (*q == ' ') ++q;
    n = 0;
    if (std::sscanf(q, "%4d%n", &y, &n) != 1 || n != 4) return false;
    p = q + n;
  } else {
    return false;
  }
  const bool named = !std::isdigit(static_cast<unsigned char>(s[0]));
  if (*p == ' ' || *p == 'T') {
    if (*p == 'T' || !named) ++p;
    else
      while (*p == ' ') ++p;
    n = 0;
    if (!std::isdigit(static_cast<unsigned char>(*p)) || std::sscanf(p, "%2d:%2d%n", &h, &mi, &n) != 2) return false;
    p += n;
    if (*p == ':') {
      n = 0;
      if (!std::isdigit(static_cast<unsigned char>(p[1])) || std::sscanf(p + 1, "%lf%n", &sec, &n) != 1) return false;
      p += 1 + n;
    }
    if (*p == ' ' && (p[1] == 'A' || p[1] == 'a' || p[1] == 'P' || p[1] == 'p')) ++p;
    if ((p[0] == 'A' || p[0] == 'a' || p[0] == 'P' || p[0] == 'p') && (p[1] == 'M' || p[1] == 'm')) {
      if (h > 12) return false;
      const bool pm = p[0] == 'P' || p[0] == 'p';
      h = h == 12 ? (pm ? 12 : 0) : pm ? h + 12 : h;
      p += 2;
    }
  }
  if (*p != '\0') return false;
  // The server keeps three-hundredths of a second: .005 is .007, .999 the next second.
  const double ms = std::round(sec * 1000.0);
  int64_t ticks = (static_cast<int64_t>(ms) * 3 + 5) / 10 + (static_cast<int64_t>(h) * 60 + mi) * 60 * 300;
  DateParts parts{y, mo, d, 0, 0, 0};
  if (sec < 0 || sec >= 60 || h > 23 || mi > 59 || y < 1753 || !DatePartsToOle(parts, ole)) {
    if (outOfRange) *outOfRange = true;
    return false;
  }
  constexpr int64_t kTicksADay = 86400LL * 300;
  constexpr double kLastDay = 2958465;  // 9999-12-31
  if (ticks >= kTicksADay) {
    ticks -= kTicksADay;
    ole += 1;
  }
  if (ole > kLastDay) {
    if (outOfRange) *outOfRange = true;
    return false;
  }
  ole += static_cast<double>(ticks) / static_cast<double>(kTicksADay);
  return true;
}

bool IsBinaryType(std::string_view type) {
  const std::string t = Upper(type.substr(0, type.find('(')));
  return t == "BINARY" || t == "VARBINARY" || t == "IMAGE";
}

std::vector<std::pair<size_t, size_t>> Executor::SelectListItems(size_t from, size_t to) const {
  size_t i = from + 1;
  if (IsWord(i, "DISTINCT") || IsWord(i, "ALL")) ++i;
  if (IsWord(i, "TOP")) {
    i += 2;
    if (IsWord(i, "PERCENT")) ++i;
  }
  std::vector<std::pair<size_t, size_t>> items;
  size_t start = i;
  int depth = 0;
  for (; i < to; ++i) {
    if (IsSymbol(i, "(")) ++depth;
    else if (IsSymbol(i, ")")) --depth;
    else if (depth == 0 && (IsSymbol(i, ",") || IsWord(i, "FROM") || IsWord(i, "INTO") || IsWord(i, "WHERE") ||
                            IsWord(i, "GROUP") || IsWord(i, "ORDER") || IsWord(i, "HAVING") || IsWord(i, "UNION"))) {
      items.emplace_back(start, i);
      if (!IsSymbol(i, ",")) break;
      start = i + 1;
    }
  }
  if (i >= to) items.emplace_back(start, to);
  for (auto [a, b] : items) {
    if (b <= a) return {};
    for (size_t k = a; k < b; ++k)
      if (IsSymbol(k, "*") && (k == a || IsSymbol(k - 1, "."))) return {};  // columns the list does not name
  }
  return items;
}

bool Executor::KeepsSqliteName(size_t a, size_t b) const {
  if ((IsIdentifier(a) || Tk(a).kind == Tok::String) && IsSymbol(a + 1, "=") && b > a + 2) return true;  // alias = x
  const Token& before = Tk(b - 2);
  const bool afterOperand = before.kind == Tok::Number || before.kind == Tok::String || before.kind == Tok::Variable ||
                            IsIdentifier(b - 2) || IsSymbol(b - 2, ")") || IsWord(b - 2, "END") ||
                            IsWord(b - 2, "NULL") || IsWord(b - 2, "AS");
  if (b - a >= 2 && (IsIdentifier(b - 1) || Tk(b - 1).kind == Tok::String) && afterOperand) return true;
  for (size_t k = a; k < b; ++k)  // a column, perhaps qualified
    if (!IsIdentifier(k) && !IsSymbol(k, ".")) return false;
  return true;
}

std::vector<std::string> Executor::SelectListTypes(size_t from, size_t to) const {
  std::vector<std::string> types;
  for (auto [a, b] : SelectListItems(from, to)) {
    if (b - a >= 3 && (IsIdentifier(a) || Tk(a).kind == Tok::String) && IsSymbol(a + 1, "=")) a += 2;  // alias = x
    if (b - a >= 3 && IsWord(b - 2, "AS")) b -= 2;
    else if (b - a >= 2 && (IsIdentifier(b - 1) || Tk(b - 1).kind == Tok::String) && !IsSymbol(b - 2, ".")) --b;
    // A column alone: the prepared query reads its declared type itself, with no
    // statement of its own prepared to look it up.
    bool column = b > a;
    for (size_t k = a; k < b && column; ++k) column = IsIdentifier(k) || IsSymbol(k, ".");
    types.push_back(column ? std::string() : ExpressionType(a, b));
  }
  // The columns of a UNION take the type its SELECTs meet in.
  const auto unionTypes = UnionTypes(from, to);
  for (size_t c = 0; c < types.size() && c < unionTypes.size(); ++c)
    if (unionTypes[c].Known() && !(unionTypes[c].IsString() && types[c].empty())) types[c] = unionTypes[c].Name();
  return types;
}

std::string Executor::ExpressionType(size_t a, size_t b) const {
  auto closes = [&](size_t open) {  // the parenthesis opened at `open` closes at b - 1
    int depth = 0;
    for (size_t k = open; k < b; ++k) {
      if (IsSymbol(k, "(")) ++depth;
      else if (IsSymbol(k, ")") && --depth == 0) return k == b - 1;
    }
    return false;
  };
  auto text = [&](size_t x, size_t y) {
    std::string t;
    for (size_t k = x; k < y; ++k) t += Tk(k).text;
    return t;
  };
  // A parameter has the type its caller gave it.
  if (b == a + 1 && Tk(a).kind == Tok::Variable)
    if (const int p = ParameterIndex(Tk(a).value); p >= 0) return (*s_.parameters_)[static_cast<size_t>(p)].sqlType;
  if (b == a + 1 && Tk(a).kind == Tok::Variable && Tk(a).value == "@@SPID") return "smallint";
  if (IsDateExpr(a, b)) return "datetime";
  if (b == a + 1 && Tk(a).kind == Tok::Number && Tk(a).text.size() >= 2 && (Tk(a).text[1] == 'x' || Tk(a).text[1] == 'X'))
    return "varbinary(" + std::to_string(std::max<size_t>(1, (Tk(a).text.size() - 1) / 2)) + ")";
  if (IsWord(a, "CAST") && IsSymbol(a + 1, "(") && closes(a + 1)) {
    for (size_t k = b - 2; k > a + 2; --k)
      if (IsWord(k, "AS")) return text(k + 1, b - 1);
  }
  if (IsWord(a, "CONVERT") && IsSymbol(a + 1, "(") && closes(a + 1)) {
    int depth = 0;
    for (size_t k = a + 2; k < b - 1; ++k) {
      if (IsSymbol(k, "(")) ++depth;
      else if (IsSymbol(k, ")")) --depth;
      else if (depth == 0 && IsSymbol(k, ",")) return text(a + 2, k);
    }
  }
  // A number goes out as the type the server gives it (a sum of tinyints is a tinyint).
  if (const SqlType t = TypeOf(a, b); t.IsInteger() || t.base == SqlType::Float) return t.Name();
  return {};
}

}  // namespace vx::sqlsim
