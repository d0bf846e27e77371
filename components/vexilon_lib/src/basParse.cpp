// The helpers of the rewrite and the steps that the four rewriters share.
#include "vexilon_lib/basParse.h"

#include <array>
#include <cstring>
#include <utility>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "basParseText.h"
#include "regexp/RegExp.h"
#include "syntax_colourer/SyntaxColourer.h"

namespace basParse {
namespace {

using text::ReplaceAll;

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

// The helpers below are single passes written out by hand: they run on every
// token of a text, and a text may have millions of them. Each gives what the
// regular expression in its comment gives.

// "\\cf8 --[^\r\n]*[\r\n]*": the comment runs to its line's end, CR, LF or
// CR LF, which goes with it.
std::string RemoveLineComments(std::string_view text) {
  constexpr std::string_view kOpen = "\\cf8 --";
  std::string out;
  std::size_t copied = 0;
  for (std::size_t at = text.find(kOpen); at != std::string_view::npos; at = text.find(kOpen, copied)) {
    if (out.capacity() == 0) out.reserve(text.size());
    out.append(text, copied, at - copied);
    std::size_t end = text.find_first_of("\r\n", at + kOpen.size());
    if (end == std::string_view::npos) end = text.size();
    while (end < text.size() && (text[end] == '\r' || text[end] == '\n')) ++end;
    copied = end;
  }
  if (copied == 0) return std::string(text);
  out.append(text, copied);
  return out;
}

// "\s": space, form feed, line feed, carriage return, tab, vertical tab.
std::string RemoveWhitespace(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c != ' ' && c != '\f' && c != '\n' && c != '\r' && c != '\t' && c != '\v') out += c;
  }
  return out;
}

std::string StripRtfCodes(std::string_view text) {
  std::string out;
  text::AppendStripped(out, text);
  return out;
}

// The object's own runs of ten underscores are marked first ("__________us"),
// so that no text of the object can pass for a mask when the masks come off.
std::string MaskRtfCodes(std::string_view text) {
  std::string out = ReplaceAll(text, text::kMaskPrefix, text::kEscapedMaskPrefix);
  for (const auto& [code, mask] : kMasks) out = ReplaceAll(out, code, mask);
  return out;
}

std::string UnmaskRtfCodes(std::string_view text) { return text::Unmask(text, std::nullopt); }

namespace text {

// One pass: each mask (the longest that fits), the marked runs of underscores
// and the object's name mask go back, and nothing they give back is read again.
std::string Unmask(std::string_view text, std::optional<std::string_view> objectName) {
  constexpr std::string_view kEscape = kEscapedMaskPrefix.substr(kMaskPrefix.size());
  constexpr std::string_view kName = kObjectNameMask.substr(kMaskPrefix.size());
  std::string out;
  out.reserve(text.size());
  std::size_t copied = 0;
  for (std::size_t at = text.find(kMaskPrefix); at != std::string_view::npos; at = text.find(kMaskPrefix, at)) {
    const std::string_view rest = text.substr(at + kMaskPrefix.size());
    std::string_view replacement;
    std::size_t length = 0;
    if (rest.starts_with(kEscape)) {
      replacement = kMaskPrefix;
      length = kEscape.size();
    } else if (objectName && rest.starts_with(kName)) {
      replacement = *objectName;
      length = kName.size();
    } else {
      for (const auto& [code, mask] : kMasks) {
        const std::string_view name = mask.substr(kMaskPrefix.size());
        if (name.size() > length && rest.starts_with(name)) {
          replacement = code;
          length = name.size();
        }
      }
    }
    if (length == 0) {
      ++at;
      continue;
    }
    out.append(text, copied, at - copied);
    out.append(replacement);
    at += kMaskPrefix.size() + length;
    copied = at;
  }
  out.append(text, copied);
  return out;
}

}  // namespace text

std::string FixDataTypeColours(std::string_view text) {
  std::string out(text);
  text::RecolourTypes(out, false, false);
  return out;
}

