#include "sqlserver_odbc/OdbcSessionFactory.h"

#include <cctype>
#include <cstdlib>

#include "OdbcSession.h"
#include "automation/ComError.h"
#include "sqlserver/ServerErrors.h"
#include "sqlserver_odbc/OdbcSources.h"

namespace vx::sqlserver {

namespace {
// A value of the connection string, read twice: by unixODBC's driver manager,
// which takes "}}" inside braces for one "}", and by the driver. FreeTDS's
// driver takes a braced value up to the first "};" and undoes nothing, so for
// it a value without "}" goes in braces (both readers end it at that "}") and
// a value holding "}" goes bare (both read it up to the next ";"). Any other
// driver follows the ODBC rule of doubled braces. What neither form carries
// whole is refused before any connection: nothing typed becomes a keyword.
std::string Braced(const std::string& value, bool freeTds, const char* what, int32_t error) {
  auto refuse = [&](const std::string& why) -> std::string {
    throw ComError(error, "OdbcSession", std::string("[ODBC]The ") + what +
                                             " cannot be given to the ODBC driver: it holds " + why + ".");
  };
  if (value.find('\0') != std::string::npos) return refuse("a NUL character");
  if (value.find_first_of(";{}=[]()*,?!@ \t") == std::string::npos && !value.empty()) return value;
  const bool closing = value.find('}') != std::string::npos;
  if (!freeTds || !closing) {
    std::string out = "{";
    for (char c : value) {
      out += c;
      if (c == '}') out += '}';
    }
    return out + "}";
  }
  if (value.find(';') != std::string::npos || std::string("{ \t").find(value.front()) != std::string::npos)
    return refuse("a \"}\" together with a \";\" or a leading \"{\" or blank, which its connection string "
                  "cannot carry");
  return value;
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
  const bool dsn = OdbcSources::IsDataSource(serverName);
  const bool freeTds = OdbcSources::IsFreeTdsDriver(dsn ? OdbcSources::DataSourceDriver(serverName) : driver);
  auto value = [&](const std::string& v, const char* what, int32_t error) { return Braced(v, freeTds, what, error); };
  auto server = [&](const std::string& v) {
    // No host, data source or freetds.conf entry begins or ends with a blank.
    if (!v.empty() && (std::isspace(static_cast<unsigned char>(v.front())) ||
                       std::isspace(static_cast<unsigned char>(v.back()))))
      throw ComError(err::kServerUnreachable, "OdbcSession",
                     "[ODBC]The server name cannot be given to the ODBC driver: it begins or ends with a blank.");
    return value(v, "server name", err::kServerUnreachable);
  };
  std::string cs;
  if (dsn) {
    cs = "DSN=" + server(serverName) + ";";
  } else {
    cs = "DRIVER=" + (driver.find('/') != std::string::npos ? driver : "{" + driver + "}") + ";";
    const size_t comma = serverName.rfind(',');
    if (freeTds && OdbcSources::IsFreeTdsEntry(serverName)) {
      cs += "SERVERNAME=" + server(serverName) + ";";
    } else if (freeTds && comma != std::string::npos && AllDigits(serverName.substr(comma + 1))) {
      cs += "SERVER=" + server(serverName.substr(0, comma)) + ";PORT=" + serverName.substr(comma + 1) + ";";
    } else {
      cs += "SERVER=" + server(serverName) + ";";  // host, host\instance (the driver asks the browser)
    }
  }
  if (credentials.trusted) cs += "Trusted_Connection=Yes;";
  else
    cs += "UID=" + value(credentials.login, "login name", err::kServerConnection) + ";PWD=" +
          (withPassword ? value(credentials.password, "password", err::kServerConnection) : "*") + ";";
  if (!database.empty()) cs += "DATABASE=" + value(database, "database name", err::kServerConnection) + ";";
  cs += "APP=Vexilon;";
  if (freeTds || dsn) cs += "TDS_Version=7.1;ClientCharset=UTF-8;";
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
