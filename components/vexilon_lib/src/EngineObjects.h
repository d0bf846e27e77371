#pragma once
// Finding an object of the connected server again and looking at what the
// server holds of it: the steps the encryption and restore members take after
// the server step to learn its true outcome.
#include <cstdint>
#include <memory>
#include <string>

#include "vexilon_global/Types.h"

#include "sqlserver/ObjectCollection.h"

namespace vx::sqlserver {
class SQLServer;
class Database;
class ProgrammableObject;
class Trigger;
}  // namespace vx::sqlserver

namespace vexilon {

// The object of that kind and id, read from the server now (raises when there is none).
std::shared_ptr<vx::sqlserver::ProgrammableObject> FetchObject(vx::sqlserver::SQLServer& server,
                                                               ENU_OBJECT_TYPES type, int32_t databaseId,
                                                               int32_t id, int32_t tableId);

// What a trigger hangs on: a table, or a view for an INSTEAD OF trigger.
struct TriggerParent {
  std::string name;
  std::shared_ptr<vx::sqlserver::ObjectCollection<vx::sqlserver::Trigger>> triggers;
};
// The table or view of that id (raises the table look-up's error when it is neither).
TriggerParent FindTriggerParent(vx::sqlserver::Database& database, int32_t parentId);

// Some generated procedures carry "-2147483648as insert RTblVersions", which
// the server accepts but the rewrite would misread: the first one (in any case)
// gets its blank back. The archive keeps the fixed text.
std::string FixProcedureText(const std::string& text);

// What the server holds of one object.
struct ObjectLook {
  enum class State { Encrypted, Readable, Missing, Unknown };
  State state = State::Unknown;
  int32_t id = 0;
  std::string text;  // Readable: the text as the archive would keep it
  std::string why;   // Unknown: the error that stopped the look
};

// Looks at the object of that id.
ObjectLook LookAtObject(vx::sqlserver::SQLServer& server, ENU_OBJECT_TYPES type, int32_t databaseId, int32_t id,
                        int32_t tableId);
// Looks at an object already found, by its id on the connection it was read on
// (an object gone since then is Missing).
ObjectLook LookAtObject(const vx::sqlserver::ProgrammableObject& object, ENU_OBJECT_TYPES type);
// Looks at the object of that kind, owner and name (what a drop script by name hits).
ObjectLook LookAtNamedObject(vx::sqlserver::SQLServer& server, ENU_OBJECT_TYPES type, int32_t databaseId,
                             int32_t tableId, const std::string& owner, const std::string& name);

// How the server object logged in, so that a lost connection can be opened again.
struct ServerLogin {
  std::string serverName;
  bool secure = false;
  std::string login;
  std::string password;
};
ServerLogin LoginOf(vx::sqlserver::SQLServer& server);
// Connects the same server object again when its connection is lost; false
// when that fails. A live connection is left as it is.
bool EnsureConnected(vx::sqlserver::SQLServer& server, const ServerLogin& login);

// Puts the connection's own identity back after a script that may have
// switched it (SETUSER); failures are ignored.
void RevertIdentity(vx::sqlserver::SQLServer& server);

}  // namespace vexilon
