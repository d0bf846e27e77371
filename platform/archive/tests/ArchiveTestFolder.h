#pragma once
// A fresh folder under TMPDIR holding an empty archive and its workgroup file.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "archive/ArchiveFiles.h"

namespace archive_test {

class ArchiveFolder {
 public:
  explicit ArchiveFolder(const std::string& extra = "") {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vx-archive" + extra + "-XXXXXX";
    char* made = ::mkdtemp(pattern.data());
    folder_ = std::string(made ? made : pattern.c_str()) + "/";
    vx::archive::CreateArchive(folder_ + vx::archive::kArchiveFileName);
    vx::archive::CreateWorkgroup(folder_ + vx::archive::kWorkgroupFileName);
  }
  ~ArchiveFolder() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  const std::string& Folder() const { return folder_; }
  std::string Path(const char* name) const { return folder_ + name; }
  std::string User() const { return vx::archive::UserConnectionString(folder_); }
  std::string Admin() const { return vx::archive::AdminConnectionString(folder_); }

 private:
  std::string folder_;
};

}  // namespace archive_test
