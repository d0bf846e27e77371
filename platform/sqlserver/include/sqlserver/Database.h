#pragma once
// One database of a server, with its object collections. Metadata reads run on a
// second session of the same login, so they never disturb the state of the
// server object's own connection (current database, impersonated user,
// transaction).
#include <cstdint>
#include <memory>
#include <string>

#include "automation/VbBool.h"
#include "sqlserver/ObjectCollection.h"

namespace vx::sqlserver {

class StoredProcedure;
class View;
class Table;
class UserDefinedFunction;
namespace detail { struct ServerLink; }

class Database {
 public:
  Database(std::weak_ptr<detail::ServerLink> link, int32_t id, std::string name);
  ~Database();

  const std::string& Name() const { return name_; }
  int32_t ID() const { return id_; }

  // True when the login holds db_owner here (sysadmin counts). Raises
  // err::ServerMessage(916) when the login cannot access the database, and
  // err::kServerConnection when the connection is lost.
  VbBool IsDbOwner() const;
  // True when the login (or its impersonated user) is a member of db_ddladmin.
  // Raises as IsDbOwner.
  VbBool IsDdlAdmin() const;

  // The database user switch, on the server object's own connection: makes it
  // act as `userName` in this database ("USE [db]" then "SETUSER N'user'") until
  // switched again; unqualified names in the next ExecuteImmediate batches then
  // resolve among that user's objects first. Switching to the connection's login
  // name (or to "") reverts to the login's own identity (plain "SETUSER"; nothing is
  // sent when no switch is in effect, so reverting never fails).
  // Raises the server's error (e.g. 15247 when the login may not impersonate).
  void SetUser(const std::string& userName);

  ObjectCollection<StoredProcedure>& StoredProcedures();
  ObjectCollection<View>& Views();
  ObjectCollection<Table>& Tables();
  ObjectCollection<UserDefinedFunction>& UserDefinedFunctions();

 private:
  std::weak_ptr<detail::ServerLink> link_;
  int32_t id_;
  std::string name_;
  std::unique_ptr<ObjectCollection<StoredProcedure>> procedures_;
  std::unique_ptr<ObjectCollection<View>> views_;
  std::unique_ptr<ObjectCollection<Table>> tables_;
  std::unique_ptr<ObjectCollection<UserDefinedFunction>> functions_;
};

}  // namespace vx::sqlserver
