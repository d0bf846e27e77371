#pragma once
// One running program per archive. The lock is on the archive file itself (a
// byte of it no SQLite lock covers), so one archive is told by the file, not
// by the path that reaches it: a link to its folder, a symbolic or hard link
// to the file, or another runtime folder all find the same lock. It dies with
// its process.
#include <memory>
#include <string>

namespace vx::archive {

class RunLock {
 public:
  enum class Outcome {
    Taken,      // this process now holds the file
    Held,       // another running program (or this one) holds it
    Unlockable  // no such file, or one this process may not write
  };
  // Takes the run lock of the file `path` names now; null unless Taken.
  static std::unique_ptr<RunLock> Take(const std::string& path, Outcome& outcome);
  ~RunLock();
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

 private:
  struct Impl;
  explicit RunLock(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// The file `path` names (links followed) as "device:inode"; empty when there
// is none.
std::string FileIdentity(const std::string& path);

}  // namespace vx::archive
