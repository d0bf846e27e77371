#include "sqlserver/ConnectionString.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"

namespace vx::sqlserver {

namespace {
constexpr const char* kSource = "ConnectionString";

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

[[noreturn]] void Malformed(const std::string& why) {
  throw ComError(err::kArchiveConnectionString, kSource,
                 "The connection string is malformed: " + why + ".");
}

bool IsTrue(const std::string& v) {
  std::string l = Lower(v);
  return l == "sspi" || l == "true" || l == "yes";
}

// Walks the parts of a connection string: f(key, value, begin, end) for each,
// key lower-cased, value as read, [begin, end) the value's place in the text.
template <typename F>
void Scan(const std::string& text, F&& f) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    size_t eq = text.find('=', i);
    size_t semi = text.find(';', i);
    if (semi != std::string::npos && (eq == std::string::npos || semi < eq)) {
      if (!Trim(text.substr(i, semi - i)).empty()) Malformed("a part has no '='");
      i = semi + 1;
      continue;
    }
    if (eq == std::string::npos) {
      if (!Trim(text.substr(i)).empty()) Malformed("a part has no '='");
      break;
    }
    std::string key = Lower(Trim(text.substr(i, eq - i)));
    if (key.empty()) Malformed("a key is empty");
    i = eq + 1;
    while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
    std::string value;
    size_t begin = i, end = i;
    if (i < n && (text[i] == '"' || text[i] == '\'')) {
      char q = text[i++];
      bool closed = false;
      while (i < n) {
        if (text[i] == q) {
          if (i + 1 < n && text[i + 1] == q) {
            value += q;
            i += 2;
            continue;
          }
          closed = true;
          ++i;
          break;
        }
        value += text[i++];
      }
      if (!closed) Malformed("a quoted value is not terminated");
      end = i;
      while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
      if (i < n && text[i] != ';') Malformed("text follows a quoted value");
      if (i < n) ++i;
    } else {
      end = text.find(';', i);
      if (end == std::string::npos) end = n;
      value = Trim(text.substr(i, end - i));
      i = end < n ? end + 1 : n;
    }
    f(key, value, begin, end);
  }
}

bool IsCatalogKey(const std::string& key) { return key == "initial catalog" || key == "database"; }

}  // namespace

ConnectionString ConnectionString::Parse(const std::string& text) {
  ConnectionString cs;
  bool haveSource = false;
  Scan(text, [&](const std::string& key, const std::string& value, size_t, size_t) {
    if (key == "provider") cs.provider = value;
    else if (key == "data source" || key == "server" || key == "address" || key == "addr" ||
             key == "network address") {
      cs.dataSource = value;
      haveSource = true;
    } else if (IsCatalogKey(key)) cs.initialCatalog = value;
    else if (key == "user id" || key == "uid" || key == "user") cs.userId = value;
    else if (key == "password" || key == "pwd") cs.password = value;
    else if (key == "integrated security" || key == "trusted_connection") cs.integratedSecurity = IsTrue(value);
    else cs.others[key] = value;
  });
  if (!haveSource || cs.dataSource.empty()) Malformed("it names no Data Source");
  return cs;
}

std::string QuoteConnectionValue(const std::string& value) {
  // Whatever Parse would read otherwise: a ";" or a quote, and blanks, tabs or
  // line ends at either end, which it trims.
  constexpr const char* kTrimmed = " \t\r\n";
  bool needs = value.find_first_of(";'\"") != std::string::npos ||
               (!value.empty() && (std::strchr(kTrimmed, value.front()) || std::strchr(kTrimmed, value.back())));
  if (!needs) return value;
  char q = value.find('"') == std::string::npos ? '"' : '\'';
  std::string out(1, q);
  for (char c : value) {
    out += c;
    if (c == q) out += q;
  }
  out += q;
  return out;
}

std::string ConnectionString::ToString() const {
  std::string s;
  auto add = [&](const std::string& k, const std::string& v) {
    if (!s.empty()) s += ';';
    s += k + "=" + QuoteConnectionValue(v);
  };
  if (!provider.empty()) add("Provider", provider);
  add("Data Source", dataSource);
  if (!initialCatalog.empty()) add("Initial Catalog", initialCatalog);
  if (integratedSecurity) {
    add("Integrated Security", "SSPI");
  } else {
    add("User Id", userId);
    add("Password", password);
  }
  for (const auto& [k, v] : others) add(k, v);
  return s;
}

Credentials ConnectionString::GetCredentials() const {
  Credentials c;
  c.trusted = integratedSecurity;
  if (!c.trusted) {
    c.login = userId;
    c.password = password;
  }
  return c;
}

}  // namespace vx::sqlserver
