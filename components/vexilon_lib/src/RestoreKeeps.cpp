#include "RestoreKeeps.h"

#include <algorithm>

#include "AlterHeader.h"
#include "CatalogueQueries.h"
#include "EngineObjects.h"
#include "EngineScripts.h"
#include "EngineText.h"
#include "archive/Connection.h"
#include "automation/ComError.h"
#include "sqlserver/ProgrammableObject.h"
#include "sqlserver/Quoting.h"
#include "sqlserver/Recordset.h"
#include "sqlserver/SQLServer.h"
#include "vexilon_lib/CVexilon.h"
#include "vexilon_lib/basParse.h"

namespace calls = vexilon::archive_calls;

namespace vexilon {

namespace {

constexpr const char* kGo = "\r\nGO\r\n";

const char* ActionWord(int32_t action) {
  switch (action) {
    case 26: return "REFERENCES";
    case 193: return "SELECT";
    case 195: return "INSERT";
    case 196: return "DELETE";
    case 197: return "UPDATE";
    case 224: return "EXECUTE";
  }
  return nullptr;
}

std::string Qualified(const std::string& owner, const std::string& name) {
  return vx::sqlserver::Bracket(owner) + "." + vx::sqlserver::Bracket(name);
}

}  // namespace

std::string Keeps::Script() const {
  std::string s;
  for (const KeptTrigger& t : triggers) s += t.script;
  return s + permissions;
}

std::optional<std::string> PermissionStatement(int32_t action, int32_t protectType,
                                               const std::vector<std::string>& columns, const std::string& grantee,
                                               const std::string& object) {
  const char* word = ActionWord(action);
  if (!word || protectType < 204 || protectType > 206) return std::nullopt;
  std::string list;
  for (const std::string& c : columns) list += (list.empty() ? " (" : ", ") + vx::sqlserver::Bracket(c);
  if (!list.empty()) list += ")";
  std::string s = std::string(protectType == 206 ? "DENY " : "GRANT ") + word + " ON " + object + list + " TO " +
                  vx::sqlserver::Bracket(grantee);
  if (protectType == 204) s += " WITH GRANT OPTION";
  return s + kGo;
}

std::string EncryptAgainScript(const std::string& owner, const std::string& name, const std::string& text,
                               bool quotedIdentifierOn, bool ansiNullsOn) {
  const std::string alter = basParse::GenerateTriggerEncryptionScript(text, name);
  if (!HeaderCarriesEncryption(alter)) return {};
  // As the create script does: an object of another owner than dbo is
  // altered as its owner, so that its unqualified names resolve as they did.
  const bool otherOwner = owner != "dbo";
  std::string s = SetPreamble(quotedIdentifierOn, ansiNullsOn);
  if (otherOwner) s += "setuser " + vx::sqlserver::NLiteral(owner) + kGo;
  s += alter + kGo;
  if (otherOwner) s += std::string("setuser") + kGo;
  return s;
}

}  // namespace vexilon

std::string CVexilon::ViewIndexes(int32_t lngDatabaseID, int32_t lngID) const {
  std::string names;
  vx::sqlserver::Recordset rs = CatalogueQuery(lngDatabaseID, vexilon::catalogue::ViewIndexesQuery(lngID));
  for (; !rs.IsEOF(); rs.MoveNext()) names += (names.empty() ? "" : ", ") + rs.Field("name").AsText();
  return names;
}

