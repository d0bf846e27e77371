#pragma once
// Keeps an archive file to this process while any of its calls has a
// connection open: connections of one process share it, another process's
// open fails at once. A connection kept idle between calls holds none, but
// keeps the file's descriptor (ArchiveDescriptor.h) open.
#include <memory>
#include <string>

#include "ArchiveDescriptor.h"

namespace vx::archive::detail {

class ProcessLock {
 public:
  // Raises ComError 0x80004005 when another process holds the file.
  static std::shared_ptr<ProcessLock> Acquire(const std::string& path);
  ~ProcessLock();
  ProcessLock(const ProcessLock&) = delete;
  ProcessLock& operator=(const ProcessLock&) = delete;

  // The file's descriptor: whatever keeps a connection to the file after the
  // lock is let go keeps this with it, and lets it go after the connection.
  const std::shared_ptr<ArchiveDescriptor>& File() const { return file_; }

 private:
  explicit ProcessLock(std::shared_ptr<ArchiveDescriptor> file) : file_(std::move(file)) {}
  std::shared_ptr<ArchiveDescriptor> file_;
};

}  // namespace vx::archive::detail
