// Operators whose meaning the server and SQLite do not share: '&', '|' and '^'
// beside '+' and '-', and comparisons of binaries of different lengths.
#include "Executor.h"
#include "SimSession.h"
#include "SimTypes.h"

namespace vx::sqlsim {

// True when the '&', '|' or '^' at `op` stands beside a binary '+' or '-' without
// parentheses between them: the server evaluates them all left to right at one
// level, SQLite binds '&' and '|' looser than '+' and '-'.
bool Executor::MixesBitwise(size_t op, size_t from, size_t to) const {
  auto operandEnd = [&](size_t k) {
    const Token& t = Tk(k);
    return t.kind == Tok::Number || t.kind == Tok::String || t.kind == Tok::Variable || IsIdentifier(k) ||
           IsSymbol(k, ")") || IsWord(k, "END") || IsWord(k, "NULL");
  };
  // what an operand of the level may hold: its operators, terms and parentheses
  auto inside = [&](size_t k) {
    const Token& t = Tk(k);
    if (t.kind == Tok::Symbol)
      return t.text == "+" || t.text == "-" || t.text == "*" || t.text == "/" || t.text == "%" || t.text == "&" ||
             t.text == "|" || t.text == "^" || t.text == "~" || t.text == "." || t.text == "(" || t.text == ")";
    return t.kind == Tok::Number || t.kind == Tok::String || t.kind == Tok::Variable || IsIdentifier(k) ||
           IsWord(k, "NULL");
  };
  auto additive = [&](size_t k) { return (IsSymbol(k, "+") || IsSymbol(k, "-")) && k > from && operandEnd(k - 1); };
  for (size_t k = op; k-- > from;) {
    if (IsSymbol(k, ")")) {
      size_t depth = 1;
      while (k > from && depth > 0) {
        --k;
        if (IsSymbol(k, ")")) ++depth;
        else if (IsSymbol(k, "(")) --depth;
      }
      continue;
    }
    if (!inside(k) || IsSymbol(k, "(")) break;
    if (additive(k)) return true;
  }
  for (size_t k = op + 1; k < to; ++k) {
    if (IsSymbol(k, "(")) {
      k = Matching(k, to);
      continue;
    }
    if (!inside(k) || IsSymbol(k, ")")) break;
    if (additive(k)) return true;
  }
  return false;
}

// The binary at token i (its SQLite text `sql`) as a comparison with the operand
// beside it takes it: the server's rule for binaries of different lengths is not
// SQLite's, so such a comparison is refused, before it runs when both are constants.
std::string Executor::SameLengthBinary(size_t i, size_t from, size_t to, const std::string& sql) {
  auto isComparison = [&](size_t k) {
    return IsSymbol(k, "=") || IsSymbol(k, "<>") || IsSymbol(k, "!=") || IsSymbol(k, "<") || IsSymbol(k, ">") ||
           IsSymbol(k, "<=") || IsSymbol(k, ">=") || IsSymbol(k, "!<") || IsSymbol(k, "!>");
  };
  auto additive = [&](size_t k) { return IsSymbol(k, "+") || IsSymbol(k, "-"); };
  // The first token of the operand (a chain of '+' and '-' included) that ends before `end`; `end` when unknown.
  auto operandBefore = [&](size_t end) {
    size_t a = end;
    for (;;) {
      if (a <= from) return end;
      --a;
      if (IsSymbol(a, ")")) {
        for (size_t depth = 1; a > from && depth > 0;) {
          --a;
          if (IsSymbol(a, ")")) ++depth;
          else if (IsSymbol(a, "(")) --depth;
        }
        if (!IsSymbol(a, "(")) return end;
        if (a > from && Tk(a - 1).kind == Tok::Word) --a;
      }
      while (a > from + 1 && IsSymbol(a - 1, ".") && IsIdentifier(a - 2)) a -= 2;
      if (a > from + 1 && additive(a - 1) && !isComparison(a - 2)) {
        --a;
        continue;
      }
      return a;
    }
  };
  auto operandAfter = [&](size_t first) {
    size_t b = OperandEnd(first, to) + 1;
    while (b + 1 < to && additive(b)) b = OperandEnd(b + 1, to) + 1;
    return b;
  };
  auto lone = [&](size_t a, size_t b) {  // a binary constant or parameter alone
    if (b != a + 1) return false;
    const Token& t = Tk(a);
    if (t.kind == Tok::Number) return t.text.size() >= 2 && (t.text[1] == 'x' || t.text[1] == 'X');
    const int p = t.kind == Tok::Variable ? ParameterIndex(t.value) : -1;
    return p >= 0 && IsBinaryType((*s_.parameters_)[static_cast<size_t>(p)].sqlType);
  };
  // The chain of '+' and '-' the binary stands in.
  const size_t cs = i > from + 1 && additive(i - 1) ? operandBefore(i + 1) : i;
  const size_t ce = i + 2 < to && additive(i + 1) ? operandAfter(cs) : i + 1;
  size_t a = 0, b = 0;  // the operand compared with that chain
  if (cs > from + 1 && isComparison(cs - 1)) {
    b = cs - 1;
    a = operandBefore(b);
  } else if (ce + 1 < to && isComparison(ce)) {
    a = ce + 1;
    b = operandAfter(a);
  }
  if (b <= a) return sql;
  if (ce != i + 1 || cs != i) {
    // A binary joined with others is checked by a lone one it is compared with.
    if (lone(a, b)) return sql;
    throw Unsupported("Comparing binaries joined with '+'");
  }
  if (lone(a, b) && Tk(a).kind == Tok::Number && Tk(i).kind == Tok::Number) {
    if ((Tk(a).text.size() - 1) / 2 != (Tk(i).text.size() - 1) / 2)
      throw Unsupported("Comparing binaries of different lengths (" + Tk(i).text + ", " + Tk(a).text + ")");
    return sql;
  }
  return "vx_same_length(" + sql + ", " + Translate(a, b) + ")";
}

}  // namespace vx::sqlsim
