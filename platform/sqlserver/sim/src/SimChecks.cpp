// The checks the server makes of a query before it answers: every column of a
// grouped query grouped or aggregated (8120), no select-list alias read as a
// column (207), ORDER BY of a SELECT DISTINCT within its list (145), a name for
// every column of a derived table (8155); and a subquery used as a value held to
// one row (512) when it runs.
#include <algorithm>

#include "Executor.h"
#include "SimSession.h"
#include "SimTypes.h"

#include <sqlcipher/sqlite3.h>

namespace vx::sqlsim {

namespace {

// Words that are no column, though the server's list of reserved words does not hold them all.
bool IsKeyword(const Token& t) {
  return t.kind == Tok::Word && (t.value == "WHEN" || t.value == "ASC" || t.value == "DESC");
}

bool IsAggregate(const std::string& upper) {
  return upper == "COUNT" || upper == "SUM" || upper == "MIN" || upper == "MAX" || upper == "AVG";
}

// vx_single(value): the one value of a subquery used as a value; NULL for none,
// and the server's error 512 for several.
struct Single {
  sqlite3_value* value;
  int64_t rows;
};

void SingleStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto* a = static_cast<Single*>(sqlite3_aggregate_context(ctx, sizeof(Single)));
  if (!a) return sqlite3_result_error_nomem(ctx);
  if (++a->rows == 1) a->value = sqlite3_value_dup(argv[0]);
}

void SingleFinal(sqlite3_context* ctx) {
  auto* a = static_cast<Single*>(sqlite3_aggregate_context(ctx, 0));
  if (!a || a->rows == 0) return sqlite3_result_null(ctx);
  if (a->rows > 1) {
    static const char m[] =
        "vx:512:Subquery returned more than 1 value. This is not permitted when the subquery follows =, !=, <, <= "
        ", >, >= or when the subquery is used as an expression.";
    sqlite3_result_error(ctx, m, -1);
  } else if (a->value) {
    sqlite3_result_value(ctx, a->value);
  } else {
    sqlite3_result_error_nomem(ctx);
  }
  sqlite3_value_free(a->value);
  a->value = nullptr;
}

}  // namespace

void RegisterChecks(sqlite3* h, void* session) {
  sqlite3_create_function(h, "vx_single", 1, SQLITE_UTF8, session, nullptr, SingleStep, SingleFinal);
}

// One SELECT of a statement: where its clauses stand (0 when absent).
struct Executor::SelectParts {
  size_t select = 0, end = 0;
  size_t from = 0, where = 0, group = 0, having = 0, order = 0, unionAt = 0;
  bool distinct = false;
  // the end of the clause that starts at `at`
  size_t ClauseEnd(size_t at) const {
    size_t e = end;
    for (size_t c : {from, where, group, having, order, unionAt})
      if (c > at && c < e) e = c;
    return e;
  }
};

Executor::SelectParts Executor::PartsOf(size_t select, size_t to) const {
  SelectParts p;
  p.select = select;
  p.distinct = IsWord(select + 1, "DISTINCT");
  int depth = 0;
  size_t k = select + 1;
  for (; k < to; ++k) {
    if (IsSymbol(k, "(")) ++depth;
    else if (IsSymbol(k, ")") && --depth < 0) break;
    else if (depth != 0) continue;
    else if (IsWord(k, "FROM") && !p.from) p.from = k;
    else if (IsWord(k, "WHERE") && !p.where) p.where = k;
    else if (IsWord(k, "GROUP") && IsWord(k + 1, "BY") && !p.group) p.group = k;
    else if (IsWord(k, "HAVING") && !p.having) p.having = k;
    else if (IsWord(k, "ORDER") && IsWord(k + 1, "BY") && !p.order) p.order = k;
    else if (IsWord(k, "UNION")) {
      p.unionAt = k;
      break;
    }
  }
  p.end = k;
  return p;
}

