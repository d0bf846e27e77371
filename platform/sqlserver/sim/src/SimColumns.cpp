// The tables a statement reads and the types of their columns: the catalogue's
// as the server declares them, a derived table's as its select list types them.
#include <array>

#include "Executor.h"
#include "SimSession.h"
#include "SimTypes.h"

#include <sqlcipher/sqlite3.h>

namespace vx::sqlsim {

namespace {

// The catalogue table behind a system table's name ("SYSOBJECTS" -> "objects").
std::string CatalogTable(const std::string& upper) {
  static const std::array<std::pair<std::string_view, std::string_view>, 6> t{{{"SYSOBJECTS", "objects"},
                                                                               {"SYSCOMMENTS", "comments"},
                                                                               {"SYSUSERS", "users"},
                                                                               {"SYSMEMBERS", "members"},
                                                                               {"SYSDATABASES", "databases"},
                                                                               {"SYSLOGINS", "logins"}}};
  for (auto [name, table] : t)
    if (upper == name) return std::string(table);
  return {};
}

}  // namespace

std::string Executor::NameAt(size_t k) const { return Tk(k).kind == Tok::Word ? Tk(k).value : Upper(Tk(k).value); }

// The tables of every FROM clause of [from, to), with their aliases.
void Executor::CollectSources(size_t from, size_t to) {
  sources_.clear();
  types_.clear();
  sourcesFrom_ = from;
  sourcesTo_ = to;
  std::vector<bool> inFrom{false};
  for (size_t k = from; k < to; ++k) {
    if (IsSymbol(k, "(")) {
      inFrom.push_back(false);
    } else if (IsSymbol(k, ")")) {
      if (inFrom.size() > 1) inFrom.pop_back();
    } else if (IsWord(k, "FROM")) {
      inFrom.back() = true;
    } else if (IsWord(k, "WHERE") || IsWord(k, "GROUP") || IsWord(k, "ORDER") || IsWord(k, "HAVING") ||
               IsWord(k, "UNION") || IsWord(k, "SELECT")) {
      inFrom.back() = false;
    }
    if (!(IsWord(k, "FROM") || IsWord(k, "JOIN") || (IsSymbol(k, ",") && inFrom.back()))) continue;
    Source src;
    size_t a = k + 1, after = a;
    if (IsSymbol(a, "(") && IsWord(a + 1, "SELECT")) {
      after = Matching(a, to) + 1;
      src.from = a + 1;
      src.to = after - 1;
    } else if (IsIdentifier(a)) {
      size_t e = a;
      while (IsSymbol(e + 1, ".") && (IsIdentifier(e + 2) || IsSymbol(e + 2, "."))) e += IsSymbol(e + 2, ".") ? 1 : 2;
      const std::string name = NameAt(e);
      src.table = CatalogTable(name);
      src.alias = name;
      after = e + 1;
    } else {
      continue;
    }
    if (IsWord(after, "AS")) ++after;
    if (IsIdentifier(after)) src.alias = NameAt(after);
    sources_.push_back(std::move(src));
  }
}

// A column of the statement's tables, perhaps qualified: its type where the
// catalogue or a derived table names it, else Unknown.
SqlType Executor::ColumnTypeOf(size_t a, size_t b) const {
  const std::string column = NameAt(b - 1);
  std::string qualifier;
  if (b >= a + 3 && IsSymbol(b - 2, ".")) {
    const Token& q = Tk(b - 3);
    qualifier = Upper(q.kind == Tok::Word ? q.text : q.value);
  }
  SqlType found;
  bool any = false;
  for (const Source& s : sources_) {
    if (!qualifier.empty() && s.alias != qualifier) continue;
    if (a >= s.from && a < s.to) continue;  // a column inside a derived table is none of its own
    SqlType t;
    if (!s.table.empty()) {
      const std::string decl = CatalogColumnType(s.table, Lower(column));
      if (decl.empty()) continue;
      t = ParseSqlType(decl);
    } else if (s.to > s.from) {
      bool named = false;
      for (auto [x, y] : SelectListItems(s.from, s.to)) {
        auto [expr, name] = ItemExpression(x, y);
        auto [ea, eb] = expr;
        if (name.empty() && IsIdentifier(y - 1)) name = NameAt(y - 1);
        if (name != column) continue;
        t = TypeOf(ea, eb);
        named = true;
        break;
      }
      if (!named) {
        if (!qualifier.empty()) return {};
        continue;
      }
    } else {
      return {};  // a table the simulator does not type
    }
    if (any && (t.base != found.base || t.length != found.length)) return {};
    found = t;
    any = true;
  }
  return found;
}

// A column of another table: a datetime when SQLite says it is declared so.
bool Executor::ColumnIsDate(size_t a, size_t b) const {
  if (fromClause_.empty() || !IsIdentifier(b - 1)) return false;
  std::string column;
  for (size_t k = a; k < b; ++k)
    column += Tk(k).kind == Tok::Word ? Tk(k).text : IsSymbol(k, ".") ? "." : "\"" + Tk(k).value + "\"";
  sqlite3_stmt* st = nullptr;
  const std::string sql = "SELECT " + column + " " + fromClause_;
  if (sqlite3_prepare_v2(s_.Db().Handle(), sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
    sqlite3_finalize(st);
    return false;
  }
  const char* decl = sqlite3_column_decltype(st, 0);
  const bool date = decl && Upper(decl) == "DATETIME";
  sqlite3_finalize(st);
  return date;
}

}  // namespace vx::sqlsim
