#include "ProcessLock.h"

#include "ArchiveErrors.h"

#include <cerrno>
#include <cstring>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"

namespace vx::archive::detail {

std::shared_ptr<ProcessLock> ProcessLock::Acquire(const std::string& path) {
  auto file = ArchiveDescriptor::Hold(path);
  const int e = file->TakeProcessLock();
  if (e == EWOULDBLOCK) RaiseHeld(path);
  // Only a lock held by another process makes the archive "already open".
  if (e != 0)
    throw ComError(err::kPermissionDenied, "Archive",
                   "The archive database '" + path + "' cannot be locked: " + std::strerror(e) + ".");
  return std::shared_ptr<ProcessLock>(new ProcessLock(std::move(file)));
}

ProcessLock::~ProcessLock() { file_->ReleaseProcessLock(); }

}  // namespace vx::archive::detail
