#include "sqlserver/ServerList.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>

#include "sqlserver/SqlBrowser.h"
#include "sqlserver/Session.h"
#include "sqlserver_odbc/OdbcSources.h"

namespace vx::sqlserver {

namespace {
constexpr int kBrowseMilliseconds = 1000;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
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

std::vector<std::string> ListAvailableSQLServers(const SessionFactory* factory) {
  std::vector<std::string> names;
  try {
    for (const auto& n : (factory ? factory->ServerNames() : DefaultSessionFactory()->ServerNames()))
      AddUnique(names, n);
  } catch (...) {
  }
  for (const auto& n : OdbcSources::FreeTdsEntries()) AddUnique(names, n);
  for (const auto& n : OdbcSources::DataSources()) AddUnique(names, n);
  const char* noBrowse = std::getenv("VEXILON_NO_BROWSE");
  if (!noBrowse || std::string(noBrowse) != "1")
    for (const auto& n : SqlBrowser::Browse(kBrowseMilliseconds)) AddUnique(names, n);
  return names;
}

}  // namespace vx::sqlserver
