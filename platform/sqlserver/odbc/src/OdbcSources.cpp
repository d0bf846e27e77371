#include "sqlserver_odbc/OdbcSources.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>

namespace vx::sqlserver {

namespace {
std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::vector<std::string> FreeTdsFiles() {
  if (!Env("FREETDSCONF").empty()) return {Env("FREETDSCONF")};
  return {Env("HOME") + "/.freetds.conf", "/etc/freetds/freetds.conf"};
}

std::vector<std::string> OdbcFiles() {
  std::vector<std::string> files;
  files.push_back(!Env("ODBCINI").empty() ? Env("ODBCINI") : Env("HOME") + "/.odbc.ini");
  files.push_back(!Env("ODBCSYSINI").empty() ? Env("ODBCSYSINI") + "/odbc.ini" : "/etc/odbc.ini");
  return files;
}

// Sections of an ini file with their "key = value" lines (keys lower-cased).
template <typename F>
void ReadIni(const std::string& path, F&& onLine) {
  std::ifstream in(path);
  std::string line, section;
  while (std::getline(in, line)) {
    const std::string t = Trim(line);
    if (t.empty() || t[0] == '#' || t[0] == ';') continue;
    if (t[0] == '[') {
      const size_t e = t.find(']');
      if (e == std::string::npos) continue;
      section = Trim(t.substr(1, e - 1));
      onLine(section, std::string(), std::string());
      continue;
    }
    const size_t eq = t.find('=');
    if (eq != std::string::npos && !section.empty())
      onLine(section, Lower(Trim(t.substr(0, eq))), Trim(t.substr(eq + 1)));
  }
}

void AddUnique(std::vector<std::string>& names, const std::string& name) {
  for (const auto& n : names)
    if (Lower(n) == Lower(name)) return;
  names.push_back(name);
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  for (const auto& n : names)
    if (Lower(n) == Lower(name)) return true;
  return false;
}
}  // namespace

std::vector<std::string> OdbcSources::FreeTdsEntries() {
  std::vector<std::string> names;
  for (const auto& f : FreeTdsFiles())
    ReadIni(f, [&](const std::string& section, const std::string& key, const std::string&) {
      const std::string l = Lower(section);
      if (key.empty() && !section.empty() && l != "global" && l.rfind("egserver", 0) != 0) AddUnique(names, section);
    });
  return names;
}

std::vector<std::string> OdbcSources::DataSources() {
  std::vector<std::string> names;
  for (const auto& f : OdbcFiles())
    ReadIni(f, [&](const std::string& section, const std::string& key, const std::string&) {
      const std::string l = Lower(section);
      if (key.empty() && l != "odbc data sources" && l != "odbc" && l != "default" &&
          !IsSQLiteDriver(DataSourceDriver(section)))
        AddUnique(names, section);
    });
  return names;
}

bool OdbcSources::IsFreeTdsEntry(const std::string& name) { return Contains(FreeTdsEntries(), name); }

bool OdbcSources::IsDataSource(const std::string& name) { return Contains(DataSources(), name); }

std::string OdbcSources::DataSourceDriver(const std::string& name) {
  std::string driver;
  for (const auto& f : OdbcFiles())
    ReadIni(f, [&](const std::string& section, const std::string& key, const std::string& value) {
      if (driver.empty() && key == "driver" && Lower(section) == Lower(name)) driver = value;
    });
  return driver;
}

bool OdbcSources::IsSQLiteDriver(const std::string& driver) { return Lower(driver).find("sqlite") != std::string::npos; }

bool OdbcSources::IsFreeTdsDriver(const std::string& driver) {
  const std::string l = Lower(driver);
  return l.find("freetds") != std::string::npos || l.find("tdsodbc") != std::string::npos;
}

std::string OdbcSources::DefaultDriver() {
  if (!Env("VEXILON_ODBC_DRIVER").empty()) return Env("VEXILON_ODBC_DRIVER");
  // By path, so that no driver needs registering in odbcinst.ini.
  for (const char* path : {"/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so", "/usr/lib/aarch64-linux-gnu/odbc/libtdsodbc.so",
                           "/usr/lib/odbc/libtdsodbc.so", "/usr/local/lib/libtdsodbc.so"})
    if (::access(path, R_OK) == 0) return path;
  return "FreeTDS";
}

}  // namespace vx::sqlserver
