// Encryption of one object, with or without keeping it in the archive first.
// One flow serves the four kinds; a kind only changes how the object is found,
// which rewrite runs, the text fix of stored procedures and the log's words.
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "AlterHeader.h"
#include "ArchiveCalls.h"
#include "CatalogueQueries.h"
#include "EngineObjects.h"
#include "EngineScripts.h"
#include "archive/Connection.h"
#include "archive/Parameter.h"
#include "automation/DateText.h"
#include "automation/ErrorNumbers.h"
#include "sqlserver/Database.h"
#include "sqlserver/Databases.h"
#include "sqlserver/ProgrammableObject.h"
#include "sqlserver/Recordset.h"
#include "sqlserver/SQLServer.h"
#include "sqlserver/StoredProcedure.h"
#include "sqlserver/Table.h"
#include "sqlserver/Trigger.h"
#include "sqlserver/UserDefinedFunction.h"
#include "sqlserver/View.h"
#include "vexilon_lib/CVexilon.h"
#include "vexilon_lib/basParse.h"

namespace calls = vexilon::archive_calls;
using vx::sqlserver::ProgrammableObject;

struct CVexilon::EncryptKind {
  ENU_OBJECT_TYPES type;
  bool textFix;                 // stored procedures only
  const char* successMessage;   // without archiving
  std::string (*rewrite)(std::string_view text, std::string_view objectName);
};

namespace {

const CVexilon::EncryptKind kStoredProcedure{ENU_OBT_STORED_PROCEDURE, true, "Encrypted succesfully",
                                             basParse::GenerateStoredProcedureEncryptionScript};
const CVexilon::EncryptKind kTrigger{ENU_OBT_TRIGGER, false, "Encrypted successfully",
                                     basParse::GenerateTriggerEncryptionScript};
const CVexilon::EncryptKind kView{ENU_OBT_VIEW, false, "Encrypted successfully",
                                  basParse::GenerateViewEncryptionScript};
const CVexilon::EncryptKind kUserDefinedFunction{ENU_OBT_USER_DEFINED_FUNCTION, false, "Encrypted successfully",
                                                 basParse::GenerateUserDefinedFunctionEncryptionScript};

constexpr const char* kArchivedSuccess = "Archived and Encrypted successfully";
constexpr const char* kNotEncrypted = "Encryption error: failed to generate encryption script";
constexpr const char* kEncryptionError = "Encryption error:";
constexpr const char* kBodyDiffers = "; the rewritten body differs from the object's text, so nothing was changed";
constexpr const char* kOutcomeUnknown = " - outcome unknown: ";
constexpr const char* kSourceKept = "; the archived source is kept";
constexpr const char* kNumberedProcedure =
    "Encryption error: numbered procedures (name;1, name;2, ...) are not encrypted; nothing was changed";

constexpr const char* kIndexedView = "Encryption error: the view has indexes (";

// The scripts kept in the archive, in the order they are asked for.
constexpr int32_t kDropWithHeader = 131073;
constexpr int32_t kDrop = 1;
constexpr int32_t kCreateWithHeader = 131076;
constexpr int32_t kCreate = 4;

// The server step: the alter script, and once more as the object's owner when
// the server could not find a name (message 208). Returns the error noted last.
std::optional<vx::ComError> RunAlterScript(vx::sqlserver::SQLServer& server, int32_t databaseId,
                                           const ProgrammableObject& object, const std::string& script) {
  const int32_t length = vx::archive::CharacterCount(script);
  vx::ComError noted(0, "", "");
  if (!vexilon::Note([&] { server.ExecuteImmediate(script, 0, length); }, noted)) return std::nullopt;
  if (noted.Number() != vx::err::ServerMessage(208)) return noted;
  bool failed = false;
  failed |= vexilon::Note([&] { server.GetDatabases().ItemByID(databaseId)->SetUser(object.Owner()); }, noted);
  failed |= vexilon::Note([&] { server.ExecuteImmediate(script, 0, length); }, noted);
  failed |= vexilon::Note([&] { server.GetDatabases().ItemByID(databaseId)->SetUser(server.Login()); }, noted);
  if (!failed) return std::nullopt;
  return noted;
}

}  // namespace

