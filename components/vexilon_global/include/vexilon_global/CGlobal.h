#pragma once
// The settings object: one instance per process, made at the first use of
// Instance(). It loads every setting from "SOFTWARE\Morvane\Vexilon" under the
// current user, writes a default for each missing option, holds the default for
// an option whose value is no Boolean (the next save mends it), and computes
// the machine texts once. Gets return the cached value; lets write the registry
// first and then the cache. Errors pass to the caller unchanged.
#include <string>

#include "automation/VbBool.h"

class CGlobal {
 public:
  // The process-wide instance, constructed at the first call. A construction
  // that failed is tried again at the next call.
  static CGlobal& Instance();

  // One construction: reads the registry. The program uses Instance(); tests
  // construct directly to stand for a new process.
  CGlobal();

  std::string ApplicationPath() const { return application_path_; }
  std::string SystemInfo() const { return system_info_; }
  std::string SystemLocaleInfo() const { return system_locale_info_; }
  std::string SystemVolumeInfo() const { return system_volume_info_; }
  std::string ApplicationInfo() const { return application_info_; }
  void ApplicationInfo(const std::string& strSetting);
  std::string VersionInfo() const { return version_info_; }
  void VersionInfo(const std::string& strSetting);
  std::string WindowsPath() const { return windows_path_; }
  std::string DbConnectionString() const { return db_connection_string_; }
  std::string DbAdminConnectionString() const { return db_admin_connection_string_; }
  std::string DbTempAdminConnectionString() const { return db_temp_admin_connection_string_; }
  void ShowSystemDatabases(vx::VbBool blnSetting);
  vx::VbBool ShowSystemObjects() const { return show_system_objects_; }
  void ShowSystemObjects(vx::VbBool blnSetting);
  vx::VbBool ShowSystemDatabases() const { return show_system_databases_; }
  void GenerateCreateCommands(vx::VbBool blnSetting);
  vx::VbBool GenerateCreateCommands() const { return generate_create_commands_; }
  void GenerateDropCommands(vx::VbBool blnSetting);
  vx::VbBool GenerateDropCommands() const { return generate_drop_commands_; }
  void IncludeHeaders(vx::VbBool blnSetting);
  vx::VbBool IncludeHeaders() const { return include_headers_; }
  vx::VbBool ArchiveEncryptedDatabaseObjects() const { return archive_encrypted_database_objects_; }
  void ArchiveEncryptedDatabaseObjects(vx::VbBool blnSetting);

 private:
  void WriteSetting(const char* valueName, const std::string& value);
  void LetBoolean(const char* valueName, vx::VbBool value, vx::VbBool& cached);

  std::string application_path_;
  std::string windows_path_;
  std::string db_connection_string_;
  std::string db_admin_connection_string_;
  std::string db_temp_admin_connection_string_;
  std::string system_info_;
  std::string system_locale_info_;
  std::string system_volume_info_;
  std::string application_info_;
  std::string version_info_;
  vx::VbBool show_system_databases_ = vx::kFalse;
  vx::VbBool show_system_objects_ = vx::kFalse;
  vx::VbBool generate_create_commands_ = vx::kFalse;
  vx::VbBool generate_drop_commands_ = vx::kFalse;
  vx::VbBool include_headers_ = vx::kFalse;
  vx::VbBool archive_encrypted_database_objects_ = vx::kFalse;
};

// A stored setting as a Boolean: a number is True when not zero; the words
// True and False are accepted; anything else raises run-time error 13.
vx::VbBool SettingToBoolean(const std::string& text);
