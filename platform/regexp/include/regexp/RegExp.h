#pragma once
// A regular-expression object with the switches and meanings of the classic
// scripting RegExp: Global (all matches, else the first), Multiline ("^" and "$"
// at line ends), IgnoreCase. Texts are UTF-8; positions and lengths that it
// reports count characters, not bytes.
//
// Meanings that callers rely on, whatever the library's build defaults:
// - "." matches any character but a line feed (a carriage return included);
// - "\s" is exactly space, form feed, line feed, carriage return, tab and
//   vertical tab (no Unicode spaces);
// - a negated class such as "[^x]" matches line ends too;
// - alternatives are tried left to right, the first that matches wins.
//
// Failures are vx::ComError: a bad pattern gives kRegExpSyntax, a subject that
// is not valid UTF-8 (or a match that exceeds the library's limits) gives
// kInvalidProcedureCall. Compiled patterns are shared process-wide, so
// creating an object per call is cheap; an object itself is not meant to be
// used by two threads at once.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vx::regexp {

struct Match {
  std::size_t FirstIndex = 0;  // zero-based, in characters
  std::size_t Length = 0;      // in characters
  std::string Value;
  std::vector<std::string> SubMatches;  // groups 1..n; an unset group is empty
};

class RegExp {
 public:
  RegExp() = default;
  explicit RegExp(std::string pattern, bool global = false, bool multiline = false,
                  bool ignoreCase = false);

  const std::string& Pattern() const noexcept { return pattern_; }
  void SetPattern(std::string pattern) { pattern_ = std::move(pattern); }
  bool Global() const noexcept { return global_; }
  void SetGlobal(bool value) noexcept { global_ = value; }
  bool Multiline() const noexcept { return multiline_; }
  void SetMultiline(bool value) noexcept { multiline_ = value; }
  bool IgnoreCase() const noexcept { return ignoreCase_; }
  void SetIgnoreCase(bool value) noexcept { ignoreCase_ = value; }

  // True when the pattern matches somewhere in the text.
  bool Test(std::string_view text) const;
  // Every match (Global) or the first one.
  std::vector<Match> Execute(std::string_view text) const;
  // The text with every match (Global) or the first one replaced. The
  // replacement may hold $1..$99, $& (the match), $` (text before it),
  // $' (text after it) and $$ (a dollar sign); any other "$" stands for itself.
  std::string Replace(std::string_view text, std::string_view replacement) const;

 private:
  std::string pattern_;
  bool global_ = false;
  bool multiline_ = false;
  bool ignoreCase_ = false;
};

}  // namespace vx::regexp
