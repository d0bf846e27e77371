#include "ProcessLock.h"

#include "ArchiveErrors.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"

namespace vx::archive::detail {
namespace {

std::mutex& Mutex() {
  static std::mutex m;
  return m;
}
std::map<unsigned long long, std::weak_ptr<ProcessLock>>& Held() {
  static std::map<unsigned long long, std::weak_ptr<ProcessLock>> held;
  return held;
}

}  // namespace

std::shared_ptr<ProcessLock> ProcessLock::Acquire(const std::string& path) {
  std::lock_guard<std::mutex> guard(Mutex());
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    throw ComError(err::kArchiveFileNotFound, "Archive", "Could not find file '" + path + "'.");
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    throw ComError(err::kArchiveFileNotFound, "Archive", "Could not find file '" + path + "'.");
  }
  const unsigned long long key =
      (static_cast<unsigned long long>(st.st_dev) << 40) ^ static_cast<unsigned long long>(st.st_ino);
  auto it = Held().find(key);
  if (it != Held().end()) {
    if (auto existing = it->second.lock()) {
      ::close(fd);
      return existing;
    }
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int e = errno;
    ::close(fd);
    if (e == EWOULDBLOCK) RaiseHeld(path);
    // Only a lock held by another process makes the archive "already open".
    throw ComError(err::kPermissionDenied, "Archive",
                   "The archive database '" + path + "' cannot be locked: " + std::strerror(e) + ".");
  }
  std::shared_ptr<ProcessLock> lock(new ProcessLock(fd, key));
  Held()[key] = lock;
  return lock;
}

ProcessLock::~ProcessLock() {
  std::lock_guard<std::mutex> guard(Mutex());
  auto it = Held().find(key_);
  if (it != Held().end() && it->second.expired()) Held().erase(it);
  ::close(fd_);
}

}  // namespace vx::archive::detail
