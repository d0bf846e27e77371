#include "ArchiveDescriptor.h"

#include <fcntl.h>
#include <sys/file.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"

namespace vx::archive::detail {
namespace {

struct Entry {
  unsigned long long id = 0;
  int fd = -1;
  bool writable = false;
  int holds = 0;
  int processLocks = 0;
  bool runLock = false;
  // Descriptors of the same file opened while this one was open (a file put
  // at the path between two looks): closed with this one, never before.
  std::vector<int> spare;
};

using FileKey = std::pair<dev_t, ino_t>;

struct Registry {
  std::mutex mutex;
  std::map<FileKey, Entry> open;
  unsigned long long nextId = 1;
};

// Never destroyed: holds may be let go while the process ends.
Registry& R() {
  static Registry* registry = new Registry;
  return *registry;
}

// A child of fork() shares the parent's descriptors and with them the
// parent's locks of the kinds tied to a descriptor: it forgets them (leaving
// them open for the parent) and opens descriptors of its own.
void LockBeforeFork() { R().mutex.lock(); }
void UnlockAfterFork() { R().mutex.unlock(); }
void ForgetAfterForkInChild() {
  R().open.clear();
  R().mutex.unlock();
}

// The bytes of the run lock and the let-go lock: past SQLite's lock bytes (the
// pending byte at 1 GiB, the reserved byte and 510 shared bytes after it).
constexpr off_t kRunLockByte = 0x40000000 + 1024;
constexpr off_t kLetGoLockByte = kRunLockByte + 1;

// The entry of a hold, when it is still this process's own (not one a fork
// left to the child); call with the mutex held.
Entry* Find(dev_t device, ino_t inode, unsigned long long id) {
  const auto it = R().open.find({device, inode});
  return it == R().open.end() || it->second.id != id ? nullptr : &it->second;
}

int LockByte(int fd, off_t byte, short type, int command = F_OFD_SETLK) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  int rc;
  while ((rc = ::fcntl(fd, command, &lock)) != 0 && errno == EINTR) {
  }
  return rc == 0 ? 0 : errno;
}

// The failure to open the archive file, by its errno: a file that is not there
// is not found; any other cause is named as it is.
[[noreturn]] void RaiseNotOpened(const std::string& path, int e) {
  if (e == ENOENT || e == ENOTDIR)
    throw ComError(err::kArchiveFileNotFound, "Archive", "Could not find file '" + path + "'.");
  throw ComError(e == EACCES || e == EPERM ? err::kPermissionDenied : err::kUnspecified, "Archive",
                 "The archive database '" + path + "' cannot be opened: " + std::strerror(e) + ".");
}

// A descriptor of the very file that `pathFd` (opened with O_PATH) names, for
// reading and writing where allowed: through /proc where it is mounted, so
// that no file put at the path meanwhile is opened instead.
int OpenFile(const std::string& path, int pathFd, bool& writable) {
  const std::string self = "/proc/self/fd/" + std::to_string(pathFd);
  for (const std::string& name : {self, path}) {
    int fd = ::open(name.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    writable = fd >= 0;
    if (fd < 0) fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) return fd;
  }
  return -1;
}

}  // namespace

