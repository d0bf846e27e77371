// Catalogue look-ups behind every object collection.
#include "ServerLink.h"
#include "automation/ComError.h"
#include "sqlserver/ObjectCollection.h"
#include "sqlserver/ServerErrors.h"

namespace vx::sqlserver::detail {

namespace {
const char* KindFilter(ObjectKind kind) {
  switch (kind) {
    case ObjectKind::StoredProcedure: return "('P')";
    case ObjectKind::View: return "('V')";
    case ObjectKind::Table: return "('U')";
    case ObjectKind::UserDefinedFunction: return "('FN', 'IF', 'TF')";
    case ObjectKind::Trigger: return "('TR')";
  }
  return "('')";
}

const char* KindName(ObjectKind kind) {
  switch (kind) {
    case ObjectKind::StoredProcedure: return "StoredProcedures";
    case ObjectKind::View: return "Views";
    case ObjectKind::Table: return "Tables";
    case ObjectKind::UserDefinedFunction: return "UserDefinedFunctions";
    case ObjectKind::Trigger: return "Triggers";
  }
  return "";
}

std::string Trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

ObjectInfo FromRow(const std::vector<Value>& row, int32_t databaseId, const std::string& databaseName) {
  ObjectInfo info;
  info.databaseId = databaseId;
  info.databaseName = databaseName;
  info.id = row[0].AsInt32();
  info.name = row[1].AsText();
  info.owner = row[2].AsText();
  info.xtype = Trimmed(row[3].AsText());
  info.createDate = row[4].IsNull() ? std::string() : FormatServerDate(row[4].AsDate());
  info.parentId = row[5].IsNull() ? 0 : row[5].AsInt32();
  return info;
}

constexpr const char* kSelect =
    "SELECT o.id, o.name, u.name AS owner, o.xtype, o.crdate, o.parent_obj FROM sysobjects o "
    "INNER JOIN sysusers u ON o.uid = u.uid WHERE ";
}  // namespace

std::vector<ObjectInfo> ListObjects(const std::weak_ptr<ServerLink>& link, int32_t databaseId,
                                    const std::string& databaseName, ObjectKind kind, int32_t parentId) {
  std::string sql = std::string(kSelect) + "o.xtype IN " + KindFilter(kind);
  if (parentId != 0) sql += " AND o.parent_obj = " + std::to_string(parentId);
  sql += " ORDER BY o.name";
  auto rs = Lock(link)->Query(databaseName, sql);
  std::vector<ObjectInfo> out;
  out.reserve(rs.rows.size());
  for (const auto& row : rs.rows) out.push_back(FromRow(row, databaseId, databaseName));
  return out;
}

ObjectInfo FindObject(const std::weak_ptr<ServerLink>& link, int32_t databaseId, const std::string& databaseName,
                      ObjectKind kind, int32_t parentId, int32_t id) {
  std::string sql = std::string(kSelect) + "o.id = " + std::to_string(id) + " AND o.xtype IN " + KindFilter(kind);
  if (parentId != 0) sql += " AND o.parent_obj = " + std::to_string(parentId);
  auto rs = Lock(link)->Query(databaseName, sql);
  if (rs.rows.empty())
    throw ComError(err::kItemNotFound, KindName(kind),
                   "[SQL-DMO]The object with id " + std::to_string(id) + " was not found in the " + KindName(kind) +
                       " collection of database '" + databaseName + "'.");
  return FromRow(rs.rows[0], databaseId, databaseName);
}

}  // namespace vx::sqlserver::detail
