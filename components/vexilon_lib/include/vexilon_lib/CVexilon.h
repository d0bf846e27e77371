#pragma once
// The engine: one SQL Server connection at a time, the catalogue lists and
// readers, the archive's registered servers, archived objects and log.
//
// Members keep the interface order of _CVexilon. Every member but the three
// connection-string accessors passes any error on to its caller unchanged
// (a vx::ComError with its number, source and description). Booleans crossing
// the interface are 16-bit: True = -1, False = 0.
//
// State kept between calls: the errors flag, the server connection string, the
// archive connection string and the server object (shared: the program hands it
// from one engine to another). Everything else lives within one member call.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/Recordset.h"
#include "automation/OleDate.h"
#include "automation/VbBool.h"
#include "vexilon_global/Types.h"

namespace vx::sqlserver {
class SQLServer;
class Database;
class Recordset;
class SessionFactory;
}  // namespace vx::sqlserver
namespace vexilon {
struct Keeps;
struct KeptTrigger;
}  // namespace vexilon
namespace vx::archive {
class Connection;
}

class CVexilon {
 public:
  using ServerObject = std::shared_ptr<vx::sqlserver::SQLServer>;
  using Recordset = vx::archive::Recordset;

  CVexilon();
  ~CVexilon();
  CVexilon(const CVexilon&) = delete;
  CVexilon& operator=(const CVexilon&) = delete;

  // 1-7: properties
  void SetSQLServerConnectionString(const std::string& value);
  std::string GetSQLServerConnectionString() const;
  void SetAppConnectionString(const std::string& value);
  ServerObject GetSQLServer() const;
  void SetSQLServer(const ServerObject& server);
  vx::VbBool GetErrorsExist() const;
  void SetErrorsExist(vx::VbBool value);
  // How ConnectServer reaches a server by name. Default: a simulated server when
  // the simulator folder holds one of that name, else a real one over ODBC
  // (sqlserver_connect/RoutingSessionFactory.h). nullptr restores the default.
  void SetSessionFactory(std::shared_ptr<vx::sqlserver::SessionFactory> factory);
  std::shared_ptr<vx::sqlserver::SessionFactory> GetSessionFactory() const;

  // 8: T-SQL coloured as RTF
  std::string ParseSQLSyntax(const std::string& strSQL);

  // 9-12: server connection
  ENU_SERVER_CONNECTION_RESPONSES ConnectServer(UDT_LOGIN_CREDENTIALS& typLoginCredentials);
  void DisconnectSQLServer();
  vx::VbBool HasLoginDatabaseAccess(int32_t lngDatabaseID);
  vx::VbBool CheckDatabasePermissions(int32_t lngDatabaseID);

  // 13-22: lists and readers
  UDT_DATABASE_CONTAINER GetDatabases(vx::VbBool blnIgnoreSystemDatabases);
  UDT_OBJECT_CONTAINER GetStoredProcedures(int32_t lngDatabaseID, vx::VbBool blnIgnoreSystemObjects);
  UDT_OBJECT GetStoredProcedure(int32_t lngDatabaseID, int32_t lngID);
  UDT_OBJECT GetView(int32_t lngDatabaseID, int32_t lngID);
  UDT_OBJECT_ID GetObjectSchemaVersion(int32_t lngDatabaseID, int32_t lngID);
  UDT_OBJECT GetUserDefinedFunction(int32_t lngDatabaseID, int32_t lngID);
  UDT_OBJECT GetTrigger(int32_t lngDatabaseID, int32_t lngID);
  UDT_OBJECT_CONTAINER GetEncryptedStoredProcedures(int32_t lngDatabaseID, vx::VbBool blnIgnoreSystemObjects);
  UDT_OBJECT_CONTAINER GetViews(int32_t lngDatabaseID, vx::VbBool blnIgnoreSystemObjects);
  UDT_OBJECT_CONTAINER GetTriggers(int32_t lngDatabaseID, vx::VbBool blnIgnoreSystemObjects);

