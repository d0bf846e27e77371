#include "sqlserver/Utf16.h"

#include <cstdint>

namespace vx::sqlserver {

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    uint32_t cp = 0xFFFD;
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 1) {
      cp = c;
    } else if (n > 1 && i + n <= s.size()) {
      uint32_t v = c & (0x7F >> n);
      bool ok = true;
      for (size_t k = 1; k < n; ++k) {
        const auto d = static_cast<unsigned char>(s[i + k]);
        if ((d & 0xC0) != 0x80) {
          ok = false;
          break;
        }
        v = (v << 6) | (d & 0x3F);
      }
      static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
      if (ok && v >= kMin[n] && v <= 0x10FFFF) cp = v;  // a lone half of a pair stays what it is
      else if (!ok) n = 1;
    } else {
      n = 1;
    }
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

void AppendText(std::string& text, std::string_view piece) {
  // A high half is ED A0..AF xx, a low half ED B0..BF xx.
  auto half = [](std::string_view s, size_t at, unsigned char from) {
    return s.size() >= at + 3 && static_cast<unsigned char>(s[at]) == 0xED &&
           (static_cast<unsigned char>(s[at + 1]) & 0xF0) == from;
  };
  if (text.size() >= 3 && half(text, text.size() - 3, 0xA0) && half(piece, 0, 0xB0)) {
    const std::u16string pair = Utf8ToUtf16(text.substr(text.size() - 3) + std::string(piece.substr(0, 3)));
    text.resize(text.size() - 3);
    text += Utf16ToUtf8(pair);
    piece.remove_prefix(3);
  }
  text += piece;
}

}  // namespace vx::sqlserver
