#pragma once
// Text operations of the rewrite: exact and case-blind replacement, the token
// split, the tokens' test forms and the common steps of the four rewriters.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace basParse::text {

inline constexpr std::string_view kMaskPrefix = "__________";
inline constexpr std::string_view kEscapedMaskPrefix = "__________us";
inline constexpr std::string_view kObjectNameMask = "__________objectname";
inline constexpr std::string_view kCommentOpen = "\xC2\xAB";   // U+00AB
inline constexpr std::string_view kStrayClose = "\xC2\xAC";    // U+00AC
inline constexpr std::string_view kCommentClose = "\xC2\xBB";  // U+00BB
inline constexpr std::string_view kKeywordCode = "\\cf1 ";
inline constexpr std::string_view kCrLf = "\r\n";

// The masks of MaskRtfCodes taken off in one pass; with an object name, the
// name mask too.
std::string Unmask(std::string_view text, std::optional<std::string_view> objectName);

// Every occurrence (exact) / the first occurrence (exact).
std::string ReplaceAll(std::string_view text, std::string_view find, std::string_view replacement);
std::string ReplaceFirst(std::string_view text, std::string_view find, std::string_view replacement);
// The same, comparing ASCII letters without regard to case.
std::string ReplaceAllNoCase(std::string_view text, std::string_view find, std::string_view replacement);
std::string ReplaceFirstNoCase(std::string_view text, std::string_view find, std::string_view replacement);

bool StartsWith(std::string_view text, std::string_view prefix);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
std::string Upper(std::string_view text);
// The first count characters of the text that are not whitespace.
std::string FirstNonSpaceCharacters(std::string_view text, std::size_t count);
bool IsValidUtf8(std::string_view text);
// The text with its characters (not bytes) in reverse order.
std::string ReverseCharacters(std::string_view text);

// The parts of a coloured text between keyword codes, one at a time; an empty
// text has none.
class Tokens {
 public:
  explicit Tokens(std::string_view text) : text_(text), at_(text.empty() ? std::string_view::npos : 0) {}
  bool Next(std::string_view& token) {
    if (at_ == std::string_view::npos) return false;
    const std::size_t end = text_.find(kKeywordCode, at_);
    if (end == std::string_view::npos) {
      token = text_.substr(at_);
      at_ = std::string_view::npos;
    } else {
      token = text_.substr(at_, end - at_);
      at_ = end + kKeywordCode.size();
    }
    return true;
  }

 private:
  std::string_view text_;
  std::size_t at_;
};

// Whether RemoveBlockComments would change the coloured text.
bool HasBlockComments(std::string_view coloured);
// The codes StripRtfCodes deletes, deleted while appending text to out.
void AppendStripped(std::string& out, std::string_view text);
// The type words' recolouring, in place: all nine or only sysname, the words
// in lower case or as they stand.
void RecolourTypes(std::string& coloured, bool sysnameOnly, bool keepCase);

// The test forms of one token, each made on first use. With skipComments the
// forms L and LSW are made as if the token's block comments were not there.
class TokenForms {
 public:
  explicit TokenForms(std::string_view token, bool skipComments = false)
      : token_(token), skipComments_(skipComments) {}
  const std::string& L();    // line comments removed
  const std::string& LW();   // L without whitespace, upper case
  const std::string& LSW();  // L stripped of codes, without whitespace, upper case
  const std::string& W();    // without whitespace, upper case

 private:
  std::string_view token_;
  bool skipComments_;
  std::optional<std::string> l_, lw_, lsw_, w_;
};

// Which rewriter runs the common steps.
enum class Kind { StoredProcedure, Trigger, UserDefinedFunction, View };

// Steps before the token walk: code masks, colouring, type recolouring, block
// comment removal (not for procedures) and, by kind, the object-name
// placeholder and names as token starts. Returns the coloured working text.
std::string PrepareColouredText(std::string_view text, std::string_view objectName, Kind kind);
// Steps after the walk: code unmasking and the object name back.
std::string FinishScript(std::string_view result, std::string_view objectName, Kind kind);

}  // namespace basParse::text
