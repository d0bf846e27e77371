#include "sqlserver_odbc/OdbcSessionFactory.h"

#include <cstdlib>

#include "OdbcSession.h"
#include "automation/ComError.h"
#include "sqlserver/ServerErrors.h"
#include "sqlserver_odbc/OdbcSources.h"

namespace vx::sqlserver {

namespace {
// An ODBC connection-string value: in braces when it holds anything special.
std::string Braced(const std::string& value) {
  if (value.find_first_of(";{}=[]()*,?!@ \t") == std::string::npos && !value.empty()) return value;
  std::string out = "{";
  for (char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  return out + "}";
}

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}
}  // namespace

OdbcSessionFactory::OdbcSessionFactory(OdbcOptions options) : options_(std::move(options)) {
  if (options_.driver.empty()) options_.driver = OdbcSources::DefaultDriver();
}

bool OdbcSessionFactory::HasServer(const std::string& serverName) const { return !serverName.empty(); }

std::string OdbcSessionFactory::ConnectionText(const std::string& serverName, const Credentials& credentials,
                                               const std::string& database, bool withPassword) const {
  const std::string& driver = options_.driver;
  const bool freeTds = OdbcSources::IsFreeTdsDriver(driver);
  std::string cs;
  if (OdbcSources::IsDataSource(serverName)) {
    cs = "DSN=" + Braced(serverName) + ";";
  } else {
    cs = "DRIVER=" + (driver.find('/') != std::string::npos ? driver : "{" + driver + "}") + ";";
    const size_t comma = serverName.rfind(',');
    if (freeTds && OdbcSources::IsFreeTdsEntry(serverName)) {
      cs += "SERVERNAME=" + Braced(serverName) + ";";
    } else if (freeTds && comma != std::string::npos && AllDigits(serverName.substr(comma + 1))) {
      cs += "SERVER=" + Braced(serverName.substr(0, comma)) + ";PORT=" + serverName.substr(comma + 1) + ";";
    } else {
      cs += "SERVER=" + Braced(serverName) + ";";  // host, host\instance (the driver asks the browser)
    }
  }
  if (credentials.trusted) cs += "Trusted_Connection=Yes;";
  else cs += "UID=" + Braced(credentials.login) + ";PWD=" + (withPassword ? Braced(credentials.password) : "*") + ";";
  if (!database.empty()) cs += "DATABASE=" + Braced(database) + ";";
  cs += "APP=Vexilon;";
  if (freeTds || OdbcSources::IsDataSource(serverName)) cs += "TDS_Version=7.1;ClientCharset=UTF-8;";
  return cs;
}

std::unique_ptr<Session> OdbcSessionFactory::Open(const std::string& serverName, const Credentials& credentials,
                                                  const std::string& database) {
  if (serverName.empty())
    throw ComError(err::kServerUnreachable, "OdbcSession", "[DBNETLIB]SQL Server does not exist or access denied.");
  const std::string driver =
      OdbcSources::IsDataSource(serverName) ? OdbcSources::DataSourceDriver(serverName) : options_.driver;
  if (OdbcSources::IsSQLiteDriver(driver))
    throw ComError(err::kServerUnreachable, "OdbcSession", "[ODBC]The driver " + driver + " is not a SQL Server driver.");
  return std::make_unique<OdbcSession>(serverName, ConnectionText(serverName, credentials, database, true), options_);
}

}  // namespace vx::sqlserver
