#pragma once
// The parameter lists of the archive's stored queries, in their declared order,
// with the types and sizes the queries take. Run them on an archive Connection:
//   conn.OpenRecordset(kGetArchivedObject, archive_calls::GetArchivedObject(server, db, id));
#include <functional>
#include <string>
#include <vector>

#include "archive/Parameter.h"
#include "automation/OleDate.h"
#include "vexilon_global/Types.h"

namespace vx::archive {
class Connection;
}

namespace vexilon::archive_calls {

using Params = std::vector<vx::archive::Parameter>;

inline constexpr const char* kAddArchivedObject = "qryAddArchivedObject";
inline constexpr const char* kGetArchivedObject = "qryGetArchivedObject";
inline constexpr const char* kGetArchivedObjects = "qryGetArchivedObjects";
inline constexpr const char* kGetArchivedObjectIDs = "qryGetArchivedObjectIDs";
inline constexpr const char* kGetArchivedObjectID = "qryGetArchivedObjectID";
inline constexpr const char* kDeleteArchivedObject = "qryDeleteArchivedObject";
inline constexpr const char* kDeleteArchivedObjectRow = "qryDeleteArchivedObjectRow";
inline constexpr const char* kGetSQLServer = "qryGetSQLServer";
inline constexpr const char* kGetSQLServers = "qryGetSQLServers";
inline constexpr const char* kAddSQLServer = "qryAddSQLServer";
inline constexpr const char* kUpdateSQLServer = "qryUpdateSQLServer";
inline constexpr const char* kDeleteSQLServer = "qryDeleteSQLServer";
inline constexpr const char* kCountSQLServers = "qryCountSQLServers";
inline constexpr const char* kAddLogItem = "qryAddLogItem";
inline constexpr const char* kGetLogItem = "qryGetLogItem";
inline constexpr const char* kGetLog = "qryGetLog";
inline constexpr const char* kGetLogOrderByDateTime = "qryGetLogOrderByDateTime";
inline constexpr const char* kDeleteLog = "qryDeleteLog";

// The values of one archived object as qryAddArchivedObject stores them.
struct ArchivedObjectValues {
  int32_t id = 0;
  std::string serverName;
  int32_t databaseId = 0;
  std::string ownerName;
  int32_t objectType = 0;
  int32_t tableId = 0;  // stored as Null unless the object is a trigger
  std::string objectName;
  std::string script;
  std::string alterScript;
  std::string dropScriptHeader;
  std::string dropScript;
  std::string createScriptHeader;
  std::string createScript;
  vx::OleDate createDate = 0;
  int32_t schemaVersion = 0;
  bool quotedIdentifierOn = false;
  bool ansiNullsOn = false;
};

Params AddArchivedObject(const ArchivedObjectValues& v);
// qryGetArchivedObject, qryGetArchivedObjectID and qryDeleteArchivedObject.
Params ArchivedObjectKey(const std::string& serverName, int32_t databaseId, int32_t id);
// qryDeleteArchivedObjectRow: one row, by its own row id.
Params ArchivedObjectRow(const std::string& serverName, int32_t databaseId, int32_t id, int32_t rowId);
Params GetArchivedObjects(const std::string& serverName, int32_t databaseId);
Params GetArchivedObjectIDs(const std::string& serverName, int32_t databaseId, int32_t objectType);
Params GetSQLServer(const std::string& serverName);
Params AddSQLServer(const std::string& serverName, int32_t authenticationType, const std::string& userName,
                    const std::string& password);
Params UpdateSQLServer(const std::string& serverName, int32_t authenticationType, const std::string& userName,
                       const std::string& password);
Params DeleteSQLServer(const std::string& serverName);
Params AddLogItem(vx::OleDate dateTime, const std::string& serverName, const std::string& databaseName,
                  const std::string& tableName, const std::string& ownerName, int32_t objectType,
                  const std::string& objectName, const std::string& message, const std::string& script);
Params GetLogItem(int32_t logId);

// One archive row of an object: its own id and the text it keeps.
struct ArchivedRow {
  int32_t rowId = 0;
  std::string script;
};
// Every row of one object, newest first.
std::vector<ArchivedRow> RowsOf(vx::archive::Connection& connection, const std::string& serverName,
                                int32_t databaseId, int32_t id);
void DeleteRow(vx::archive::Connection& connection, const std::string& serverName, int32_t databaseId, int32_t id,
               int32_t rowId);

// Opens the archive with open(), trying again for a bounded time while another
// process holds it (error 0x80004005); then raises that error.
vx::archive::Connection OpenWaiting(const std::function<vx::archive::Connection()>& open);

}  // namespace vexilon::archive_calls
