#pragma once
// The workgroup file: the accounts that may open an archive, and its key.
#include <string>

namespace vx::archive::detail {

struct Logon {
  std::string account;      // as the workgroup spells it
  bool administrator = false;
  std::string databaseKey;  // the archive's raw key
};

// Checks the account and password against the workgroup file and returns the
// logon. Raises kArchiveFileNotFound when the file is missing, kArchiveAuthentication
// for an unknown account or a wrong password, kArchiveNotADatabase for a file that
// is no workgroup file.
Logon LogOn(const std::string& workgroupPath, const std::string& account, const std::string& password);

void WriteWorkgroupFile(const std::string& path);

// Creates an empty file with owner-only permissions; false when it exists.
bool CreateOwnerOnlyFile(const std::string& path);

}  // namespace vx::archive::detail
