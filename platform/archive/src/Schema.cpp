#include "Schema.h"

#include <cstdint>
#include <cstdlib>
#include <string>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "sqlite/Database.h"

namespace vx::archive::detail {
namespace {

// Automation date of the local time now (days since 30 Dec 1899).
#define VX_LOCAL_NOW "(julianday('now', 'localtime') - 2415018.5)"

// Keeps, of the rows of ArchivedObjects AS A, each object's newest.
#define VX_NEWEST_ROW                                                                                   \
  " AND RowID = (SELECT MAX(B.RowID) FROM ArchivedObjects AS B WHERE B.SQLServerName = A.SQLServerName" \
  " AND B.DatabaseID = A.DatabaseID AND B.ID = A.ID)"

// The object lists of the explorer read only these columns of archived objects:
// the index holds them, so a list never reads the long texts stored before them.
#define VX_ARCHIVED_IDS_INDEX                                                                             \
  "CREATE INDEX IF NOT EXISTS ArchivedObjectsByType ON ArchivedObjects (SQLServerName, DatabaseID, ObjectType, " \
  "ID, ArchivedDate, SchemaVersion)"

constexpr const char* kFormatVersion = "3";

constexpr const char* kTables = R"SQL(
CREATE TABLE ArchiveInfo (
  Name TEXT NOT NULL PRIMARY KEY,
  Value TEXT);
INSERT INTO ArchiveInfo (Name, Value) VALUES ('FormatVersion', '3');

CREATE TABLE StoredQueries (
  Name TEXT NOT NULL COLLATE NOCASE PRIMARY KEY,
  Parameters TEXT NOT NULL,
  ReturnsRows BOOLEAN NOT NULL,
  Body TEXT NOT NULL);

CREATE TABLE SQLServers (
  SQLServerName TEXT NOT NULL COLLATE NOCASE PRIMARY KEY,
  LoginAuthenticationType INTEGER NOT NULL,
  UserName TEXT,
  Password TEXT);

CREATE TABLE ArchivedObjects (
  RowID INTEGER PRIMARY KEY AUTOINCREMENT,
  ID INTEGER NOT NULL,
  SQLServerName TEXT NOT NULL COLLATE NOCASE,
  DatabaseID INTEGER NOT NULL,
  OwnerName TEXT,
  ObjectType INTEGER,
  TableID INTEGER,
  ObjectName TEXT,
  Script TEXT,
  AlterScript TEXT,
  DropScriptHeader TEXT,
  DropScript TEXT,
  CreateScriptHeader TEXT,
  CreateScript TEXT,
  CreateDate DATETIME,
  ArchivedDate DATETIME NOT NULL DEFAULT )SQL" VX_LOCAL_NOW R"SQL(,
  SchemaVersion INTEGER,
  QuotedIdentifierStatus BOOLEAN,
  AnsiNullsStatus BOOLEAN);
CREATE INDEX ArchivedObjectsKey ON ArchivedObjects (SQLServerName, DatabaseID, ID);
)SQL" VX_ARCHIVED_IDS_INDEX R"SQL(;

-- Unregistering a server removes its archived objects with it.
CREATE TRIGGER SQLServersDeleteCascade AFTER DELETE ON SQLServers
BEGIN
  DELETE FROM ArchivedObjects WHERE SQLServerName = OLD.SQLServerName;
END;

CREATE TABLE Log (
  LogID INTEGER PRIMARY KEY AUTOINCREMENT,
  DateTime DATETIME NOT NULL,
  SQLServerName TEXT COLLATE NOCASE,
  DatabaseName TEXT,
  TableName TEXT,
  OwnerName TEXT,
  ObjectType INTEGER,
  ObjectName TEXT,
  Message TEXT,
  Script TEXT);
CREATE INDEX LogByDateTime ON Log (DateTime, LogID);
)SQL";

}  // namespace

