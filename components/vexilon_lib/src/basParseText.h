#pragma once
// Text operations of the rewrite: exact and case-blind replacement, the token
// split, the tokens' test forms and the common steps of the four rewriters.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace basParse::text {

inline constexpr std::string_view kLeftBracketMask = "__________leftsquarebracket";
inline constexpr std::string_view kRightBracketMask = "__________rightsquarebracket";
inline constexpr std::string_view kObjectNameMask = "__________objectname";
inline constexpr std::string_view kCommentOpen = "\xC2\xAB";   // U+00AB
inline constexpr std::string_view kStrayClose = "\xC2\xAC";    // U+00AC
inline constexpr std::string_view kCommentClose = "\xC2\xBB";  // U+00BB
inline constexpr std::string_view kKeywordCode = "\\cf1 ";
inline constexpr std::string_view kCrLf = "\r\n";

// Every occurrence (exact) / the first occurrence (exact).
std::string ReplaceAll(std::string_view text, std::string_view find, std::string_view replacement);
std::string ReplaceFirst(std::string_view text, std::string_view find, std::string_view replacement);
// The same, comparing ASCII letters without regard to case.
std::string ReplaceAllNoCase(std::string_view text, std::string_view find, std::string_view replacement);
std::string ReplaceFirstNoCase(std::string_view text, std::string_view find, std::string_view replacement);

bool StartsWith(std::string_view text, std::string_view prefix);
std::string Upper(std::string_view text);
// The parts between occurrences of the separator; an empty text has none.
std::vector<std::string_view> Split(std::string_view text, std::string_view separator);
// The first count characters of the text that are not whitespace.
std::string FirstNonSpaceCharacters(std::string_view text, std::size_t count);
bool IsValidUtf8(std::string_view text);
// The text with its characters (not bytes) in reverse order.
std::string ReverseCharacters(std::string_view text);

// The test forms of one token, each made on first use.
class TokenForms {
 public:
  explicit TokenForms(std::string_view token) : token_(token) {}
  const std::string& L();    // line comments removed
  const std::string& LW();   // L without whitespace, upper case
  const std::string& LSW();  // L stripped of codes, without whitespace, upper case
  const std::string& W();    // without whitespace, upper case

 private:
  std::string_view token_;
  std::optional<std::string> l_, lw_, lsw_, w_;
};

// Which rewriter runs the common steps.
enum class Kind { StoredProcedure, Trigger, UserDefinedFunction, View };

// Steps before the token walk: bracket masks, code masks, colouring, type
// recolouring, block comment removal and, by kind, the object-name placeholder
// and names as token starts. Returns the coloured working text.
std::string PrepareColouredText(std::string_view text, std::string_view objectName, Kind kind);
// Steps after the walk: code unmasking, object name and brackets back.
std::string FinishScript(std::string_view result, std::string_view objectName, Kind kind);

}  // namespace basParse::text
