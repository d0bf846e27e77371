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
  if (e != 0) throw ComError(err::kUnspecified, "Archive", "Could not lock '" + path + "': " + std::strerror(e));
  return std::shared_ptr<ProcessLock>(new ProcessLock(std::move(file)));
}

ProcessLock::~ProcessLock() { file_->ReleaseProcessLock(); }

}  // namespace vx::archive::detail
