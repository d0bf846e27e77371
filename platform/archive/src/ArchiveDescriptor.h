#pragma once
// This process's one descriptor of an archive file (told by its device and
// inode, however its path reaches it). Closing any descriptor of a file drops
// every record lock the process holds on it, SQLite's included: a connection
// kept idle between calls would then lose its shared lock, and another
// process that closes its last connection would fold the log and remove it
// under this one's feet. So the process never opens and closes a descriptor
// of the file for its own locks while anything relies on them: the descriptor
// is opened once and stays open while any hold on the file is kept (a call's
// process lock, the connection kept idle, the program's run lock); it closes
// with the last hold, after the connections that relied on it.
#include <sys/types.h>

#include <memory>
#include <string>

namespace vx::archive::detail {

class ArchiveDescriptor {
 public:
  // A hold on the file `path` names now: its descriptor, opened for reading
  // and writing where the file allows it (reading otherwise). Raises
  // kArchiveFileNotFound when it cannot be opened.
  static std::shared_ptr<ArchiveDescriptor> Hold(const std::string& path);
  ~ArchiveDescriptor();
  ArchiveDescriptor(const ArchiveDescriptor&) = delete;
  ArchiveDescriptor& operator=(const ArchiveDescriptor&) = delete;

  int Fd() const { return fd_; }

  // The process lock (ProcessLock.h), an exclusive flock() of the
  // descriptor: taken by the first call of this process, let go by the last.
  // 0 when taken, otherwise the errno of the failure (EWOULDBLOCK: another
  // process holds it).
  int TakeProcessLock();
  void ReleaseProcessLock();

  // The run lock (archive/RunLock.h), a lock of one byte of the file that no
  // SQLite lock covers, tied to the descriptor (F_OFD_SETLK): neither taken
  // nor let go by SQLite's locks or by the process lock, nor dropped by a
  // descriptor closed elsewhere in the process. One per process.
  enum class RunLockResult { Taken, Held, Unavailable };
  RunLockResult TakeRunLock();
  void ReleaseRunLock();

  // Taken, waiting for it, while a connection kept idle is let go: two
  // processes letting go at the same moment would each find the other's
  // connection still open, and neither would fold the log into the file; one
  // after the other, the last one folds it. Like the run lock, a byte of its
  // own, tied to the descriptor. Without a writable descriptor, nothing.
  void TakeLetGoLock();
  void ReleaseLetGoLock();

 private:
  ArchiveDescriptor(unsigned long long id, int fd, bool writable, dev_t device, ino_t inode)
      : id_(id), fd_(fd), writable_(writable), device_(device), inode_(inode) {}
  unsigned long long id_;
  int fd_;
  bool writable_;
  dev_t device_;
  ino_t inode_;
};

}  // namespace vx::archive::detail
