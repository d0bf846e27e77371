// Encryption of one object, with or without keeping it in the archive first.
// One flow serves the four kinds; a kind only changes how the object is found,
// which rewrite runs, the text fix of stored procedures and the log's words.
#include <cctype>
#include <limits>
#include <memory>
#include <optional>

#include "ArchiveCalls.h"
#include "EngineScripts.h"
#include "archive/Connection.h"
#include "archive/Parameter.h"
#include "automation/DateText.h"
#include "automation/ErrorNumbers.h"
#include "sqlserver/Database.h"
#include "sqlserver/Databases.h"
#include "sqlserver/ProgrammableObject.h"
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

// The scripts kept in the archive, in the order they are asked for.
constexpr int32_t kDropWithHeader = 131073;
constexpr int32_t kDrop = 1;
constexpr int32_t kCreateWithHeader = 131076;
constexpr int32_t kCreate = 4;

// Some generated procedures carry "-2147483648as insert RTblVersions", which
// the server accepts but the rewrite would misread: the first one (in any case)
// gets its blank back.
std::string FixProcedureText(const std::string& text) {
  static const std::string kFind = "-2147483648as insert rtblversions";
  static const std::string kReplacement = "-2147483648 as insert RTblVersions";
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const size_t at = lower.find(kFind);
  if (at == std::string::npos) return text;
  return text.substr(0, at) + kReplacement + text.substr(at + kFind.size());
}

std::shared_ptr<ProgrammableObject> FetchObject(vx::sqlserver::SQLServer& server, ENU_OBJECT_TYPES type,
                                                int32_t databaseId, int32_t id, int32_t tableId) {
  auto& databases = server.GetDatabases();
  switch (type) {
    case ENU_OBT_STORED_PROCEDURE:
      databases.ItemByID(databaseId)->StoredProcedures().Refresh();
      return databases.ItemByID(databaseId)->StoredProcedures().ItemByID(id);
    case ENU_OBT_TRIGGER:
      databases.ItemByID(databaseId)->Tables().ItemByID(tableId)->Triggers().Refresh();
      return databases.ItemByID(databaseId)->Tables().ItemByID(tableId)->Triggers().ItemByID(id);
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
  std::shared_ptr<ProgrammableObject> object = FetchObject(server, kind.type, lngDatabaseID, lngID, lngTableID);
  std::string text = object->Text();
  if (kind.textFix) text = FixProcedureText(text);

  std::string dropScriptHeader, dropScript, createScriptHeader, createScript;
  if (archive) {
    dropScriptHeader = object->Script(kDropWithHeader, std::nullopt, 0);
    dropScript = object->Script(kDrop, std::nullopt, 0);
    createScriptHeader = object->Script(kCreateWithHeader, std::nullopt, 0);
    createScript = object->Script(kCreate, std::nullopt, 0);
  }

  std::string alterScript = vexilon::UseDatabaseBatch(DatabaseByID(lngDatabaseID)->Name());
  alterScript += object->QuotedIdentifierStatus() == vx::kTrue ? "SET QUOTED_IDENTIFIER ON" : "SET QUOTED_IDENTIFIER OFF";
  alterScript += "\r\nGO\r\n";
  alterScript += object->AnsiNullsStatus() == vx::kTrue ? "SET ANSI_NULLS ON" : "SET ANSI_NULLS OFF";
  alterScript += "\r\nGO\r\n";
  alterScript += kind.rewrite(text, object->Name());

  // With archiving, the row is committed before the server is touched, so that
  // at no moment is the object encrypted without its source kept durably. A
  // failed outcome takes back the row this call added.
  bool rowAdded = false;
  bool rowsBefore = false;
  if (archive) {
    const UDT_OBJECT record = ReadObject(lngDatabaseID, lngID, kind.type);
    if (record.lngSchemaVersion > std::numeric_limits<int32_t>::max() - 16)
      throw vx::ComError(vx::err::kOverflow, "CVexilon", "Overflow");
    vx::archive::Connection connection = OpenArchive();
    connection.BeginTrans();
    calls::ArchivedObjectValues v;
    v.id = object->ID();
    v.serverName = server.Name();
    v.databaseId = lngDatabaseID;
    v.ownerName = object->Owner();
    v.objectType = kind.type;
    v.tableId = kind.type == ENU_OBT_TRIGGER ? lngTableID : 0;
    v.objectName = object->Name();
    v.script = text;
    v.alterScript = alterScript;
    v.dropScriptHeader = dropScriptHeader;
    v.dropScript = dropScript;
    v.createScriptHeader = createScriptHeader;
    v.createScript = createScript;
    v.createDate = vx::TextToDateOrRaise(record.strCreateDate);
    v.schemaVersion = record.lngSchemaVersion + 16;
    v.quotedIdentifierOn = object->QuotedIdentifierStatus() == vx::kTrue;
    v.ansiNullsOn = object->AnsiNullsStatus() == vx::kTrue;
    rowsBefore = !connection.OpenRecordset(calls::kGetArchivedObjectID,
                                           calls::ArchivedObjectKey(v.serverName, lngDatabaseID, v.id))
                       .IsEOF();
    connection.Execute(calls::kAddArchivedObject, calls::AddArchivedObject(v));
    connection.CommitTrans();
    connection.Close();
    rowAdded = true;
  }

  const std::optional<vx::ComError> failure = RunAlterScript(server, lngDatabaseID, *object, alterScript);
  vx::VbBool result = vx::kFalse;
  std::string message;
  if (failure) {
    message = std::string(kEncryptionError) + vexilon::ErrorText(*failure);
  } else if (object->Encrypted() != vx::kTrue) {
    message = kNotEncrypted;
  } else {
    result = vx::kTrue;
    message = archive ? kArchivedSuccess : kind.successMessage;
  }

  if (result != vx::kTrue) {
    // The object is as readable as before: the row of this call goes again. Rows
    // that were there before this call cannot be told from it and all stay.
    if (rowAdded && !rowsBefore) {
      vx::archive::Connection connection = OpenArchive();
      connection.BeginTrans();
      connection.Execute(calls::kDeleteArchivedObject,
                         calls::ArchivedObjectKey(server.Name(), lngDatabaseID, object->ID()));
      connection.CommitTrans();
      connection.Close();
    }
    errorsExist_ = vx::kTrue;
  }

  const std::string tableName =
      kind.type == ENU_OBT_TRIGGER ? DatabaseByID(lngDatabaseID)->Tables().ItemByID(lngTableID)->Name() : "";
  AddLogItem(vx::OleNow(), server.Name(), DatabaseByID(lngDatabaseID)->Name(), object->Owner(), kind.type,
             object->Name(), message, alterScript, tableName);
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
