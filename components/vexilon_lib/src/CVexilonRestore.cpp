// Putting an encrypted object back from the archive: its archived drop and
// create scripts run inside a named server transaction, and its archive row is
// deleted in an archive transaction that commits only after the server's.
//
// The newest row of an object is the one restored. An object that the server
// holds readable is never dropped: when it equals the row, an earlier restore
// finished and the row's life ends; when it differs, it is left alone. An
// encrypted object found by the row's name but under another id is not the
// row's own (a restore cut short left the row behind, and the object has been
// encrypted again since): it is newer than the row and is left alone too.
#include <cctype>
#include <optional>

#include "ArchiveCalls.h"
#include "EngineObjects.h"
#include "EngineScripts.h"
#include "RestoreKeeps.h"
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
constexpr const char* kRestored = "Restored succesfully";
constexpr const char* kReadableDiffers =
    "Restore error: the object on the server is readable and differs from its archived text; nothing was changed "
    "and the archive row is kept";

constexpr const char* kNotTheRowsObject =
    "Restore error: the encrypted object on the server is not the archived object (it has been re-created since "
    "it was archived); nothing was changed and the archive row is kept";

constexpr const char* kNumberedProcedure =
    "Restore error: numbered procedures (name;1, name;2, ...) are not restored; nothing was changed and the "
    "archive row is kept";

bool IsObjectType(int32_t type) { return type >= ENU_OBT_STORED_PROCEDURE && type <= ENU_OBT_VIEW; }

// True when the script may switch the connection's user (a create script of
// an object owned by another user than dbo does).
bool ContainsSetUser(const std::string& script) {
  std::string lower = script;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.find("setuser") != std::string::npos;
}

std::string TextOrEmpty(const vx::archive::Value& v) { return v.IsNull() ? std::string() : v.ToText(); }

}  // namespace

