#include "EngineScripts.h"

#include <cerrno>
#include <cstring>
#include <fstream>

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
  errno = 0;
  std::ofstream file(fileName, std::ios::binary | std::ios::trunc);
  if (!file) RaiseFileError(fileName, errno ? errno : ENOENT);
  file.write(text.data(), static_cast<std::streamsize>(text.size()));
  file.close();
  if (!file) RaiseFileError(fileName, errno ? errno : EIO);
}

}  // namespace vexilon