// A subquery used as a value is read through vx_single, which raises 512 when it
// returns several rows: unless TOP 1 or an aggregate without GROUP BY keeps it to one.
void Executor::PlanSubqueries(size_t from, size_t to) {
  for (size_t k = from; k < to; ++k) {
    if (!IsSymbol(k, "(") || !IsWord(k + 1, "SELECT")) continue;
    // In parentheses of its own a subquery is a value (IN ((SELECT ...)) is a list
    // of one value), unless they stand for a table or a member of a UNION.
    const bool wrapped = IsSymbol(k - 1, "(");
    const size_t before = wrapped ? k - 1 : k;
    if ((!wrapped && (IsWord(k - 1, "IN") || IsWord(k - 1, "EXISTS") || IsWord(k - 1, "ANY") ||
                      IsWord(k - 1, "ALL") || IsWord(k - 1, "SOME"))) ||
        IsWord(before - 1, "FROM") || IsWord(before - 1, "JOIN") || IsWord(before - 1, "UNION") ||
        IsSymbol(before - 1, "(") || (wrapped && before == from) || InFromList(from, before - 1))
      continue;
    const size_t close = Matching(k, to);
    if (close >= to) continue;
    const SelectParts p = PartsOf(k + 1, close);
    if (IsWord(k + 2, "TOP") && Tk(k + 3).text == "1") continue;
    const auto items = SelectListItems(k + 1, close);
    if (items.size() != 1) continue;
    bool aggregate = false;
    for (size_t i = items[0].first; i < items[0].second; ++i) {
      if (IsSymbol(i, "(") && IsWord(i + 1, "SELECT")) i = Matching(i, items[0].second);
      else if (Tk(i).kind == Tok::Word && IsAggregate(Tk(i).value) && IsSymbol(i + 1, "(")) aggregate = true;
    }
    if (aggregate && !p.group && !p.unionAt) continue;
    std::string name = ItemExpression(items[0].first, items[0].second).second;
    if (name.empty()) {
      name = "vx_value";
      suffix_[items[0].second - 1] += " AS vx_value";
    }
    std::string quoted = "\"";
    for (char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    prefix_[k + 1] = "SELECT vx_single(" + quoted + "\") FROM (" + prefix_[k + 1];
    suffix_[close - 1] += ")";
  }
}

// The items of a list [from, to) split at its commas.
std::vector<std::pair<size_t, size_t>> Executor::ListItems(size_t from, size_t to) const {
  std::vector<std::pair<size_t, size_t>> items;
  int depth = 0;
  size_t start = from;
  for (size_t k = from; k < to; ++k) {
    if (IsSymbol(k, "(")) ++depth;
    else if (IsSymbol(k, ")")) --depth;
    else if (depth == 0 && IsSymbol(k, ",")) {
      items.emplace_back(start, k);
      start = k + 1;
    }
  }
  if (to > start) items.emplace_back(start, to);
  return items;
}

// A select-list item split into its expression and its alias ("" when none is written).
std::pair<std::pair<size_t, size_t>, std::string> Executor::ItemExpression(size_t a, size_t b) const {
  auto name = [&](size_t k) { return NameAt(k); };
  if ((IsIdentifier(a) || Tk(a).kind == Tok::String) && IsSymbol(a + 1, "=") && b > a + 2)
    return {{a + 2, b}, name(a)};
  if (b - a >= 3 && IsWord(b - 2, "AS")) return {{a, b - 2}, name(b - 1)};
  const Token& before = Tk(b - 2);
  const bool afterOperand = before.kind == Tok::Number || before.kind == Tok::String ||
                            before.kind == Tok::Variable || IsIdentifier(b - 2) || IsSymbol(b - 2, ")") ||
                            IsWord(b - 2, "END") || IsWord(b - 2, "NULL");
  if (b - a >= 2 && (IsIdentifier(b - 1) || Tk(b - 1).kind == Tok::String) && afterOperand)
    return {{a, b - 1}, name(b - 1)};
  return {{a, b}, ""};
}

std::string Executor::TokenText(size_t a, size_t b) const {
  std::string s;
  for (size_t k = a; k < b; ++k) {
    const Token& t = Tk(k);
    s += t.kind == Tok::Word ? t.value : t.kind == Tok::Bracketed || t.kind == Tok::QuotedId ? Upper(t.value) : t.text;
    s += ' ';
  }
  return s;
}

// Whether the ',' at k separates the tables of a FROM clause.
bool Executor::InFromList(size_t from, size_t k) const {
  if (!IsSymbol(k, ",")) return false;
  for (int depth = 0; k-- > from;) {
    if (IsSymbol(k, ")")) ++depth;
    else if (IsSymbol(k, "(") && depth-- == 0) return false;
    else if (depth == 0 && IsWord(k, "FROM")) return true;
    else if (depth == 0 && (IsWord(k, "SELECT") || IsWord(k, "WHERE") || IsWord(k, "GROUP") || IsWord(k, "ORDER")))
      return false;
  }
  return false;
}

void Executor::CheckQueryShape(size_t from, size_t to) {
  for (size_t s = from; s < to; ++s) {
    if (!IsWord(s, "SELECT")) continue;
    const SelectParts p = PartsOf(s, to);
    size_t listFrom = s + 1;
    if (IsWord(listFrom, "DISTINCT") || IsWord(listFrom, "ALL")) ++listFrom;
    if (IsWord(listFrom, "TOP")) listFrom += IsWord(listFrom + 2, "PERCENT") ? 3 : 2;
    const size_t listTo = p.ClauseEnd(s);
    if (listTo <= listFrom) continue;
    const auto items = ListItems(listFrom, listTo);
    bool star = false;
    for (auto [a, b] : items)
      for (size_t k = a; k < b; ++k) star = star || (IsSymbol(k, "*") && (k == a || IsSymbol(k - 1, ".")));

    // a derived table names every column
    if (!star && IsSymbol(s - 1, "(") && s >= from + 2 &&
        (IsWord(s - 2, "FROM") || IsWord(s - 2, "JOIN") || InFromList(from, s - 2))) {
      const size_t close = Matching(s - 1, to);
      size_t alias = close + 1;
      if (IsWord(alias, "AS")) ++alias;
      for (size_t c = 0; c < items.size(); ++c)
        if (!KeepsSqliteName(items[c].first, items[c].second))
          throw SimError{8155, 16, "No column was specified for column " + std::to_string(c + 1) + " of '" +
                                       (IsIdentifier(alias) ? Tk(alias).kind == Tok::Word ? Tk(alias).text
                                                                                              : Tk(alias).value
                                                            : std::string()) + "'."};
    }

    // aliases of the list are no columns of WHERE, GROUP BY and HAVING
    std::vector<std::string> aliases;
    for (auto [a, b] : items) {
      auto [expr, alias] = ItemExpression(a, b);
      if (!alias.empty() && !(expr.second == expr.first + 1 && Upper(Tk(expr.first).value) == alias))
        aliases.push_back(alias);
    }
    for (size_t clause : {p.where, p.group, p.having}) {
      if (!clause || aliases.empty()) continue;
      const size_t e = p.ClauseEnd(clause);
      for (size_t k = clause + 1; k < e; ++k) {
        if (IsSymbol(k, "(") && IsWord(k + 1, "SELECT")) {
          k = Matching(k, e);
          continue;
        }
        if (!IsIdentifier(k) || IsKeyword(Tk(k)) || IsSymbol(k - 1, ".") || IsSymbol(k + 1, ".") ||
            IsSymbol(k + 1, "("))
          continue;
        const std::string name = NameAt(k);
        if (std::find(aliases.begin(), aliases.end(), name) == aliases.end()) continue;
        // the name of a column of its tables is that column
        std::string sql = "SELECT " + Tk(k).text;
        if (p.from) sql += " FROM " + Translate(p.from + 1, p.ClauseEnd(p.from));
        sqlite3_stmt* st = nullptr;
        s_.BindViews();
        const int rc = sqlite3_prepare_v2(s_.Db().Handle(), sql.c_str(), -1, &st, nullptr);
        sqlite3_finalize(st);
        if (rc != SQLITE_OK)
          throw SimError{207, 16, "Invalid column name '" + (Tk(k).kind == Tok::Word ? Tk(k).text : Tk(k).value) + "'.",
                         Tk(k).line};
      }
    }

    // ORDER BY of a SELECT DISTINCT names what the list holds
    if (p.distinct && p.order && !p.unionAt && !star) {
      std::vector<std::string> texts, names;
      for (auto [a, b] : items) {
        auto [expr, alias] = ItemExpression(a, b);
        texts.push_back(TokenText(expr.first, expr.second));
        if (!alias.empty()) names.push_back(alias);
        if (IsIdentifier(expr.second - 1)) names.push_back(NameAt(expr.second - 1));
      }
      for (auto [a, b] : ListItems(p.order + 2, p.ClauseEnd(p.order))) {
        if (b > a + 1 && (IsWord(b - 1, "ASC") || IsWord(b - 1, "DESC"))) --b;
        if (b == a + 1 && Tk(a).kind == Tok::Number) continue;
        if (std::find(texts.begin(), texts.end(), TokenText(a, b)) != texts.end()) continue;
        bool column = IsIdentifier(b - 1);  // a column, perhaps qualified, named in the list
        for (size_t k = a; k < b && column; ++k) column = IsIdentifier(k) || IsSymbol(k, ".");
        if (column &&
            std::find(names.begin(), names.end(), NameAt(b - 1)) != names.end())
          continue;
        throw SimError{145, 15, "ORDER BY items must appear in the select list if SELECT DISTINCT is specified.",
                       Tk(a).line};
      }
    }

    CheckGrouping(p, items);
  }
}

// In a grouped query (GROUP BY, or an aggregate in its list) every column of the
// list is grouped or inside an aggregate.
void Executor::CheckGrouping(const SelectParts& p, const std::vector<std::pair<size_t, size_t>>& items) const {
  std::vector<std::pair<size_t, size_t>> groups;
  if (p.group) groups = ListItems(p.group + 2, p.ClauseEnd(p.group));
  const size_t havingEnd = p.having ? p.ClauseEnd(p.having) : 0;
  bool aggregated = p.group != 0;
  auto findAggregate = [&](size_t a, size_t b) {
    for (size_t k = a; k < b && !aggregated; ++k) {
      if (IsSymbol(k, "(") && IsWord(k + 1, "SELECT")) k = Matching(k, b);
      else if (Tk(k).kind == Tok::Word && IsAggregate(Tk(k).value) && IsSymbol(k + 1, "(")) aggregated = true;
    }
  };
  for (auto [a, b] : items) findAggregate(a, b);
  if (p.having) findAggregate(p.having + 1, havingEnd);
  if (!aggregated) return;
  std::vector<std::string> grouped;
  for (auto [a, b] : groups) grouped.push_back(TokenText(a, b));
  auto name = [&](size_t k) { return NameAt(k); };
  // The first column of [a, b) neither grouped nor inside an aggregate, as written; "" for none.
  auto ungrouped = [&](size_t a, size_t b) -> std::pair<std::string, int> {
    if (std::find(grouped.begin(), grouped.end(), TokenText(a, b)) != grouped.end()) return {};
    for (size_t k = a; k < b; ++k) {
      if (IsSymbol(k, "(") && IsWord(k + 1, "SELECT")) {
        k = Matching(k, b);
        continue;
      }
      if (Tk(k).kind == Tok::Word && IsSymbol(k + 1, "(")) {
        if (IsAggregate(Tk(k).value)) k = Matching(k + 1, b);
        else if (Tk(k).value == "CONVERT") k = k + 1;  // its type is no column
        continue;
      }
      if (IsWord(k, "COLLATE") && IsIdentifier(k + 1)) {  // a collation's name is no column
        ++k;
        continue;
      }
      if (IsWord(k, "AS") && IsIdentifier(k + 1)) {  // CAST(... AS type)
        ++k;
        continue;
      }
      if (!IsIdentifier(k) || IsKeyword(Tk(k)) || IsSymbol(k - 1, ".")) continue;
      if (IsWord(k - 1, "CONVERT") || (IsSymbol(k - 1, "(") && IsWord(k - 2, "CONVERT"))) continue;
      size_t e = k;
      while (IsSymbol(e + 1, ".") && IsIdentifier(e + 2)) e += 2;
      const std::string column = name(e);
      const std::string qualifier = e > k ? name(e - 2) : std::string();
      bool ok = false;
      for (auto [ga, gb] : groups) {
        bool plain = IsIdentifier(gb - 1) && name(gb - 1) == column;
        for (size_t g = ga; g < gb && plain; ++g) plain = IsIdentifier(g) || IsSymbol(g, ".");
        if (!plain) continue;
        const std::string gq = gb - ga >= 3 ? name(gb - 3) : std::string();
        ok = qualifier.empty() || gq.empty() || gq == qualifier;
        if (ok) break;
      }
      if (!ok) {
        std::string shown;
        for (size_t x = k; x <= e; ++x)
          shown += Tk(x).kind == Tok::Word || Tk(x).kind == Tok::Symbol ? Tk(x).text : Tk(x).value;
        return {shown, Tk(k).line};
      }
      k = e;
    }
    return {};
  };
  const std::string notGrouped = "either an aggregate function or the GROUP BY clause.";
  std::vector<std::string> aliases;
  for (auto [a, b] : items) {
    for (size_t k = a; k < b; ++k)
      if (IsSymbol(k, "*") && (k == a || IsSymbol(k - 1, "."))) throw Unsupported("'*' in a grouped query");
    const auto [expr, alias] = ItemExpression(a, b);
    if (!alias.empty()) aliases.push_back(alias);
    if (auto [column, line] = ungrouped(expr.first, expr.second); !column.empty())
      throw SimError{8120, 16, "Column '" + column + "' is invalid in the select list because it is not contained in " +
                                   notGrouped, line};
  }
  if (p.having)
    if (auto [column, line] = ungrouped(p.having + 1, havingEnd); !column.empty())
      throw SimError{8121, 16,
                     "Column '" + column + "' is invalid in the HAVING clause because it is not contained in " +
                                   (p.group ? notGrouped : "an aggregate function and there is no GROUP BY clause."),
                     line};
  // the ORDER BY after a UNION orders the UNION by its first SELECT's columns
  if (!p.order || IsWord(p.select - 1, "UNION") || IsWord(p.select - 1, "ALL")) return;
  for (auto [a, b] : ListItems(p.order + 2, p.ClauseEnd(p.order))) {
    if (b > a + 1 && (IsWord(b - 1, "ASC") || IsWord(b - 1, "DESC"))) --b;
    if (b == a + 1 && (Tk(a).kind == Tok::Number ||
                       (IsIdentifier(a) && std::find(aliases.begin(), aliases.end(), name(a)) != aliases.end())))
      continue;
    bool listed = false;
    for (auto [x, y] : items) {
      const auto expr = ItemExpression(x, y).first;
      listed = listed || TokenText(expr.first, expr.second) == TokenText(a, b);
    }
    if (listed) continue;
    if (auto [column, line] = ungrouped(a, b); !column.empty())
      throw SimError{8127, 16,
                     "Column '" + column + "' is invalid in the ORDER BY clause because it is not contained in " +
                                   notGrouped, line};
  }
}

}  // namespace vx::sqlsim