std::vector<std::string> CVexilon::PermissionColumns(int32_t lngDatabaseID, int32_t lngID, int32_t uid,
                                                     int32_t action, int32_t bytes) const {
  std::vector<int32_t> colids;
  if (bytes <= 0 || bytes > 4000) return {};
  vx::sqlserver::Recordset rs =
      CatalogueQuery(lngDatabaseID, vexilon::catalogue::PermissionColumnBytesQuery(lngID, uid, action, bytes));
  if (rs.IsEOF()) return {};
  for (int32_t i = 0; i < bytes; ++i) {
    const int32_t byte = rs.Field("b" + std::to_string(i + 1)).AsInt32();
    for (int32_t bit = 0; bit < 8; ++bit)
      if ((byte >> bit) & 1) colids.push_back(i * 8 + bit);
  }
  if (colids.empty() || colids.front() == 0) return {};  // bit 0 is the whole object, read as such before
  vx::sqlserver::Recordset names = CatalogueQuery(lngDatabaseID, vexilon::catalogue::ColumnNamesQuery(lngID, colids));
  std::vector<std::string> columns;
  if (names.IsEOF()) return {};
  for (std::size_t i = 0; i < colids.size(); ++i) {
    const vx::sqlserver::Value& name = names.Field("c" + std::to_string(i + 1));
    if (name.IsNull()) return {};
    columns.push_back(name.AsText());
  }
  return columns;
}

vexilon::Keeps CVexilon::WhatTheDropTakes(int32_t lngDatabaseID, int32_t lngID, int32_t objectType,
                                          const std::string& ownerName, const std::string& objectName,
                                          vx::archive::Connection& connection) const {
  vexilon::Keeps keeps;
  const std::string serverName = Server().Name();
  auto refuse = [&](const std::string& why) {
    keeps.refusal = "Restore error: " + why + "; nothing was changed and the archive row is kept";
    return keeps;
  };
  try {
    if (objectType == ENU_OBT_VIEW) {
      const std::string indexes = ViewIndexes(lngDatabaseID, lngID);
      if (!indexes.empty())
        return refuse("the view has indexes (" + indexes + ") that dropping it would remove");

      vx::sqlserver::Recordset triggers =
          CatalogueQuery(lngDatabaseID, vexilon::catalogue::TriggersOfQuery(lngID));
      for (; !triggers.IsEOF(); triggers.MoveNext()) {
        vexilon::KeptTrigger kept;
        const int32_t id = triggers.Field("id").AsInt32();
        kept.name = triggers.Field("name").AsText();
        kept.owner = triggers.Field("owner").AsText();
        const std::string named = "the trigger " + kept.owner + "." + kept.name + " on the view";
        auto trigger = vexilon::FetchObject(Server(), ENU_OBT_TRIGGER, lngDatabaseID, id, lngID);
        if (trigger->Encrypted() != vx::kTrue) {
          kept.script = trigger->Script(vx::sqlserver::kScriptPrimaryObject);
          keeps.triggers.push_back(std::move(kept));
          continue;
        }
        // An encrypted trigger is put back from its archive row and encrypted again.
        vx::archive::Recordset rs = connection.OpenRecordset(
            calls::kGetArchivedObject, calls::ArchivedObjectKey(serverName, lngDatabaseID, id));
        if (rs.IsEOF())
          return refuse(named + " is encrypted and its text is not in the archive, so it could not be created "
                                "again");
        calls::ArchivedObjectValues v;
        v.id = id;
        v.serverName = serverName;
        v.databaseId = lngDatabaseID;
        v.ownerName = kept.owner;
        v.objectType = ENU_OBT_TRIGGER;
        v.objectName = kept.name;
        auto text = [&](const char* field) {
          return rs.Field(field).IsNull() ? std::string() : rs.Field(field).ToText();
        };
        v.script = text("Script");
        v.dropScriptHeader = text("DropScriptHeader");
        v.dropScript = text("DropScript");
        v.createScriptHeader = text("CreateScriptHeader");
        v.createScript = text("CreateScript");
        v.createDate = rs.Field("CreateDate").ToDate();
        v.schemaVersion = rs.Field("SchemaVersion").ToLong();
        auto on = [&](const char* field) { return !rs.Field(field).IsNull() && rs.Field(field).ToBool(); };
        v.quotedIdentifierOn = on("QuotedIdentifierStatus");
        v.ansiNullsOn = on("AnsiNullsStatus");
        kept.rowId = rs.Field("RowID").ToLong();
        if (v.schemaVersion < triggers.Field("schema_ver").AsInt32())
          return refuse(named + " has been altered since its text was archived, so it could not be created again "
                                "as it is");
        const std::string again =
            vexilon::EncryptAgainScript(kept.owner, kept.name, v.script, v.quotedIdentifierOn, v.ansiNullsOn);
        if (v.createScript.empty() || again.empty())
          return refuse(named + " could not be encrypted again from its archived text");
        kept.script = v.createScript + again;
        v.alterScript = again;
        kept.row = std::move(v);
        keeps.triggers.push_back(std::move(kept));
      }
    }

    // A trigger holds no permissions of its own.
    if (objectType == ENU_OBT_TRIGGER) return keeps;
    vx::sqlserver::Recordset rs = CatalogueQuery(lngDatabaseID, vexilon::catalogue::PermissionsQuery(lngID));
    const std::string object = vexilon::Qualified(ownerName, objectName);
    for (; !rs.IsEOF(); rs.MoveNext()) {
      const bool all = rs.Field("allcolumns").AsInt32() == 1;
      const std::string grantee = rs.Field("grantee").AsText();
      const int32_t action = rs.Field("action").AsInt32();
      const std::string named = "the permission with action " + rs.Field("action").AsText() + " and protect type " +
                                rs.Field("protecttype").AsText() + " for " + grantee;
      std::vector<std::string> columns;
      if (!all) {
        columns = PermissionColumns(lngDatabaseID, lngID, rs.Field("uid").AsInt32(), action,
                                    rs.Field("columnbytes").AsInt32());
        if (columns.empty()) return refuse(named + " is held on single columns that could not be named");
      }
      const std::optional<std::string> statement =
          vexilon::PermissionStatement(action, rs.Field("protecttype").AsInt32(), columns, grantee, object);
      if (!statement) return refuse(named + " could not be applied again");
      keeps.permissions += *statement;
    }
  } catch (const vx::ComError& e) {
    return refuse("what the object holds on the server (triggers, permissions, indexes) could not be read (" +
                  vexilon::ErrorText(e) + ")");
  }
  return keeps;
}

