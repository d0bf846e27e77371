#include "support/ShellTestSupport.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include "basMain.h"

namespace shell_test {

void ShellTest::SetUp() {
  UiTest::SetUp();
  const std::string runtime = ProgramFolder() + "../runtime";
  std::filesystem::create_directories(runtime);
  ::chmod(runtime.c_str(), 0700);
  ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  vx::app::SetEndProcess([this](int code) { endCodes.push_back(code); });
}

void ShellTest::TearDown() {
  vx::app::ReleaseProgram();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  vx::app::SetEndProcess(nullptr);
  UiTest::TearDown();
}

QByteArray ShellTest::Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(in), {}));
}

int ShellTest::Mode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

bool ShellTest::WaitFor(const std::function<bool()>& done, int ms) {
  QDeadlineTimer deadline(ms);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QThread::msleep(5);
  }
  return true;
}

int ShellTest::HoldFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace shell_test
