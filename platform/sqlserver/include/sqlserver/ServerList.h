#pragma once
// The SQL Servers that can be reached by name: the simulated servers of the
// simulator folder, then the servers named in FreeTDS's freetds.conf
// ($FREETDSCONF, ~/.freetds.conf, /etc/freetds/freetds.conf) and the data
// sources of unixODBC ($ODBCINI, ~/.odbc.ini, $ODBCSYSINI/odbc.ini or /etc/odbc.ini).
// Duplicates (case-insensitive) are listed once. Never raises.
#include <string>
#include <vector>

namespace vx::sqlserver {

std::vector<std::string> ListAvailableSQLServers();

// Section names of an ini-style file ("[name]"), skipping "global" and "ODBC".
std::vector<std::string> IniSectionNames(const std::string& path);

}  // namespace vx::sqlserver
