#pragma once
// T-SQL colouring with RTF colour codes, in one linear pass.
//
// The coloured text is the input with codes added and nothing else changed:
// - a run is "\cf<n> " (n = 1..8 or 10), its characters, and "\cf ";
// - after every line end of the input (CR, LF or CR LF), inside a run or not,
//   "\par " follows;
// - deleting the codes gives the input back, line ends included.
// Classes: 1 keywords (with image, sysname and text), 2 data types, 3 datetime,
// 4 string literals ('...' with '' inside, N'...'), 5 operators and punctuation
// (one character per run, so "*" and "/" are runs of their own), 6 numbers,
// 7 variables (@name, @@name), 8 comments (-- to the line end, /* */ nesting as
// T-SQL nests them), 10 other words: names, #temp names, "quoted" and
// [bracketed] identifiers (also in their masked form
// __________leftsquarebracket...__________rightsquarebracket), and bigint,
// ntext, nvarchar, sql_variant, uniqueidentifier. SCHEMABINDING is a name.
// Whitespace and control characters stand outside runs. The pairs "\\", "\{"
// and "\}" are one operator run each, so RTF-escaped text keeps its escapes.
//
// A run's text never ends in "*/" right before its closing code unless it is
// a closed block comment (the last "/" becomes a run of its own), and a run
// whose text holds "\cf" right before a line feed is split between "\" and
// "cf", so that "*/\cf" and "\cf" + line feed + "\par" only ever come from the
// codes themselves.
#include <cstdint>
#include <string>
#include <string_view>

namespace vx {

class SyntaxColourer {
 public:
  // mode 1 is the one colouring there is; any other value is an invalid argument.
  std::string ColourSQL(std::string_view text, int32_t mode) const;
};

}  // namespace vx
