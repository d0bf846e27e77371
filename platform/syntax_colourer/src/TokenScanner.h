#pragma once
// The one T-SQL tokenizer. It hands each token, in order, to a sink:
//   sink(const TokenSpan& span, bool leftOpen)
// where leftOpen says the token runs to the end of the text without being
// closed (a block comment, string, quoted or bracketed name). The token spans
// and the RTF colouring are both built from it.
#include <cstddef>
#include <string_view>

#include "SqlWordClasses.h"
#include "syntax_colourer/TokenSpans.h"

namespace vx::colour {

inline constexpr std::string_view kLeftMask = "__________leftsquarebracket";
inline constexpr std::string_view kRightMask = "__________rightsquarebracket";

inline bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
inline bool IsLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
// Bytes of multi-byte UTF-8 characters (and stray high bytes) belong to words.
inline bool IsWordStart(unsigned char c) { return IsLetter(c) || c == '_' || c == '@' || c == '#' || c >= 0x80; }
inline bool IsWordPart(unsigned char c) { return IsWordStart(c) || IsDigit(c) || c == '$'; }
inline bool IsHexDigit(unsigned char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
inline bool IsBlank(unsigned char c) { return c <= 0x20 || c == 0x7F; }

inline int ClassOf(TokenKind kind) {
  switch (kind) {
    case TokenKind::Variable: return 7;
    case TokenKind::String: return 4;
    case TokenKind::Number: return 6;
    case TokenKind::Operator: return 5;
    case TokenKind::LineComment:
    case TokenKind::BlockComment: return 8;
    default: return 10;
  }
}

template <class Sink>
class TokenScanner {
 public:
  TokenScanner(std::string_view text, Sink& sink) : text_(text), n_(text.size()), sink_(sink) {}

  TokenState Run(TokenState state) {
    std::size_t i = 0;
    // Carry on inside what the previous piece left open.
    switch (state.open) {
      case TokenState::kBlockComment: i = BlockComment(0, 0, state.depth > 0 ? state.depth : 1); break;
      case TokenState::kString: i = Quoted(0, 0, '\'', TokenKind::String, TokenState::kString); break;
      case TokenState::kQuotedName: i = Quoted(0, 0, '"', TokenKind::QuotedName, TokenState::kQuotedName); break;
      case TokenState::kBracketedName:
        i = Quoted(0, 0, ']', TokenKind::BracketedName, TokenState::kBracketedName);
        break;
      case TokenState::kNone: break;
    }
    while (i < n_) {
      const unsigned char c = At(i);
      const unsigned char next = At(i + 1);
      if (IsBlank(c)) {
        ++i;
      } else if (c == '-' && next == '-') {
        std::size_t j = i + 2;
        while (j < n_ && text_[j] != '\n' && text_[j] != '\r') ++j;
        i = Emit(TokenKind::LineComment, i, j);
      } else if (c == '/' && next == '*') {
        i = BlockComment(i, i + 2, 1);
      } else if (c == '\'') {
        i = Quoted(i, i + 1, '\'', TokenKind::String, TokenState::kString);
      } else if ((c == 'N' || c == 'n') && next == '\'') {
        i = Quoted(i, i + 2, '\'', TokenKind::String, TokenState::kString);
      } else if (c == '"') {
        i = Quoted(i, i + 1, '"', TokenKind::QuotedName, TokenState::kQuotedName);
      } else if (c == '[') {
        i = Quoted(i, i + 1, ']', TokenKind::BracketedName, TokenState::kBracketedName);
      } else if (c == '_' && StartsWith(i, kLeftMask)) {
        i = MaskedBracketed(i);
      } else if (IsDigit(c) || (c == '.' && IsDigit(next))) {
        i = Number(i);
      } else if (IsWordStart(c)) {
        i = Word(i);
      } else if (c == '\\' && (next == '\\' || next == '{' || next == '}')) {
        i = Emit(TokenKind::Operator, i, i + 2);
      } else {
        i = Emit(TokenKind::Operator, i, i + 1);
      }
    }
    return open_;
  }

 private:
  unsigned char At(std::size_t k) const { return k < n_ ? static_cast<unsigned char>(text_[k]) : 0; }
  bool StartsWith(std::size_t at, std::string_view what) const {
    return n_ - at >= what.size() && text_.compare(at, what.size(), what) == 0;
  }

  std::size_t Emit(TokenKind kind, std::size_t begin, std::size_t end, int colourClass = 0) {
    if (end > begin) {
      const TokenSpan span{begin, end - begin, kind, colourClass ? colourClass : ClassOf(kind)};
      sink_(span, open_.open != TokenState::kNone);
    }
    return end;
  }

  // From `from`, inside a block comment opened at `begin` with that depth.
  std::size_t BlockComment(std::size_t begin, std::size_t from, int depth) {
    std::size_t j = from;
    while (j < n_ && depth > 0) {
      if (text_[j] == '/' && At(j + 1) == '*') {
        ++depth;
        j += 2;
      } else if (text_[j] == '*' && At(j + 1) == '/') {
        --depth;
        j += 2;
      } else {
        ++j;
      }
    }
    if (depth > 0) open_ = {TokenState::kBlockComment, depth};
    return Emit(TokenKind::BlockComment, begin, j);
  }

  // A quoted text from `begin` whose body starts at `from`; the closing
  // character doubled stands for itself. Left open when the text ends first.
  std::size_t Quoted(std::size_t begin, std::size_t from, char close, TokenKind kind, TokenState::Open open) {
    std::size_t j = from;
    bool closed = false;
    while (j < n_) {
      if (text_[j] == close) {
        if (At(j + 1) == static_cast<unsigned char>(close)) {
          j += 2;
          continue;
        }
        ++j;
        closed = true;
        break;
      }
      ++j;
    }
    if (!closed) open_ = {open, 0};
    return Emit(kind, begin, j);
  }

  // [name] with its brackets masked by placeholder words.
  std::size_t MaskedBracketed(std::size_t begin) {
    std::size_t j = begin + kLeftMask.size();
    for (;;) {
      std::size_t close = text_.find(kRightMask, j);
      if (close == std::string_view::npos) {
        j = n_;
        break;
      }
      j = close + kRightMask.size();
      if (!StartsWith(j, kRightMask)) break;
      j += kRightMask.size();
    }
    return Emit(TokenKind::BracketedName, begin, j);
  }

  std::size_t Number(std::size_t begin) {
    std::size_t j = begin;
    if (At(j) == '0' && (At(j + 1) == 'x' || At(j + 1) == 'X')) {
      j += 2;
      while (IsHexDigit(At(j))) ++j;
    } else {
      while (IsDigit(At(j))) ++j;
      if (At(j) == '.') {
        ++j;
        while (IsDigit(At(j))) ++j;
      }
      if (At(j) == 'e' || At(j) == 'E') {
        std::size_t k = j + 1;
        if (At(k) == '+' || At(k) == '-') ++k;
        if (IsDigit(At(k))) {
          j = k;
          while (IsDigit(At(j))) ++j;
        }
      }
    }
    return Emit(TokenKind::Number, begin, j);
  }

  std::size_t Word(std::size_t begin) {
    std::size_t j = begin + 1;
    while (j < n_ && IsWordPart(At(j))) {
      if (text_[j] == '_' && StartsWith(j, kLeftMask)) break;
      ++j;
    }
    const std::string_view word = text_.substr(begin, j - begin);
    if (word[0] == '@') return Emit(TokenKind::Variable, begin, j);
    if (word[0] == '#') return Emit(TokenKind::TempName, begin, j);
    return Emit(TokenKind::Word, begin, j, WordClass(word));
  }

  std::string_view text_;
  std::size_t n_;
  Sink& sink_;
  TokenState open_;
};

}  // namespace vx::colour