std::string RemoveBlockComments(std::string_view coloured) {
  if (!text::HasBlockComments(coloured)) return std::string(coloured);
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

bool HasBlockComments(std::string_view coloured) {
  // Without an opening or a stray close RemoveBlockComments changes nothing: a
  // lone closing marker goes back to its code.
  return coloured.find("\\cf8 /*") != std::string_view::npos ||
         coloured.find("\\cf5 *\\cf \\cf5 /\\cf") != std::string_view::npos;
}

void AppendStripped(std::string& out, std::string_view text) {
  // "\\cf |\\cf\\par|\\cf\n\\par|\\cf2 |...|\\cf8 |\\cf10 |\\par ": at a
  // backslash at most one of them can match.
  static constexpr std::string_view kCodes[] = {"\\cf ",  "\\cf\\par", "\\cf\n\\par", "\\cf2 ", "\\cf3 ",
                                                "\\cf4 ", "\\cf5 ",   "\\cf6 ",      "\\cf7 ", "\\cf8 ",
                                                "\\cf10 ", "\\par "};
  std::size_t copied = 0;
  for (std::size_t at = text.find('\\'); at != std::string_view::npos; at = text.find('\\', at)) {
    std::size_t length = 0;
    for (std::string_view code : kCodes) {
      if (text.compare(at, code.size(), code) == 0) {
        length = code.size();
        break;
      }
    }
    if (length == 0) {
      ++at;
      continue;
    }
    out.append(text, copied, at - copied);
    at += length;
    copied = at;
  }
  out.append(text, copied);
}

void RecolourTypes(std::string& coloured, bool sysnameOnly, bool keepCase) {
  // Every replacement is no longer than what it replaces, so the text is
  // rewritten in place: read at r, written at w <= r.
  std::size_t w = 0, r = 0;
  const std::size_t n = coloured.size();
  char* d = coloured.data();
  for (std::size_t at = coloured.find('\\', r); at != std::string::npos; at = coloured.find('\\', r)) {
    std::size_t matched = 0;
    for (std::size_t k = sysnameOnly ? kSysnameRow : 0; k < (sysnameOnly ? kSysnameRow + 1 : kTypeColours.size());
         ++k) {
      const std::string_view find = kTypeColours[k].first;
      if (n - at >= find.size() && EqualsNoCase(std::string_view(coloured).substr(at, find.size()), find)) {
        matched = k + 1;
        break;
      }
    }
    if (matched == 0) {
      at += 1;
      std::memmove(d + w, d + r, at - r);
      w += at - r;
      r = at;
      continue;
    }
    const auto& [find, replacement] = kTypeColours[matched - 1];
    std::memmove(d + w, d + r, at - r);
    w += at - r;
    // Find and replacement differ in their codes only; the word stands between.
    const std::size_t findCode = find.find(' ') + 1;
    const std::size_t code = replacement.find(' ') + 1;
    const std::size_t word = find.size() - findCode - 3;
    std::memcpy(d + w, replacement.data(), code);
    if (keepCase) std::memmove(d + w + code, d + at + findCode, word);
    else std::memcpy(d + w + code, replacement.data() + code, word);
    std::memcpy(d + w + code + word, "\\cf", 3);
    w += code + word + 3;
    r = at + find.size();
  }
  std::memmove(d + w, d + r, n - r);
  coloured.resize(w + n - r);
}

std::string PrepareColouredText(std::string_view source, std::string_view objectName, Kind kind) {
  if (!IsValidUtf8(source)) {
    throw vx::ComError(vx::err::kInvalidProcedureCall, "VexilonLib",
                       "Invalid procedure call or argument: the object's text is not valid UTF-8");
  }
  // Brackets go to the colourer as they stand: it reads a bracketed name as
  // one name, so their placeholder words would only cost room and time.
  std::string working;
  {
    const std::string masked = MaskRtfCodes(source);
    vx::SyntaxColourer colourer;
    working = colourer.ColourSQL(masked, 1);
  }
  // The procedure rewrite keeps every byte of the text: its type words keep
  // their case and its block comments stay (its tests look past them).
  RecolourTypes(working, kind == Kind::View, kind == Kind::StoredProcedure);
  if (kind != Kind::StoredProcedure && HasBlockComments(working)) working = RemoveBlockComments(working);
  if (kind == Kind::StoredProcedure || kind == Kind::UserDefinedFunction) {
    // The closing code's space goes with the name, so that the name comes back
    // followed by exactly what followed it.
    std::string nameRun = "\\cf10 ";
    nameRun.append(objectName);
    nameRun.append("\\cf ");
    const std::size_t at = working.find(nameRun);
    if (at != std::string::npos) working.replace(at, nameRun.size(), kObjectNameMask);
  }
  if (kind == Kind::StoredProcedure) {
    // "\\cf10 " to "\\cf1 ", in place.
    std::size_t w = 0, r = 0;
    char* d = working.data();
    for (std::size_t at = working.find("\\cf10 "); at != std::string::npos; at = working.find("\\cf10 ", r)) {
      std::memmove(d + w, d + r, at + 4 - r);
      w += at + 4 - r;
      r = at + 5;
    }
    std::memmove(d + w, d + r, working.size() - r);
    working.resize(w + working.size() - r);
  }
  return working;
}

std::string FinishScript(std::string_view result, std::string_view objectName, Kind kind) {
  const bool nameMasked = kind == Kind::StoredProcedure || kind == Kind::UserDefinedFunction;
  return Unmask(result, nameMasked ? std::optional<std::string_view>(objectName) : std::nullopt);
}

}  // namespace text
}  // namespace basParse
