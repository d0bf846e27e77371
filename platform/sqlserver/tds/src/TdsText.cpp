#include "TdsText.h"

#include <cstdint>

#include "sqlserver/Utf16.h"

namespace vx::tds {

namespace {

// Code page 1252 at 0x80-0x9F; the five bytes it leaves undefined stand for themselves.
constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t CodePageUnit(unsigned char b) { return b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : char16_t{b}; }

// Calls unit(u) for each UTF-16 code unit of `text`.
template <class Unit>
void Decode(std::string_view text, Unit unit) {
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    uint32_t cp = c;
    bool whole = n == 1;
    if (n > 1 && i + n <= text.size()) {
      cp = c & (0x7Fu >> n);
      whole = true;
      for (size_t k = 1; k < n && whole; ++k) {
        const auto d = static_cast<unsigned char>(text[i + k]);
        whole = (d & 0xC0) == 0x80;
        cp = (cp << 6) | (d & 0x3Fu);
      }
      static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
      whole = whole && cp >= kMin[n] && cp <= 0x10FFFF;  // a lone half of a pair stays what it is
    }
    if (!whole) {
      unit(CodePageUnit(c));
      ++i;
      continue;
    }
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      unit(static_cast<char16_t>(0xD800 + (cp >> 10)));
      unit(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      unit(static_cast<char16_t>(cp));
    }
  }
}

}  // namespace

std::u16string WireText(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  Decode(text, [&](char16_t u) { out.push_back(u); });
  return out;
}

size_t WireUnits(std::string_view text) {
  size_t n = 0;
  Decode(text, [&](char16_t) { ++n; });
  return n;
}

std::string FromCodePage(std::string_view bytes) {
  std::u16string s;
  s.reserve(bytes.size());
  for (unsigned char b : bytes) s.push_back(CodePageUnit(b));
  return sqlserver::Utf16ToUtf8(s);
}

}  // namespace vx::tds
