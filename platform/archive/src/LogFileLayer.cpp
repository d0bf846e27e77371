#include "LogFileLayer.h"

#include <fcntl.h>
#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <set>
#include <utility>

namespace vx::archive::detail {
namespace {

constexpr const char* kName = "vexilon-archive";

std::mutex& Mutex() {
  static std::mutex m;
  return m;
}

std::set<std::pair<dev_t, ino_t>>& OnDisk() {
  static std::set<std::pair<dev_t, ino_t>> files;
  return files;
}

sqlite3_vfs layer;
sqlite3_vfs* base = nullptr;

bool KnownOnDisk(const char* name) {
  struct stat st {};
  if (!name || ::stat(name, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  std::lock_guard<std::mutex> guard(Mutex());
  return OnDisk().count({st.st_dev, st.st_ino}) != 0;
}

int Open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
  if ((flags & SQLITE_OPEN_WAL) && (flags & SQLITE_OPEN_CREATE) && KnownOnDisk(name)) flags &= ~SQLITE_OPEN_CREATE;
  return base->xOpen(base, name, file, flags, outFlags);
}

}  // namespace

const char* LogFileLayer() {
  static std::once_flag once;
  std::call_once(once, [] {
    base = sqlite3_vfs_find(nullptr);
    if (!base) return;
    layer = *base;
    layer.zName = kName;
    layer.pNext = nullptr;
    layer.xOpen = Open;
    if (sqlite3_vfs_register(&layer, 0) != SQLITE_OK) base = nullptr;
  });
  return base ? kName : nullptr;
}

bool MarkLogOnDisk(const std::string& logPath) {
  struct stat st {};
  if (::stat(logPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  {
    std::lock_guard<std::mutex> guard(Mutex());
    if (OnDisk().count({st.st_dev, st.st_ino})) return true;
  }
  const std::size_t slash = logPath.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : logPath.substr(0, slash);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  if (!synced) return false;
  std::lock_guard<std::mutex> guard(Mutex());
  OnDisk().insert({st.st_dev, st.st_ino});
  return true;
}

void ForgetLogsOnDisk() {
  std::lock_guard<std::mutex> guard(Mutex());
  OnDisk().clear();
}

}  // namespace vx::archive::detail
