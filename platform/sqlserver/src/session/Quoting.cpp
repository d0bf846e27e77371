#include "sqlserver/Quoting.h"

namespace vx::sqlserver {
namespace {

std::string Enclose(const std::string& text, const char* open, char close) {
  std::string r = open;
  for (char c : text) {
    r += c;
    if (c == close) r += close;
  }
  return r + close;
}

}  // namespace

std::string Bracket(const std::string& name) { return Enclose(name, "[", ']'); }
std::string NLiteral(const std::string& text) { return Enclose(text, "N'", '\''); }

std::string CommentText(const std::string& text) {
  std::string r;
  r.reserve(text.size());
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = ' ';
    if (!r.empty() && ((r.back() == '*' && c == '/') || (r.back() == '/' && c == '*'))) r += ' ';
    r += c;
  }
  return r;
}

}  // namespace vx::sqlserver