std::vector<const vexilon::KeptTrigger*> CVexilon::MoveTriggerRows(const vexilon::Keeps& keeps, int32_t lngDatabaseID,
                                                                   vx::archive::Connection& connection) const {
  std::vector<const vexilon::KeptTrigger*> stayed;
  for (const vexilon::KeptTrigger& kept : keeps.triggers) {
    if (!kept.row) continue;
    try {
      vx::sqlserver::Recordset rs = CatalogueQuery(
          lngDatabaseID, vexilon::catalogue::NamedObjectQuery(ENU_OBT_TRIGGER, kept.owner, kept.name));
      if (rs.IsEOF()) {
        stayed.push_back(&kept);
        continue;
      }
      calls::ArchivedObjectValues v = *kept.row;
      const int32_t oldId = v.id;
      v.id = rs.Field("id").AsInt32();
      v.tableId = rs.Field("parent_obj").AsInt32();
      // The row holds the text of the trigger as the server now has it.
      vx::sqlserver::Recordset live = CatalogueQuery(lngDatabaseID, vexilon::catalogue::SchemaVersionQuery(v.id));
      if (!live.IsEOF()) v.schemaVersion = std::max(v.schemaVersion, live.Field("schema_ver").AsInt32());
      // Added before the old row goes: a failure in between leaves both rows.
      connection.Execute(calls::kAddArchivedObject, calls::AddArchivedObject(v));
      calls::DeleteRow(connection, v.serverName, lngDatabaseID, oldId, kept.rowId);
    } catch (const std::exception&) {
      stayed.push_back(&kept);
    }
  }
  return stayed;
}
