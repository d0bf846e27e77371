#include "basParseText.h"

#include <cstdint>
#include <cstring>

#include "vexilon_lib/basParse.h"

namespace basParse::text {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::size_t FindExact(std::string_view text, std::string_view find, std::size_t from) {
  return text.find(find, from);
}

std::size_t FindNoCase(std::string_view text, std::string_view find, std::size_t from) {
  const std::size_t n = text.size();
  const std::size_t m = find.size();
  if (m > n) return std::string_view::npos;
  const char first = find[0];
  const bool letter = IsAsciiLetter(first);
  const char firstLower = LowerAscii(first);
  for (std::size_t i = from; i + m <= n;) {
    if (!letter) {
      const void* hit = std::memchr(text.data() + i, first, n - m + 1 - i);
      if (hit == nullptr) return std::string_view::npos;
      i = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
    } else if (LowerAscii(text[i]) != firstLower) {
      ++i;
      continue;
    }
    std::size_t k = 1;
    while (k < m && LowerAscii(text[i + k]) == LowerAscii(find[k])) ++k;
    if (k == m) return i;
    ++i;
  }
  return std::string_view::npos;
}

template <typename Finder>
std::string Replace(std::string_view text, std::string_view find, std::string_view replacement,
                    bool all, Finder finder) {
  if (find.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  std::size_t copied = 0;
  for (std::size_t at = finder(text, find, 0); at != std::string_view::npos;
       at = finder(text, find, copied)) {
    out.append(text, copied, at - copied);
    out.append(replacement);
    copied = at + find.size();
    if (!all) break;
  }
  out.append(text, copied);
  return out;
}

}  // namespace

std::string ReplaceAll(std::string_view text, std::string_view find, std::string_view replacement) {
  return Replace(text, find, replacement, true, FindExact);
}
std::string ReplaceFirst(std::string_view text, std::string_view find, std::string_view replacement) {
  return Replace(text, find, replacement, false, FindExact);
}
std::string ReplaceAllNoCase(std::string_view text, std::string_view find, std::string_view replacement) {
  return Replace(text, find, replacement, true, FindNoCase);
}
std::string ReplaceFirstNoCase(std::string_view text, std::string_view find, std::string_view replacement) {
  return Replace(text, find, replacement, false, FindNoCase);
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string FirstNonSpaceCharacters(std::string_view text, std::size_t count) {
  std::string out;
  std::size_t taken = 0;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t len = 1;
    while (i + len < text.size() && (static_cast<unsigned char>(text[i + len]) & 0xC0) == 0x80) ++len;
    const char c = text[i];
    const bool space = c == ' ' || c == '\f' || c == '\n' || c == '\r' || c == '\t' || c == '\v';
    if (!space) {
      if (taken == count) break;
      out.append(text, i, len);
      ++taken;
    }
    i += len;
  }
  return out;
}

bool IsValidUtf8(std::string_view text) {
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t len;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + len > n) return false;
    for (std::size_t k = 1; k < len; ++k) {
      const unsigned char d = static_cast<unsigned char>(text[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    i += len;
  }
  return true;
}

std::string ReverseCharacters(std::string_view text) {
  std::string out(text.size(), '\0');
  std::size_t write = text.size();
  for (std::size_t i = 0; i < text.size();) {
    std::size_t len = 1;
    while (i + len < text.size() && (static_cast<unsigned char>(text[i + len]) & 0xC0) == 0x80) ++len;
    write -= len;
    out.replace(write, len, text.substr(i, len));
    i += len;
  }
  return out;
}

const std::string& TokenForms::L() {
  if (!l_) l_ = RemoveLineComments(skipComments_ ? RemoveBlockComments(token_) : std::string(token_));
  return *l_;
}
const std::string& TokenForms::LW() {
  if (!lw_) lw_ = Upper(RemoveWhitespace(L()));
  return *lw_;
}
const std::string& TokenForms::LSW() {
  if (!lsw_) lsw_ = Upper(RemoveWhitespace(StripRtfCodes(L())));
  return *lsw_;
}
const std::string& TokenForms::W() {
  if (!w_) w_ = Upper(RemoveWhitespace(token_));
  return *w_;
}

}  // namespace basParse::text
