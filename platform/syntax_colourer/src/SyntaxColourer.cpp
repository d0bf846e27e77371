#include "syntax_colourer/SyntaxColourer.h"

#include "TokenScanner.h"
#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"

namespace vx {
namespace {

bool IsLineEndChar(char c) { return c == '\n' || c == '\r'; }

// Builds the coloured text from the tokenizer's tokens: each token is a run,
// the text between tokens (blanks and line ends) is copied as it stands.
class Colouring {
 public:
  // Most code comes out at two to four times its length; room not written to
  // costs no memory, a growth by copying costs the text twice over.
  explicit Colouring(std::string_view text) : text_(text) { out_.reserve(text.size() * 4 + 64); }

  std::string Run() {
    colour::TokenScanner<Colouring>(text_, *this).Run(colour::TokenState{});
    Between(text_.size());
    return std::move(out_);
  }

  void operator()(const colour::TokenSpan& span, bool leftOpen) {
    Between(span.begin);
    const std::size_t end = span.begin + span.length;
    Emit(span.colourClass, span.begin, end, span.kind == colour::TokenKind::BlockComment && !leftOpen);
    written_ = end;
  }

 private:
  // The text from the last token's end to `to`, blanks and line ends only.
  void Between(std::size_t to) {
    for (std::size_t i = written_; i < to; ++i) {
      out_ += text_[i];
      if (IsLineEndChar(text_[i]) && EndsLine(i)) out_ += "\\par ";
    }
    written_ = to;
  }

  // CR, LF and CR LF each end a line; the line's last character is at `at`.
  bool EndsLine(std::size_t at) const {
    return text_[at] == '\n' || (text_[at] == '\r' && (at + 1 == text_.size() || text_[at + 1] != '\n'));
  }
  // The last character of the next line end at or after from, before limit.
  std::size_t NextLineEnd(std::size_t from, std::size_t limit) const {
    for (std::size_t at = from; at < limit; ++at) {
      if (IsLineEndChar(text_[at]) && EndsLine(at)) return at;
    }
    return std::string_view::npos;
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
  std::size_t written_ = 0;  // end of the text already copied or coloured
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
