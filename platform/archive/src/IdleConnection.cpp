#include "IdleConnection.h"

#include <pthread.h>
#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "ArchiveDescriptor.h"
#include "sqlite/Database.h"

namespace vx::archive::detail {
namespace {

using Clock = std::chrono::steady_clock;

struct Idle {
  std::string path;
  std::string key;
  dev_t device = 0;
  ino_t inode = 0;
  std::shared_ptr<ArchiveDescriptor> file;  // let go after db (members end in reverse order)
  std::unique_ptr<vx::sqlite::Database> db;
  Clock::time_point returned;
};

// Never destroyed: the thread that lets the connection go may still run while
// the process ends. The connection is closed at exit by CloseAtExit.
struct State {
  std::mutex mutex;
  std::condition_variable wake;  // a fork wants the thread ended now
  std::optional<Idle> kept;
  std::thread timer;
  bool timerRunning = false;
};

State& S() {
  static State* state = new State;
  return *state;
}

// Closes the connection kept, with the mutex held: a call that wants a
// connection meanwhile waits until the file has been let go, instead of
// meeting it locked while the log is folded.
void CloseKept() {
  if (!S().kept) return;
  const std::shared_ptr<ArchiveDescriptor> file = S().kept->file;
  if (file) file->TakeLetGoLock();
  S().kept->db.reset();
  if (file) file->ReleaseLetGoLock();
  S().kept.reset();  // and with it the file's descriptor, after the connection
}

// Lets the idle connection go once it has been idle for kIdleSeconds; a call
// that takes it and hands it back meanwhile starts the time again.
void LetGoWhenIdle() {
  const auto idleTime = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(kIdleSeconds));
  std::unique_lock<std::mutex> lock(S().mutex);
  for (;;) {
    if (!S().kept) break;
    const Clock::time_point due = S().kept->returned + idleTime;
    if (Clock::now() >= due) {
      CloseKept();
      break;
    }
    S().wake.wait_until(lock, due);
  }
  S().timerRunning = false;
}

// A process that forks must not hand an open connection to its child: the
// child would believe it holds the parent's file locks. The parent closes its
// idle connection before the fork; the next call opens another. Nor may the
// fork come while the thread that lets connections go is running: a child
// inherits the locks other threads held inside the allocator at that moment
// (an allocator without fork handlers of its own, AddressSanitizer's, leaves
// them held for good). So the thread is woken and waited for; the child has
// none, and its first idle connection starts one.
void BeforeFork() {
  S().mutex.lock();
  for (;;) {
    CloseKept();
    if (!S().timer.joinable()) break;
    std::thread timer = std::move(S().timer);
    S().wake.notify_all();
    S().mutex.unlock();
    timer.join();
    S().mutex.lock();
  }
}
void AfterForkInParent() { S().mutex.unlock(); }
void AfterForkInChild() {
  S().timerRunning = false;
  S().mutex.unlock();
}

// A process that ends normally within kIdleSeconds of its last call still
// leaves the file alone holding the archive.
void CloseAtExit() {
  std::lock_guard<std::mutex> guard(S().mutex);
  CloseKept();
}

void InstallHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    ::pthread_atfork(BeforeFork, AfterForkInParent, AfterForkInChild);
    std::atexit(CloseAtExit);
  });
}

bool SameFile(const Idle& idle, const std::string& path, const std::string& key) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && idle.path == path && idle.key == key && idle.device == st.st_dev &&
         idle.inode == st.st_ino;
}

}  // namespace

std::unique_ptr<vx::sqlite::Database> TakeIdleConnection(const std::string& path, const std::string& key) {
  std::lock_guard<std::mutex> guard(S().mutex);
  if (!S().kept) return nullptr;
  if (!SameFile(*S().kept, path, key)) {
    CloseKept();
    return nullptr;
  }
  auto db = std::move(S().kept->db);
  S().kept.reset();
  return db;
}

void ReturnIdleConnection(const std::string& path, dev_t device, ino_t inode, const std::string& key,
                          std::unique_ptr<vx::sqlite::Database> db, std::shared_ptr<ArchiveDescriptor> file) {
  InstallHandlers();
  Idle idle{path, key, device, inode, std::move(file), std::move(db), Clock::now()};
  // Only a connection with nothing left open, on the file the path still names.
  if (!idle.db || !sqlite3_get_autocommit(idle.db->Handle()) || !SameFile(idle, path, key)) return;
  std::lock_guard<std::mutex> guard(S().mutex);
  if (S().kept) return;  // one is kept already: this one closes
  if (!S().timerRunning) {
    // A thread that has ended its round set timerRunning under the mutex, and
    // takes it no more: waiting for it here is short.
    if (S().timer.joinable()) S().timer.join();
    try {
      S().timer = std::thread(LetGoWhenIdle);
    } catch (const std::system_error&) {
      return;  // without a thread to let it go, it is not kept
    }
    S().timerRunning = true;
  }
  S().kept = std::move(idle);
}

void CloseIdleConnection(const std::string& path) {
  std::lock_guard<std::mutex> guard(S().mutex);
  if (S().kept && S().kept->path == path) CloseKept();
}

}  // namespace vx::archive::detail
