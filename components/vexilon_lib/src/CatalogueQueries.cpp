#include "CatalogueQueries.h"

#include "sqlserver/Quoting.h"

namespace vexilon::catalogue {
namespace {

constexpr const char* kSelectProcedures = "SELECT DISTINCT A.name, A.id, A.crdate, A.schema_ver, B.name AS owner";
constexpr const char* kSelectViewsFunctions =
    "SELECT DISTINCT A.name, A.id, A.xtype, A.crdate, A.schema_ver, B.name AS owner";
constexpr const char* kSelectTriggers =
    "SELECT DISTINCT A.name, A.id, A.xtype, A.crdate, A.schema_ver, B.name AS owner, D.id AS tableid, "
    "D.name AS tablename";
constexpr const char* kFrom =
    " FROM sysobjects A INNER JOIN sysusers B ON A.uid = B.uid INNER JOIN syscomments C ON A.id = C.id";
constexpr const char* kFromTriggers =
    " FROM sysobjects A INNER JOIN sysusers B ON A.uid = B.uid INNER JOIN syscomments C ON A.id = C.id "
    "LEFT OUTER JOIN sysobjects D ON A.parent_obj = D.id";
constexpr const char* kOrderBy = " ORDER BY A.name";

constexpr const char* kReaderSelect =
    "SELECT DISTINCT A.name, A.id, A.crdate, A.schema_ver, B.name AS owner, OBJECTPROPERTY(A.id, "
    "'ExecIsAnsiNullsOn') AS set_ansi_nulls, OBJECTPROPERTY(A.id, 'IsQuotedIdentOn') AS set_quoted_identifier";
constexpr const char* kReaderFrom = " FROM sysobjects A INNER JOIN sysusers B ON A.uid = B.uid";
constexpr const char* kTriggerReaderSelect =
    "SELECT DISTINCT A.name, A.id, A.xtype, A.crdate, A.schema_ver, B.name AS owner, D.id AS tableid, D.name AS "
    "tablename, OBJECTPROPERTY(A.id, 'ExecIsAnsiNullsOn') AS set_ansi_nulls, OBJECTPROPERTY(A.id, "
    "'IsQuotedIdentOn') AS set_quoted_identifier";
constexpr const char* kTriggerReaderFrom =
    " FROM sysobjects A INNER JOIN sysusers B ON A.uid = B.uid LEFT OUTER JOIN sysobjects D ON A.parent_obj = D.id";

std::string Where(ENU_OBJECT_TYPES kind, bool encrypted, bool ignoreSystemObjects) {
  std::string w;
  switch (kind) {
    case ENU_OBT_STORED_PROCEDURE: w = " WHERE A.xtype = 'P'"; break;
    case ENU_OBT_VIEW: w = " WHERE A.xtype = 'V'"; break;
    case ENU_OBT_TRIGGER: w = " WHERE A.xtype = 'TR'"; break;
    case ENU_OBT_USER_DEFINED_FUNCTION: w = " WHERE A.xtype IN('FN','IF','TF')"; break;
  }
  w += encrypted ? " AND C.encrypted = 1" : " AND C.encrypted = 0";
  if (ignoreSystemObjects) w += " AND OBJECTPROPERTY(A.id,'IsMSShipped') = 0";
  if (kind == ENU_OBT_STORED_PROCEDURE) w += " AND OBJECTPROPERTY(A.id, 'IsExtendedProc') = 0";
  return w;
}

}  // namespace

std::string ObjectListQuery(ENU_OBJECT_TYPES kind, bool encrypted, bool ignoreSystemObjects) {
  std::string q;
  switch (kind) {
    case ENU_OBT_STORED_PROCEDURE: q = std::string(kSelectProcedures) + kFrom; break;
    case ENU_OBT_TRIGGER: q = std::string(kSelectTriggers) + kFromTriggers; break;
    case ENU_OBT_USER_DEFINED_FUNCTION:
    case ENU_OBT_VIEW: q = std::string(kSelectViewsFunctions) + kFrom; break;
  }
  return q + Where(kind, encrypted, ignoreSystemObjects) + kOrderBy;
}

std::string ObjectReaderQuery(ENU_OBJECT_TYPES kind, int32_t id) {
  const std::string base = kind == ENU_OBT_TRIGGER ? std::string(kTriggerReaderSelect) + kTriggerReaderFrom
                                                   : std::string(kReaderSelect) + kReaderFrom;
  return base + " WHERE A.id = " + std::to_string(id);
}

std::string NamedObjectQuery(ENU_OBJECT_TYPES kind, const std::string& owner, const std::string& name) {
  const char* types = "('P')";
  switch (kind) {
    case ENU_OBT_STORED_PROCEDURE: types = "('P')"; break;
    case ENU_OBT_VIEW: types = "('V')"; break;
    case ENU_OBT_TRIGGER: types = "('TR')"; break;
    case ENU_OBT_USER_DEFINED_FUNCTION: types = "('FN','IF','TF')"; break;
  }
  return "SELECT A.id, A.parent_obj FROM sysobjects A INNER JOIN sysusers B ON A.uid = B.uid WHERE A.name = " +
         vx::sqlserver::NLiteral(name) + " AND B.name = " + vx::sqlserver::NLiteral(owner) + " AND A.xtype IN " +
         types;
}

std::string SchemaVersionQuery(int32_t id) {
  return "SELECT DISTINCT A.id, A.schema_ver FROM sysobjects A WHERE A.id = " + std::to_string(id);
}

std::string TriggersOfQuery(int32_t parentId) {
  return "SELECT A.id, A.name, A.schema_ver, B.name AS owner FROM sysobjects A INNER JOIN sysusers B ON A.uid = "
         "B.uid WHERE A.parent_obj = " +
         std::to_string(parentId) + " AND A.xtype = 'TR' ORDER BY A.id";
}

std::string PermissionsQuery(int32_t id) {
  // Bit 0 of the columns bitmap (or no bitmap) is the whole object.
  return "SELECT P.action, P.protecttype, CASE WHEN P.columns IS NULL OR CAST(SUBSTRING(P.columns, 1, 1) AS tinyint) "
         "% 2 = 1 THEN 1 ELSE 0 END AS allcolumns, DATALENGTH(P.columns) AS columnbytes, P.uid, U.name AS grantee "
         "FROM sysprotects P INNER JOIN sysusers U ON P.uid = U.uid WHERE P.id = " +
         std::to_string(id) + " ORDER BY U.name, P.action, P.protecttype";
}

std::string PermissionColumnBytesQuery(int32_t id, int32_t uid, int32_t action, int32_t bytes) {
  std::string s = "SELECT ";
  for (int32_t i = 1; i <= bytes; ++i)
    s += (i > 1 ? ", " : "") + std::string("CAST(SUBSTRING(columns, ") + std::to_string(i) + ", 1) AS tinyint) AS b" +
         std::to_string(i);
  return s + " FROM sysprotects WHERE id = " + std::to_string(id) + " AND uid = " + std::to_string(uid) +
         " AND action = " + std::to_string(action);
}

std::string ColumnNamesQuery(int32_t id, const std::vector<int32_t>& colids) {
  std::string s = "SELECT ";
  for (std::size_t i = 0; i < colids.size(); ++i)
    s += (i ? ", " : "") + std::string("COL_NAME(") + std::to_string(id) + ", " + std::to_string(colids[i]) +
         ") AS c" + std::to_string(i + 1);
  return s;
}

std::string ViewIndexesQuery(int32_t id) {
  return "SELECT name FROM sysindexes WHERE id = " + std::to_string(id) +
         " AND indid BETWEEN 1 AND 254 AND (status & 64) = 0 ORDER BY indid";
}

}  // namespace vexilon::catalogue