  // 23-27: archive
  vx::VbBool CheckDatabaseArchiveConnection();
  vx::VbBool IsArchivedObjectExist(const std::string& strServerName, int32_t lngDatabaseID, int32_t lngID);
  UDT_OBJECT_CONTAINER GetArchivedObjects(int32_t lngDatabaseID,
                                          ENU_OBJECT_TYPES enumObjectType = static_cast<ENU_OBJECT_TYPES>(0));
  UDT_OBJECT_ID_CONTAINER GetArchivedObjectIDs(int32_t lngDatabaseID,
                                               ENU_OBJECT_TYPES enumObjectType = static_cast<ENU_OBJECT_TYPES>(0));
  UDT_OBJECT_ID GetArchivedObjectID(int32_t lngDatabaseID, int32_t lngID = 0);

  // 28-32: more lists and the object read through the object model alone
  UDT_OBJECT_CONTAINER GetEncryptedTriggers(int32_t lngDatabaseID, vx::VbBool blnIgnoreSystemObjects);
  UDT_OBJECT_CONTAINER GetUserDefinedFunctions(int32_t lngDatabaseID, vx::VbBool blnIgnoreSystemObjects);
  UDT_OBJECT_CONTAINER GetEncryptedViews(int32_t lngDatabaseID, vx::VbBool blnIgnoreSystemObjects);
  UDT_OBJECT_CONTAINER GetEncryptedUserDefinedFunctions(int32_t lngDatabaseID, vx::VbBool blnIgnoreSystemObjects);
  UDT_OBJECT GetSQLServerObject(int32_t lngDatabaseID, int32_t lngID, ENU_OBJECT_TYPES enumObjectType,
                                int32_t lngTableID = 0);

  // 33-40: encryption, with and without archiving
  vx::VbBool EncryptStoredProcedure(int32_t lngDatabaseID, int32_t lngID);
  vx::VbBool EncryptArchiveStoredProcedure(int32_t lngDatabaseID, int32_t lngID);
  vx::VbBool EncryptArchiveTrigger(int32_t lngDatabaseID, int32_t lngID, int32_t lngTableID);
  vx::VbBool EncryptTrigger(int32_t lngDatabaseID, int32_t lngID, int32_t lngTableID);
  vx::VbBool EncryptView(int32_t lngDatabaseID, int32_t lngID);
  vx::VbBool EncryptArchiveView(int32_t lngDatabaseID, int32_t lngID);
  vx::VbBool EncryptUserDefinedFunction(int32_t lngDatabaseID, int32_t lngID);
  vx::VbBool EncryptArchiveUserDefinedFunction(int32_t lngDatabaseID, int32_t lngID);

  // 41-44: registered servers
  Recordset GetSQLServers(const std::string& strSQLServerName = "");
  vx::VbBool RegisterSQLServer(const std::string& strSQLServerName,
                               ENU_LOGIN_AUTHENTICATION_TYPES enumLoginAuthenticationType,
                               const std::string& strUserName, const std::string& strPassword);
  vx::VbBool UnregisterSQLServer(const std::string& strSQLServerName);
  vx::VbBool UpdateSQLServer(const std::string& strSQLServerName,
                             ENU_LOGIN_AUTHENTICATION_TYPES enumLoginAuthenticationType,
                             const std::string& strUserName, const std::string& strPassword);

  // 45-49: archived object, exports, restore
  UDT_OBJECT GetArchivedObject(int32_t lngDatabaseID, int32_t lngID, vx::VbBool& blnObjectExists);
  vx::VbBool ExportLog(const std::string& strFileName);
  vx::VbBool ExportArchivedObjectRestoreScript(int32_t lngDatabaseID, UDT_OBJECT_CONTAINER& typObjectContainer,
                                               const std::string& strFileName,
                                               UDT_GENERATE_SCRIPT_OPTIONS& typUDTGenerateScriptOptions);
  std::string GetArchivedObjectRestoreScript(int32_t lngDatabaseID, UDT_OBJECT_CONTAINER& typObjectContainer,
                                             UDT_GENERATE_SCRIPT_OPTIONS& typUDTGenerateScriptOptions);
  ENU_RESTORE_RESULT RestoreObject(int32_t lngDatabaseID, int32_t lngID, const std::string& strObjectName,
                                   const std::string& strOwnerName, ENU_OBJECT_TYPES enuObjectType,
                                   vx::VbBool blnIgnoreArchiveOlder);