vx::VbBool CVexilon::EncryptObject(const EncryptKind& kind, int32_t lngDatabaseID, int32_t lngID,
                                   int32_t lngTableID, bool archive) {
  vx::sqlserver::SQLServer& server = Server();
  const vexilon::ServerLogin login = vexilon::LoginOf(server);
  std::shared_ptr<ProgrammableObject> object =
      vexilon::FetchObject(server, kind.type, lngDatabaseID, lngID, lngTableID);
  std::string text = object->Text();
  if (kind.textFix) text = vexilon::FixProcedureText(text);

  // What the log item names, read while the connection is surely there.
  const std::string serverName = server.Name();
  const std::string databaseName = DatabaseByID(lngDatabaseID)->Name();
  const std::string tableName =
      kind.type == ENU_OBT_TRIGGER ? vexilon::FindTriggerParent(*DatabaseByID(lngDatabaseID), lngTableID).name : "";
  const std::string ownerName = object->Owner();
  const std::string objectName = object->Name();
  auto log = [&](const std::string& message, const std::string& script) {
    // The log item never turns the outcome on the server into an error.
    vx::ComError noted(0, "", "");
    vexilon::Note([&] { AddLogItem(vx::OleNow(), serverName, databaseName, ownerName, kind.type, objectName,
                                   message, script, tableName); },
                  noted);
  };

  // The numbers of a numbered procedure share one object: its text would be
  // joined into one and come back as one. Such a procedure is left alone.
  if (kind.type == ENU_OBT_STORED_PROCEDURE && IsNumberedProcedure(lngDatabaseID, lngID)) {
    errorsExist_ = vx::kTrue;
    log(kNumberedProcedure, text);
    return vx::kFalse;
  }

  // ALTER VIEW drops the view's indexes, and they are kept nowhere: an
  // indexed view is left as it is.
  if (kind.type == ENU_OBT_VIEW) {
    const std::string indexes = ViewIndexes(lngDatabaseID, lngID);
    if (!indexes.empty()) {
      errorsExist_ = vx::kTrue;
      log(std::string(kIndexedView) + indexes + ") that ALTER VIEW would remove; nothing was changed", text);
      return vx::kFalse;
    }
  }

  std::string dropScriptHeader, dropScript, createScriptHeader, createScript;
  if (archive) {
    dropScriptHeader = object->Script(kDropWithHeader, std::nullopt, 0);
    dropScript = object->Script(kDrop, std::nullopt, 0);
    createScriptHeader = object->Script(kCreateWithHeader, std::nullopt, 0);
    // The create script is the one with its header but for the header's line:
    // taken from it, the server reads the object's text and settings once.
    const size_t headerEnd = createScriptHeader.find("\r\n");
    createScript = headerEnd == std::string::npos ? object->Script(kCreate, std::nullopt, 0)
                                                  : createScriptHeader.substr(headerEnd + 2);
  }

  // The object's record as its reader gives it, but only the catalogue row (the
  // text was read above): with archiving it also gives the two settings the
  // server stored with the object, read once for the alter script and the row.
  UDT_OBJECT record;
  std::optional<bool> quotedIdentifier, ansiNulls;
  if (archive) {
    vx::sqlserver::Recordset rs =
        CatalogueQuery(lngDatabaseID, vexilon::catalogue::ObjectReaderQuery(kind.type, lngID));
    if (!rs.IsEOF()) {
      record.strCreateDate = vx::DateToText(rs.Field("crdate").AsDate());
      record.lngSchemaVersion = rs.Field("schema_ver").AsInt32();
      // OBJECTPROPERTY gives 1, 0 or NULL: only 1 is ON.
      auto on = [&](const char* field) { return !rs.Field(field).IsNull() && rs.Field(field).AsInt32() == 1; };
      quotedIdentifier = on("set_quoted_identifier");
      ansiNulls = on("set_ansi_nulls");
    }
  }
  const bool quotedIdentifierOn =
      quotedIdentifier ? *quotedIdentifier : object->QuotedIdentifierStatus() == vx::kTrue;
  const bool ansiNullsOn = ansiNulls ? *ansiNulls : object->AnsiNullsStatus() == vx::kTrue;
  std::string alterScript = vexilon::UseDatabaseBatch(databaseName);
  alterScript += quotedIdentifierOn ? "SET QUOTED_IDENTIFIER ON" : "SET QUOTED_IDENTIFIER OFF";
  alterScript += "\r\nGO\r\n";
  alterScript += ansiNullsOn ? "SET ANSI_NULLS ON" : "SET ANSI_NULLS OFF";
  alterScript += "\r\nGO\r\n";
  const std::string encryptionScript = kind.rewrite(text, objectName);
  alterScript += encryptionScript;

  // A script whose header lacks the option would leave the object readable
  // under an ALTER: it is not sent, and nothing changes.
  if (!vexilon::HeaderCarriesEncryption(encryptionScript)) {
    errorsExist_ = vx::kTrue;
    log(kNotEncrypted, alterScript);
    return vx::kFalse;
  }

  // The procedure rewrite changes the header alone: a body that is not the
  // text kept in the archive would put other code on the server.
  if (kind.type == ENU_OBT_STORED_PROCEDURE && !vexilon::BodyUnchanged(encryptionScript, text)) {
    errorsExist_ = vx::kTrue;
    log(std::string(kNotEncrypted) + kBodyDiffers, alterScript);
    return vx::kFalse;
  }

  // With archiving, the row is committed before the server is touched, so that
  // at no moment is the object encrypted without its source kept durably.
  int32_t rowId = 0;
  if (archive) {
    if (record.lngSchemaVersion > std::numeric_limits<int32_t>::max() - 16)
      throw vx::ComError(vx::err::kOverflow, "CVexilon", "Overflow");
    vx::archive::Connection connection = OpenArchive();
    connection.BeginTrans();
    calls::ArchivedObjectValues v;
    v.id = object->ID();
    v.serverName = serverName;
    v.databaseId = lngDatabaseID;
    v.ownerName = ownerName;
    v.objectType = kind.type;
    v.tableId = kind.type == ENU_OBT_TRIGGER ? lngTableID : 0;
    v.objectName = objectName;
    v.script = text;
    v.alterScript = alterScript;
    v.dropScriptHeader = dropScriptHeader;
    v.dropScript = dropScript;
    v.createScriptHeader = createScriptHeader;
    v.createScript = createScript;
    v.createDate = vx::TextToDateOrRaise(record.strCreateDate);
    v.schemaVersion = record.lngSchemaVersion + 16;
    v.quotedIdentifierOn = quotedIdentifierOn;
    v.ansiNullsOn = ansiNullsOn;
    connection.Execute(calls::kAddArchivedObject, calls::AddArchivedObject(v));
    const std::vector<calls::ArchivedRow> rows = calls::RowsOf(connection, serverName, lngDatabaseID, lngID);
    if (rows.empty())
      throw vx::ComError(vx::err::kUnspecified, "CVexilon", "The archive row just added cannot be read back.");
    rowId = rows.front().rowId;  // newest first: the row of this call
    connection.CommitTrans();
    connection.Close();
  }

  const std::optional<vx::ComError> failure = RunAlterScript(server, lngDatabaseID, *object, alterScript);
  // A second attempt cut short would leave the connection acting as the owner.
  if (failure) vexilon::RevertIdentity(server);

  // The outcome is what the server holds now, whatever the step reported: a
  // reply lost after the ALTER ran is not a failure of the ALTER.
  vexilon::ObjectLook look;
  if (server.Status() == 1) {
    // Still the connection the object was read on: it is looked at by its id
    // as held, without finding it again.
    look = vexilon::LookAtObject(*object, kind.type);
  } else if (vexilon::EnsureConnected(server, login)) {
    look = vexilon::LookAtObject(server, kind.type, lngDatabaseID, lngID, lngTableID);
  } else {
    look.why = "the server cannot be reached again";
  }

  object.reset();
  using State = vexilon::ObjectLook::State;
  const std::string failureText =
      std::string(kEncryptionError) + (failure ? vexilon::ErrorText(*failure) : std::string());
  vx::VbBool result = vx::kFalse;
  std::string message;
  if (look.state == State::Encrypted) {
    result = vx::kTrue;
    message = archive ? kArchivedSuccess : kind.successMessage;
    // This row supersedes the object's older ones.
    if (archive)
      DeleteArchivedRows(serverName, lngDatabaseID, lngID,
                         [&](int32_t row, const std::string&) { return row < rowId; });
  } else if (look.state == State::Readable && (!archive || look.text == text)) {
    message = failure ? failureText : std::string(kNotEncrypted);
    // The server holds the archived text readable: rows that keep that text go.
    if (archive)
      DeleteArchivedRows(serverName, lngDatabaseID, lngID,
                         [&](int32_t, const std::string& script) { return script == look.text; });
  } else if (look.state == State::Readable && !failure) {
    // The script ran and left the object readable, but not as it was read.
    message = std::string(kNotEncrypted) + "; the object's text has changed" + kSourceKept;
  } else {
    const std::string why = look.state == State::Readable ? "the object's text has changed since it was read"
                            : look.state == State::Missing ? "the object is no longer there"
                                                           : "the object cannot be read (" + look.why + ")";
    message = (failure ? failureText : std::string(kEncryptionError)) + kOutcomeUnknown + why +
              (archive ? kSourceKept : "");
  }
  if (result != vx::kTrue) errorsExist_ = vx::kTrue;
  log(message, alterScript);
  return result;
}

