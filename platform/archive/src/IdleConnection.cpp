#include "IdleConnection.h"

#include <pthread.h>
#include <sys/stat.h>

#include <mutex>
#include <optional>

#include "LogFileLayer.h"
#include "ProcessLock.h"
#include "sqlite/Database.h"

namespace vx::archive::detail {
namespace {


struct Idle {
  std::string path;
  dev_t device = 0;
  ino_t inode = 0;
  std::unique_ptr<vx::sqlite::Database> db;
  std::shared_ptr<ProcessLock> lock;
};

std::mutex& Mutex() {
  static std::mutex m;
  return m;
}

std::optional<Idle>& Kept() {
  static std::optional<Idle> kept;
  return kept;
}

// Closes the connection before it lets the file go.
void Release(std::optional<Idle>& kept) {
  if (!kept) return;
  ForgetLogsOnDisk();
  kept->db.reset();
  kept->lock.reset();
  kept.reset();
}

// A process that forks must not hand an open connection to its child: the
// child would believe it holds the parent's file locks. The parent closes its
// idle connection before the fork; the next call opens another.
void BeforeFork() {
  Mutex().lock();
  Release(Kept());
}
void AfterFork() { Mutex().unlock(); }

void InstallForkHandlers() {
  static std::once_flag once;
  std::call_once(once, [] { ::pthread_atfork(BeforeFork, AfterFork, AfterFork); });
}

}  // namespace

void KeepIdleConnection(const std::string& path, const std::string& key, const std::shared_ptr<ProcessLock>& lock) {
  InstallForkHandlers();
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return;
  std::lock_guard<std::mutex> guard(Mutex());
  auto& kept = Kept();
  if (kept && kept->path == path && kept->device == st.st_dev && kept->inode == st.st_ino) return;
  Release(kept);
  try {
    Idle idle{path, st.st_dev, st.st_ino, nullptr, lock};
    idle.db = std::make_unique<vx::sqlite::Database>(path, vx::sqlite::OpenMode::ReadWrite, key, 0,
                                                     LogFileLayer());
    // Write-ahead mode is a mark in the file: set once, every later connection
    // finds it. Commits sync the log (synchronous FULL), so a commit that has
    // returned survives a power cut. A file another connection is reading
    // stays as it is this time; the next call tries again.
    {
      auto mode = idle.db->Prepare("PRAGMA journal_mode = WAL");
      if (!mode.Step() || mode.Text(0) != "wal") return;
    }
    idle.db->Exec("PRAGMA synchronous = FULL");
    // A read opens the log; from then on the connection holds the file shared
    // until it closes, so no other connection's close is the last one.
    idle.db->Exec("SELECT count(*) FROM sqlite_master");
    // While it is kept the log file stays; once its folder entry is on the disk,
    // the calls' connections open it as it is.
    MarkLogOnDisk(path + "-wal");
    kept = std::move(idle);
  } catch (...) {
    // The archive works without it.
  }
}

void CloseIdleConnection(const std::string& path) {
  std::lock_guard<std::mutex> guard(Mutex());
  auto& kept = Kept();
  if (kept && kept->path == path) Release(kept);
}

}  // namespace vx::archive::detail