  // 50-53: server count and the log
  int32_t GetSQLServerCount();
  vx::VbBool AddLogItem(vx::OleDate dteDateTime, const std::string& strSQLServerName,
                        const std::string& strDatabaseName, const std::string& strOwnerName,
                        ENU_OBJECT_TYPES enumObjectType, const std::string& strObjectName,
                        const std::string& strMessage, const std::string& strScript,
                        const std::string& strTableName = "");
  Recordset GetLog(int32_t lngLogID = 0);
  vx::VbBool ClearLog();

 protected:
  // Shared by the members (and by the encryption and restore members).
  // The held server object; raises error 91 when none is held.
  vx::sqlserver::SQLServer& Server() const;
  // The database of that id through the object model (raises when unknown).
  std::shared_ptr<vx::sqlserver::Database> DatabaseByID(int32_t lngDatabaseID) const;
  // Runs one catalogue query in the database of that id on the held server
  // object's catalogue session and returns its disconnected rows.
  vx::sqlserver::Recordset CatalogueQuery(int32_t lngDatabaseID, const std::string& queryText) const;
  // A new connection to the archive on AppConnectionString.
  vx::archive::Connection OpenArchive() const;
  // Reads an object list (the query's rows into records of one kind).
  UDT_OBJECT_CONTAINER ListObjects(int32_t lngDatabaseID, const std::string& queryText,
                                   ENU_OBJECT_TYPES kind) const;
  // One of the four catalogue readers.
  UDT_OBJECT ReadObject(int32_t lngDatabaseID, int32_t lngID, ENU_OBJECT_TYPES kind) const;

 public:
  // What tells the kinds of object apart when they are encrypted.
  struct EncryptKind;

 protected:
  // The one flow behind the eight encrypt members.
  vx::VbBool EncryptObject(const EncryptKind& kind, int32_t lngDatabaseID, int32_t lngID, int32_t lngTableID,
                           bool archive);
  // True when the stored procedure has numbers above 1 (name;2, ...).
  bool IsNumberedProcedure(int32_t lngDatabaseID, int32_t lngID) const;
  // After the server step: deletes, by their own row ids, the rows of one
  // object for which drop(rowId, archivedText) holds. Waits a bounded time for
  // an archive that another process holds; never raises.
  void DeleteArchivedRows(const std::string& serverName, int32_t lngDatabaseID, int32_t lngID,
                          const std::function<bool(int32_t rowId, const std::string& script)>& drop) const;
  // The names of a view's indexes joined with ", " (statistics left out); "" when it has none.
  std::string ViewIndexes(int32_t lngDatabaseID, int32_t lngID) const;
  // The names of the columns a permission on single columns is held on (its
  // sysprotects row: grantee `uid`, `action`, a bitmap of `bytes` bytes); empty
  // when they cannot be read or named.
  std::vector<std::string> PermissionColumns(int32_t lngDatabaseID, int32_t lngID, int32_t uid, int32_t action,
                                             int32_t bytes) const;
  // Before a restore: what dropping the object would take with it (a view's
  // triggers, the permissions on it) and the batches that put it back, or why
  // it cannot be put back. Never raises.
  vexilon::Keeps WhatTheDropTakes(int32_t lngDatabaseID, int32_t lngID, int32_t objectType,
                                  const std::string& ownerName, const std::string& objectName,
                                  vx::archive::Connection& connection) const;
  // After the restore committed on the server: the archive rows of the view's
  // encrypted triggers follow them to their new ids.
  // Returns the triggers whose rows stay under their old ids.
  std::vector<const vexilon::KeptTrigger*> MoveTriggerRows(const vexilon::Keeps& keeps, int32_t lngDatabaseID,
                                                           vx::archive::Connection& connection) const;

 private:
  vx::VbBool errorsExist_ = vx::kFalse;
  std::string sqlServerConnectionString_;
  std::string appConnectionString_;
  ServerObject sqlServer_;
  std::shared_ptr<vx::sqlserver::SessionFactory> sessionFactory_;
};
