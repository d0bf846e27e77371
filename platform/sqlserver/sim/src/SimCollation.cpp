#include "SimCollation.h"

#include <algorithm>
#include <cstdio>

#include "Executor.h"
#include "Lexer.h"
#include "sqlserver/Utf16.h"

namespace vx::sqlsim {

namespace {

char16_t Unknown(char16_t c, bool& known) {
  known = false;
  return c;
}

// Pairs of an upper-case letter and its lower case side by side: the even unit
// upper (odd = false) or the odd one (odd = true).
char16_t Pair(char16_t c, bool oddUpper) {
  const bool odd = (c & 1) != 0;
  return odd == oddUpper ? static_cast<char16_t>(c + 1) : c;
}

}  // namespace

char16_t FoldUnit(char16_t c, bool& known) {
  known = true;
  if (c < 0x80) {
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
    // control characters other than tab and line ends may be ignorable in Unicode comparisons
    if ((c < 0x20 && (c < 0x09 || c > 0x0D)) || c == 0x7F) return Unknown(c, known);
    return c;
  }
  if (c < 0x100) {
    // soft hyphen, ordinal and superscript forms, fractions, micro sign, ß and æ that expand
    if (c < 0xA0 || c == 0xAA || c == 0xAD || c == 0xB2 || c == 0xB3 || c == 0xB5 || c == 0xB9 || c == 0xBA ||
        (c >= 0xBC && c <= 0xBE) || c == 0xC6 || c == 0xDF || c == 0xE6)
      return Unknown(c, known);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
    return c;
  }
  if (c <= 0x17F) {  // Latin Extended-A
    if (c == 0x130 || c == 0x131 || c == 0x132 || c == 0x133 || c == 0x138 || c == 0x149 || c == 0x152 ||
        c == 0x153 || c == 0x17F)
      return Unknown(c, known);
    if (c == 0x178) return 0xFF;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return Pair(c, true);
    return Pair(c, false);
  }
  if (c < 0x370) return Unknown(c, known);  // Latin Extended-B, IPA, modifiers, combining marks
  if (c < 0x400) {                           // Greek
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return static_cast<char16_t>(c + 37);
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return static_cast<char16_t>(c + 63);
    if ((c >= 0x391 && c <= 0x3A1) || (c >= 0x3A3 && c <= 0x3AB)) return static_cast<char16_t>(c + 32);
    if ((c >= 0x3AC && c <= 0x3C1) || (c >= 0x3C3 && c <= 0x3CE)) return c;
    return Unknown(c, known);
  }
  if (c < 0x500) {  // Cyrillic
    if (c <= 0x40F) return static_cast<char16_t>(c + 80);
    if (c <= 0x42F) return static_cast<char16_t>(c + 32);
    if (c <= 0x45F) return c;
    if (c <= 0x481) return Pair(c, false);
    return Unknown(c, known);
  }
  if (c >= 0x530 && c < 0x590) {  // Armenian
    if (c >= 0x531 && c <= 0x556) return static_cast<char16_t>(c + 48);
    if (c >= 0x561 && c <= 0x586) return c;
    return Unknown(c, known);
  }
  if (c >= 0x1E00 && c < 0x1F00) {  // Latin Extended Additional
    if (c <= 0x1E95 || (c >= 0x1EA0 && c <= 0x1EF9)) return Pair(c, false);
    return Unknown(c, known);
  }
  // scripts with marks, reordering or case the simulator has no table for, Greek Extended,
  // format characters, letter-like and number forms, enclosed letters
  if (c < 0x2000 || (c >= 0x2000 && c <= 0x200F) || (c >= 0x2028 && c <= 0x202F) || (c >= 0x2060 && c <= 0x206F) ||
      (c >= 0x2100 && c < 0x2190) || (c >= 0x2460 && c < 0x2500) || c == 0x3000)
    return Unknown(c, known);
  if (c >= 0x3040 && c < 0x3100) {  // kana: katakana compares as hiragana
    if (c >= 0x30A1 && c <= 0x30F6) return static_cast<char16_t>(c - 0x60);
    if (c >= 0x3041 && c <= 0x3096) return c;
    return Unknown(c, known);
  }
  // presentation forms, variation selectors, the byte order mark, half-width forms
  if ((c >= 0xFB00 && c < 0xFB50) || (c >= 0xFE00 && c < 0xFE10) || (c >= 0xFE20 && c < 0xFE30) || c == 0xFEFF ||
      (c >= 0xFF5F && c < 0xFFF0))
    return Unknown(c, known);
  if (c >= 0xFF01 && c <= 0xFF5E) return FoldUnit(static_cast<char16_t>(c - 0xFEE0), known);  // full width
  return c;
}

char16_t Fold(char16_t c) {
  bool known = true;
  return FoldUnit(c, known);
}

std::string UnitCode(char16_t c) {
  char code[8];
  std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(c));
  return code;
}

char16_t UnknownUnit(std::u16string_view text) {
  bool known = true;
  for (char16_t c : text) {
    FoldUnit(c, known);
    if (!known) return c;
  }
  return 0;
}

// Code page 1252 at 0x80-0x9F, as the server's collation reads a varchar's bytes;
// the five bytes it leaves undefined stand for the control characters of their number.
constexpr char16_t kCodePageHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t CodePageChar(unsigned char b) { return b >= 0x80 && b < 0xA0 ? kCodePageHigh[b - 0x80] : char16_t{b}; }

char CodePageByte(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c < 0x100)) return static_cast<char>(c);
  for (int k = 0; k < 32; ++k)
    if (kCodePageHigh[k] == c) return static_cast<char>(0x80 + k);
  return '?';
}

bool CodePageText(std::u16string& text, char16_t& unknown) {
  for (char16_t& c : text) {
    if (CodePageByte(c) != '?' || c == u'?') continue;
    // Scripts code page 1252 has nothing near to become '?'; others may take a
    // letter that looks alike ('\u0141' -> 'L'), which the simulator does not know.
    const bool far = (c >= 0x0400 && c < 0x1000) || (c >= 0x2E80 && c < 0xA000) || (c >= 0xAC00 && c < 0xD800) ||
                     c == 0xFFFD;
    if (!far) {
      unknown = c;
      return false;
    }
    c = u'?';
  }
  return true;
}

std::string VarcharText(const std::string& text) {
  if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) return text;
  std::u16string u = sqlserver::Utf8ToUtf16(text);
  char16_t unknown = 0;
  if (!CodePageText(u, unknown)) {
    throw Unsupported("The character U+" + UnitCode(unknown) + " in a string without N");
  }
  return sqlserver::Utf16ToUtf8(u);
}

CollationName ClassifyCollation(std::string_view name) {
  const std::string u = Upper(name);
  if (u == "SQL_LATIN1_GENERAL_CP1_CI_AS" || u == "DATABASE_DEFAULT") return CollationName::Default;
  // <designator>_BIN or <designator>_C?_A?[_KS][_WS], SQL collations among them
  auto endsWith = [&](std::string_view tail) {
    return u.size() > tail.size() + 1 && u.compare(u.size() - tail.size(), tail.size(), tail) == 0 &&
           u[u.size() - tail.size() - 1] == '_';
  };
  if (endsWith("BIN")) return CollationName::Unsupported;
  for (const char* c : {"CI", "CS"})
    for (const char* a : {"AI", "AS"})
      for (const char* k : {"", "_KS"})
        for (const char* w : {"", "_WS"})
          if (endsWith(std::string(c) + "_" + a + k + w)) return CollationName::Unsupported;
  return CollationName::Invalid;
}

}  // namespace vx::sqlsim
