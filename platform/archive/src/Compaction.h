#pragma once
// The compacted copy of the archive: the file as compaction finds it, the
// copy's writing, and a copy begun ahead while exit checks and backs up.
#include <sys/stat.h>
#include <time.h>

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>

namespace vx::archive::detail {

// The archive file as compaction found it.
struct FileState {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  struct timespec modified {};
  struct timespec changed {};
  bool operator==(const FileState& o) const {
    return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec &&
           modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
           changed.tv_nsec == o.changed.tv_nsec;
  }
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

// The file's state when it rests: no connection has it open (no log, no log
// index, no journal beside it) and it was last written two seconds ago or
// more, so that any later write shows in its time.
std::optional<FileState> Resting(const std::string& path);

// Writes the compacted copy of the archive `srcPath` into the empty file
// `dstPath` (pages of 4 KB, marked for the write-ahead log) and compares the
// copy's tables and their row counts with the source's. A resting source is
// read as it is, without a lock or a file beside it. Raises SQLite's errors
// and kArchiveNotADatabase for a copy that differs; the file stays to the
// caller.
void WriteCompactedCopy(const std::string& srcPath, const std::string& dstPath, const std::string& key, bool resting);

// Checks the compacted copy `dstPath` of `srcPath` (SQLite's integrity check,
// the mark for the write-ahead log) while the disk takes it in; raises
// kArchiveNotADatabase for a damaged copy, kPermissionDenied when it cannot be
// synced, SQLite's errors otherwise.
void CheckCompactedCopy(const std::string& srcPath, const std::string& dstPath, const std::string& key);

// The copy begun ahead of this compaction (CompactionAhead), when it is
// written, checked and synced, and the archive has rested as it is now since it
// was begun: it is moved to `dstPath` (when nothing has that name) and true is
// returned. Waits for it first. False otherwise: a copy begun is then removed
// by its owner.
bool TakeCopyMadeAhead(const std::string& srcPath, const std::string& dstPath, const FileState& restingNow);

}  // namespace vx::archive::detail
