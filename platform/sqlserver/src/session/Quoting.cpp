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

}  // namespace vx::sqlserver
