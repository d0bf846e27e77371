#pragma once
// The enumerations and records that cross every interface of the system.
// Containers keep lngElements equal to the size of their vector; readers walk
// 0 .. lngElements - 1.
#include <cstdint>
#include <string>
#include <vector>

#include "automation/VbBool.h"

enum ENU_LOGIN_AUTHENTICATION_TYPES : int32_t {
  ENU_LAT_TRUSTED = 1,
  ENU_LAT_SQLSERVER = 2,
};

enum ENU_OBJECT_TYPES : int32_t {
  ENU_OBT_STORED_PROCEDURE = 1,
  ENU_OBT_TRIGGER = 2,
  ENU_OBT_USER_DEFINED_FUNCTION = 3,
  ENU_OBT_VIEW = 4,
};

enum ENU_SERVER_CONNECTION_RESPONSES : int32_t {
  ENU_SCR_ACCESS_DENIED = 1,
  ENU_SCR_UNABLE_TO_CONNECT = 2,
  ENU_SCR_WRONG_SERVER_VERSION = 3,
  ENU_SCR_NO_PERMISSION = 4,
  ENU_SCR_SUCCESSFUL = 5,
};

enum ENU_LISTVIEW_SELECTED : int32_t {
  ENU_LVS_OBJECTS = 1,
  ENU_LVS_ENCRYPTED_OBJECTS = 2,
  ENU_NONE = 3,
};

// A restore that changed nothing on the server (no archive copy, or the server
// step failed) is ENU_RES_FAILED; only ENU_RES_SUCCESSFUL counts as restored.
enum ENU_RESTORE_RESULT : int32_t {
  ENU_RES_FAILED = 0,
  ENU_RES_SUCCESSFUL = 1,
  ENU_RES_ARCHIVE_VERSION_OLDER = 3,
};

struct UDT_LOGIN_CREDENTIALS {
  std::string strSQLServerName;
  ENU_LOGIN_AUTHENTICATION_TYPES enumLoginAuthenticationType = ENU_LAT_TRUSTED;
  std::string strUserName;
  std::string strPassword;
  bool operator==(const UDT_LOGIN_CREDENTIALS&) const = default;
};

struct UDT_DATABASE {
  int32_t lngDatabaseID = 0;
  std::string strDatabaseName;
  bool operator==(const UDT_DATABASE&) const = default;
};

struct UDT_DATABASE_CONTAINER {
  int32_t lngElements = 0;
  std::vector<UDT_DATABASE> arrDatabases;
  bool operator==(const UDT_DATABASE_CONTAINER&) const = default;
};

struct UDT_OBJECT {
  int32_t lngID = 0;
  ENU_OBJECT_TYPES enumObjectType = static_cast<ENU_OBJECT_TYPES>(0);
  int32_t lngTableID = 0;
  std::string strTableName;
  std::string strObjectName;
  std::string strOwnerName;
  std::string strCreateDate;
  std::string strArchivedDate;
  int32_t lngSchemaVersion = 0;
  std::string strScript;
  std::string strDropScriptHeader;
  std::string strDropScript;
  std::string strCreateScriptHeader;
  std::string strCreateScript;
  bool operator==(const UDT_OBJECT&) const = default;
};

struct UDT_OBJECT_CONTAINER {
  int32_t lngElements = 0;
  std::vector<UDT_OBJECT> arrObjects;
  bool operator==(const UDT_OBJECT_CONTAINER&) const = default;
};

struct UDT_OBJECT_ID {
  int32_t lngID = 0;
  std::string strArchivedDate;
  int32_t lngSchemaVersion = 0;
  bool operator==(const UDT_OBJECT_ID&) const = default;
};

struct UDT_OBJECT_ID_CONTAINER {
  int32_t lngElements = 0;
  std::vector<UDT_OBJECT_ID> arrObjects;
  bool operator==(const UDT_OBJECT_ID_CONTAINER&) const = default;
};

struct UDT_GENERATE_SCRIPT_OPTIONS {
  vx::VbBool blnGenerateCreateCommands = vx::kFalse;
  vx::VbBool blnGenerateDropCommands = vx::kFalse;
  vx::VbBool blnIncludeHeaders = vx::kFalse;
  bool operator==(const UDT_GENERATE_SCRIPT_OPTIONS&) const = default;
};

struct UDT_NODE_OBJECTS_CONTAINER {
  UDT_OBJECT_CONTAINER typObjectContainer;
  UDT_OBJECT_CONTAINER typEncryptedObjectContainer;
  bool operator==(const UDT_NODE_OBJECTS_CONTAINER&) const = default;
};

// Appends to a container and keeps its count in step.
template <typename Container, typename Element>
void AppendElement(Container& c, std::vector<Element>& arr, Element e) {
  arr.push_back(std::move(e));
  c.lngElements = static_cast<int32_t>(arr.size());
}
inline void Append(UDT_DATABASE_CONTAINER& c, UDT_DATABASE e) { AppendElement(c, c.arrDatabases, std::move(e)); }
inline void Append(UDT_OBJECT_CONTAINER& c, UDT_OBJECT e) { AppendElement(c, c.arrObjects, std::move(e)); }
inline void Append(UDT_OBJECT_ID_CONTAINER& c, UDT_OBJECT_ID e) { AppendElement(c, c.arrObjects, std::move(e)); }