std::shared_ptr<ArchiveDescriptor> ArchiveDescriptor::Hold(const std::string& path) {
  static std::once_flag once;
  std::call_once(once, [] { ::pthread_atfork(LockBeforeFork, UnlockAfterFork, ForgetAfterForkInChild); });
  std::lock_guard<std::mutex> guard(R().mutex);
  // Closing a descriptor opened with O_PATH drops no lock: the file is first
  // told by one of those, and a descriptor that counts is opened only for a
  // file that has none yet.
  const int pathFd = ::open(path.c_str(), O_PATH | O_CLOEXEC);
  struct stat st {};
  if (pathFd < 0) RaiseNotOpened(path, errno);
  if (::fstat(pathFd, &st) != 0) {
    const int e = errno;
    ::close(pathFd);
    RaiseNotOpened(path, e);
  }
  FileKey key{st.st_dev, st.st_ino};
  auto it = R().open.find(key);
  if (it == R().open.end()) {
    bool writable = false;
    const int fd = OpenFile(path, pathFd, writable);
    const int e = errno;
    ::close(pathFd);
    if (fd < 0) RaiseNotOpened(path, e);
    struct stat opened {};
    if (::fstat(fd, &opened) == 0 && (opened.st_dev != key.first || opened.st_ino != key.second)) {
      // Opened by its path, and the path names another file by now.
      key = {opened.st_dev, opened.st_ino};
      it = R().open.find(key);
      if (it != R().open.end()) {
        it->second.spare.push_back(fd);
        ++it->second.holds;
        return std::shared_ptr<ArchiveDescriptor>(
            new ArchiveDescriptor(it->second.id, it->second.fd, it->second.writable, key.first, key.second));
      }
    }
    Entry entry;
    entry.id = R().nextId++;
    entry.fd = fd;
    entry.writable = writable;
    it = R().open.emplace(key, std::move(entry)).first;
  } else {
    ::close(pathFd);
  }
  ++it->second.holds;
  return std::shared_ptr<ArchiveDescriptor>(
      new ArchiveDescriptor(it->second.id, it->second.fd, it->second.writable, key.first, key.second));
}

ArchiveDescriptor::~ArchiveDescriptor() {
  std::lock_guard<std::mutex> guard(R().mutex);
  // A hold from before a fork() finds its descriptor forgotten: the parent's.
  Entry* e = Find(device_, inode_, id_);
  if (!e || --e->holds > 0) return;
  ::close(e->fd);
  for (const int fd : e->spare) ::close(fd);
  R().open.erase({device_, inode_});
}

int ArchiveDescriptor::TakeProcessLock() {
  std::lock_guard<std::mutex> guard(R().mutex);
  Entry* e = Find(device_, inode_, id_);
  if (!e) return EBADF;
  if (e->processLocks == 0 && ::flock(e->fd, LOCK_EX | LOCK_NB) != 0) return errno;
  ++e->processLocks;
  return 0;
}

void ArchiveDescriptor::ReleaseProcessLock() {
  std::lock_guard<std::mutex> guard(R().mutex);
  Entry* e = Find(device_, inode_, id_);
  if (e && e->processLocks > 0 && --e->processLocks == 0) ::flock(e->fd, LOCK_UN);
}

ArchiveDescriptor::RunLockResult ArchiveDescriptor::TakeRunLock() {
  std::lock_guard<std::mutex> guard(R().mutex);
  Entry* e = Find(device_, inode_, id_);
  if (!e || !e->writable) return RunLockResult::Unavailable;
  if (e->runLock) return RunLockResult::Held;
  const int error = LockByte(e->fd, kRunLockByte, F_WRLCK);
  if (error == EAGAIN || error == EACCES) return RunLockResult::Held;
  if (error != 0) return RunLockResult::Unavailable;
  e->runLock = true;
  return RunLockResult::Taken;
}

void ArchiveDescriptor::ReleaseRunLock() {
  std::lock_guard<std::mutex> guard(R().mutex);
  Entry* e = Find(device_, inode_, id_);
  if (!e || !e->runLock) return;
  LockByte(e->fd, kRunLockByte, F_UNLCK);
  e->runLock = false;
}

// Waits without the descriptors' mutex: the descriptor stays open while this
// hold is kept.
void ArchiveDescriptor::TakeLetGoLock() {
  if (writable_) LockByte(fd_, kLetGoLockByte, F_WRLCK, F_OFD_SETLKW);
}

void ArchiveDescriptor::ReleaseLetGoLock() {
  if (writable_) LockByte(fd_, kLetGoLockByte, F_UNLCK);
}

}  // namespace vx::archive::detail
