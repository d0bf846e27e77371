#include "EngineObjects.h"

#include <cctype>

#include "CatalogueQueries.h"
#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "sqlserver/CatalogConnection.h"
#include "sqlserver/Database.h"
#include "sqlserver/Databases.h"
#include "sqlserver/Names.h"
#include "sqlserver/ProgrammableObject.h"
#include "sqlserver/Recordset.h"
#include "sqlserver/SQLServer.h"
#include "sqlserver/ServerErrors.h"
#include "sqlserver/StoredProcedure.h"
#include "sqlserver/Table.h"
#include "sqlserver/Trigger.h"
#include "sqlserver/UserDefinedFunction.h"
#include "sqlserver/View.h"

namespace vexilon {

using vx::sqlserver::ProgrammableObject;

std::shared_ptr<ProgrammableObject> FetchObject(vx::sqlserver::SQLServer& server, ENU_OBJECT_TYPES type,
                                                int32_t databaseId, int32_t id, int32_t tableId) {
  auto& databases = server.GetDatabases();
  switch (type) {
    case ENU_OBT_STORED_PROCEDURE:
      databases.ItemByID(databaseId)->StoredProcedures().Refresh();
      return databases.ItemByID(databaseId)->StoredProcedures().ItemByID(id);
    case ENU_OBT_TRIGGER: {
      const TriggerParent parent = FindTriggerParent(*databases.ItemByID(databaseId), tableId);
      parent.triggers->Refresh();
      return parent.triggers->ItemByID(id);
    }
    case ENU_OBT_VIEW:
      databases.ItemByID(databaseId)->Views().Refresh();
      return databases.ItemByID(databaseId)->Views().ItemByID(id);
    case ENU_OBT_USER_DEFINED_FUNCTION: {
      databases.Refresh();
      auto database = databases.ItemByID(databaseId);
      database->UserDefinedFunctions().Refresh();
      return database->UserDefinedFunctions().ItemByID(id);
    }
  }
  throw vx::ComError(vx::err::kInvalidProcedureCall, "CVexilon", "Invalid procedure call or argument");
}

TriggerParent FindTriggerParent(vx::sqlserver::Database& database, int32_t parentId) {
  try {
    std::shared_ptr<vx::sqlserver::Table> table = database.Tables().ItemByID(parentId);
    return {table->Name(), {table, &table->Triggers()}};
  } catch (const vx::ComError& e) {
    if (e.Number() != vx::err::kItemNotFound) throw;
    try {
      std::shared_ptr<vx::sqlserver::View> view = database.Views().ItemByID(parentId);
      return {view->Name(), {view, &view->Triggers()}};
    } catch (const vx::ComError& v) {
      if (v.Number() != vx::err::kItemNotFound) throw;
      throw e;
    }
  }
}

std::string FixProcedureText(const std::string& text) {
  static const std::string kFind = "-2147483648as insert rtblversions";
  static const std::string kReplacement = "-2147483648 as insert RTblVersions";
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const size_t at = lower.find(kFind);
  if (at == std::string::npos) return text;
  return text.substr(0, at) + kReplacement + text.substr(at + kFind.size());
}

namespace {

ObjectLook Look(const ProgrammableObject& object, ENU_OBJECT_TYPES type) {
  ObjectLook look;
  look.id = object.ID();
  if (object.Encrypted() == vx::kTrue) {
    look.state = ObjectLook::State::Encrypted;
    return look;
  }
  look.state = ObjectLook::State::Readable;
  look.text = object.Text();
  if (type == ENU_OBT_STORED_PROCEDURE) look.text = FixProcedureText(look.text);
  return look;
}

template <typename F>
ObjectLook Guarded(F&& f) {
  try {
    return f();
  } catch (const vx::ComError& e) {
    ObjectLook look;
    look.state = e.Number() == vx::err::kItemNotFound ? ObjectLook::State::Missing : ObjectLook::State::Unknown;
    look.why = std::to_string(e.Number()) + " " + e.Description();
    return look;
  } catch (const std::exception& e) {
    ObjectLook look;
    look.why = e.what();
    return look;
  }
}

}  // namespace

ObjectLook LookAtObject(vx::sqlserver::SQLServer& server, ENU_OBJECT_TYPES type, int32_t databaseId, int32_t id,
                        int32_t tableId) {
  return Guarded([&] { return Look(*FetchObject(server, type, databaseId, id, tableId), type); });
}

ObjectLook LookAtObject(const ProgrammableObject& object, ENU_OBJECT_TYPES type) {
  return Guarded([&] { return Look(object, type); });
}

ObjectLook LookAtNamedObject(vx::sqlserver::SQLServer& server, ENU_OBJECT_TYPES type, int32_t databaseId,
                             int32_t tableId, const std::string& owner, const std::string& name) {
  return Guarded([&] {
    auto& databases = server.GetDatabases();
    databases.Refresh();
    auto database = databases.ItemByID(databaseId);
    // The catalogue finds the name at once, however many objects the database
    // holds. Object names are unique per owner: a trigger of that name is the
    // one the drop script hits, on whatever table it is.
    vx::sqlserver::CatalogConnection catalogue;
    catalogue.Open(server, database->Name());
    vx::sqlserver::Recordset rs = catalogue.Execute(catalogue::NamedObjectQuery(type, owner, name));
    catalogue.Close();
    if (rs.IsEOF()) {
      ObjectLook look;
      look.state = ObjectLook::State::Missing;
      return look;
    }
    const int32_t id = rs.Field("id").AsInt32();
    const int32_t table = rs.Field("parent_obj").IsNull() ? tableId : rs.Field("parent_obj").AsInt32();
    return Look(*FetchObject(server, type, databaseId, id, table), type);
  });
}

ServerLogin LoginOf(vx::sqlserver::SQLServer& server) {
  ServerLogin login;
  login.serverName = server.Name();
  login.secure = server.LoginSecure();
  if (!login.secure) {
    login.login = server.Login();
    login.password = server.Password();
  }
  return login;
}

bool EnsureConnected(vx::sqlserver::SQLServer& server, const ServerLogin& login) {
  if (server.Status() == 1) return true;
  try {
    server.DisConnect();
    if (login.secure)
      server.Connect(login.serverName);
    else
      server.Connect(login.serverName, login.login, login.password);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void RevertIdentity(vx::sqlserver::SQLServer& server) {
  try {
    if (server.Status() == 1) server.ExecuteImmediate("SETUSER");
  } catch (const std::exception&) {
  }
}

}  // namespace vexilon
