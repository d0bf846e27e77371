#pragma once
// The server object of the object model (in the role SQL-DMO's SQLServer plays):
// one connection to one server, shared by whoever holds the pointer.
//
// Errors (all vx::ComError):
//  - err::kServerConnection (-2147221504): login refused (18456/18452), connection
//    lost, or a member needing the connection called before Connect / after
//    DisConnect;
//  - err::ServerMessage(n) = -2147221504 + n: the server rejected a batch with
//    message n (208 gives -2147221296); the description carries the message text;
//  - err::ServerMessage(17): no server of that name / unreachable.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "sqlserver/Session.h"

namespace vx::sqlserver {

class Databases;
namespace detail { struct ServerLink; }

class SQLServer {
 public:
  // A server object that reaches servers through `factory` (default: DefaultSessionFactory()).
  explicit SQLServer(std::shared_ptr<SessionFactory> factory = nullptr);
  ~SQLServer();
  SQLServer(const SQLServer&) = delete;
  SQLServer& operator=(const SQLServer&) = delete;

  // Trusted login when True: set before Connect; login and password are then ignored.
  void SetLoginSecure(bool secure) { loginSecure_ = secure; }
  bool LoginSecure() const { return loginSecure_; }

  // Connects to the named server. Login/password omitted (nullopt) mean empty.
  // Raises as listed above; a failed Connect leaves the object unconnected.
  // Connecting an already connected object raises err::kServerConnection.
  void Connect(const std::string& serverName, const std::optional<std::string>& login = std::nullopt,
               const std::optional<std::string>& password = std::nullopt);
  // Ends the connection (an open transaction is rolled back). Never raises;
  // calling it when not connected does nothing.
  void DisConnect();
  // Same as DisConnect.
  void Close();
  bool IsConnected() const;

  // The name passed to Connect, unchanged ("" before the first Connect).
  const std::string& Name() const { return name_; }
  // The login of the connection: the SQL login name, or "DOMAIN\user" for a trusted
  // connection, as the server reports it (SUSER_SNAME()). Raises when not connected.
  std::string Login() const;
  // The password given to Connect (for the catalogue connection string).
  const std::string& Password() const { return password_; }
  // Major version number (8 for SQL Server 2000). Raises when not connected.
  int32_t VersionMajor() const;
  int32_t VersionMinor() const;
  // 1 = running; 0 = not connected or the connection is lost. Never raises.
  int32_t Status() const;

  // The databases of the server. Raises when not connected.
  Databases& GetDatabases();

  // Runs a command text split into batches at lines that hold only "GO" (any
  // case, blanks around allowed; a GO inside a comment or string is not a
  // separator), in order, on this connection; stops at the first batch the
  // server rejects and raises its error. execType 0 is the default (stop at the
  // first error); 2 (continue on error) runs every batch and raises the first
  // error at the end. length, when given, limits the command to its first
  // `length` characters. Informational messages (e.g. 2007) are not errors.
  void ExecuteImmediate(const std::string& command, int32_t execType = 0,
                        std::optional<int32_t> length = std::nullopt);

  // Named transaction on the connection (name may be empty). Everything
  // ExecuteImmediate runs in between belongs to it; rolling back undoes its DDL.
  // Commit/rollback without an open transaction raise ServerMessage(3902/3903).
  void BeginTransaction(const std::string& name = "");
  void CommitTransaction(const std::string& name = "");
  void RollbackTransaction(const std::string& name = "");

  // The connection's session, for the layer's own objects. Raises when not connected.
  std::shared_ptr<detail::ServerLink> Link() const;

 private:
  std::shared_ptr<SessionFactory> factory_;
  std::shared_ptr<detail::ServerLink> link_;
  std::unique_ptr<Databases> databases_;
  std::string name_;
  std::string password_;
  bool loginSecure_ = false;
};

}  // namespace vx::sqlserver
