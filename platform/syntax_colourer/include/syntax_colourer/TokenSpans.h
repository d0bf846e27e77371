#pragma once
// The T-SQL tokenizer as spans: where each token of a text begins, how long it
// is, what kind of token it is and the colour class the RTF colouring gives it
// (1 keyword, 2 data type, 3 datetime, 4 string, 5 operator, 6 number,
// 7 variable, 8 comment, 10 other words and names).
//
// A text can be scanned in pieces (one line after another, say): the state a
// piece leaves open - a block comment with its nesting depth, a string, a
// quoted or bracketed name - is handed to the scan of the next piece, which
// carries on inside it. Blanks, control characters and line ends (CR, LF, CR LF)
// stand outside tokens; a line comment ends before the first CR or LF.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace vx::colour {

enum class TokenKind : std::uint8_t {
  Word,           // letters, digits, _ $ and bytes above 127, not starting with a digit
  Variable,       // @name and @@name
  TempName,       // #name and ##name
  QuotedName,     // "name", "" inside standing for "
  BracketedName,  // [name], ]] inside standing for ], also in its masked form
  String,         // 'text' and N'text', '' inside standing for '
  Number,         // 12, 1.5, .5, 1e-3, 0x1F
  Operator,       // one character of punctuation, or an RTF escape pair \\ \{ \}
  LineComment,    // -- to the end of the line
  BlockComment,   // /* ... */, nesting as T-SQL nests them
};

struct TokenSpan {
  std::size_t begin = 0;
  std::size_t length = 0;
  TokenKind kind = TokenKind::Word;
  int colourClass = 10;
  bool operator==(const TokenSpan&) const = default;
};

// What a scanned text leaves open at its end.
struct TokenState {
  enum Open : std::uint8_t { kNone, kBlockComment, kString, kQuotedName, kBracketedName };
  Open open = kNone;
  int depth = 0;  // nesting depth of an open block comment

  // One integer for storing per line (0 = nothing open), and back.
  int Pack() const { return open == kNone ? 0 : static_cast<int>(open) | (depth << 4); }
  static TokenState Unpack(int packed) {
    TokenState s;
    s.open = static_cast<Open>(packed & 0xF);
    s.depth = packed >> 4;
    if (s.open > kBracketedName) s = TokenState{};
    return s;
  }
  bool operator==(const TokenState&) const = default;
};

class TokenSpans {
 public:
  // Appends the tokens of `text` to `out`, in order, starting inside what `start`
  // leaves open; returns what the text leaves open at its end. Span positions
  // are byte offsets into `text`.
  static TokenState Scan(std::string_view text, TokenState start, std::vector<TokenSpan>& out);
  // The whole text, starting with nothing open.
  static std::vector<TokenSpan> Scan(std::string_view text);
};

}  // namespace vx::colour
