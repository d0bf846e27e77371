// What the types of a statement's expressions change in its translation: a
// value of CASE, COALESCE or ISNULL converted to the type they return, and
// integer arithmetic held to its type's range (8115), as the server does.
#include "Executor.h"
#include "SimSession.h"
#include "SimTypes.h"

#include <sqlcipher/sqlite3.h>

namespace vx::sqlsim {

namespace {

// Whether a value of type `from` must be converted to meet `to`: text, and
// numbers becoming dates, are; numbers of a wider type hold their values as they are.
bool NeedsConversion(const SqlType& from, const SqlType& to) {
  if (!from.Known() || !to.Known() || from.base == SqlType::Other) return false;
  if (to.IsInteger() || to.base == SqlType::Float || to.base == SqlType::Real) return from.IsString();
  if (to.IsDate()) return from.IsString() || from.IsInteger() || from.base == SqlType::Float;
  return false;
}

}  // namespace

void Executor::Wrap(size_t a, size_t b, const std::string& before, const std::string& after, bool outer) {
  if (outer) {
    prefix_[a] = before + prefix_[a];
    suffix_[b] += after;
  } else {
    prefix_[a] += before;
    suffix_[b] = after + suffix_[b];
  }
}

void Executor::PlanTypes(size_t from, size_t to) {
  auto convert = [&](size_t a, size_t b, const SqlType& target) {
    Wrap(a, b - 1, "vx_convert('" + target.Name() + "', ", ", NULL, " + sqlite::QuoteLiteral(SourceHint(a, b)) + ")",
         true);
  };
  for (size_t k = from; k < to; ++k) {
    if (IsWord(k, "CASE")) {
      const size_t end = OperandEnd(k, to);
      if (!IsWord(end, "END")) continue;
      std::vector<std::pair<size_t, size_t>> branches;
      const SqlType r = CaseTypeOf(k, end, &branches);
      for (auto [x, y] : branches)
        if (NeedsConversion(TypeOf(x, y), r)) convert(x, y, r);
      continue;
    }
    if (Tk(k).kind != Tok::Word || !IsSymbol(k + 1, "(") || IsSymbol(k - 1, ".")) continue;
    const std::string& w = Tk(k).value;
    if (w != "COALESCE" && w != "ISNULL" && w != "ABS") continue;
    const size_t close = Matching(k + 1, to);
    if (close >= to) continue;
    const auto args = CallArguments(k + 1, close);
    const SqlType r = TypeOf(k, close + 1);
    if (w == "ABS") {
      if (const int code = r.IntegerCode(); code != 0)
        Wrap(k, close, "vx_fit(", ", " + std::to_string(code) + ")", false);
      continue;
    }
    for (size_t n = 0; n < args.size(); ++n) {
      const SqlType t = TypeOf(args[n].first, args[n].second);
      // ISNULL's second value takes the first's type and length: cut, padded or converted
      const bool cut = w == "ISNULL" && n == 1 && r.Known() && t.Known() && r.IsString() && t.base != SqlType::Image &&
                       (t.base != r.base || t.length > r.length || r.base == SqlType::Char || r.base == SqlType::NChar);
      if (cut || NeedsConversion(t, r)) convert(args[n].first, args[n].second, r);
    }
  }
}

}  // namespace vx::sqlsim
