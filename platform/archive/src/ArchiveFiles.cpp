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

std::vector<std::string> Tables(vx::sqlite::Database& db, const std::string& schema) {
  std::vector<std::string> names;
  auto s = db.Prepare("SELECT name FROM " + schema + ".sqlite_master WHERE type = 'table' ORDER BY name");
  while (s.Step()) names.push_back(s.Text(0));
  return names;
}

int64_t Count(vx::sqlite::Database& db, const std::string& sql) {
  auto s = db.Prepare(sql);
  return s.Step() ? s.Int64(0) : -1;
}

// Syncs a written file to the disk on a thread of its own, from the moment it
// is made; Wait gives the sync's errno (0 when the file is on the disk).
class CopySync {
 public:
  explicit CopySync(const std::string& path)
      : thread_([this, path] {
          const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
          error_ = fd < 0 ? errno : ::fsync(fd) == 0 ? 0 : errno;
          if (fd >= 0) ::close(fd);
        }) {}
  ~CopySync() {
    if (thread_.joinable()) thread_.join();
  }
  CopySync(const CopySync&) = delete;
  CopySync& operator=(const CopySync&) = delete;
  int Wait() {
    if (thread_.joinable()) thread_.join();
    return error_;
  }

 private:
  int error_ = 0;
  std::thread thread_;
};

// Runs a piece of work on a thread of its own; Wait gives what it raised.
class Concurrent {
 public:
  explicit Concurrent(std::function<void()> work)
      : thread_([this, work = std::move(work)] {
          try {
            work();
          } catch (...) {
            error_ = std::current_exception();
          }
        }) {}
  ~Concurrent() {
    if (thread_.joinable()) thread_.join();
  }
  Concurrent(const Concurrent&) = delete;
  Concurrent& operator=(const Concurrent&) = delete;
  void Wait() {
    if (thread_.joinable()) thread_.join();
    if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
  }

 private:
  std::exception_ptr error_;
  std::thread thread_;
};

// The archive file as compaction found it.
struct FileState {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  struct timespec modified {}, changed {};
  bool operator==(const FileState& o) const {
    return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec &&
           modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
           changed.tv_nsec == o.changed.tv_nsec;
  }
};

// The file's state when it rests: no connection has it open (no log, no log
// index, no journal beside it) and it was last written two seconds ago or
// more, so that any later write shows in its time. Such a file is checked
// while it is copied: the check only reads it then.
std::optional<FileState> Resting(const std::string& path) {
  struct stat st {};
  for (const char* suffix : {"-wal", "-shm"})
    if (::lstat((path + suffix).c_str(), &st) == 0) return std::nullopt;
  if (::lstat((path + "-journal").c_str(), &st) == 0 && st.st_size > 0) return std::nullopt;
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || now.tv_sec - st.st_mtim.tv_sec < 2)
    return std::nullopt;
  return FileState{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
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
  const std::optional<FileState> resting = Resting(srcPath);
  std::optional<Concurrent> check;
  if (resting)
    check.emplace([&srcPath, &logon] { detail::CheckSound(srcPath, logon.databaseKey); });
  else
    detail::CheckSound(srcPath, logon.databaseKey);
  auto checked = [&check] {
    if (check) check->Wait();
  };
  if (!detail::CreateOwnerOnlyFile(dstPath)) {
    checked();
    throw ComError(err::kFileAlreadyExists, kSource, "Database '" + dstPath + "' already exists.");
  }
  try {
    try {
      auto source = resting ? std::make_unique<vx::sqlite::Database>(
                                  srcPath, vx::sqlite::OpenMode::ImmutableAttaching, logon.databaseKey, 5000,
                                  detail::ArchivePageSize(srcPath, logon.databaseKey))
                            : detail::OpenArchiveFile(srcPath, vx::sqlite::OpenMode::ReadWrite, logon.databaseKey, 5000);
      vx::sqlite::Database& db = *source;
      db.Prepare("ATTACH DATABASE ?1 AS compact KEY ?2").Bind(1, dstPath).Bind(2, logon.databaseKey).Step();
      // The copy has pages of 4 KB. It is written without a journal (a copy cut
      // short is removed, never used) and synced below, while it is checked.
      db.Exec("PRAGMA compact.cipher_page_size = " + std::to_string(detail::kCompactedPageSize));
      db.Exec("PRAGMA compact.journal_mode = OFF");
      db.Exec("PRAGMA compact.synchronous = OFF");
      db.Exec("SELECT sqlcipher_export('compact')");
      // The copy is marked for the write-ahead log, as every connection to the
      // archive would mark it: the archive it becomes is used as it is.
      db.Exec("PRAGMA compact.journal_mode = WAL");
      // Check the copy: every table holds the same rows, and the schema is whole.
      const auto tables = Tables(db, "main");
      if (tables != Tables(db, "compact"))
        throw ComError(err::kArchiveNotADatabase, kSource, "The compacted copy of '" + srcPath + "' is incomplete.");
      for (const auto& t : tables) {
        if (t == "sqlite_sequence") continue;
        const std::string quoted = vx::sqlite::QuoteName(t);
        if (Count(db, "SELECT count(*) FROM main." + quoted) != Count(db, "SELECT count(*) FROM compact." + quoted))
          throw ComError(err::kArchiveNotADatabase, kSource,
                         "The compacted copy of '" + srcPath + "' differs from it in table " + t + ".");
      }
      if (Count(db, "SELECT count(*) FROM main.sqlite_master") !=
          Count(db, "SELECT count(*) FROM compact.sqlite_master"))
        throw ComError(err::kArchiveNotADatabase, kSource, "The compacted copy of '" + srcPath + "' is incomplete.");
      db.Exec("DETACH DATABASE compact");
    } catch (...) {
      checked();  // a damaged archive is said to be damaged
      throw;
    }
    checked();
    // The copy is made from what the file and its log hold together; it may only
    // take the file's place when the log has been folded in and removed. A
    // resting file read alone must still be the file as it was.
    struct stat log {};
    if (::stat((srcPath + "-wal").c_str(), &log) == 0 && log.st_size > 0) detail::RaiseHeld(srcPath);
    if (resting) {
      const std::optional<FileState> now = Resting(srcPath);
      if (!now || !(*now == *resting)) detail::RaiseHeld(srcPath);
    }
    // The copy is written whole; the disk takes it in while it is checked.
    CopySync sync(dstPath);
    vx::sqlite::Database copy(dstPath, vx::sqlite::OpenMode::ReadWrite, logon.databaseKey, 5000,
                              detail::kCompactedPageSize);
    detail::BoundPageCache(copy);
    {
      auto ic = copy.Prepare("PRAGMA integrity_check");
      if (!ic.Step() || ic.Text(0) != "ok")
        throw ComError(err::kArchiveNotADatabase, kSource, "The compacted copy of '" + srcPath + "' is damaged.");
      auto mode = copy.Prepare("PRAGMA journal_mode");
      if (!mode.Step() || mode.Text(0) != "wal")
        throw ComError(err::kArchiveNotADatabase, kSource,
                       "The compacted copy of '" + srcPath + "' is not marked for the write-ahead log.");
    }
    if (const int e = sync.Wait())
      throw ComError(err::kPermissionDenied, kSource,
                     "Cannot write the compacted copy '" + dstPath + "': " + std::strerror(e) + ".");
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
    throw ComError(err::kPermissionDenied, kSource, "The file '" + path + "' cannot be read: " + std::strerror(errno) + ".");
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
