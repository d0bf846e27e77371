// LIKE as the server matches: % any run, _ one character, [abc] [a-c] [^abc] one
// of a set, the escape character making the next one literal, characters compared
// as the server's collation compares them. Matching non-Unicode text, the server
// ignores the value's trailing blanks; matching Unicode text, it does not.
#include <cstdint>
#include <cstdio>
#include <string>

#include "SimCollation.h"
#include "SimGuard.h"
#include "SimTypes.h"
#include "sqlserver/Utf16.h"

#include <sqlcipher/sqlite3.h>

namespace vx::sqlsim {

namespace {

bool IsLetter(char16_t c) { return c >= u'a' && c <= u'z'; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Matches by the one-pass method for wildcards: on a mismatch it goes back to the
// last % and lets it take one more character, so a pattern of many % costs at
// most the product of the lengths.
class Matcher {
 public:
  Matcher(const std::u16string& pattern, const std::u16string& value, char16_t esc, bool hasEsc, bool padded)
      : p_(pattern), s_(value), esc_(esc), hasEsc_(hasEsc) {
    blanksFrom_ = s_.size();
    if (padded)
      while (blanksFrom_ > 0 && s_[blanksFrom_ - 1] == u' ') --blanksFrom_;
  }
  bool Matches() {
    const size_t none = std::u16string::npos;
    size_t pi = 0, si = 0, starP = none, starS = 0;
    for (;;) {
      if (pi < p_.size() && p_[pi] == u'%' && !(hasEsc_ && esc_ == u'%' && pi + 1 < p_.size())) {
        while (pi < p_.size() && p_[pi] == u'%') ++pi;
        if (pi == p_.size()) return true;
        starP = pi;
        starS = si;
        continue;
      }
      if (pi == p_.size()) {
        if (si >= blanksFrom_) return true;  // the rest of the value, if any, is blanks that do not count
      } else if (si < s_.size()) {
        size_t used = 1;
        if (One(pi, Fold(s_[si]), used)) {
          pi += used;
          ++si;
          continue;
        }
      }
      if (starP == none || starS >= s_.size()) return false;
      pi = starP;
      si = ++starS;
    }
  }
  // A range [x-y] met a character whose place in the collation's order the simulator does not know.
  bool UnknownRange() const { return unknownRange_; }

 private:
  // Whether the pattern element at pi matches x (folded); `used` is its length.
  bool One(size_t pi, char16_t x, size_t& used) {
    const char16_t c = p_[pi];
    used = 1;
    if (hasEsc_ && c == esc_ && pi + 1 < p_.size()) {
      used = 2;
      return Fold(p_[pi + 1]) == x;
    }
    if (c == u'_') return true;
    if (c == u'[') {
      const size_t close = p_.find(u']', pi + 1);
      if (close != std::u16string::npos && close > pi + 1) {
        used = close + 1 - pi;
        return InSet(pi + 1, close, x);
      }
    }
    return Fold(c) == x;
  }

  // Whether x (folded) is one of the set between k and `close`.
  bool InSet(size_t k, size_t close, char16_t x) {
    const bool negate = p_[k] == u'^' && close > k + 1;
    if (negate) ++k;
    bool in = false;
    for (; k < close; ++k) {
      if (k + 2 < close && p_[k + 1] == u'-') {
        // letters and digits keep their order in the collation; other characters may not
        const char16_t lo = Fold(p_[k]), hi = Fold(p_[k + 2]);
        if (x >= 0x80 || !((IsLetter(lo) && IsLetter(hi)) || (IsDigit(lo) && IsDigit(hi)))) unknownRange_ = true;
        if (x >= lo && x <= hi) in = true;
        k += 2;
      } else if (Fold(p_[k]) == x) {
        in = true;
      }
    }
    return in != negate;
  }

  const std::u16string& p_;
  const std::u16string& s_;
  char16_t esc_;
  bool hasEsc_;
  size_t blanksFrom_ = 0;  // where the value's blanks that do not count begin
  bool unknownRange_ = false;
};

void FnLike(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i)
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  char16_t esc = 0;
  bool hasEsc = false;
  char kind = '?';
  size_t width = 0;  // of a char(n) value, padded with blanks
  if (argc == 3) {
    const std::u16string e = Units(argv[2]);
    if (e == u"\x01N" || e == u"\x01V" || e == u"\x01V2" || e == u"\x01?") {
      kind = static_cast<char>(e[1]);
      width = e.size() == 3 ? 2 : 0;
    } else if (e.size() != 1) {
      return Fail(ctx, 506, "The invalid escape character \"" + sqlserver::Utf16ToUtf8(e) +
                                "\" was specified in a LIKE predicate.");
    } else {
      esc = e[0];
      hasEsc = true;
    }
  }
  const std::u16string pattern = Units(argv[0]);
  std::u16string value = Units(argv[1]);
  if (value.size() < width) value.append(width - value.size(), u' ');
  for (const std::u16string* text : {&pattern, static_cast<const std::u16string*>(&value)})
    if (const char16_t c = UnknownUnit(*text))
      return Fail(ctx, kUnsupportedNumber, "LIKE of text with the character U+" + UnitCode(c) +
                                               " is not supported by the simulated server.");
  Matcher strict(pattern, value, esc, hasEsc, false), padded(pattern, value, esc, hasEsc, true);
  bool result = kind == 'V' ? padded.Matches() : strict.Matches();
  if (kind != 'N' && kind != 'V' && result != padded.Matches())
    return Fail(ctx, kUnsupportedNumber,
                "LIKE of a value with trailing blanks whose type is not known is not supported by the simulated "
                "server.");
  if (strict.UnknownRange() || padded.UnknownRange())
    return Fail(ctx, kUnsupportedNumber,
                "A LIKE range of characters other than letters or digits, or met by other characters, is not "
                "supported by the simulated server.");
  sqlite3_result_int(ctx, result ? 1 : 0);
}

}  // namespace

void RegisterLike(sqlite3* h, void* session) {
  CreateGuardedFunction(h, "like", 2, session, FnLike);
  CreateGuardedFunction(h, "like", 3, session, FnLike);
}

}  // namespace vx::sqlsim
