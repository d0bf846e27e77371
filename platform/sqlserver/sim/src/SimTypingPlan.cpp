// What the types of a statement's expressions change in its translation: a
// value of CASE, COALESCE or ISNULL converted to the type they return, and
// integer arithmetic held to its type's range (8115), as the server does.
#include <cstring>

#include "Executor.h"
#include "SimSession.h"
#include "SimTypes.h"

#include <sqlcipher/sqlite3.h>

namespace vx::sqlsim {

namespace {

// Whether a value of type `from` must be converted to meet `to`: text, integers
// becoming floats and numbers becoming dates are; wider integers hold smaller ones as they are.
bool NeedsConversion(const SqlType& from, const SqlType& to) {
  if (!from.Known() || !to.Known() || from.base == SqlType::Other) return false;
  if (to.IsInteger()) return from.IsString();
  if (to.base == SqlType::Float || to.base == SqlType::Real) return from.IsString() || from.IsInteger();
  if (to.IsDate()) return from.IsString() || from.IsInteger() || from.base == SqlType::Float;
  return false;
}

// A decimal or money value meeting another type takes the scale of the type they
// meet in ("1" becomes "1.0"), which the simulator does not keep.
bool LosesScale(const SqlType& from, const SqlType& to) {
  const bool exact = to.base == SqlType::Decimal || to.base == SqlType::Money || to.base == SqlType::SmallMoney;
  return exact && from.base != SqlType::Null && (from.base != to.base || from.scale != to.scale);
}

}  // namespace

// The first token of the operand, or chain of operands joined by arithmetic
// operators, that ends before token `end` (not before `from`).
size_t Executor::ExpressionStart(size_t from, size_t end) const {
  auto operandEnds = [&](size_t k) {
    const Token& t = Tk(k);
    return t.kind == Tok::Number || t.kind == Tok::String || t.kind == Tok::Variable || IsIdentifier(k) ||
           IsSymbol(k, ")") || IsWord(k, "END") || IsWord(k, "NULL") || IsWord(k, "CURRENT_TIMESTAMP");
  };
  size_t k = end;
  for (;;) {
    if (k <= from || !operandEnds(k - 1)) return end;
    size_t t = k - 1;
    if (IsSymbol(t, ")")) {
      for (int depth = 1; t > from && depth > 0;) {
        --t;
        if (IsSymbol(t, ")")) ++depth;
        else if (IsSymbol(t, "(")) --depth;
      }
      if (!IsSymbol(t, "(")) return end;
      if (t > from && (IsIdentifier(t - 1) || IsWord(t - 1, "CONVERT") || IsWord(t - 1, "COALESCE") ||
                       IsWord(t - 1, "NULLIF") || IsWord(t - 1, "LEFT") || IsWord(t - 1, "RIGHT")))
        --t;
    } else if (IsWord(t, "END")) {
      for (int depth = 1; t > from && depth > 0;) {
        --t;
        if (IsWord(t, "END")) ++depth;
        else if (IsWord(t, "CASE")) --depth;
      }
      if (!IsWord(t, "CASE")) return end;
    }
    while (t > from + 1 && IsSymbol(t - 1, ".") && IsIdentifier(t - 2)) t -= 2;
    while (t > from && (IsSymbol(t - 1, "-") || IsSymbol(t - 1, "+") || IsSymbol(t - 1, "~")) &&
           (t - 1 == from || !operandEnds(t - 2)))
      --t;
    if (t > from + 1 && Tk(t - 1).kind == Tok::Symbol && Tk(t - 1).text.size() == 1 &&
        std::strchr("+-*/%&|^", Tk(t - 1).text[0]) && operandEnds(t - 2)) {
      k = t - 1;
      continue;
    }
    return t;
  }
}

void Executor::Wrap(size_t a, size_t b, const std::string& before, const std::string& after, bool outer) {
  if (outer) {
    prefix_[a] = before + prefix_[a];
    suffix_[b] += after;
  } else {
    prefix_[a] += before;
    suffix_[b] = after + suffix_[b];
  }
}

// TOP n of a subquery, a derived table or one SELECT of a UNION limits that
// SELECT alone: its LIMIT closes it, and a SELECT of a UNION is read from a
// derived table of its own (SQLite limits a UNION as a whole).
void Executor::PlanTop(size_t from, size_t to) {
  for (size_t i = from; i < to; ++i) {
    if (!IsWord(i, "TOP") || Tk(i + 1).kind != Tok::Number) continue;
    const size_t select = IsWord(i - 1, "SELECT") ? i - 1 : i - 2;
    if (!IsWord(select, "SELECT") || select < from) continue;
    int depth = 0;
    size_t end = i + 2;
    for (; end < to; ++end) {
      if (IsSymbol(end, "(")) ++depth;
      else if (IsSymbol(end, ")") && --depth < 0) break;
      else if (depth == 0 && IsWord(end, "UNION")) break;
    }
    const bool afterUnion = IsWord(select - 1, "UNION") || (IsWord(select - 1, "ALL") && IsWord(select - 2, "UNION"));
    const bool beforeUnion = end < to && IsWord(end, "UNION");
    if (!afterUnion && !beforeUnion && end >= to) continue;  // the statement's own TOP
    if (IsWord(i + 2, "PERCENT") || IsWord(i + 2, "WITH")) throw Unsupported("TOP ... " + Tk(i + 2).value);
    replace_[i] = "";
    replace_[i + 1] = "";
    const std::string limit = " LIMIT " + Tk(i + 1).text;
    if (!afterUnion && !beforeUnion) {
      suffix_[end - 1] += limit;
      continue;
    }
    for (size_t k = i + 2; k < end && afterUnion; ++k) {
      if (IsSymbol(k, "(")) k = Matching(k, end);
      else if (IsWord(k, "ORDER")) throw Unsupported("TOP in the last SELECT of a UNION with ORDER BY");
    }
    prefix_[select] = "SELECT * FROM (" + prefix_[select];
    suffix_[end - 1] += limit + ")";
  }
}

// The SELECTs of the UNION whose first SELECT is at `select`: each one's list.
std::vector<std::vector<std::pair<size_t, size_t>>> Executor::UnionLists(size_t select, size_t to) const {
  std::vector<std::vector<std::pair<size_t, size_t>>> lists;
  for (size_t s = select;;) {
    lists.push_back(SelectListItems(s, to));
    int depth = 0;
    size_t k = s + 1;
    for (; k < to; ++k) {
      if (IsSymbol(k, "(")) ++depth;
      else if (IsSymbol(k, ")") && --depth < 0) return lists;
      else if (depth == 0 && IsWord(k, "UNION")) break;
    }
    if (k >= to) return lists;
    s = IsWord(k + 1, "ALL") ? k + 2 : k + 1;
    if (!IsWord(s, "SELECT")) return {};
  }
}

std::vector<SqlType> Executor::UnionTypes(size_t select, size_t to) const {
  const auto lists = UnionLists(select, to);
  if (lists.size() < 2) return {};
  std::vector<SqlType> types(lists[0].size(), SqlType{SqlType::Null});
  for (const auto& items : lists) {
    if (items.size() != types.size()) return {};
    for (size_t c = 0; c < items.size(); ++c) {
      const auto [a, b] = ItemExpression(items[c].first, items[c].second).first;
      types[c] = HigherType(types[c], TypeOf(a, b));
    }
  }
  return types;
}

void Executor::PlanTypes(size_t from, size_t to) {
  for (int cases = 0; size_t k : {from}) {
    for (; k < to; ++k) {
      if (IsWord(k, "CASE") && ++cases > 10)
        throw SimError{125, 15, "Case expressions may only be nested to level 10.", Tk(k).line};
      if (IsWord(k, "END") && cases > 0) --cases;
    }
  }
  auto convert = [&](size_t a, size_t b, const SqlType& target) {
    if (target.length > 8000) return;  // no type of the server is that long: its CAST is refused
    Wrap(a, b - 1, "vx_convert('" + target.Name() + "', ", ", NULL, " + sqlite::QuoteLiteral(SourceHint(a, b)) + ")",
         true);
  };
  for (size_t k = from; k < to; ++k) {
    if (IsWord(k, "SELECT") && !IsWord(k - 1, "UNION") && !IsWord(k - 1, "ALL")) {
      const auto lists = UnionLists(k, to);
      for (size_t n = 1; n < lists.size(); ++n)
        if (lists[n].size() != lists[0].size() && !lists[n].empty() && !lists[0].empty())
          throw SimError{205, 16, "All queries in an SQL statement containing a UNION operator must have an equal "
                                  "number of expressions in their target lists."};
      const auto types = UnionTypes(k, to);
      for (const auto& items : lists)
        for (size_t c = 0; c < items.size() && c < types.size(); ++c) {
          const auto [a, b] = ItemExpression(items[c].first, items[c].second).first;
          if (LosesScale(TypeOf(a, b), types[c])) throw Unsupported("A UNION of decimal and other values");
          if (NeedsConversion(TypeOf(a, b), types[c])) convert(a, b, types[c]);
        }
      continue;
    }
    // a string beside '*', '/' or '%' is converted to the number's type (245, 8114)
    if (Tk(k).kind == Tok::Symbol && (Tk(k).text == "*" || Tk(k).text == "/" || Tk(k).text == "%") && k > from &&
        k + 1 < to) {
      const bool leftText = Tk(k - 1).kind == Tok::String, rightText = Tk(k + 1).kind == Tok::String;
      if (leftText != rightText) {
        const SqlType other = leftText ? TypeOf(k + 1, OperandEnd(k + 1, to) + 1) : TypeOf(ExpressionStart(from, k), k);
        const size_t text = leftText ? k - 1 : k + 1;
        if (other.IsInteger() || other.base == SqlType::Float || other.base == SqlType::Real)
          literalTypes_[text] = other.IsInteger() ? "int" : "float";
        else if (other.Known() && !other.IsString()) throw Unsupported("Arithmetic of text with " + other.Name());
      }
    }
    // a char(n) column keeps its n characters where its value is joined or passed on
    if (IsIdentifier(k) && !IsSymbol(k - 1, ".") && !IsSymbol(k + 1, "(") && k > from) {
      size_t e = k;
      while (IsSymbol(e + 1, ".") && IsIdentifier(e + 2)) e += 2;
      const bool joined = IsSymbol(k - 1, "+") || IsSymbol(e + 1, "+");
      if (joined || IsSymbol(k - 1, "(") || IsSymbol(k - 1, ",")) {
        const SqlType c = ColumnTypeOf(k, e + 1);
        if ((c.base == SqlType::Char || c.base == SqlType::NChar) && (joined || InCallArguments(k)))
          Wrap(k, e, "vx_convert('" + c.Name() + "', ", c.base == SqlType::Char ? ", NULL, 'V')" : ", NULL, 'N')",
               false);
      }
      k = e;
      continue;
    }
    if (IsWord(k, "CASE")) {
      const size_t end = OperandEnd(k, to);
      if (!IsWord(end, "END")) continue;
      std::vector<std::pair<size_t, size_t>> branches;
      const SqlType r = CaseTypeOf(k, end, &branches);
      for (auto [x, y] : branches) {
        if (LosesScale(TypeOf(x, y), r)) throw Unsupported("A CASE of decimal and other values");
        if (NeedsConversion(TypeOf(x, y), r)) convert(x, y, r);
      }
      continue;
    }
    if (Tk(k).kind != Tok::Word || !IsSymbol(k + 1, "(") || IsSymbol(k - 1, ".")) continue;
    const std::string& w = Tk(k).value;
    const bool aggregate = w == "SUM" || w == "AVG" || w == "MIN" || w == "MAX";
    if (w != "COALESCE" && w != "ISNULL" && w != "ABS" && !aggregate) continue;
    const size_t close = Matching(k + 1, to);
    if (close >= to) continue;
    const auto args = ListItems(k + 2, close);
    const SqlType r = TypeOf(k, close + 1);
    if (aggregate && args.size() == 1) {
      const SqlType x = TypeOf(IsWord(args[0].first, "DISTINCT") ? args[0].first + 1 : args[0].first, args[0].second);
      if (x.base == SqlType::Bit && (w == "SUM" || w == "AVG"))
        throw SimError{409, 16, "The sum or average aggregate operation cannot take a bit data type as an argument.",
                       Tk(k).line};
      if (x.base == SqlType::Bit)
        throw SimError{8117, 16, "Operand data type bit is invalid for " + Lower(w) + " operator.", Tk(k).line};
      if (w != "MIN" && w != "MAX" &&
          (x.base == SqlType::Decimal || x.base == SqlType::Money || x.base == SqlType::SmallMoney))
        throw Unsupported("The " + w + " of decimal values");
    }
    if (w == "AVG" || w == "MIN" || w == "MAX") continue;
    if (w == "SUM") {  // a sum of bigints is a bigint, of smaller integers an int
      if (r.base == SqlType::BigInt && close > k + 2) suffix_[close - 1] += ", 4";
      continue;
    }
    if (w == "ABS") {
      if (const int code = r.IntegerCode(); code != 0)
        Wrap(k, close, "vx_fit(", ", " + std::to_string(code) + ")", false);
      continue;
    }
    for (size_t n = 0; n < args.size(); ++n) {
      const SqlType t = TypeOf(args[n].first, args[n].second);
      if (w == "COALESCE" && LosesScale(t, r)) throw Unsupported("COALESCE of decimal and other values");
      // ISNULL's second value takes the first's type and length: cut, padded or converted
      const bool cut = w == "ISNULL" && n == 1 && r.Known() && t.Known() && r.IsString() && t.base != SqlType::Image &&
                       (t.base != r.base || t.length > r.length || r.base == SqlType::Char || r.base == SqlType::NChar);
      if (cut || NeedsConversion(t, r)) convert(args[n].first, args[n].second, r);
    }
  }
}

}  // namespace vx::sqlsim
