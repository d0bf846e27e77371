#include "syntax_colourer/SyntaxColourer.h"

#include <cstring>

#include "SqlWordClasses.h"
#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"

namespace vx {
namespace {

constexpr std::string_view kLeftMask = "__________leftsquarebracket";
constexpr std::string_view kRightMask = "__________rightsquarebracket";

constexpr int kKeyword = 1;
constexpr int kString = 4;
constexpr int kOperator = 5;
constexpr int kNumber = 6;
constexpr int kVariable = 7;
constexpr int kComment = 8;
constexpr int kName = 10;

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
// Bytes of multi-byte UTF-8 characters (and stray high bytes) belong to words.
bool IsWordStart(unsigned char c) { return IsLetter(c) || c == '_' || c == '@' || c == '#' || c >= 0x80; }
bool IsWordPart(unsigned char c) { return IsWordStart(c) || IsDigit(c) || c == '$'; }
bool IsHexDigit(unsigned char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
// Characters that stand outside runs: blanks, line ends and other control characters.
bool IsBlank(unsigned char c) { return c <= 0x20 || c == 0x7F; }

class Colouring {
 public:
  // Most code comes out at two to four times its length; room not written to
  // costs no memory, a growth by copying costs the text twice over.
  explicit Colouring(std::string_view text) : text_(text) { out_.reserve(text.size() * 4 + 64); }

  std::string Run() {
    const std::size_t n = text_.size();
    std::size_t i = 0;
    while (i < n) {
      const unsigned char c = static_cast<unsigned char>(text_[i]);
      const unsigned char next = i + 1 < n ? static_cast<unsigned char>(text_[i + 1]) : 0;
      if (IsBlank(c)) {
        out_ += static_cast<char>(c);
        if (EndsLine(i)) out_ += "\\par ";
        ++i;
      } else if (c == '-' && next == '-') {
        i = LineComment(i);
      } else if (c == '/' && next == '*') {
        i = BlockComment(i);
      } else if (c == '\'') {
        i = Quoted(i, i + 1, '\'', kString);
      } else if ((c == 'N' || c == 'n') && next == '\'') {
        i = Quoted(i, i + 2, '\'', kString);
      } else if (c == '"') {
        i = Quoted(i, i + 1, '"', kName);
      } else if (c == '[') {
        i = Bracketed(i);
      } else if (c == '_' && StartsWith(i, kLeftMask)) {
        i = MaskedBracketed(i);
      } else if (IsDigit(c) || (c == '.' && IsDigit(next))) {
        i = Number(i);
      } else if (IsWordStart(c)) {
        i = Word(i);
      } else if (c == '\\' && (next == '\\' || next == '{' || next == '}')) {
        // An RTF escape pair stays in one run, so escaped text colours soundly.
        Emit(kOperator, i, i + 2, false);
        i += 2;
      } else {
        Emit(kOperator, i, i + 1, false);
        ++i;
      }
    }
    return std::move(out_);
  }

 private:
  // CR, LF and CR LF each end a line; the line's last character is at `at`.
  bool EndsLine(std::size_t at) const {
    return text_[at] == '\n' || (text_[at] == '\r' && (at + 1 == text_.size() || text_[at + 1] != '\n'));
  }
  // The last character of the next line end at or after from, before limit.
  std::size_t NextLineEnd(std::size_t from, std::size_t limit) const {
    for (std::size_t at = from; at < limit; ++at) {
      const char c = text_[at];
      if ((c == '\n' || c == '\r') && EndsLine(at)) return at;
    }
    return std::string_view::npos;
  }

  bool StartsWith(std::size_t at, std::string_view what) const {
    return text_.size() - at >= what.size() && text_.compare(at, what.size(), what) == 0;
  }

  std::size_t LineComment(std::size_t begin) {
    // The line end (CR, LF or CR LF) stays outside the run.
    std::size_t end = text_.find_first_of("\r\n", begin);
    if (end == std::string_view::npos) end = text_.size();
    Emit(kComment, begin, end, false);
    return end;
  }

  // "/*" ... "*/", nesting as T-SQL nests them; an open comment runs to the end.
  std::size_t BlockComment(std::size_t begin) {
    const std::size_t n = text_.size();
    std::size_t j = begin + 2;
    int depth = 1;
    while (j < n && depth > 0) {
      if (text_[j] == '/' && j + 1 < n && text_[j + 1] == '*') {
        ++depth;
        j += 2;
      } else if (text_[j] == '*' && j + 1 < n && text_[j + 1] == '/') {
        --depth;
        j += 2;
      } else {
        ++j;
      }
    }
    Emit(kComment, begin, j, depth == 0);
    return j;
  }

  // A quoted text from begin; the quote character doubled stands for itself.
  std::size_t Quoted(std::size_t begin, std::size_t bodyStart, char quote, int colourClass) {
    const std::size_t n = text_.size();
    std::size_t j = bodyStart;
    while (j < n) {
      if (text_[j] == quote) {
        if (j + 1 < n && text_[j + 1] == quote) {
          j += 2;
          continue;
        }
        ++j;
        break;
      }
      ++j;
    }
    Emit(colourClass, begin, j, false);
    return j;
  }

  // [name], with "]]" standing for "]".
  std::size_t Bracketed(std::size_t begin) {
    const std::size_t n = text_.size();
    std::size_t j = begin + 1;
    while (j < n) {
      if (text_[j] == ']') {
        if (j + 1 < n && text_[j + 1] == ']') {
          j += 2;
          continue;
        }
        ++j;
        break;
      }
      ++j;
    }
    Emit(kName, begin, j, false);
    return j;
  }

  // The same with the brackets masked by their placeholder words.
  std::size_t MaskedBracketed(std::size_t begin) {
    std::size_t j = begin + kLeftMask.size();
    for (;;) {
      std::size_t close = text_.find(kRightMask, j);
      if (close == std::string_view::npos) {
        j = text_.size();
        break;
      }
      j = close + kRightMask.size();
      if (StartsWith(j, kRightMask)) {
        j += kRightMask.size();
        continue;
      }
      break;
    }
    Emit(kName, begin, j, false);
    return j;
  }

  std::size_t Number(std::size_t begin) {
    const std::size_t n = text_.size();
    auto at = [&](std::size_t k) { return k < n ? static_cast<unsigned char>(text_[k]) : 0; };
    std::size_t j = begin;
    if (at(j) == '0' && (at(j + 1) == 'x' || at(j + 1) == 'X')) {
      j += 2;
      while (IsHexDigit(at(j))) ++j;
    } else {
      while (IsDigit(at(j))) ++j;
      if (at(j) == '.') {
        ++j;
        while (IsDigit(at(j))) ++j;
      }
      if (at(j) == 'e' || at(j) == 'E') {
        std::size_t k = j + 1;
        if (at(k) == '+' || at(k) == '-') ++k;
        if (IsDigit(at(k))) {
          j = k;
          while (IsDigit(at(j))) ++j;
        }
      }
    }
    // Letters right after a number start a word of their own (1as is 1 AS).
    Emit(kNumber, begin, j, false);
    return j;
  }

  std::size_t Word(std::size_t begin) {
    const std::size_t n = text_.size();
    std::size_t j = begin + 1;
    while (j < n && IsWordPart(static_cast<unsigned char>(text_[j]))) {
      if (text_[j] == '_' && StartsWith(j, kLeftMask)) break;
      ++j;
    }
    std::string_view word = text_.substr(begin, j - begin);
    int colourClass;
    if (word[0] == '@') colourClass = kVariable;
    else if (word[0] == '#') colourClass = kName;
    else colourClass = colour::WordClass(word);
    Emit(colourClass, begin, j, false);
    return j;
  }

  void Open(int colourClass) {
    out_ += "\\cf";
    if (colourClass >= 10) out_ += static_cast<char>('0' + colourClass / 10);
    out_ += static_cast<char>('0' + colourClass % 10);
    out_ += ' ';
  }
  void Close() { out_ += "\\cf "; }

  // One run of text_[begin, end). A line end inside it is followed by "\par ".
  void Emit(int colourClass, std::size_t begin, std::size_t end, bool closedComment) {
    Open(colourClass);
    std::size_t from = begin;  // start of the text not yet written
    std::size_t piece = begin;  // start of the current run piece
    // The search for line ends stays inside the run: a text without them must
    // not be scanned to its end for every run.
    for (std::size_t lf = NextLineEnd(begin, end); lf != std::string_view::npos; lf = NextLineEnd(lf + 1, end)) {
      if (text_[lf] == '\n' && lf >= piece + 3 && text_.compare(lf - 3, 3, "\\cf") == 0) {
        // "\cf" + line feed + "\par" would read as a closing code: split the
        // run between the backslash and "cf".
        out_.append(text_, from, lf - 2 - from);
        Close();
        Open(colourClass);
        from = piece = lf - 2;
      }
      out_.append(text_, from, lf + 1 - from);
      out_ += "\\par ";
      from = lf + 1;
    }
    if (!closedComment && end - begin >= 2 && text_[end - 1] == '/' && text_[end - 2] == '*') {
      // Only a closed block comment may end in "*/" before its closing code.
      out_.append(text_, from, end - 1 - from);
      Close();
      Open(colourClass);
      from = end - 1;
    }
    out_.append(text_, from, end - from);
    Close();
  }

  std::string_view text_;
  std::string out_;
};

}  // namespace

std::string SyntaxColourer::ColourSQL(std::string_view text, int32_t mode) const {
  if (mode != 1) {
    throw ComError(err::kInvalidProcedureCall, "SyntaxColourer",
                   "Invalid procedure call or argument: colouring mode " + std::to_string(mode));
  }
  return Colouring(text).Run();
}

}  // namespace vx
