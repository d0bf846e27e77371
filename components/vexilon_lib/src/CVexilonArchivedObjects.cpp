// Archived objects: the archive's rows of the connected server read back into records.
#include <map>
#include <tuple>
#include <vector>

#include "ArchiveCalls.h"
#include "EngineText.h"
#include "archive/Connection.h"
#include "sqlserver/SQLServer.h"
#include "vexilon_lib/CVexilon.h"

namespace calls = vexilon::archive_calls;

namespace {

// The column-to-field mapping shared by the readers (Script aside).
UDT_OBJECT ArchivedObjectFromRow(const vx::archive::Recordset& rs) {
  UDT_OBJECT o;
  o.lngID = rs.Field("ID").ToLong();
  o.enumObjectType = static_cast<ENU_OBJECT_TYPES>(rs.Field("ObjectType").ToLong());
  const auto& tableId = rs.Field("TableID");
  if (!tableId.IsNull()) o.lngTableID = tableId.ToLong();
  o.strObjectName = rs.Field("ObjectName").ToText();
  o.strOwnerName = rs.Field("OwnerName").ToText();
  o.strDropScriptHeader = rs.Field("DropScriptHeader").ToText();
  o.strDropScript = rs.Field("DropScript").ToText();
  o.strCreateScriptHeader = rs.Field("CreateScriptHeader").ToText();
  o.strCreateScript = rs.Field("CreateScript").ToText();
  o.strCreateDate = rs.Field("CreateDate").ToText();
  o.strArchivedDate = rs.Field("ArchivedDate").ToText();
  o.lngSchemaVersion = rs.Field("SchemaVersion").ToLong();
  return o;
}

UDT_OBJECT_ID ObjectIdFromRow(const vx::archive::Recordset& rs) {
  UDT_OBJECT_ID id;
  id.lngID = rs.Field("ID").ToLong();
  id.strArchivedDate = rs.Field("ArchivedDate").ToText();
  id.lngSchemaVersion = rs.Field("SchemaVersion").ToLong();
  return id;
}

// A Boolean column "equals True": Null and False both give OFF.
bool IsTrue(const vx::archive::Value& v) { return !v.IsNull() && v.ToBool(); }

}  // namespace

vx::VbBool CVexilon::CheckDatabaseArchiveConnection() {
  vx::archive::Connection connection = OpenArchive();
  connection.Close();
  return vx::kTrue;
}

vx::VbBool CVexilon::IsArchivedObjectExist(const std::string& strServerName, int32_t lngDatabaseID, int32_t lngID) {
  vx::archive::Connection connection = OpenArchive();
  vx::archive::Recordset rs =
      connection.OpenRecordset(calls::kGetArchivedObject, calls::ArchivedObjectKey(strServerName, lngDatabaseID, lngID));
  const bool exists = !rs.IsEOF();
  rs.Close();
  return exists ? vx::kTrue : vx::kFalse;
}

UDT_OBJECT_CONTAINER CVexilon::GetArchivedObjects(int32_t lngDatabaseID, ENU_OBJECT_TYPES /*enumObjectType*/) {
  vx::archive::Connection connection = OpenArchive();
  const std::string serverName = Server().Name();
  vx::archive::Recordset rs =
      connection.OpenRecordset(calls::kGetArchivedObjects, calls::GetArchivedObjects(serverName, lngDatabaseID));
  UDT_OBJECT_CONTAINER result;
  if (rs.IsEOF()) return result;
  result.arrObjects.reserve(static_cast<size_t>(rs.RecordCount()));
  // One entry per object: rows left under an earlier id of the same kind,
  // owner and name (a restore cut short keeps its row) give way to the newest.
  std::map<std::tuple<int32_t, std::string, std::string>, size_t> newest;
  std::vector<bool> superseded;
  while (!rs.IsEOF()) {
    result.arrObjects.push_back(ArchivedObjectFromRow(rs));
    superseded.push_back(false);
    const UDT_OBJECT& o = result.arrObjects.back();
    const auto [at, fresh] = newest.try_emplace({static_cast<int32_t>(o.enumObjectType), o.strOwnerName, o.strObjectName},
                                                result.arrObjects.size() - 1);
    if (!fresh) {
      superseded[at->second] = true;  // rows come oldest first
      at->second = result.arrObjects.size() - 1;
    }
    rs.MoveNext();
  }
  rs.Close();
  size_t kept = 0;
  for (size_t i = 0; i < result.arrObjects.size(); ++i) {
    if (superseded[i]) continue;
    if (kept != i) result.arrObjects[kept] = std::move(result.arrObjects[i]);
    ++kept;
  }
  result.arrObjects.resize(kept);
  result.lngElements = static_cast<int32_t>(result.arrObjects.size());
  return result;
}

UDT_OBJECT_ID_CONTAINER CVexilon::GetArchivedObjectIDs(int32_t lngDatabaseID, ENU_OBJECT_TYPES enumObjectType) {
  vx::archive::Connection connection = OpenArchive();
  const std::string serverName = Server().Name();
  vx::archive::Recordset rs = connection.OpenRecordset(
      calls::kGetArchivedObjectIDs, calls::GetArchivedObjectIDs(serverName, lngDatabaseID, enumObjectType));
  UDT_OBJECT_ID_CONTAINER result;
  if (rs.IsEOF()) return result;
  while (!rs.IsEOF()) {
    result.arrObjects.push_back(ObjectIdFromRow(rs));
    rs.MoveNext();
  }
  rs.Close();
  result.lngElements = static_cast<int32_t>(result.arrObjects.size());
  return result;
}

UDT_OBJECT_ID CVexilon::GetArchivedObjectID(int32_t lngDatabaseID, int32_t lngID) {
  vx::archive::Connection connection = OpenArchive();
  const std::string serverName = Server().Name();
  vx::archive::Recordset rs = connection.OpenRecordset(calls::kGetArchivedObjectID,
                                                       calls::ArchivedObjectKey(serverName, lngDatabaseID, lngID));
  UDT_OBJECT_ID result;
  if (!rs.IsEOF()) {
    result = ObjectIdFromRow(rs);
    rs.Close();
  }
  return result;
}

UDT_OBJECT CVexilon::GetArchivedObject(int32_t lngDatabaseID, int32_t lngID, vx::VbBool& blnObjectExists) {
  vx::archive::Connection connection = OpenArchive();
  const std::string serverName = Server().Name();
  vx::archive::Recordset rs = connection.OpenRecordset(calls::kGetArchivedObject,
                                                       calls::ArchivedObjectKey(serverName, lngDatabaseID, lngID));
  UDT_OBJECT o;
  if (!rs.IsEOF()) {
    o = ArchivedObjectFromRow(rs);
    o.strScript = vexilon::ScriptWithPreamble(IsTrue(rs.Field("QuotedIdentifierStatus")),
                                              IsTrue(rs.Field("AnsiNullsStatus")), rs.Field("Script").ToText());
    blnObjectExists = vx::kTrue;
    rs.Close();
  } else {
    blnObjectExists = vx::kFalse;
  }
  return o;
}
