#include "archive/ConnectionString.h"

#include <strings.h>

#include <algorithm>
#include <cctype>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"

namespace vx::archive {
namespace {

std::string Lower(std::string_view s) {
  std::string r(s);
  std::transform(r.begin(), r.end(), r.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return r;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

[[noreturn]] void Malformed(const std::string& why) {
  throw ComError(err::kArchiveConnectionString, "ConnectionString",
                 "The connection string is not valid: " + why + ".");
}

}  // namespace

ConnectionString ConnectionString::Parse(std::string_view text) {
  ConnectionString cs;
  size_t i = 0;
  while (i < text.size()) {
    // key up to '='
    size_t eq = text.find('=', i);
    size_t semi = text.find(';', i);
    if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
      std::string_view rest = Trim(text.substr(i, semi == std::string_view::npos ? text.size() - i : semi - i));
      if (!rest.empty()) Malformed("an item without '='");
      if (semi == std::string_view::npos) break;
      i = semi + 1;
      continue;
    }
    std::string key = Lower(Trim(text.substr(i, eq - i)));
    if (key.empty()) Malformed("an item without a name");
    i = eq + 1;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    std::string value;
    if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
      const char q = text[i++];
      bool closed = false;
      while (i < text.size()) {
        if (text[i] == q) {
          if (i + 1 < text.size() && text[i + 1] == q) {
            value += q;
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        value += text[i++];
      }
      if (!closed) Malformed("an unclosed quote in the value of '" + key + "'");
      while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
      if (i < text.size() && text[i] != ';') Malformed("text after the quoted value of '" + key + "'");
      if (i < text.size()) ++i;
    } else {
      size_t end = text.find(';', i);
      if (end == std::string_view::npos) end = text.size();
      value = std::string(Trim(text.substr(i, end - i)));
      i = end + 1;
    }
    cs.values_[key] = value;
  }
  return cs;
}

std::string ConnectionString::Get(std::string_view key) const {
  auto it = values_.find(Lower(key));
  return it == values_.end() ? std::string() : it->second;
}

bool ConnectionString::Has(std::string_view key) const { return values_.count(Lower(key)) != 0; }

bool ConnectionString::EncryptDatabase() const {
  return strcasecmp(Get("Jet OLEDB:Encrypt Database").c_str(), "True") == 0;
}

std::string QuoteConnectionValue(std::string_view value) {
  const bool needs = value.find_first_of(";\"'") != std::string_view::npos ||
                     (!value.empty() && (std::isspace(static_cast<unsigned char>(value.front())) ||
                                         std::isspace(static_cast<unsigned char>(value.back()))));
  if (!needs) return std::string(value);
  const char q = value.find('"') == std::string_view::npos ? '"' : '\'';
  std::string out(1, q);
  for (char c : value) {
    out += c;
    if (c == q) out += q;
  }
  out += q;
  return out;
}

}  // namespace vx::archive
