#include "sqlserver/ServerList.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

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
