#pragma once
// The connection behind a server object and everything it hands out: the main
// session (ExecuteImmediate, transactions, the user switch) and a metadata
// session of the same login for catalogue reads, so reads never disturb the
// main session's current database, impersonated user or transaction.
#include <memory>
#include <string>

#include "sqlserver/Quoting.h"

#include "sqlserver/Session.h"

namespace vx::sqlserver::detail {

struct ServerLink {
  std::shared_ptr<SessionFactory> factory;
  std::string serverName;
  Credentials credentials;
  std::unique_ptr<Session> main;
  std::unique_ptr<Session> meta;
  std::string metaDatabase;
  std::string login;
  int32_t versionMajor = 0;
  int32_t versionMinor = 0;
  bool closed = false;
  bool established = false;  // Connect has finished: a failing re-open is a lost connection
  bool impersonating = false;  // a database user switch is in effect on the main session

  // Runs one batch on the main session; a lost connection raises err::kServerConnection.
  BatchResult RunMain(std::string_view batch);
  // Runs a query on the metadata session in `database` ("" = wherever it is) and
  // raises the server's first error; returns the first result set (empty when none).
  ResultSet Query(const std::string& database, const std::string& sql);
  bool Alive() const;
  void Close();
};

// The link of a member object; raises err::kServerConnection when it is gone.
std::shared_ptr<ServerLink> Lock(const std::weak_ptr<ServerLink>& link);

using vx::sqlserver::Bracket;
using vx::sqlserver::NLiteral;

}  // namespace vx::sqlserver::detail
