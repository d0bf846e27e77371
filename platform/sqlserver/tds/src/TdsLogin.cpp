#include "TdsLogin.h"

#include <cstdlib>

#include "sqlserver/Utf16.h"

namespace vx::tds {

namespace {
uint32_t Le(const std::string& p, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[at + static_cast<size_t>(i)]);
  return v;
}

// A field of the record: offset and length in characters at `at`.
bool Field(const std::string& p, size_t at, bool password, std::string& out) {
  const size_t offset = Le(p, at, 2), chars = Le(p, at + 2, 2);
  if (offset + chars * 2 > p.size()) return false;
  std::u16string s;
  s.reserve(chars);
  for (size_t i = 0; i < chars; ++i) {
    unsigned char lo = static_cast<unsigned char>(p[offset + 2 * i]);
    unsigned char hi = static_cast<unsigned char>(p[offset + 2 * i + 1]);
    if (password) {
      // each byte: exclusive-or 0xA5, then its two halves swapped
      lo = static_cast<unsigned char>(lo ^ 0xA5);
      lo = static_cast<unsigned char>((lo << 4) | (lo >> 4));
      hi = static_cast<unsigned char>(hi ^ 0xA5);
      hi = static_cast<unsigned char>((hi << 4) | (hi >> 4));
    }
    s.push_back(static_cast<char16_t>(lo | (hi << 8)));
  }
  out = sqlserver::Utf16ToUtf8(s);
  return true;
}
}  // namespace

bool ParseLogin7(const std::string& p, LoginRequest& login) {
  if (p.size() < 86 || Le(p, 0, 4) > p.size()) return false;
  login.tdsVersion = Le(p, 4, 4);
  login.packetSize = Le(p, 8, 4);
  login.integratedSecurity = (static_cast<unsigned char>(p[25]) & 0x80) != 0;
  return Field(p, 36, false, login.hostName) && Field(p, 40, false, login.userName) &&
         Field(p, 44, true, login.password) && Field(p, 48, false, login.appName) &&
         Field(p, 68, false, login.database);
}

std::string PreloginReply(const std::string& productVersion) {
  const char* v = productVersion.c_str();
  char* end = nullptr;
  const long major = std::strtol(v, &end, 10);
  const long minor = *end == '.' ? std::strtol(end + 1, &end, 10) : 0;
  const long build = *end == '.' ? std::strtol(end + 1, &end, 10) : 0;
  // options: version (6 bytes), encryption (1), instance (1); then their data
  const unsigned char table[] = {0x00, 0, 16, 0, 6, 0x01, 0, 22, 0, 1, 0x02, 0, 23, 0, 1, 0xFF};
  std::string out(reinterpret_cast<const char*>(table), sizeof table);
  out += static_cast<char>(major);
  out += static_cast<char>(minor);
  out += static_cast<char>((build >> 8) & 0xFF);
  out += static_cast<char>(build & 0xFF);
  out += std::string(2, '\0');
  out += '\x02';  // encryption not supported
  out += '\0';    // the default instance
  return out;
}

}  // namespace vx::tds
