#include "archive/ArchiveFiles.h"

#include <sqlcipher/sqlite3.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "ArchiveDescriptor.h"
#include "ArchiveErrors.h"
#include "Compaction.h"
#include "IdleConnection.h"
#include "PageSize.h"
#include "ProcessLock.h"
#include "Schema.h"
#include "Secrets.h"
#include "Soundness.h"
#include "Workgroup.h"
#include "archive/ConnectionString.h"
#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "sqlite/Database.h"

namespace vx::archive {
namespace {

constexpr const char* kSource = "Archive";

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

void CreateArchive(const std::string& path) {
  if (!detail::CreateOwnerOnlyFile(path))
    throw ComError(err::kFileAlreadyExists, kSource, "Database '" + path + "' already exists.");
  try {
    vx::sqlite::Database db(path, vx::sqlite::OpenMode::ReadWrite, std::string(detail::kArchiveKey));
    detail::WriteSchema(db);
  } catch (const vx::sqlite::SqliteError& e) {
    std::remove(path.c_str());
    detail::RaiseMapped(e, "Cannot create the archive database '" + path + "'");
  }
}

void CreateWorkgroup(const std::string& path) {
  try {
    detail::WriteWorkgroupFile(path);
  } catch (const vx::sqlite::SqliteError& e) {
    std::remove(path.c_str());
    detail::RaiseMapped(e, "Cannot write the workgroup information file '" + path + "'");
  }
}

void CompactDatabase(const std::string& sourceConnectionString, const std::string& destinationConnectionString) {
  CompactDatabase(sourceConnectionString, destinationConnectionString, nullptr);
}

void CompactDatabase(const std::string& sourceConnectionString, const std::string& destinationConnectionString,
                     const std::function<void()>& replace) {
  const ConnectionString src = ConnectionString::Parse(sourceConnectionString);
  const ConnectionString dst = ConnectionString::Parse(destinationConnectionString);
  const std::string srcPath = src.DataSource(), dstPath = dst.DataSource();
  if (srcPath.empty() || dstPath.empty())
    throw ComError(err::kArchiveConnectionString, kSource, "The connection string names no Data Source.");
  if (!Exists(srcPath)) throw ComError(err::kArchiveFileNotFound, kSource, "Could not find file '" + srcPath + "'.");
  const detail::Logon logon = detail::LogOn(src.SystemDatabase(), src.UserId(), src.Password());
  if (!logon.administrator)
    throw ComError(err::kArchiveAuthentication, kSource,
                   "You do not have the necessary permissions to compact '" + srcPath + "'.");
  if (!dst.SystemDatabase().empty()) {
    // The destination's account must be valid too, as the copy is made for it.
    detail::LogOn(dst.SystemDatabase(), dst.UserId(), dst.Password());
  }
  auto lock = detail::ProcessLock::Acquire(srcPath);
  detail::CloseIdleConnection(srcPath);
  // A resting archive is checked while it is copied, on a thread of its own:
  // the check only reads it then, and its verdict comes before the copy's.
  // Otherwise the check comes first: it may take a log into the file.
  const std::optional<detail::FileState> resting = detail::Resting(srcPath);
  // The copy begun ahead, when the archive has rested as it is since.
  const bool madeAhead = resting && detail::TakeCopyMadeAhead(srcPath, dstPath, *resting);
  std::optional<detail::Concurrent> check;
  if (resting)
    check.emplace([&srcPath, &logon] { detail::CheckSound(srcPath, logon.databaseKey); });
  else
    detail::CheckSound(srcPath, logon.databaseKey);
  auto checked = [&check] {
    if (check) check->Wait();
  };
  if (!madeAhead && !detail::CreateOwnerOnlyFile(dstPath)) {
    checked();
    throw ComError(err::kFileAlreadyExists, kSource, "Database '" + dstPath + "' already exists.");
  }
  try {
    try {
      if (!madeAhead) detail::WriteCompactedCopy(srcPath, dstPath, logon.databaseKey, resting.has_value());
    } catch (...) {
      checked();  // a damaged archive is said to be damaged
      throw;
    }
    checked();
    // The copy is made from what the file and its log hold together; it may
    // only take the file's place when the log has been folded in and removed. A
    // resting file read alone must still be the file as it was.
    struct stat log {};
    if (::stat((srcPath + "-wal").c_str(), &log) == 0 && log.st_size > 0) detail::RaiseHeld(srcPath);
    if (resting) {
      const std::optional<detail::FileState> now = detail::Resting(srcPath);
      if (!now || !(*now == *resting)) detail::RaiseHeld(srcPath);
    }
    if (!madeAhead) detail::CheckCompactedCopy(srcPath, dstPath, logon.databaseKey);
  } catch (const vx::sqlite::SqliteError& e) {
    std::remove(dstPath.c_str());
    detail::RaiseMapped(e, "Cannot compact '" + srcPath + "'");
  } catch (...) {
    std::remove(dstPath.c_str());
    throw;
  }
  ::chmod(dstPath.c_str(), 0600);
  if (replace) replace();
}

void CheckArchiveSound(const std::string& path) {
  if (!Exists(path)) throw ComError(err::kArchiveFileNotFound, kSource, "Could not find file '" + path + "'.");
  if (::access(path.c_str(), R_OK | W_OK) != 0)
    throw ComError(err::kPermissionDenied, kSource,
                   "The archive database '" + path + "' cannot be opened: " + std::strerror(errno) + ".");
  auto lock = detail::ProcessLock::Acquire(path);
  detail::CheckSound(path, detail::kArchiveKey);
}

void CacheArchiveFile(const std::string& path) { detail::ReadAhead(path); }

void WhileArchiveHeld(const std::string& path, const std::function<void()>& work) {
  const auto lock = detail::ProcessLock::Acquire(path);
  work();
}

int ReadArchiveFile(const std::string& path, const std::function<bool(const char* data, std::size_t size)>& block) {
  std::shared_ptr<detail::ArchiveDescriptor> file;
  try {
    file = detail::ArchiveDescriptor::Hold(path);
  } catch (const ComError& e) {
    return e.Number() == err::kArchiveFileNotFound ? ENOENT : e.Number() == err::kPermissionDenied ? EACCES : EIO;
  }
  std::vector<char> buffer(1 << 16);
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(file->Fd(), buffer.data(), buffer.size(), at);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n < 0) return errno;
    if (n == 0 || !block(buffer.data(), static_cast<std::size_t>(n))) return 0;
    at += n;
  }
}

