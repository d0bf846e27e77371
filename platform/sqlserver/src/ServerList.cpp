#include "sqlserver/ServerList.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>

#include "sqlserver/Session.h"

namespace vx::sqlserver {

namespace {
std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Home() {
  const char* h = std::getenv("HOME");
  return h ? h : "";
}

void AddUnique(std::vector<std::string>& names, const std::string& name) {
  if (name.empty()) return;
  for (const auto& n : names)
    if (Lower(n) == Lower(name)) return;
  names.push_back(name);
}
}  // namespace

std::vector<std::string> IniSectionNames(const std::string& path) {
  std::vector<std::string> names;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    size_t b = line.find_first_not_of(" \t");
    if (b == std::string::npos || line[b] != '[') continue;
    size_t e = line.find(']', b);
    if (e == std::string::npos) continue;
    std::string name = line.substr(b + 1, e - b - 1);
    std::string l = Lower(name);
    if (l == "global" || l == "odbc" || l == "odbc data sources" || l == "default") continue;
    names.push_back(name);
  }
  return names;
}

std::vector<std::string> ListAvailableSQLServers() {
  std::vector<std::string> names;
  try {
    for (const auto& n : DefaultSessionFactory()->ServerNames()) AddUnique(names, n);
  } catch (...) {
  }
  std::vector<std::string> files;
  if (const char* f = std::getenv("FREETDSCONF"); f && *f) files.push_back(f);
  else {
    files.push_back(Home() + "/.freetds.conf");
    files.push_back("/etc/freetds/freetds.conf");
  }
  if (const char* f = std::getenv("ODBCINI"); f && *f) files.push_back(f);
  else files.push_back(Home() + "/.odbc.ini");
  if (const char* d = std::getenv("ODBCSYSINI"); d && *d) files.push_back(std::string(d) + "/odbc.ini");
  else files.push_back("/etc/odbc.ini");
  for (const auto& f : files)
    for (const auto& n : IniSectionNames(f)) AddUnique(names, n);
  return names;
}

}  // namespace vx::sqlserver
