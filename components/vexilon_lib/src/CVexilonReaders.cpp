// Reading one object of the connected server: its catalogue facts and its text
// headed by the SET lines of its settings.
#include <optional>

#include "CatalogueQueries.h"
#include "EngineObjects.h"
#include "EngineText.h"
#include "automation/DateText.h"
#include "sqlserver/Database.h"
#include "sqlserver/Databases.h"
#include "sqlserver/Recordset.h"
#include "sqlserver/SQLServer.h"
#include "sqlserver/StoredProcedure.h"
#include "sqlserver/Table.h"
#include "sqlserver/Trigger.h"
#include "sqlserver/UserDefinedFunction.h"
#include "sqlserver/View.h"
#include "vexilon_lib/CVexilon.h"

namespace {

// OBJECTPROPERTY gives 1, 0 or NULL: only 1 is ON.
bool IsOn(const vx::sqlserver::Value& v) { return !v.IsNull() && v.AsInt32() == 1; }

constexpr int32_t kScriptCreate = 4;

}  // namespace

UDT_OBJECT CVexilon::ReadObject(int32_t lngDatabaseID, int32_t lngID, ENU_OBJECT_TYPES kind) const {
  vx::sqlserver::Recordset rs = CatalogueQuery(lngDatabaseID, vexilon::catalogue::ObjectReaderQuery(kind, lngID));
  UDT_OBJECT o;
  if (rs.IsEOF()) return o;  // no such object: the empty record
  o.lngID = rs.Field("id").AsInt32();
  o.strObjectName = rs.Field("name").AsText();
  o.strOwnerName = rs.Field("owner").AsText();
  o.strCreateDate = vx::DateToText(rs.Field("crdate").AsDate());
  o.lngSchemaVersion = rs.Field("schema_ver").AsInt32();
  if (kind == ENU_OBT_TRIGGER) {
    o.lngTableID = rs.Field("tableid").AsInt32();
    o.strTableName = rs.Field("tablename").AsText();
  }
  const bool quotedIdentifier = IsOn(rs.Field("set_quoted_identifier"));
  const bool ansiNulls = IsOn(rs.Field("set_ansi_nulls"));

  std::string text;
  switch (kind) {
    case ENU_OBT_STORED_PROCEDURE: {
      auto db = DatabaseByID(lngDatabaseID);
      db->StoredProcedures().Refresh();
      text = db->StoredProcedures().ItemByID(lngID)->Text();
      break;
    }
    case ENU_OBT_VIEW: {
      auto db = DatabaseByID(lngDatabaseID);
      db->Views().Refresh();
      text = db->Views().ItemByID(lngID)->Text();
      break;
    }
    case ENU_OBT_USER_DEFINED_FUNCTION: {
      Server().GetDatabases().Refresh();
      auto db = DatabaseByID(lngDatabaseID);
      db->UserDefinedFunctions().Refresh();
      text = db->UserDefinedFunctions().ItemByID(o.lngID)->Script(kScriptCreate, std::nullopt, 0);
      break;
    }
    case ENU_OBT_TRIGGER: {
      auto db = DatabaseByID(lngDatabaseID);
      const vexilon::TriggerParent parent = vexilon::FindTriggerParent(*db, o.lngTableID);
      parent.triggers->Refresh();
      text = parent.triggers->ItemByID(lngID)->Text();
      break;
    }
  }
  o.strScript = vexilon::ScriptWithPreamble(quotedIdentifier, ansiNulls, text);
  o.enumObjectType = kind;
  rs.Close();
  return o;
}

UDT_OBJECT CVexilon::GetStoredProcedure(int32_t lngDatabaseID, int32_t lngID) {
  return ReadObject(lngDatabaseID, lngID, ENU_OBT_STORED_PROCEDURE);
}
UDT_OBJECT CVexilon::GetView(int32_t lngDatabaseID, int32_t lngID) {
  return ReadObject(lngDatabaseID, lngID, ENU_OBT_VIEW);
}
UDT_OBJECT CVexilon::GetUserDefinedFunction(int32_t lngDatabaseID, int32_t lngID) {
  return ReadObject(lngDatabaseID, lngID, ENU_OBT_USER_DEFINED_FUNCTION);
}
UDT_OBJECT CVexilon::GetTrigger(int32_t lngDatabaseID, int32_t lngID) {
  return ReadObject(lngDatabaseID, lngID, ENU_OBT_TRIGGER);
}

UDT_OBJECT_ID CVexilon::GetObjectSchemaVersion(int32_t lngDatabaseID, int32_t lngID) {
  vx::sqlserver::Recordset rs = CatalogueQuery(lngDatabaseID, vexilon::catalogue::SchemaVersionQuery(lngID));
  UDT_OBJECT_ID result;
  if (!rs.IsEOF()) {
    result.lngID = rs.Field("id").AsInt32();
    result.lngSchemaVersion = rs.Field("schema_ver").AsInt32();
  }
  rs.Close();
  return result;
}

UDT_OBJECT CVexilon::GetSQLServerObject(int32_t lngDatabaseID, int32_t lngID, ENU_OBJECT_TYPES enumObjectType,
                                        int32_t lngTableID) {
  UDT_OBJECT o;
  auto fill = [&o](const vx::sqlserver::ProgrammableObject& obj, bool withName) {
    if (withName) o.strObjectName = obj.Name();
    o.strOwnerName = obj.Owner();
    o.strCreateDate = obj.CreateDate();
    const bool quotedIdentifier = obj.QuotedIdentifierStatus() != 0;
    const bool ansiNulls = obj.AnsiNullsStatus() != 0;
    o.strScript = vexilon::ScriptWithPreamble(quotedIdentifier, ansiNulls, obj.Text());
  };
  switch (enumObjectType) {
    case ENU_OBT_STORED_PROCEDURE: {
      // The catalogue record is the base: it carries the id, name and schema version.
      o = GetStoredProcedure(lngDatabaseID, lngID);
      auto sp = DatabaseByID(lngDatabaseID)->StoredProcedures().ItemByID(lngID);
      fill(*sp, false);
      o.lngTableID = 0;
      break;
    }
    case ENU_OBT_TRIGGER: {
      auto db = DatabaseByID(lngDatabaseID);
      const vexilon::TriggerParent parent = vexilon::FindTriggerParent(*db, lngTableID);
      parent.triggers->Refresh();
      auto trigger = parent.triggers->ItemByID(lngID);
      o.strObjectName = trigger->Name();
      o.strOwnerName = trigger->Owner();
      o.strTableName = parent.name;
      fill(*trigger, false);
      break;
    }
    case ENU_OBT_USER_DEFINED_FUNCTION: {
      auto db = DatabaseByID(lngDatabaseID);
      db->UserDefinedFunctions().Refresh();
      fill(*db->UserDefinedFunctions().ItemByID(lngID), true);
      break;
    }
    case ENU_OBT_VIEW: {
      auto db = DatabaseByID(lngDatabaseID);
      db->Views().Refresh();
      fill(*db->Views().ItemByID(lngID), true);
      break;
    }
    default:
      return o;  // any other kind: the empty record, nothing read
  }
  o.enumObjectType = enumObjectType;
  return o;
}
