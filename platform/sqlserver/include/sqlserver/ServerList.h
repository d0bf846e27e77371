#pragma once
// The SQL Servers that can be reached by name: the names of the session factory
// (the simulated servers of the simulator folder), then the servers named in
// FreeTDS's freetds.conf ($FREETDSCONF, ~/.freetds.conf, /etc/freetds/freetds.conf;
// not its sample entries), the data sources of unixODBC ($ODBCINI, ~/.odbc.ini,
// $ODBCSYSINI/odbc.ini or /etc/odbc.ini), and the servers that answer a SQL
// Server browser broadcast on the local network within a second (not asked
// when VEXILON_NO_BROWSE=1). Duplicates (case-insensitive) are listed once.
// Never raises.
#include <string>
#include <vector>

#include "sqlserver/Session.h"

namespace vx::sqlserver {

// factory nullptr: DefaultSessionFactory().
std::vector<std::string> ListAvailableSQLServers(const SessionFactory* factory = nullptr);

}  // namespace vx::sqlserver
