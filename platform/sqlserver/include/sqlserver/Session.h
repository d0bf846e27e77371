#pragma once
// The connection interface: one session on one server. A session runs one batch
// at a time (no "GO" splitting here) and hands back every result set and every
// message the server produced. Session state lives on the server side: current
// database, SET options, impersonated user, open transaction.
//
// Implementations: the simulated SQL Server 2000 (vx_sqlserver_sim) and real
// servers over ODBC (vx_sqlserver_odbc).
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sqlserver/Value.h"

namespace vx::sqlserver {

// One message of the server: informational (severity 10 or less, e.g. 2007 or
// a PRINT) or an error (severity 11 and above).
struct ServerMessage {
  int32_t number = 0;
  int severity = 0;
  int state = 1;
  int line = 1;
  std::string text;
  bool IsError() const noexcept { return severity > 10; }
};

struct Column {
  std::string name;
  Value::Kind kind = Value::Kind::Text;  // declared kind; any cell may still be Null
};

// One result set, fully read (client side).
struct ResultSet {
  std::vector<Column> columns;
  std::vector<std::vector<Value>> rows;
  // The server's type of each column as T-SQL writes it ("int", "smallint", "datetime",
  // "nvarchar(128)", "varbinary(8000)", "ntext"): empty, or one per column, "" where
  // the session does not know it.
  std::vector<std::string> sqlTypes;
  const std::string& SqlType(size_t column) const;
  void SetSqlType(size_t column, std::string type);

  // Index of the first column of that name (case-insensitive), -1 when none.
  int ColumnIndex(std::string_view name) const;
};

struct BatchResult {
  std::vector<ResultSet> resultSets;
  std::vector<ServerMessage> messages;
  // The first message with severity above 10, or nullptr when the batch succeeded.
  const ServerMessage* FirstError() const;
};

// Login of a new session. Trusted: the current operating-system user's Windows
// login; login and password are ignored.
struct Credentials {
  bool trusted = false;
  std::string login;
  std::string password;
};

class Session {
 public:
  virtual ~Session() = default;
  // Runs one batch. Server errors are reported in the result's messages (a batch
  // the server rejects changes nothing). A lost connection raises
  // ComError(err::kServerConnection = -2147221504).
  virtual BatchResult Execute(std::string_view batch) = 0;
  // False once the connection is lost or closed.
  virtual bool IsAlive() const = 0;
  // The server name the session was opened with.
  virtual const std::string& ServerName() const = 0;
  // Ends the session; an open transaction is rolled back. Never raises.
  virtual void Close() = 0;
  // Called from another thread while Execute runs: asks the batch to stop soon
  // (it then fails and what it did is rolled back). Never raises; no effect by default.
  virtual void Cancel() {}
  // The server's version as its driver reported it at login ("8.00.2039"), or
  // "" when the session has no such report (the server is then asked).
  virtual std::string ServerVersion() const { return {}; }
};

// Opens sessions on servers reached by name.
class SessionFactory {
 public:
  virtual ~SessionFactory() = default;
  // True when this factory knows a server of that name (case-insensitive).
  virtual bool HasServer(const std::string& serverName) const = 0;
  // Opens a session in `database` (empty: the login's default database).
  // Raises ComError:
  //  - err::kServerConnection (-2147221504) when the server refuses the login
  //    (18456 unknown login or wrong password, 18452 no Windows login);
  //  - err::ServerMessage(4060) when the login cannot open `database` (no access,
  //    or no such database: the server answers both alike);
  //  - err::ServerMessage(17) when there is no such server or it cannot be reached.
  virtual std::unique_ptr<Session> Open(const std::string& serverName, const Credentials& credentials,
                                        const std::string& database) = 0;
  // Names of the servers this factory can reach, in its own order.
  virtual std::vector<std::string> ServerNames() const = 0;
};

// The factory of SQLServer and CatalogConnection objects made without one: the
// factory last given to SetDefaultSessionFactory, else one that knows no server.
// Which server a name reaches (a simulated one or one over ODBC) is decided by
// the factory the program or the engine installs (sqlserver_connect/RoutingSessionFactory.h),
// never by the object model.
std::shared_ptr<SessionFactory> DefaultSessionFactory();
// Installs the process's default factory (nullptr: back to none).
void SetDefaultSessionFactory(std::shared_ptr<SessionFactory> factory);
// True once a factory was installed (the first engine installs its own when none is).
bool HasDefaultSessionFactory();

// Raises the server's first error of a batch as ComError(err::ServerMessage(n), source,
// "[Microsoft][ODBC SQL Server Driver][SQL Server]" + text). No error: returns.
void RaiseFirstError(const BatchResult& result, const std::string& source);

}  // namespace vx::sqlserver
