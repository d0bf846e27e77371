#pragma once
// Where ODBC and FreeTDS name servers: the data sources of unixODBC and the
// server entries of freetds.conf ($FREETDSCONF, else ~/.freetds.conf and
// /etc/freetds/freetds.conf), without FreeTDS's sample entries ("egServer..")
// and without data sources of an SQLite driver (never loaded here: it would
// bring a second SQLite library into a process that links SQLCipher).
#include <string>
#include <vector>

namespace vx::sqlserver {

class OdbcSources {
 public:
  static std::vector<std::string> FreeTdsEntries();
  static std::vector<std::string> DataSources();
  // True when `name` is one of them (case-insensitive).
  static bool IsFreeTdsEntry(const std::string& name);
  static bool IsDataSource(const std::string& name);
  // The driver of a data source ("" when unknown) and whether a driver is SQLite's.
  static std::string DataSourceDriver(const std::string& name);
  static bool IsSQLiteDriver(const std::string& driver);
  // The driver to use: $VEXILON_ODBC_DRIVER, else FreeTDS's driver library, else "FreeTDS".
  static std::string DefaultDriver();
  static bool IsFreeTdsDriver(const std::string& driver);
};

}  // namespace vx::sqlserver
