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
  Column(std::string name = {}, Value::Kind kind = Value::Kind::Text, std::string sqlType = {})
      : name(std::move(name)), kind(kind), sqlType(std::move(sqlType)) {}
  std::string name;
  Value::Kind kind = Value::Kind::Text;  // declared kind; any cell may still be Null
  // The server's type of the column as T-SQL writes it ("int", "smallint", "datetime",
  // "nvarchar(128)", "varbinary(8000)", "ntext"), "" where the session does not know it.
  std::string sqlType;
};

// One result set, fully read (client side).
struct ResultSet {
  std::vector<Column> columns;
  std::vector<std::vector<Value>> rows;
  // The declared type of a column (Column::sqlType), "" for a column it does not have.
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

// The rows of one result set, read once or, after Rewind, again from the first.
class RowCursor {
 public:
  virtual ~RowCursor() = default;
  // The next row, or false after the last.
  virtual bool Next(std::vector<Value>& row) = 0;
  virtual void Rewind() = 0;
};

// Receives what a batch produces in the order the server produces it: result
// sets and messages (PRINT, informational and errors) in their place among them.
class ResultSink {
 public:
  virtual ~ResultSink() = default;
  // One result set; the rows are valid only during the call. A sink may raise
  // here to stop the batch (which then fails as a whole).
  virtual void ResultSet(const std::vector<Column>& columns, RowCursor& rows) = 0;
  // Never raises.
  virtual void Message(const ServerMessage& message) = 0;
};

// A value given to a batch by name ("@id"), as a procedure call's parameter is:
// the batch refers to it as a variable and never sees it as text.
struct Parameter {
  std::string name;
  Value value;
  // The value's type as the server declares it ("datetime", "varbinary(8000)",
  // "int"), "" where the caller does not know it.
  std::string sqlType;
  // The type the value was sent as when the statement declares the parameter as
  // another (sp_executesql): the server converts it to sqlType. "" when it has sqlType.
  std::string sentType;
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
  // The current database and whether NOCOUNT is on, as the session keeps them, so
  // a client can follow their changes where they happen; asked between the
  // statements of a batch (from its sink, on the thread running it). False when
  // the session does not keep them (the server is then asked after the batch).
  virtual bool CurrentState(std::string& /*database*/, bool& /*noCount*/) { return false; }
  // The server's version as its driver reported it at login ("8.00.2039"), or
  // "" when the session has no such report (the server is then asked).
  virtual std::string ServerVersion() const { return {}; }
  // Runs one batch with parameters, handing its results over as they come. The
  // default runs Execute and hands over its results, messages last; it refuses
  // parameters with an error message, as a session that cannot bind them.
  virtual void Run(std::string_view batch, const std::vector<Parameter>& parameters, ResultSink& sink);
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