const std::vector<StoredQueryDefinition>& StoredQueries() {
  static const std::vector<StoredQueryDefinition> queries = {
      {"qryAddArchivedObject",
       "@ID 3 0;@SQLServerName 202 128;@DatabaseID 3 0;@OwnerName 202 128;@ObjectType 3 0;@TableID 3 0;"
       "@ObjectName 202 128;@Script 203 0;@AlterScript 203 0;@DropScriptHeader 203 0;@DropScript 203 0;"
       "@CreateScriptHeader 203 0;@CreateScript 203 0;@CreateDate 7 0;@SchemaVersion 3 0;"
       "@QuotedIdentifierStatus 11 0;@AnsiNullsStatus 11 0",
       false,
       "INSERT INTO ArchivedObjects (ID, SQLServerName, DatabaseID, OwnerName, ObjectType, TableID, ObjectName, "
       "Script, AlterScript, DropScriptHeader, DropScript, CreateScriptHeader, CreateScript, CreateDate, "
       "SchemaVersion, QuotedIdentifierStatus, AnsiNullsStatus) VALUES (@ID, @SQLServerName, @DatabaseID, "
       "@OwnerName, @ObjectType, @TableID, @ObjectName, @Script, @AlterScript, @DropScriptHeader, @DropScript, "
       "@CreateScriptHeader, @CreateScript, @CreateDate, @SchemaVersion, @QuotedIdentifierStatus, "
       "@AnsiNullsStatus)"},
      // An object's rows come newest first: the newest is the one that counts.
      {"qryGetArchivedObject", "@SQLServerName 202 128;@DatabaseID 3 0;@ID 3 0", true,
       "SELECT ID, ObjectType, TableID, ObjectName, OwnerName, Script, DropScriptHeader, DropScript, "
       "CreateScriptHeader, CreateScript, CreateDate, ArchivedDate, SchemaVersion, QuotedIdentifierStatus, "
       "AnsiNullsStatus, RowID FROM ArchivedObjects WHERE SQLServerName = @SQLServerName "
       "AND DatabaseID = @DatabaseID AND ID = @ID ORDER BY RowID DESC"},
      // The lists hold each object once, by its newest row.
      {"qryGetArchivedObjects", "@SQLServerName 202 128;@DatabaseID 3 0", true,
       "SELECT ID, ObjectType, TableID, ObjectName, OwnerName, DropScriptHeader, DropScript, CreateScriptHeader, "
       "CreateScript, CreateDate, ArchivedDate, SchemaVersion, RowID FROM ArchivedObjects AS A "
       "WHERE SQLServerName = @SQLServerName AND DatabaseID = @DatabaseID" VX_NEWEST_ROW " ORDER BY RowID"},
      {"qryGetArchivedObjectIDs", "@SQLServerName 202 128;@DatabaseID 3 0;@ObjectType 17 0", true,
       "SELECT ID, ArchivedDate, SchemaVersion FROM ArchivedObjects AS A WHERE SQLServerName = @SQLServerName "
       "AND DatabaseID = @DatabaseID AND ObjectType = @ObjectType" VX_NEWEST_ROW " ORDER BY RowID"},
      {"qryGetArchivedObjectID", "@SQLServerName 202 128;@DatabaseID 3 0;@ID 3 0", true,
       "SELECT ID, ArchivedDate, SchemaVersion FROM ArchivedObjects WHERE SQLServerName = @SQLServerName "
       "AND DatabaseID = @DatabaseID AND ID = @ID ORDER BY RowID DESC"},
      {"qryDeleteArchivedObject", "@SQLServerName 202 128;@DatabaseID 3 0;@ID 3 0", false,
       "DELETE FROM ArchivedObjects WHERE SQLServerName = @SQLServerName AND DatabaseID = @DatabaseID "
       "AND ID = @ID"},
      // One row, by its own id (the key must match as well).
      {"qryDeleteArchivedObjectRow", "@SQLServerName 202 128;@DatabaseID 3 0;@ID 3 0;@RowID 3 0", false,
       "DELETE FROM ArchivedObjects WHERE RowID = @RowID AND SQLServerName = @SQLServerName "
       "AND DatabaseID = @DatabaseID AND ID = @ID"},
      {"qryGetSQLServer", "@SQLServerName 202 128", true,
       "SELECT SQLServerName, LoginAuthenticationType, UserName, Password FROM SQLServers "
       "WHERE SQLServerName = @SQLServerName"},
      {"qryGetSQLServers", "", true,
       "SELECT SQLServerName, LoginAuthenticationType, UserName, Password FROM SQLServers "
       "ORDER BY SQLServerName"},
      {"qryAddSQLServer", "@SQLServerName 202 128;@LoginAuthenticationType 17 0;@UserName 202 128;@Password 203 0",
       false,
       "INSERT INTO SQLServers (SQLServerName, LoginAuthenticationType, UserName, Password) "
       "VALUES (@SQLServerName, @LoginAuthenticationType, @UserName, @Password)"},
      {"qryUpdateSQLServer",
       "@LoginAuthenticationType 17 0;@UserName 202 128;@Password 202 128;@SQLServerName 202 128", false,
       "UPDATE SQLServers SET LoginAuthenticationType = @LoginAuthenticationType, UserName = @UserName, "
       "Password = @Password WHERE SQLServerName = @SQLServerName"},
      {"qryDeleteSQLServer", "@SQLServerName 202 128", false,
       "DELETE FROM SQLServers WHERE SQLServerName = @SQLServerName"},
      {"qryCountSQLServers", "", true, "SELECT COUNT(*) AS SQLServerCount FROM SQLServers"},
      {"qryAddLogItem",
       "@DateTime 7 0;@SQLServerName 202 0;@DatabaseName 202 0;@TableName 202 0;@OwnerName 202 0;"
       "@ObjectType 3 0;@ObjectName 202 0;@Message 203 0;@Script 203 0",
       false,
       "INSERT INTO Log (DateTime, SQLServerName, DatabaseName, TableName, OwnerName, ObjectType, ObjectName, "
       "Message, Script) VALUES (@DateTime, @SQLServerName, @DatabaseName, @TableName, @OwnerName, @ObjectType, "
       "@ObjectName, @Message, @Script)"},
      {"qryGetLogItem", "@LogID 3 0", true,
       "SELECT LogID, DateTime, SQLServerName, DatabaseName, OwnerName, ObjectType, ObjectName, TableName, "
       "Message, Script FROM Log WHERE LogID = @LogID"},
      // The list of the log: every item but not its script, which only the item's
      // own window shows (it reads the item through qryGetLogItem).
      {"qryGetLog", "", true,
       "SELECT LogID, DateTime, SQLServerName, DatabaseName, OwnerName, ObjectName, ObjectType, TableName, "
       "Message FROM Log ORDER BY LogID"},
      {"qryGetLogOrderByDateTime", "", true,
       "SELECT DateTime, SQLServerName, DatabaseName, OwnerName, ObjectName, ObjectType, TableName, Message "
       "FROM Log ORDER BY DateTime, LogID"},
      {"qryDeleteLog", "", false, "DELETE FROM Log"},
  };
  return queries;
}

