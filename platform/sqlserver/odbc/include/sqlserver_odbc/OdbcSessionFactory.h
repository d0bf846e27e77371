#pragma once
// Sessions on real SQL Servers over ODBC (unixODBC): FreeTDS's driver by default,
// or the driver named by $VEXILON_ODBC_DRIVER (a registered driver name or the
// path of a driver library). A server name may be an ODBC data source, an entry
// of freetds.conf, "host", "host\instance" or "host,port". Every connection
// asks for TDS 7.1 (SQL Server 2000's protocol) and UTF-8 on the client side,
// with a login timeout and a query timeout. A server name, login, password or
// database name goes into the connection string whole or not at all: one the
// driver would read otherwise (for FreeTDS, a "}" together with a ";" or a
// leading "{" or blank; a server name beginning or ending with a blank) is
// refused before any connection.
//
// Errors follow SessionFactory::Open; a batch that outlives the query timeout,
// a communication failure (SQLSTATE 08S01) or a dropped socket end the session
// with ComError(err::kServerConnection).
#include <memory>
#include <string>
#include <vector>

#include "sqlserver/Session.h"

namespace vx::sqlserver {

struct OdbcOptions {
  std::string driver;  // empty: $VEXILON_ODBC_DRIVER, else FreeTDS
  int loginTimeoutSeconds = 15;
  int queryTimeoutSeconds = 600;
};

class OdbcSessionFactory : public SessionFactory {
 public:
  explicit OdbcSessionFactory(OdbcOptions options = {});
  // Any non-empty name may name a server on the network.
  bool HasServer(const std::string& serverName) const override;
  std::unique_ptr<Session> Open(const std::string& serverName, const Credentials& credentials,
                                const std::string& database) override;
  // None: the network list is ServerList's (it asks the network).
  std::vector<std::string> ServerNames() const override { return {}; }
  // The ODBC connection string Open uses (for the log and for tests), without the password.
  std::string ConnectionText(const std::string& serverName, const Credentials& credentials,
                             const std::string& database, bool withPassword = false) const;

 private:
  OdbcOptions options_;
};

}  // namespace vx::sqlserver
