#include "archive/RunLock.h"

#include <sys/stat.h>

#include "ArchiveDescriptor.h"
#include "automation/ComError.h"

namespace vx::archive {

struct RunLock::Impl {
  std::shared_ptr<detail::ArchiveDescriptor> file;
};

RunLock::RunLock(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

RunLock::~RunLock() { impl_->file->ReleaseRunLock(); }

std::unique_ptr<RunLock> RunLock::Take(const std::string& path, Outcome& outcome) {
  auto impl = std::make_unique<Impl>();
  try {
    impl->file = detail::ArchiveDescriptor::Hold(path);
  } catch (const ComError&) {
    outcome = Outcome::Unlockable;
    return nullptr;
  }
  using R = detail::ArchiveDescriptor::RunLockResult;
  switch (impl->file->TakeRunLock()) {
    case R::Taken: outcome = Outcome::Taken; return std::unique_ptr<RunLock>(new RunLock(std::move(impl)));
    case R::Held: outcome = Outcome::Held; return nullptr;
    case R::Unavailable: break;
  }
  outcome = Outcome::Unlockable;
  return nullptr;
}

std::string FileIdentity(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

}  // namespace vx::archive