namespace {

void WriteStoredQueries(vx::sqlite::Database& db) {
  for (const auto& q : StoredQueries()) {
    db.Prepare("INSERT OR REPLACE INTO StoredQueries (Name, Parameters, ReturnsRows, Body) VALUES (?1, ?2, ?3, ?4)")
        .Bind(1, q.name)
        .Bind(2, q.parameters)
        .Bind(3, q.returnsRows ? -1 : 0)
        .Bind(4, q.body)
        .Step();
  }
}

int64_t CountOf(vx::sqlite::Database& db, const char* sql) {
  auto s = db.Prepare(sql);
  return s.Step() ? s.Int64(0) : -1;
}

bool UpgradeChecked(vx::sqlite::Database& db) {
  auto check = db.Prepare("PRAGMA integrity_check");
  if (!check.Step() || check.Text(0) != "ok") return false;
  return CountOf(db, "SELECT count(*) FROM ArchivedObjects NOT INDEXED") ==
         CountOf(db, "SELECT count(*) FROM ArchivedObjects INDEXED BY ArchivedObjectsByType");
}

}  // namespace

void WriteSchema(vx::sqlite::Database& db) {
  db.Exec("BEGIN");
  db.Exec(kTables);
  WriteStoredQueries(db);
  db.Exec("COMMIT");
}

void UpgradeSchema(vx::sqlite::Database& db) {
  {
    auto version = db.Prepare("SELECT Value FROM ArchiveInfo WHERE Name = 'FormatVersion'");
    const int found = version.Step() ? std::atoi(version.Text(0).c_str()) : 0;
    const int current = std::atoi(kFormatVersion);
    if (found == current) return;
    // A file of a later format is never rewritten back to this one.
    if (found > current)
      throw vx::ComError(vx::err::kArchiveNotADatabase, "Connection",
                         "The archive database was written by a newer version of Vexilon (format " +
                             std::to_string(found) + "); this version reads formats up to " + kFormatVersion + ".");
  }
  // Files of earlier formats keep their tables and rows as they are; the stored
  // queries change (format 2: newest row first, deletes by row, log texts of any
  // length; format 3: the log list without scripts) and format 3 adds the index
  // of the object lists. The index is built once, inside the transaction that
  // records the new format, and checked as a compacted copy is: the whole file
  // passes the integrity check and the index holds every row of its table. A
  // file that fails stays as it was and opens with its own stored queries.
  db.Exec("BEGIN IMMEDIATE");
  try {
    WriteStoredQueries(db);
    db.Exec(VX_ARCHIVED_IDS_INDEX);
    if (!UpgradeChecked(db)) {
      db.Exec("ROLLBACK");
      return;
    }
    db.Prepare("INSERT OR REPLACE INTO ArchiveInfo (Name, Value) VALUES ('FormatVersion', ?1)")
        .Bind(1, kFormatVersion)
        .Step();
    db.Exec("COMMIT");
  } catch (...) {
    try {
      db.Exec("ROLLBACK");
    } catch (...) {
    }
    throw;
  }
}

}  // namespace vx::archive::detail
