#include "AlterHeader.h"

#include <cctype>
#include <string>

namespace vexilon {
namespace {

bool IsWordChar(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return std::isalnum(u) || c == '_' || c == '@' || c == '#' || c == '$' || u >= 0x80;
}

// Walks the script's words and parentheses, skipping what cannot be a keyword.
class Words {
 public:
  explicit Words(std::string_view text) : t_(text) {}

  // The next word in upper case, "(" or ")", or "" at the end.
  std::string Next() {
    while (i_ < t_.size()) {
      const char c = t_[i_];
      if (c == '-' && At(1) == '-') {
        while (i_ < t_.size() && t_[i_] != '\n' && t_[i_] != '\r') ++i_;
      } else if (c == '/' && At(1) == '*') {
        SkipBlockComment();
      } else if (c == '\'' || c == '"') {
        SkipQuoted(c);
      } else if (c == '[') {
        SkipQuoted(']');
      } else if (c == '(' || c == ')') {
        start_ = i_;
        ++i_;
        return std::string(1, c);
      } else if (IsWordChar(c)) {
        start_ = i_;
        std::string word;
        while (i_ < t_.size() && IsWordChar(t_[i_]))
          word += static_cast<char>(std::toupper(static_cast<unsigned char>(t_[i_++])));
        return word;
      } else {
        ++i_;
      }
    }
    return {};
  }
  // Where the word Next returned last begins.
  size_t Start() const { return start_; }

 private:
  char At(size_t ahead) const { return i_ + ahead < t_.size() ? t_[i_ + ahead] : '\0'; }
  void SkipBlockComment() {
    int depth = 0;
    while (i_ < t_.size()) {
      if (t_[i_] == '/' && At(1) == '*') {
        ++depth;
        i_ += 2;
      } else if (t_[i_] == '*' && At(1) == '/') {
        i_ += 2;
        if (--depth == 0) return;
      } else {
        ++i_;
      }
    }
  }
  // From an opening quote or bracket past its closing one (doubled inside).
  void SkipQuoted(char close) {
    ++i_;
    while (i_ < t_.size()) {
      if (t_[i_] == close) {
        if (At(1) == close) {
          i_ += 2;
          continue;
        }
        ++i_;
        return;
      }
      ++i_;
    }
  }

  std::string_view t_;
  size_t i_ = 0;
  size_t start_ = 0;
};

// The AS or BEGIN that ends the header of the first statement opened by the
// word `opening`, outside parentheses; npos when there is none.
size_t BodyStart(std::string_view text, std::string_view opening) {
  Words words(text);
  std::string w;
  while (!(w = words.Next()).empty() && w != opening) {
  }
  if (w.empty()) return std::string_view::npos;
  int depth = 0;
  while (!(w = words.Next()).empty()) {
    if (w == "(") ++depth;
    else if (w == ")") --depth;
    else if (depth == 0 && (w == "AS" || w == "BEGIN")) return words.Start();
  }
  return std::string_view::npos;
}

}  // namespace

bool BodyUnchanged(std::string_view script, std::string_view original) {
  const size_t originalBody = BodyStart(original, "CREATE");
  if (originalBody == std::string_view::npos) return true;  // no body to keep: the server judges the text
  const size_t body = BodyStart(script, "ALTER");
  return body != std::string_view::npos && script.substr(body) == original.substr(originalBody);
}

bool HeaderCarriesEncryption(std::string_view script) {
  Words words(script);
  std::string w;
  while (!(w = words.Next()).empty() && w != "ALTER") {
  }
  if (w.empty()) return false;
  int depth = 0;
  bool withSeen = false;
  while (!(w = words.Next()).empty()) {
    if (w == "(") {
      ++depth;
    } else if (w == ")") {
      --depth;
    } else if (depth == 0) {
      if (w == "AS" || w == "BEGIN") return false;
      if (w == "WITH") withSeen = true;
      if (w == "ENCRYPTION" && withSeen) return true;
    }
  }
  return false;
}

}  // namespace vexilon
