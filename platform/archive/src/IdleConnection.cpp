#include "IdleConnection.h"

#include <pthread.h>
#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>

#include <mutex>
#include <optional>

#include "ProcessLock.h"
#include "sqlite/Database.h"

namespace vx::archive::detail {
namespace {

struct Idle {
  std::string path;
  std::string key;
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

// Takes the idle connection out, to be closed by the caller outside the lock.
std::optional<Idle> TakeOut() {
  std::optional<Idle> out = std::move(Kept());
  Kept().reset();
  return out;
}

// Closes the connection before it lets the file go.
void Close(std::optional<Idle>& idle) {
  if (!idle) return;
  idle->db.reset();
  idle->lock.reset();
  idle.reset();
}

// A process that forks must not hand an open connection to its child: the
// child would believe it holds the parent's file locks. The parent closes its
// idle connection before the fork; the next call opens another.
void BeforeFork() {
  Mutex().lock();
  auto idle = TakeOut();
  Close(idle);
}
void AfterFork() { Mutex().unlock(); }

void InstallForkHandlers() {
  static std::once_flag once;
  std::call_once(once, [] { ::pthread_atfork(BeforeFork, AfterFork, AfterFork); });
}

}  // namespace

std::unique_ptr<vx::sqlite::Database> TakeIdleConnection(const std::string& path, const std::string& key) {
  struct stat st {};
  const bool found = ::stat(path.c_str(), &st) == 0;
  std::optional<Idle> idle;
  {
    std::lock_guard<std::mutex> guard(Mutex());
    if (!Kept()) return nullptr;
    idle = TakeOut();
  }
  if (found && idle->path == path && idle->key == key && idle->device == st.st_dev && idle->inode == st.st_ino) {
    auto db = std::move(idle->db);
    return db;
  }
  Close(idle);
  return nullptr;
}

void ReturnIdleConnection(const std::string& path, dev_t device, ino_t inode, const std::string& key,
                          std::unique_ptr<vx::sqlite::Database> db, std::shared_ptr<ProcessLock> lock) {
  InstallForkHandlers();
  struct stat st {};
  std::optional<Idle> idle{Idle{path, key, device, inode, std::move(db), std::move(lock)}};
  // Only a connection with nothing left open, on the file the path still names.
  if (!idle->db || !sqlite3_get_autocommit(idle->db->Handle()) || ::stat(path.c_str(), &st) != 0 ||
      st.st_dev != device || st.st_ino != inode) {
    Close(idle);
    return;
  }
  {
    std::lock_guard<std::mutex> guard(Mutex());
    if (!Kept()) {
      Kept() = std::move(idle);
      return;
    }
  }
  Close(idle);
}

void CloseIdleConnection(const std::string& path) {
  std::optional<Idle> idle;
  {
    std::lock_guard<std::mutex> guard(Mutex());
    if (Kept() && Kept()->path == path) idle = TakeOut();
  }
  Close(idle);
}

}  // namespace vx::archive::detail
