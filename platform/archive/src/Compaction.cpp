#include "Compaction.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "PageSize.h"
#include "ProcessLock.h"
#include "Soundness.h"
#include "Workgroup.h"
#include "archive/ArchiveFiles.h"
#include "archive/ConnectionString.h"
#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "sqlite/Database.h"

namespace vx::archive {
namespace detail {
namespace {

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

}  // namespace

// A copy begun ahead: written into a file of its own beside the destination.
struct AheadCopy {
  std::string src, dst, temp;
  FileState rested;
  std::thread thread;
  bool whole = false;  // written, compared with the archive, checked and synced
  bool taken = false;  // moved to the destination by the compaction
};

namespace {

// The one copy begun ahead in this process, if any.
std::mutex aheadMutex;
AheadCopy* ahead = nullptr;

// Removes a copy begun ahead that compaction has not taken, with the files
// SQLite may have left beside it.
void Discard(AheadCopy& copy) {
  if (copy.taken || copy.temp.empty()) return;
  for (const char* suffix : {"", "-wal", "-shm"}) ::unlink((copy.temp + suffix).c_str());
  copy.temp.clear();
}

}  // namespace

std::optional<FileState> Resting(const std::string& path) {
  struct stat st {};
  for (const char* suffix : {"-wal", "-shm"})
    if (::lstat((path + suffix).c_str(), &st) == 0) return std::nullopt;
  if (::lstat((path + "-journal").c_str(), &st) == 0 && st.st_size > 0) return std::nullopt;
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || now.tv_sec - st.st_mtim.tv_sec < 2) return std::nullopt;
  return FileState{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

void WriteCompactedCopy(const std::string& srcPath, const std::string& dstPath, const std::string& key, bool resting) {
  auto source = resting ? std::make_unique<vx::sqlite::Database>(srcPath, vx::sqlite::OpenMode::ImmutableAttaching, key,
                                                                 5000, ArchivePageSize(srcPath, key))
                        : OpenArchiveFile(srcPath, vx::sqlite::OpenMode::ReadWrite, key, 5000);
  vx::sqlite::Database& db = *source;
  db.Prepare("ATTACH DATABASE ?1 AS compact KEY ?2").Bind(1, dstPath).Bind(2, key).Step();
  // The copy has pages of 4 KB. It is written without a journal (a copy cut
  // short is removed, never used) and synced afterwards, while it is checked.
  db.Exec("PRAGMA compact.cipher_page_size = " + std::to_string(kCompactedPageSize));
  db.Exec("PRAGMA compact.journal_mode = OFF");
  db.Exec("PRAGMA compact.synchronous = OFF");
  db.Exec("SELECT sqlcipher_export('compact')");
  // The copy is marked for the write-ahead log, as every connection to the
  // archive would mark it: the archive it becomes is used as it is.
  db.Exec("PRAGMA compact.journal_mode = WAL");
  // Check the copy: every table holds the same rows, and the schema is whole.
  const auto tables = Tables(db, "main");
  if (tables != Tables(db, "compact"))
    throw ComError(err::kArchiveNotADatabase, "Archive", "The compacted copy of '" + srcPath + "' is incomplete.");
  for (const auto& t : tables) {
    if (t == "sqlite_sequence") continue;
    const std::string quoted = vx::sqlite::QuoteName(t);
    if (Count(db, "SELECT count(*) FROM main." + quoted) != Count(db, "SELECT count(*) FROM compact." + quoted))
      throw ComError(err::kArchiveNotADatabase, "Archive",
                     "The compacted copy of '" + srcPath + "' differs from it in table " + t + ".");
  }
  if (Count(db, "SELECT count(*) FROM main.sqlite_master") != Count(db, "SELECT count(*) FROM compact.sqlite_master"))
    throw ComError(err::kArchiveNotADatabase, "Archive", "The compacted copy of '" + srcPath + "' is incomplete.");
  db.Exec("DETACH DATABASE compact");
}

void CheckCompactedCopy(const std::string& srcPath, const std::string& dstPath, const std::string& key) {
  // The copy is written whole; the disk takes it in while it is checked.
  Concurrent sync([&dstPath] {
    const int fd = ::open(dstPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0 && ::fsync(fd) == 0 && ::close(fd) == 0) return;
    const int e = errno;
    if (fd >= 0) ::close(fd);
    throw ComError(err::kPermissionDenied, "Archive",
                   "Cannot write the compacted copy '" + dstPath + "': " + std::strerror(e) + ".");
  });
  vx::sqlite::Database copy(dstPath, vx::sqlite::OpenMode::ReadWrite, key, 5000, kCompactedPageSize);
  BoundPageCache(copy);
  {
    auto ic = copy.Prepare("PRAGMA integrity_check");
    if (!ic.Step() || ic.Text(0) != "ok")
      throw ComError(err::kArchiveNotADatabase, "Archive", "The compacted copy of '" + srcPath + "' is damaged.");
    auto mode = copy.Prepare("PRAGMA journal_mode");
    if (!mode.Step() || mode.Text(0) != "wal")
      throw ComError(err::kArchiveNotADatabase, "Archive",
                     "The compacted copy of '" + srcPath + "' is not marked for the write-ahead log.");
  }
  sync.Wait();
}

bool TakeCopyMadeAhead(const std::string& srcPath, const std::string& dstPath, const FileState& restingNow) {
  std::lock_guard<std::mutex> guard(aheadMutex);
  AheadCopy* copy = ahead;
  if (!copy || copy->src != srcPath || copy->dst != dstPath) return false;
  if (copy->thread.joinable()) copy->thread.join();
  // Moved only to a name nothing has: an existing destination is never replaced
  // (compaction then says that it exists). A copy not taken goes at once, so
  // that it never takes the room of the one compaction writes instead.
  if (copy->whole && copy->rested == restingNow &&
      ::renameat2(AT_FDCWD, copy->temp.c_str(), AT_FDCWD, dstPath.c_str(), RENAME_NOREPLACE) == 0) {
    copy->taken = true;
    return true;
  }
  Discard(*copy);
  return false;
}

}  // namespace detail

CompactionAhead::CompactionAhead(const std::string& sourceConnectionString,
                                 const std::string& destinationConnectionString) {
  auto copy = std::make_unique<detail::AheadCopy>();
  try {
    const ConnectionString src = ConnectionString::Parse(sourceConnectionString);
    const ConnectionString dst = ConnectionString::Parse(destinationConnectionString);
    copy->src = src.DataSource();
    copy->dst = dst.DataSource();
    if (copy->src.empty() || copy->dst.empty()) return;
    const detail::Logon logon = detail::LogOn(src.SystemDatabase(), src.UserId(), src.Password());
    if (!logon.administrator) return;
    const std::optional<detail::FileState> rested = detail::Resting(copy->src);
    if (!rested) return;
    copy->rested = *rested;
    // The backup is copied meanwhile: only with room for both copies at once,
    // so that this one never costs the backup its space.
    const std::string folder = copy->dst.substr(0, copy->dst.find_last_of('/') + 1);
    struct statvfs disk {};
    constexpr unsigned long long kMargin = 64ull << 20;
    if (::statvfs(folder.empty() ? "." : folder.c_str(), &disk) != 0 ||
        static_cast<unsigned long long>(disk.f_bavail) * disk.f_frsize <
            2ull * static_cast<unsigned long long>(rested->size) + kMargin)
      return;
    // Held by this process while the copy is written, as compaction holds it.
    auto lock = detail::ProcessLock::Acquire(copy->src);
    copy->temp = copy->dst + kPartialCopyMarker + "XXXXXX";
    const int fd = ::mkostemp(copy->temp.data(), O_CLOEXEC);  // mode 0600
    if (fd < 0) return;
    ::close(fd);
    {
      std::lock_guard<std::mutex> guard(detail::aheadMutex);
      if (detail::ahead) {
        ::unlink(copy->temp.c_str());
        return;
      }
      detail::ahead = copy.get();
    }
    try {
      copy->thread = std::thread([c = copy.get(), lock, key = logon.databaseKey] {
        try {
          detail::WriteCompactedCopy(c->src, c->temp, key, true);
          detail::CheckCompactedCopy(c->src, c->temp, key);
          c->whole = true;
        } catch (...) {
          // Compaction then copies the archive itself and says what fails.
        }
      });
    } catch (...) {
      std::lock_guard<std::mutex> guard(detail::aheadMutex);
      detail::ahead = nullptr;
      ::unlink(copy->temp.c_str());
      return;
    }
    work_ = std::move(copy);
  } catch (...) {
    // No copy ahead: compaction makes its own.
  }
}

CompactionAhead::~CompactionAhead() {
  if (!work_) return;
  std::lock_guard<std::mutex> guard(detail::aheadMutex);
  if (detail::ahead == work_.get()) detail::ahead = nullptr;
  if (work_->thread.joinable()) work_->thread.join();
  detail::Discard(*work_);
}

}  // namespace vx::archive
