#include "ArchiveCalls.h"

#include <chrono>
#include <thread>

#include "archive/Connection.h"
#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"

namespace vexilon::archive_calls {

using vx::archive::Parameter;
using vx::archive::ParamType;

namespace {
constexpr int32_t kNameSize = 128;
}

Params AddArchivedObject(const ArchivedObjectValues& v) {
  return {
      Parameter::Long("@ID", v.id),
      Parameter::Text("@SQLServerName", v.serverName, kNameSize),
      Parameter::Long("@DatabaseID", v.databaseId),
      Parameter::TextLength("@OwnerName", v.ownerName),
      Parameter::Long("@ObjectType", v.objectType),
      v.objectType == ENU_OBT_TRIGGER ? Parameter::Long("@TableID", v.tableId)
                                      : Parameter::NullOf("@TableID", ParamType::Integer, 0),
      Parameter::TextLength("@ObjectName", v.objectName),
      Parameter::TextLength("@Script", v.script, ParamType::LongVarWChar),
      Parameter::TextLength("@AlterScript", v.alterScript, ParamType::LongVarWChar),
      Parameter::TextLength("@DropScriptHeader", v.dropScriptHeader, ParamType::LongVarWChar),
      Parameter::TextLength("@DropScript", v.dropScript, ParamType::LongVarWChar),
      Parameter::TextLength("@CreateScriptHeader", v.createScriptHeader, ParamType::LongVarWChar),
      Parameter::TextLength("@CreateScript", v.createScript, ParamType::LongVarWChar),
      Parameter::Date("@CreateDate", v.createDate),
      Parameter::Long("@SchemaVersion", v.schemaVersion),
      Parameter::Bool("@QuotedIdentifierStatus", v.quotedIdentifierOn),
      Parameter::Bool("@AnsiNullsStatus", v.ansiNullsOn),
  };
}

Params ArchivedObjectKey(const std::string& serverName, int32_t databaseId, int32_t id) {
  return {Parameter::Text("@SQLServerName", serverName, kNameSize), Parameter::Long("@DatabaseID", databaseId),
          Parameter::Long("@ID", id)};
}

Params ArchivedObjectRow(const std::string& serverName, int32_t databaseId, int32_t id, int32_t rowId) {
  return {Parameter::Text("@SQLServerName", serverName, kNameSize), Parameter::Long("@DatabaseID", databaseId),
          Parameter::Long("@ID", id), Parameter::Long("@RowID", rowId)};
}

Params GetArchivedObjects(const std::string& serverName, int32_t databaseId) {
  return {Parameter::Text("@SQLServerName", serverName, kNameSize), Parameter::Long("@DatabaseID", databaseId)};
}

Params GetArchivedObjectIDs(const std::string& serverName, int32_t databaseId, int32_t objectType) {
  return {Parameter::Text("@SQLServerName", serverName, kNameSize), Parameter::Long("@DatabaseID", databaseId),
          Parameter::Byte("@ObjectType", objectType)};
}

Params GetSQLServer(const std::string& serverName) {
  return {Parameter::Text("@SQLServerName", serverName, kNameSize)};
}

Params AddSQLServer(const std::string& serverName, int32_t authenticationType, const std::string& userName,
                    const std::string& password) {
  return {Parameter::Text("@SQLServerName", serverName, kNameSize),
          Parameter::Byte("@LoginAuthenticationType", authenticationType),
          Parameter::Text("@UserName", userName, kNameSize),
          Parameter::Text("@Password", password, kNameSize, ParamType::LongVarWChar)};
}

Params UpdateSQLServer(const std::string& serverName, int32_t authenticationType, const std::string& userName,
                       const std::string& password) {
  return {Parameter::Byte("@LoginAuthenticationType", authenticationType),
          userName.empty() ? Parameter::NullOf("@UserName", ParamType::VarWChar, kNameSize)
                           : Parameter::Text("@UserName", userName, kNameSize),
          password.empty() ? Parameter::NullOf("@Password", ParamType::VarWChar, kNameSize)
                           : Parameter::Text("@Password", password, kNameSize),
          Parameter::Text("@SQLServerName", serverName, kNameSize)};
}

Params DeleteSQLServer(const std::string& serverName) { return {Parameter::TextLength("@SQLServerName", serverName)}; }

Params AddLogItem(vx::OleDate dateTime, const std::string& serverName, const std::string& databaseName,
                  const std::string& tableName, const std::string& ownerName, int32_t objectType,
                  const std::string& objectName, const std::string& message, const std::string& script) {
  return {Parameter::Date("@DateTime", dateTime),
          Parameter::TextLength("@SQLServerName", serverName),
          Parameter::TextLength("@DatabaseName", databaseName),
          tableName.empty() ? Parameter::NullOf("@TableName", ParamType::VarWChar, kNameSize)
                            : Parameter::TextLength("@TableName", tableName),
          Parameter::TextLength("@OwnerName", ownerName),
          Parameter::Long("@ObjectType", objectType),
          Parameter::TextLength("@ObjectName", objectName),
          Parameter::TextLength("@Message", message, ParamType::LongVarWChar),
          Parameter::TextLength("@Script", script, ParamType::LongVarWChar)};
}

Params GetLogItem(int32_t logId) { return {Parameter::Long("@LogID", logId)}; }

std::vector<ArchivedRow> RowsOf(vx::archive::Connection& connection, const std::string& serverName,
                                int32_t databaseId, int32_t id) {
  vx::archive::Recordset rs =
      connection.OpenRecordset(kGetArchivedObject, ArchivedObjectKey(serverName, databaseId, id));
  std::vector<ArchivedRow> rows;
  while (!rs.IsEOF()) {
    const auto& script = rs.Field("Script");
    rows.push_back({rs.Field("RowID").ToLong(), script.IsNull() ? std::string() : script.ToText()});
    rs.MoveNext();
  }
  return rows;
}

void DeleteRow(vx::archive::Connection& connection, const std::string& serverName, int32_t databaseId, int32_t id,
               int32_t rowId) {
  connection.Execute(kDeleteArchivedObjectRow, ArchivedObjectRow(serverName, databaseId, id, rowId));
}

vx::archive::Connection OpenWaiting(const std::function<vx::archive::Connection()>& open) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  for (;;) {
    try {
      return open();
    } catch (const vx::ComError& e) {
      if (e.Number() != vx::err::kUnspecified || Clock::now() >= deadline) throw;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

}  // namespace vexilon::archive_calls
