// The helpers of the rewrite and the steps that the four rewriters share.
#include "vexilon_lib/basParse.h"

#include <array>
#include <utility>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "basParseText.h"
#include "regexp/RegExp.h"
#include "syntax_colourer/SyntaxColourer.h"

namespace basParse {
namespace {

using text::ReplaceAll;
using text::ReplaceAllNoCase;

// Text of the object that looks like a colour code or a marker, and its mask.
constexpr std::array<std::pair<std::string_view, std::string_view>, 15> kMasks{{
    {"\\cf ", "__________cf "},
    {"\\cf\\par", "__________cfpar"},
    {"\\cf1", "__________cf1"},
    {"\\cf2", "__________cf2"},
    {"\\cf3", "__________cf3"},
    {"\\cf4", "__________cf4"},
    {"\\cf5", "__________cf5"},
    {"\\cf6", "__________cf6"},
    {"\\cf7", "__________cf7"},
    {"\\cf8", "__________cf8"},
    {"\\cf10", "__________cf10"},
    {"\\par", "__________par"},
    {text::kCommentOpen, "__________Chr171"},
    {text::kStrayClose, "__________Chr172"},
    {text::kCommentClose, "__________Chr187"},
}};

// Type words moved to class 2 (found without regard to case, written in lower case).
constexpr std::array<std::pair<std::string_view, std::string_view>, 9> kTypeColours{{
    {"\\cf10 bigint\\cf", "\\cf2 bigint\\cf"},
    {"\\cf3 datetime\\cf", "\\cf2 datetime\\cf"},
    {"\\cf1 image\\cf", "\\cf2 image\\cf"},
    {"\\cf10 ntext\\cf", "\\cf2 ntext\\cf"},
    {"\\cf10 nvarchar\\cf", "\\cf2 nvarchar\\cf"},
    {"\\cf10 sql_variant\\cf", "\\cf2 sql_variant\\cf"},
    {"\\cf1 sysname\\cf", "\\cf2 sysname\\cf"},
    {"\\cf1 text\\cf", "\\cf2 text\\cf"},
    {"\\cf10 uniqueidentifier\\cf", "\\cf2 uniqueidentifier\\cf"},
}};
constexpr std::size_t kSysnameRow = 6;

}  // namespace

std::string RemoveLineComments(std::string_view text) {
  vx::regexp::RegExp regExp(R"(\\cf8 --.*\n*)", true, true, false);
  return regExp.Replace(text, "");
}

std::string RemoveWhitespace(std::string_view text) {
  vx::regexp::RegExp regExp(R"(\s)", true, true, false);
  return regExp.Replace(text, "");
}

std::string StripRtfCodes(std::string_view text) {
  vx::regexp::RegExp regExp(
      R"(\\cf |\\cf\\par|\\cf\n\\par|\\cf2 |\\cf3 |\\cf4 |\\cf5 |\\cf6 |\\cf7 |\\cf8 |\\cf10 |\\par )", true,
      true, false);
  return regExp.Replace(text, "");
}

std::string MaskRtfCodes(std::string_view text) {
  std::string out(text);
  for (const auto& [code, mask] : kMasks) out = ReplaceAll(out, code, mask);
  return out;
}

std::string UnmaskRtfCodes(std::string_view text) {
  std::string out(text);
  for (const auto& [code, mask] : kMasks) out = ReplaceAll(out, mask, code);
  return out;
}

std::string FixDataTypeColours(std::string_view text) {
  std::string out(text);
  for (const auto& [find, replacement] : kTypeColours) out = ReplaceAllNoCase(out, find, replacement);
  return out;
}

std::string RemoveBlockComments(std::string_view coloured) {
  std::string out = ReplaceAll(coloured, "\\cf8 /*", text::kCommentOpen);
  out = ReplaceAll(out, "*/\\cf", text::kCommentClose);
  out = ReplaceAll(out, "\\cf5 *\\cf \\cf5 /\\cf", text::kStrayClose);

  // A stray close is the inner end of a nested comment: take the nearest
  // opening before the first one away with it (on the head reversed, so that
  // the pattern finds the nearest opening).
  const std::size_t stray = out.find(text::kStrayClose);
  if (stray != std::string::npos) {
    const std::size_t headEnd = stray + text::kStrayClose.size();
    vx::regexp::RegExp nearestOpening("\xC2\xAC[^\xC2\xAB]*\xC2\xAB", false, false, false);
    std::string head = text::ReverseCharacters(
        nearestOpening.Replace(text::ReverseCharacters(std::string_view(out).substr(0, headEnd)), ""));
    out = ReplaceAll(head + out.substr(headEnd), text::kStrayClose, "");
  }

  vx::regexp::RegExp comment("\xC2\xAB[^\xC2\xBB]*\xC2\xBB", true, true, false);
  out = comment.Replace(out, "");

  // A comment that never closes keeps its text: its markers go back to the
  // codes they stood for rather than into the script.
  out = ReplaceAll(out, text::kCommentOpen, "\\cf8 /*");
  out = ReplaceAll(out, text::kCommentClose, "*/\\cf");
  return out;
}

namespace text {

std::string PrepareColouredText(std::string_view source, std::string_view objectName, Kind kind) {
  if (!IsValidUtf8(source)) {
    throw vx::ComError(vx::err::kInvalidProcedureCall, "VexilonLib",
                       "Invalid procedure call or argument: the object's text is not valid UTF-8");
  }
  std::string working = ReplaceAll(source, "[", kLeftBracketMask);
  working = ReplaceAll(working, "]", kRightBracketMask);
  working = MaskRtfCodes(working);
  {
    vx::SyntaxColourer colourer;
    working = colourer.ColourSQL(working, 1);
  }
  if (kind == Kind::View) {
    const auto& [find, replacement] = kTypeColours[kSysnameRow];
    working = ReplaceAllNoCase(working, find, replacement);
  } else {
    working = FixDataTypeColours(working);
  }
  working = RemoveBlockComments(working);
  if (kind == Kind::StoredProcedure || kind == Kind::UserDefinedFunction) {
    // The closing code's space goes with the name, so that the name comes back
    // followed by exactly what followed it.
    std::string nameRun = "\\cf10 ";
    nameRun.append(objectName);
    nameRun.append("\\cf ");
    working = ReplaceFirst(working, nameRun, kObjectNameMask);
  }
  if (kind == Kind::StoredProcedure) working = ReplaceAll(working, "\\cf10 ", kKeywordCode);
  return working;
}

std::string FinishScript(std::string_view result, std::string_view objectName, Kind kind) {
  std::string out = UnmaskRtfCodes(result);
  if (kind == Kind::StoredProcedure || kind == Kind::UserDefinedFunction) {
    out = ReplaceAll(out, kObjectNameMask, objectName);
  }
  if (kind == Kind::Trigger) {
    out = ReplaceAllNoCase(out, kLeftBracketMask, "[");
    out = ReplaceAllNoCase(out, kRightBracketMask, "]");
  } else {
    out = ReplaceAll(out, kLeftBracketMask, "[");
    out = ReplaceAll(out, kRightBracketMask, "]");
  }
  return out;
}

}  // namespace text
}  // namespace basParse