void CheckCopySound(const std::string& path) {
  if (!Exists(path)) throw ComError(err::kArchiveFileNotFound, kSource, "Could not find file '" + path + "'.");
  if (::access(path.c_str(), R_OK) != 0)
    throw ComError(err::kPermissionDenied, kSource,
                   "The file '" + path + "' cannot be read: " + std::strerror(errno) + ".");
  detail::CheckSound(path, detail::kArchiveKey, detail::SoundnessOf::Copy);
}

void CloseArchive(const std::string& path) {
  auto lock = detail::ProcessLock::Acquire(path);
  detail::CloseIdleConnection(path);
}

std::string UserConnectionString(const std::string& folder) {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + QuoteConnectionValue(folder + kArchiveFileName) +
         ";User ID=" + detail::kUserAccount + ";Password=" + detail::kUserPassword +
         ";Jet OLEDB:System Database=" + QuoteConnectionValue(folder + kWorkgroupFileName);
}

std::string AdminConnectionString(const std::string& folder) {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + QuoteConnectionValue(folder + kArchiveFileName) +
         ";Jet OLEDB:System Database=" + QuoteConnectionValue(folder + kWorkgroupFileName) +
         ";User ID=" + detail::kAdminAccount + ";Password=" + detail::kAdminPassword;
}

std::string CompactTargetConnectionString(const std::string& folder) {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + QuoteConnectionValue(folder + kCompactFileName) +
         ";Jet OLEDB:System Database=" + QuoteConnectionValue(folder + kWorkgroupFileName) +
         ";Jet OLEDB:Encrypt Database=True;User ID=" + detail::kAdminAccount + ";Password=" + detail::kAdminPassword;
}

}  // namespace vx::archive