ENU_RESTORE_RESULT CVexilon::RestoreObject(int32_t lngDatabaseID, int32_t lngID, const std::string& strObjectName,
                                           const std::string& strOwnerName, ENU_OBJECT_TYPES enuObjectType,
                                           vx::VbBool blnIgnoreArchiveOlder) {
  vx::sqlserver::SQLServer& server = Server();
  const vexilon::ServerLogin login = vexilon::LoginOf(server);
  const std::string serverName = server.Name();
  std::optional<vx::archive::Connection> connection(OpenArchive());
  vx::archive::Recordset rs = connection->OpenRecordset(
      calls::kGetArchivedObject, calls::ArchivedObjectKey(serverName, lngDatabaseID, lngID));

  std::string serverScript, objectName, ownerName, archivedText;
  int32_t objectType = 0, schemaVersion = 0, tableId = 0, rowId = 0;
  const bool found = !rs.IsEOF();
  const std::string databaseName = DatabaseByID(lngDatabaseID)->Name();
  if (found) {  // the newest row
    serverScript = vexilon::UseDatabaseBatch(databaseName) + "\r\n" + TextOrEmpty(rs.Field("DropScript")) +
                   TextOrEmpty(rs.Field("CreateScript"));
    objectName = rs.Field("ObjectName").ToText();
    ownerName = rs.Field("OwnerName").ToText();
    objectType = rs.Field("ObjectType").ToLong();
    schemaVersion = rs.Field("SchemaVersion").ToLong();
    if (!rs.Field("TableID").IsNull()) tableId = rs.Field("TableID").ToLong();
    archivedText = TextOrEmpty(rs.Field("Script"));
    rowId = rs.Field("RowID").ToLong();
  }
  rs.Close();

  if (!found) {
    errorsExist_ = vx::kTrue;
    connection->Close();
    connection.reset();
    if (IsObjectType(enuObjectType))
      AddLogItem(vx::OleNow(), serverName, databaseName, strOwnerName, enuObjectType, strObjectName,
                 "Restore error", "Restore script does not exist in archive", "");
    return ENU_RES_FAILED;
  }

  // One log item of this call; written after the archive connection is closed,
  // and never raised: the outcome on the server is the call's result.
  auto tableNameOf = [&](int32_t type, int32_t table) {
    std::string name;
    if (type == ENU_OBT_TRIGGER) {
      vx::ComError ignored(0, "", "");
      vexilon::Note([&] { name = vexilon::FindTriggerParent(*DatabaseByID(lngDatabaseID), table).name; }, ignored);
    }
    return name;
  };
  const std::string tableName = tableNameOf(objectType, tableId);
  auto log = [&](int32_t type, const std::string& owner, const std::string& name, const std::string& message,
                 const std::string& script, const std::string& table) {
    if (!IsObjectType(type)) return;
    vx::ComError ignored(0, "", "");
    vexilon::Note([&] { AddLogItem(vx::OleNow(), serverName, databaseName, owner, static_cast<ENU_OBJECT_TYPES>(type),
                                   name, message, script, table); },
                  ignored);
  };
  auto lookAtTarget = [&] {
    return vexilon::LookAtNamedObject(server, static_cast<ENU_OBJECT_TYPES>(objectType), lngDatabaseID, tableId,
                                      ownerName, objectName);
  };
  using State = vexilon::ObjectLook::State;

  // The drop script drops by name: look at what it would drop.
  const vexilon::ObjectLook target = lookAtTarget();
  if (target.state == State::Unknown)
    throw vx::ComError(vx::err::kUnspecified, "CVexilon",
                       "The object " + ownerName + "." + objectName + " cannot be checked: " + target.why);
  // Dropping one number of a numbered procedure drops them all, and the
  // archive keeps their texts joined: such a procedure is left alone.
  if (target.state != State::Missing && objectType == ENU_OBT_STORED_PROCEDURE &&
      IsNumberedProcedure(lngDatabaseID, target.id)) {
    connection->Close();
    connection.reset();
    errorsExist_ = vx::kTrue;
    log(objectType, ownerName, objectName, kNumberedProcedure, serverScript, tableName);
    return ENU_RES_FAILED;
  }
  if (target.state == State::Readable) {
    connection->Close();
    connection.reset();
    if (target.text != archivedText) {
      errorsExist_ = vx::kTrue;
      log(objectType, ownerName, objectName, kReadableDiffers, serverScript, tableName);
      return ENU_RES_FAILED;
    }
    DeleteArchivedRows(serverName, lngDatabaseID, lngID,
                       [&](int32_t, const std::string& script) { return script == target.text; });
    log(objectType, ownerName, objectName, kRestored, serverScript, tableName);
    return ENU_RES_SUCCESSFUL;
  }

  if (target.state == State::Encrypted && target.id != lngID) {
    connection->Close();
    connection.reset();
    errorsExist_ = vx::kTrue;
    log(objectType, ownerName, objectName, kNotTheRowsObject, serverScript, tableName);
    return ENU_RES_FAILED;
  }

  const int32_t liveVersion = GetObjectSchemaVersion(lngDatabaseID, lngID).lngSchemaVersion;
  if (blnIgnoreArchiveOlder == vx::kFalse && schemaVersion < liveVersion) {
    connection->Close();
    connection.reset();
    log(enuObjectType, strOwnerName, strObjectName, "Restore Warning",
        "Archive database object is older than current database object",
        enuObjectType == ENU_OBT_TRIGGER ? tableNameOf(ENU_OBT_TRIGGER, tableId) : "");
    return ENU_RES_ARCHIVE_VERSION_OLDER;
  }

  // The drop takes with the object what hangs on it (a view's triggers, the
  // permissions): that is put back after the create, in the same server
  // transaction, or the object is not restored at all.
  vexilon::Keeps keeps;
  if (target.state == State::Encrypted) {
    keeps = WhatTheDropTakes(lngDatabaseID, lngID, objectType, ownerName, objectName, *connection);
    if (!keeps.refusal.empty()) {
      connection->Close();
      connection.reset();
      errorsExist_ = vx::kTrue;
      log(objectType, ownerName, objectName, keeps.refusal, serverScript, tableName);
      return ENU_RES_FAILED;
    }
    serverScript += keeps.Script();
  }

  connection->BeginTrans();
  calls::DeleteRow(*connection, serverName, lngDatabaseID, lngID, rowId);

  // From here on nothing is raised: failures are noted and reported in the log.
  vx::ComError noted(0, "", "");
  bool failed = vexilon::Note([&] { server.BeginTransaction(kTransactionName); }, noted);
  if (!failed)
    failed = vexilon::Note(
        [&] { server.ExecuteImmediate(serverScript, 0, vx::archive::CharacterCount(serverScript)); }, noted);
  // A create script that stopped after its SETUSER would leave the connection
  // acting as the owner: the connection's own identity comes back on every path.
  const bool switchesUser = ContainsSetUser(serverScript);
  if (switchesUser) vexilon::RevertIdentity(server);
  // The archive row goes only when the server has committed the restored object.
  if (!failed) failed = vexilon::Note([&] { server.CommitTransaction(kTransactionName); }, noted);

  // Failures after the first are not reported: the log keeps the one that
  // explains why the object was not restored.
  vx::ComError later(0, "", "");
  if (failed) {
    vexilon::Note([&] { server.RollbackTransaction(kTransactionName); }, later);
    if (switchesUser) vexilon::RevertIdentity(server);
    // A reply lost after the server committed is no failure: what counts is
    // whether the server now holds the archived text readable.
    if (vexilon::EnsureConnected(server, login)) {
      const vexilon::ObjectLook now = lookAtTarget();
      failed = !(now.state == State::Readable && now.text == archivedText);
    }
  }
  ENU_RESTORE_RESULT result = ENU_RES_SUCCESSFUL;
  std::vector<const vexilon::KeptTrigger*> stayed;
  if (failed) {
    vexilon::Note([&] { connection->RollbackTrans(); }, later);
    errorsExist_ = vx::kTrue;
    result = ENU_RES_FAILED;
  } else {
    // The rows of the view's encrypted triggers follow them to their new ids;
    // a row that cannot be moved stays where it was, and its log item says so.
    stayed = MoveTriggerRows(keeps, lngDatabaseID, *connection);
    // A failed archive commit leaves the object restored and its row in place.
    if (vexilon::Note([&] { connection->CommitTrans(); }, later)) {
      stayed.clear();
      for (const vexilon::KeptTrigger& kept : keeps.triggers)
        if (kept.row) stayed.push_back(&kept);
    }
  }
  vexilon::Note([&] { connection->Close(); }, later);
  connection.reset();

  const std::string message = failed ? "Restore error:" + vexilon::ErrorText(noted) : std::string(kRestored);
  log(objectType, ownerName, objectName, message, serverScript, tableName);
  for (const vexilon::KeptTrigger* kept : stayed) {
    errorsExist_ = vx::kTrue;
    log(ENU_OBT_TRIGGER, kept->owner, kept->name,
        "Restore error: the trigger was created again with its view and encrypted again, but its archive row "
        "could not be moved to its new id: the row stays in the archive under the trigger's old id",
        kept->script, objectName);
  }
  return result;
}
