#pragma once
// Administration of one simulated SQL Server 2000 (for tests, tools/sqlsim and the
// demo set-up). Sessions on it are opened through SimSessionFactory or
// SimServer::OpenSession; several processes may share one server file.
//
// A new server holds master (1), tempdb (2), model (3), msdb (4) and the login
// "sa" (sysadmin) with the given password. User databases get ids from 5.
// Errors are vx::ComError: err::ServerMessage(n) for the server's own messages
// (e.g. 15025 login exists, 1801 database exists, 15023 user exists),
// err::kServerUnreachable when the server does not exist.
//
// What the simulator leaves out of SQL Server 2000: bodies of procedures, views,
// triggers and functions are kept, never run (EXEC of a user procedure succeeds
// without effect); user tables have no rows and cannot be queried; SELECT runs
// on SQLite after a light translation ('+' does not join strings, no variables
// but the parameters of a procedure call, no temporary tables, no dynamic SQL),
// its rows read as the client takes them; the collation ignores case (ASCII and
// Latin-1 letters) and trailing blanks, and orders other letters by code point;
// permissions are by role only: GRANT, DENY and REVOKE on objects are kept in
// sysprotects (dropped with the object, kept by ALTER) but never checked, and
// column and statement permissions are refused; indexes are kept for
// schema-bound views only (sysindexes holds no rows for tables; INDEX_COL,
// INDEXPROPERTY): an index on a table, index options and views the simulator
// cannot judge indexable are refused; a view's tables must exist, and what a schema-bound view or function
// references cannot be altered or dropped;
// nested roles, application roles, aliases and sysdepends are not kept; one lock
// covers a whole server file, taken at a transaction's first write (a writer
// waits for another writer as long as SET LOCK_TIMEOUT lets it, by default with
// no end; readers never wait); a failing statement rolls its whole batch back (as a compile error does,
// before any statement of the batch has run).

#include "sqlserver/Session.h"

namespace vx::sqlsim {

struct ServerOptions {
  int versionMajor = 8;                // 7 or 9 to test version checks
  std::string productVersion;          // default "8.00.2039" (major taken from versionMajor)
  std::string saPassword;              // password of "sa"
};

class SimServer {
 public:
  // Creates a new server file. Raises ComError(err::kInvalidProcedureCall) when a
  // server of that name (case-insensitive) exists or the name is empty.
  static SimServer Create(const std::string& name, const ServerOptions& options = {},
                          const std::string& folder = "");
  // Opens an existing server; raises err::kServerUnreachable when there is none,
  // and a ComError with a clear description when the file is not a simulated server.
  static SimServer Open(const std::string& name, const std::string& folder = "");
  // Removes a server's file (and its journal files). No error when missing.
  static void Remove(const std::string& name, const std::string& folder = "");

  const std::string& Name() const { return name_; }
  const std::string& Folder() const { return folder_; }
  const std::string& FilePath() const { return path_; }

  // Logins. A Windows login is "DOMAIN\user" (see CurrentWindowsLogin()).
  void AddSqlLogin(const std::string& login, const std::string& password,
                   const std::string& defaultDatabase = "master", bool sysadmin = false);
  void AddWindowsLogin(const std::string& login, bool sysadmin = false,
                       const std::string& defaultDatabase = "master");
  void SetSysadmin(const std::string& login, bool sysadmin);

  // Databases: returns the new id. The creating owner is dbo (sa).
  int32_t CreateDatabase(const std::string& name);
  // Adds a database user for a login (loginName empty: a user without login).
  void AddUser(const std::string& database, const std::string& userName, const std::string& loginName);
  // Lets guest in (or not).
  void SetGuestAccess(const std::string& database, bool enabled);
  // A user-defined database role.
  void AddRole(const std::string& database, const std::string& roleName);
  // Puts a user into a role (db_owner, db_ddladmin, ... or a user-defined role).
  void AddRoleMember(const std::string& database, const std::string& roleName, const std::string& userName);

  // Runs a T-SQL script as "sa" (GO-split), starting in `database`; stops at the
  // first failing batch and raises its error as err::ServerMessage(n).
  void RunScript(const std::string& script, const std::string& database = "master");

  // A session as the given login.
  std::unique_ptr<sqlserver::Session> OpenSession(const sqlserver::Credentials& credentials,
                                                  const std::string& database = "") const;

  // Breaks every live session of this server in this process: each of them then
  // raises err::kServerConnection (-2147221504) on every call.
  void BreakSessions() const;
  // Same, by server name (case-insensitive), for tests that hold no SimServer.
  static void BreakSessions(const std::string& name);

 private:
  SimServer(std::string name, std::string folder, std::string path);
  std::string name_;
  std::string folder_;
  std::string path_;
};

// The session factory of the simulated servers of one folder ("" = SimulatorFolder(),
// read each time a session is opened, so tests may set VEXILON_SIM_DIR late).
class SimSessionFactory : public sqlserver::SessionFactory {
 public:
  explicit SimSessionFactory(std::string folder = "");
  bool HasServer(const std::string& serverName) const override;
  std::unique_ptr<sqlserver::Session> Open(const std::string& serverName, const sqlserver::Credentials& credentials,
                                           const std::string& database) override;
  std::vector<std::string> ServerNames() const override;

 private:
  std::string folder_;
};

}  // namespace vx::sqlsim
