#include "explorer/ExplorerKinds.h"

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "automation/OleDate.h"
#include "sqlserver/Database.h"
#include "sqlserver/Databases.h"
#include "sqlserver/SQLServer.h"
#include "vexilon_lib/CVexilon.h"

namespace {

void ThrowIfConnectionLost(CVexilon& engine);

// Logs an object the engine raised an error for and flags the run; a lost
// connection (raised as such, or an error with the connection gone) goes on to
// the caller.
void FailedItem(CVexilon& engine, int32_t databaseId, const UDT_OBJECT& object, const char* what,
                const vx::ComError& e) {
  if (e.Number() == vx::err::kServerConnection) throw;
  ThrowIfConnectionLost(engine);
  engine.SetErrorsExist(vx::kTrue);
  std::string server;
  if (auto s = engine.GetSQLServer()) server = s->Name();
  engine.AddLogItem(vx::OleNow(), server, ExplorerKinds::DatabaseName(engine, databaseId).toStdString(),
                    object.strOwnerName, object.enumObjectType, object.strObjectName,
                    std::string(what) + " " + e.Description(), "", object.strTableName);
}

// The engine reports some server failures as a failed result; when the server
// connection is gone as well, the run takes its lost-connection branch.
void ThrowIfConnectionLost(CVexilon& engine) {
  auto server = engine.GetSQLServer();
  if (server && server->Status() != 1)
    throw vx::ComError(vx::err::kServerConnection, "frmSQLServerExplorer", "The connection to the server was lost.");
}

}  // namespace

QString ExplorerKinds::WorkingText(ENU_OBJECT_TYPES kind, bool encrypt) {
  const QString verb = encrypt ? QStringLiteral("Encrypting ") : QStringLiteral("Restoring ");
  switch (kind) {
    case ENU_OBT_STORED_PROCEDURE: return verb + QStringLiteral("stored procedures...");
    case ENU_OBT_TRIGGER: return verb + QStringLiteral("triggers...");
    case ENU_OBT_USER_DEFINED_FUNCTION: return verb + QStringLiteral("user defined functions...");
    case ENU_OBT_VIEW: return verb + QStringLiteral("views...");
  }
  return {};
}

QString ExplorerKinds::StatusLabel(ENU_OBJECT_TYPES kind) {
  switch (kind) {
    case ENU_OBT_STORED_PROCEDURE: return QStringLiteral("Stored Procedures: ");
    case ENU_OBT_TRIGGER: return QStringLiteral("Triggers: ");
    case ENU_OBT_USER_DEFINED_FUNCTION: return QStringLiteral("User Defined Functions: ");
    case ENU_OBT_VIEW: return QStringLiteral("Views: ");
  }
  return {};
}

QString ExplorerKinds::DatabaseName(CVexilon& engine, int32_t databaseId) {
  try {
    if (auto s = engine.GetSQLServer()) return QString::fromStdString(s->GetDatabases().ItemByID(databaseId)->Name());
  } catch (const vx::ComError& e) {
    if (e.Number() == vx::err::kServerConnection) throw;
  }
  return {};
}

bool ExplorerKinds::Encrypt(CVexilon& engine, ENU_OBJECT_TYPES kind, bool archive, int32_t databaseId,
                            const UDT_OBJECT& object) {
  try {
    vx::VbBool r = vx::kFalse;
    switch (kind) {
      case ENU_OBT_STORED_PROCEDURE:
        r = archive ? engine.EncryptArchiveStoredProcedure(databaseId, object.lngID)
                    : engine.EncryptStoredProcedure(databaseId, object.lngID);
        break;
      case ENU_OBT_TRIGGER:
        r = archive ? engine.EncryptArchiveTrigger(databaseId, object.lngID, object.lngTableID)
                    : engine.EncryptTrigger(databaseId, object.lngID, object.lngTableID);
        break;
      case ENU_OBT_USER_DEFINED_FUNCTION:
        r = archive ? engine.EncryptArchiveUserDefinedFunction(databaseId, object.lngID)
                    : engine.EncryptUserDefinedFunction(databaseId, object.lngID);
        break;
      case ENU_OBT_VIEW:
        r = archive ? engine.EncryptArchiveView(databaseId, object.lngID) : engine.EncryptView(databaseId, object.lngID);
        break;
    }
    if (r == vx::kFalse) ThrowIfConnectionLost(engine);
    return r != vx::kFalse;
  } catch (const vx::ComError& e) {
    FailedItem(engine, databaseId, object, "Encryption error:", e);
    return false;
  }
}

int32_t ExplorerKinds::Restore(CVexilon& engine, int32_t databaseId, const UDT_OBJECT& object,
                               bool ignoreArchiveOlder) {
  try {
    const vx::VbBool errorsBefore = engine.GetErrorsExist();
    const int32_t r = engine.RestoreObject(databaseId, object.lngID, object.strObjectName, object.strOwnerName,
                                           object.enumObjectType, ignoreArchiveOlder ? vx::kTrue : vx::kFalse);
    if (engine.GetErrorsExist() != errorsBefore) ThrowIfConnectionLost(engine);
    return r;
  } catch (const vx::ComError& e) {
    FailedItem(engine, databaseId, object, "Restore error:", e);
    return 0;
  }
}
