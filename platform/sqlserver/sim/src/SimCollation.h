#pragma once
// The server's default collation, SQL_Latin1_General_CP1_CI_AS, as the string
// functions and LIKE compare characters, and the collation names COLLATE takes.
#include <string>
#include <string_view>

struct sqlite3;

namespace vx::sqlsim {

// A UTF-16 unit as the collation compares it: case, width and kana folded (the
// collation is case-, width- and kana-insensitive, accent-sensitive). `known` is
// false for a character whose comparison the simulator does not know: letters
// that expand (ß = ss), ignorable and combining characters, scripts it has no
// case table for.
char16_t FoldUnit(char16_t c, bool& known);

// FoldUnit, whether the character is known or not.
char16_t Fold(char16_t c);
// A UTF-16 unit as the server names it after "U+": four hexadecimal digits.
std::string UnitCode(char16_t c);

// The first character of `text` FoldUnit does not know, or 0 when it knows them all.
char16_t UnknownUnit(std::u16string_view text);

// The collation's code page 1252: the character of a byte, the byte of a
// character ('?' for one it does not have).
char16_t CodePageChar(unsigned char b);
char CodePageByte(char16_t c);
// Text as a varchar holds it, in the code page: a character outside it becomes
// '?' where the server has nothing like it in the code page; false, with the
// character, for one the server may replace by one that looks alike.
bool CodePageText(std::u16string& text, char16_t& unknown);
// UTF-8 text as a string without N holds it; refuses (SimError) a character
// CodePageText does not know.
std::string VarcharText(const std::string& text);

// What COLLATE <name> means to the simulator.
enum class CollationName {
  Default,      // the server's collation: SQL_Latin1_General_CP1_CI_AS, database_default
  Unsupported,  // a name the server may know whose rules the simulator does not keep
  Invalid,      // no collation the server has (error 448)
};
CollationName ClassifyCollation(std::string_view name);

// like(pattern, value[, escape]) on a session's connection (SimPattern.cpp). The
// translation passes "\x01N" for escape when the comparison is Unicode (trailing
// blanks count), "\x01V" when it is not (the value's trailing blanks are ignored),
// "\x01V2" for a char(2) value kept without its padding, "\x01?" when it does not know.
void RegisterLike(sqlite3* h, void* session);

}  // namespace vx::sqlsim
