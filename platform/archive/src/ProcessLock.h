#pragma once
// Keeps an archive file to this process while any of its calls has a
// connection open: connections of one process share it, another process's
// open fails at once. A connection kept idle between calls holds none.
#include <memory>
#include <string>

namespace vx::archive::detail {

class ProcessLock {
 public:
  // Raises ComError 0x80004005 when another process holds the file.
  static std::shared_ptr<ProcessLock> Acquire(const std::string& path);
  ~ProcessLock();
  ProcessLock(const ProcessLock&) = delete;
  ProcessLock& operator=(const ProcessLock&) = delete;

 private:
  ProcessLock(int fd, unsigned long long key) : fd_(fd), key_(key) {}
  int fd_;
  unsigned long long key_;
};

}  // namespace vx::archive::detail
