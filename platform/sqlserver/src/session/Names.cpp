#include "sqlserver/Names.h"

#include <cstdint>

namespace vx::sqlserver {

namespace {
// The next character of UTF-8 text, folded to lower case for the letters of
// ASCII and Latin-1; a byte that is not UTF-8 stands for itself, apart from
// every character.
uint32_t NextFolded(std::string_view s, size_t& i) {
  const size_t start = i;
  const uint32_t lead = static_cast<unsigned char>(s[i++]);
  int extra = lead < 0x80 ? 0 : (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : -1;
  uint32_t c = extra > 0 ? lead & (0x3F >> extra) : lead;
  for (; extra > 0 && i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80; --extra)
    c = (c << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
  if (extra != 0) {
    i = start + 1;
    return 0x110000 + lead;
  }
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) c += 0x20;
  return c;
}
}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size())
    if (NextFolded(a, i) != NextFolded(b, j)) return false;
  return i == a.size() && j == b.size();
}

}  // namespace vx::sqlserver