vx::VbBool CVexilon::EncryptStoredProcedure(int32_t lngDatabaseID, int32_t lngID) {
  return EncryptObject(kStoredProcedure, lngDatabaseID, lngID, 0, false);
}
vx::VbBool CVexilon::EncryptArchiveStoredProcedure(int32_t lngDatabaseID, int32_t lngID) {
  return EncryptObject(kStoredProcedure, lngDatabaseID, lngID, 0, true);
}
vx::VbBool CVexilon::EncryptArchiveTrigger(int32_t lngDatabaseID, int32_t lngID, int32_t lngTableID) {
  return EncryptObject(kTrigger, lngDatabaseID, lngID, lngTableID, true);
}
vx::VbBool CVexilon::EncryptTrigger(int32_t lngDatabaseID, int32_t lngID, int32_t lngTableID) {
  return EncryptObject(kTrigger, lngDatabaseID, lngID, lngTableID, false);
}
vx::VbBool CVexilon::EncryptView(int32_t lngDatabaseID, int32_t lngID) {
  return EncryptObject(kView, lngDatabaseID, lngID, 0, false);
}
vx::VbBool CVexilon::EncryptArchiveView(int32_t lngDatabaseID, int32_t lngID) {
  return EncryptObject(kView, lngDatabaseID, lngID, 0, true);
}
vx::VbBool CVexilon::EncryptUserDefinedFunction(int32_t lngDatabaseID, int32_t lngID) {
  return EncryptObject(kUserDefinedFunction, lngDatabaseID, lngID, 0, false);
}
vx::VbBool CVexilon::EncryptArchiveUserDefinedFunction(int32_t lngDatabaseID, int32_t lngID) {
  return EncryptObject(kUserDefinedFunction, lngDatabaseID, lngID, 0, true);
}
