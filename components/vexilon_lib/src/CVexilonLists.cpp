// The server's databases and the object lists of one database.
#include "CatalogueQueries.h"
#include "automation/DateText.h"
#include "sqlserver/Database.h"
#include "sqlserver/Databases.h"
#include "sqlserver/Recordset.h"
#include "sqlserver/SQLServer.h"
#include "vexilon_lib/CVexilon.h"

UDT_DATABASE_CONTAINER CVexilon::GetDatabases(vx::VbBool blnIgnoreSystemDatabases) {
  UDT_DATABASE_CONTAINER result;
  // What the server holds now: a database created or dropped since the list was
  // last read is shown as it is.
  auto& databases = Server().GetDatabases();
  databases.Refresh();
  for (const auto& db : databases.Items()) {
    const std::string& name = db->Name();
    if (blnIgnoreSystemDatabases != 0 &&
        (name == "model" || name == "msdb" || name == "master" || name == "tempdb"))
      continue;
    Append(result, UDT_DATABASE{db->ID(), name});
  }
  return result;
}

UDT_OBJECT_CONTAINER CVexilon::ListObjects(int32_t lngDatabaseID, const std::string& queryText,
                                           ENU_OBJECT_TYPES kind) const {
  vx::sqlserver::Recordset rs = CatalogueQuery(lngDatabaseID, queryText);
  UDT_OBJECT_CONTAINER result;
  if (rs.IsEOF()) return result;
  result.arrObjects.reserve(static_cast<size_t>(rs.RecordCount()));
  while (!rs.IsEOF()) {
    UDT_OBJECT o;
    o.lngID = rs.Field("id").AsInt32();
    o.strObjectName = rs.Field("name").AsText();
    o.strOwnerName = rs.Field("owner").AsText();
    o.strCreateDate = vx::DateToText(rs.Field("crdate").AsDate());
    o.lngSchemaVersion = rs.Field("schema_ver").AsInt32();
    if (kind == ENU_OBT_TRIGGER) {
      o.lngTableID = rs.Field("tableid").AsInt32();
      o.strTableName = rs.Field("tablename").AsText();
    }
    o.enumObjectType = kind;
    result.arrObjects.push_back(std::move(o));
    rs.MoveNext();
  }
  result.lngElements = static_cast<int32_t>(result.arrObjects.size());
  rs.Close();
  return result;
}

using vexilon::catalogue::ObjectListQuery;

UDT_OBJECT_CONTAINER CVexilon::GetStoredProcedures(int32_t lngDatabaseID, vx::VbBool blnIgnoreSystemObjects) {
  return ListObjects(lngDatabaseID, ObjectListQuery(ENU_OBT_STORED_PROCEDURE, false, blnIgnoreSystemObjects != 0),
                     ENU_OBT_STORED_PROCEDURE);
}
UDT_OBJECT_CONTAINER CVexilon::GetEncryptedStoredProcedures(int32_t lngDatabaseID,
                                                            vx::VbBool blnIgnoreSystemObjects) {
  return ListObjects(lngDatabaseID, ObjectListQuery(ENU_OBT_STORED_PROCEDURE, true, blnIgnoreSystemObjects != 0),
                     ENU_OBT_STORED_PROCEDURE);
}
UDT_OBJECT_CONTAINER CVexilon::GetViews(int32_t lngDatabaseID, vx::VbBool blnIgnoreSystemObjects) {
  return ListObjects(lngDatabaseID, ObjectListQuery(ENU_OBT_VIEW, false, blnIgnoreSystemObjects != 0), ENU_OBT_VIEW);
}
UDT_OBJECT_CONTAINER CVexilon::GetEncryptedViews(int32_t lngDatabaseID, vx::VbBool blnIgnoreSystemObjects) {
  return ListObjects(lngDatabaseID, ObjectListQuery(ENU_OBT_VIEW, true, blnIgnoreSystemObjects != 0), ENU_OBT_VIEW);
}
UDT_OBJECT_CONTAINER CVexilon::GetTriggers(int32_t lngDatabaseID, vx::VbBool blnIgnoreSystemObjects) {
  return ListObjects(lngDatabaseID, ObjectListQuery(ENU_OBT_TRIGGER, false, blnIgnoreSystemObjects != 0),
                     ENU_OBT_TRIGGER);
}
UDT_OBJECT_CONTAINER CVexilon::GetEncryptedTriggers(int32_t lngDatabaseID, vx::VbBool blnIgnoreSystemObjects) {
  return ListObjects(lngDatabaseID, ObjectListQuery(ENU_OBT_TRIGGER, true, blnIgnoreSystemObjects != 0),
                     ENU_OBT_TRIGGER);
}
UDT_OBJECT_CONTAINER CVexilon::GetUserDefinedFunctions(int32_t lngDatabaseID, vx::VbBool blnIgnoreSystemObjects) {
  return ListObjects(lngDatabaseID,
                     ObjectListQuery(ENU_OBT_USER_DEFINED_FUNCTION, false, blnIgnoreSystemObjects != 0),
                     ENU_OBT_USER_DEFINED_FUNCTION);
}
UDT_OBJECT_CONTAINER CVexilon::GetEncryptedUserDefinedFunctions(int32_t lngDatabaseID,
                                                                vx::VbBool blnIgnoreSystemObjects) {
  return ListObjects(lngDatabaseID,
                     ObjectListQuery(ENU_OBT_USER_DEFINED_FUNCTION, true, blnIgnoreSystemObjects != 0),
                     ENU_OBT_USER_DEFINED_FUNCTION);
}
