#pragma once
// Catalogue access (the role of an ADO connection through SQLOLEDB): opened from
// a connection string, runs one query text and hands back a disconnected row set.
#include <memory>
#include <string>

#include "sqlserver/ConnectionString.h"
#include "sqlserver/Recordset.h"
#include "sqlserver/Session.h"

namespace vx::sqlserver {

class SQLServer;
namespace detail { struct ServerLink; }

class CatalogConnection {
 public:
  explicit CatalogConnection(std::shared_ptr<SessionFactory> factory = nullptr);
  ~CatalogConnection();

  // Opens a session on the string's Data Source and Initial Catalog with its
  // credentials. userId/password, when not empty, take the place of the string's.
  // Raises: malformed string -> err::kArchiveConnectionString; login refused ->
  // err::kServerConnection; database cannot be opened (no access or no such
  // database) -> err::ServerMessage(4060); unknown server -> err::kServerUnreachable.
  void Open(const std::string& connectionString, const std::string& userId = "",
            const std::string& password = "", int32_t options = -1);
  // Runs the queries on the catalogue session `server` already holds, in
  // `database`: no login of its own. A connection that is gone (closed, lost, or
  // a server that stopped answering) raises err::kServerConnection.
  void Open(const SQLServer& server, const std::string& database);
  bool IsOpen() const;
  // Runs one query text; the first result set becomes the row set (an empty one
  // when the text returns none). A server error raises err::ServerMessage(n);
  // a lost connection err::kServerConnection; not open err::kRecordsetClosed.
  Recordset Execute(const std::string& queryText);
  // Never raises.
  void Close();

 private:
  std::shared_ptr<SessionFactory> factory_;
  std::unique_ptr<Session> session_;
  std::weak_ptr<detail::ServerLink> link_;
  std::string database_;
  bool attached_ = false;
};

}  // namespace vx::sqlserver
