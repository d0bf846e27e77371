// Putting an encrypted object back from the archive: its archived drop and
// create scripts run inside a named server transaction, and its archive row is
// deleted in an archive transaction that commits only after the server's.
#include <optional>

#include "ArchiveCalls.h"
#include "EngineScripts.h"
#include "archive/Connection.h"
#include "archive/Parameter.h"
#include "automation/ErrorNumbers.h"
#include "sqlserver/Database.h"
#include "sqlserver/Databases.h"
#include "sqlserver/SQLServer.h"
#include "sqlserver/Table.h"
#include "vexilon_lib/CVexilon.h"

namespace calls = vexilon::archive_calls;

namespace {

constexpr const char* kTransactionName = "VEXILON";

bool IsObjectType(int32_t type) { return type >= ENU_OBT_STORED_PROCEDURE && type <= ENU_OBT_VIEW; }

std::string TextOrEmpty(const vx::archive::Value& v) { return v.IsNull() ? std::string() : v.ToText(); }

}  // namespace

ENU_RESTORE_RESULT CVexilon::RestoreObject(int32_t lngDatabaseID, int32_t lngID, const std::string& strObjectName,
                                           const std::string& strOwnerName, ENU_OBJECT_TYPES enuObjectType,
                                           vx::VbBool blnIgnoreArchiveOlder) {
  vx::sqlserver::SQLServer& server = Server();
  std::optional<vx::archive::Connection> connection(OpenArchive());
  vx::archive::Recordset rs = connection->OpenRecordset(
      calls::kGetArchivedObject, calls::ArchivedObjectKey(server.Name(), lngDatabaseID, lngID));

  std::string serverScript, objectName, ownerName;
  int32_t objectType = 0, schemaVersion = 0, tableId = 0;
  const bool found = !rs.IsEOF();
  if (found) {
    const std::string databaseName = DatabaseByID(lngDatabaseID)->Name();
    serverScript = vexilon::UseDatabaseBatch(databaseName) + "\r\n" + TextOrEmpty(rs.Field("DropScript")) +
                   TextOrEmpty(rs.Field("CreateScript"));
    objectName = rs.Field("ObjectName").ToText();
    ownerName = rs.Field("OwnerName").ToText();
    objectType = rs.Field("ObjectType").ToLong();
    schemaVersion = rs.Field("SchemaVersion").ToLong();
    if (!rs.Field("TableID").IsNull()) tableId = rs.Field("TableID").ToLong();
  }
  rs.Close();

  // One log item of this call; written after the archive connection is closed.
  auto log = [&](int32_t type, const std::string& owner, const std::string& name, const std::string& message,
                 const std::string& script, int32_t table) {
    if (!IsObjectType(type)) return;
    const std::string tableName =
        type == ENU_OBT_TRIGGER ? DatabaseByID(lngDatabaseID)->Tables().ItemByID(table)->Name() : "";
    AddLogItem(vx::OleNow(), server.Name(), DatabaseByID(lngDatabaseID)->Name(), owner,
               static_cast<ENU_OBJECT_TYPES>(type), name, message, script, tableName);
  };

  if (!found) {
    errorsExist_ = vx::kTrue;
    connection->Close();
    connection.reset();
    if (IsObjectType(enuObjectType))
      AddLogItem(vx::OleNow(), server.Name(), DatabaseByID(lngDatabaseID)->Name(), strOwnerName, enuObjectType,
                 strObjectName, "Restore error", "Restore script does not exist in archive", "");
    return ENU_RES_FAILED;
  }

  const int32_t liveVersion = GetObjectSchemaVersion(lngDatabaseID, lngID).lngSchemaVersion;
  if (blnIgnoreArchiveOlder == vx::kFalse && schemaVersion < liveVersion) {
    connection->Close();
    connection.reset();
    log(enuObjectType, strOwnerName, strObjectName, "Restore Warning",
        "Archive database object is older than current database object", tableId);
    return ENU_RES_ARCHIVE_VERSION_OLDER;
  }

  connection->BeginTrans();
  connection->Execute(calls::kDeleteArchivedObject, calls::ArchivedObjectKey(server.Name(), lngDatabaseID, lngID));

  // From here on nothing is raised: failures are noted and reported in the log.
  vx::ComError noted(0, "", "");
  bool failed = vexilon::Note([&] { server.BeginTransaction(kTransactionName); }, noted);
  if (!failed)
    failed = vexilon::Note(
        [&] { server.ExecuteImmediate(serverScript, 0, vx::archive::CharacterCount(serverScript)); }, noted);
  // The archive row goes only when the server has committed the restored object.
  if (!failed) failed = vexilon::Note([&] { server.CommitTransaction(kTransactionName); }, noted);

  ENU_RESTORE_RESULT result = ENU_RES_SUCCESSFUL;
  // Failures after the first are not reported: the log keeps the one that
  // explains why the object was not restored.
  vx::ComError later(0, "", "");
  if (failed) {
    vexilon::Note([&] { server.RollbackTransaction(kTransactionName); }, later);
    vexilon::Note([&] { connection->RollbackTrans(); }, later);
    errorsExist_ = vx::kTrue;
    result = static_cast<ENU_RESTORE_RESULT>(0);
  } else {
    // A failed archive commit leaves the object restored and its row in place.
    vexilon::Note([&] { connection->CommitTrans(); }, later);
  }
  vexilon::Note([&] { connection->Close(); }, later);
  connection.reset();

  const std::string message =
      failed ? "Restore error:" + vexilon::ErrorText(noted) : std::string("Restored succesfully");
  vexilon::Note([&] { log(objectType, ownerName, objectName, message, serverScript, tableId); }, later);
  return result;
}
