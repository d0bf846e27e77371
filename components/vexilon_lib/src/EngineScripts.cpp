#include "EngineScripts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "automation/ErrorNumbers.h"
#include "sqlserver/Quoting.h"

namespace vexilon {

std::string UseDatabaseBatch(const std::string& databaseName) {
  return "USE " + vx::sqlserver::Bracket(databaseName) + "\r\nGO\r\n";
}

std::string ErrorText(const vx::ComError& error) {
  return std::to_string(error.Number()) + " " + error.Description();
}

}  // namespace vexilon

namespace vexilon {
namespace {

[[noreturn]] void RaiseFileError(const std::string& fileName, int error) {
  const int32_t number = error == EACCES || error == EPERM || error == EROFS ? vx::err::kPermissionDenied
                                                                            : vx::err::kPathNotFound;
  throw vx::ComError(number, "CVexilon",
                     std::string(number == vx::err::kPermissionDenied ? "Permission denied" : "Path not found") +
                         ": cannot write '" + fileName + "' (" + std::strerror(error) + ").");
}

}  // namespace

void WriteTextFile(const std::string& fileName, const std::string& text) {
  // The text goes to a temporary file beside the target, readable by its owner
  // only, and takes the target's name once it is complete: a failed write
  // leaves the earlier file as it was.
  std::string temporary = fileName + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());  // created 0600
  if (fd < 0) RaiseFileError(fileName, errno);
  const char* at = text.data();
  std::size_t left = text.size();
  int error = 0;
  while (left > 0 && error == 0) {
    const ssize_t n = ::write(fd, at, left);
    if (n < 0) {
      if (errno != EINTR) error = errno;
      continue;
    }
    at += n;
    left -= static_cast<std::size_t>(n);
  }
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && std::rename(temporary.c_str(), fileName.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    RaiseFileError(fileName, error);
  }
}

}  // namespace vexilon
