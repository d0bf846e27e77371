#include "support/ShellTestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include "archive/ArchiveFiles.h"
#include "archive/Connection.h"
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
  if (!std::filesystem::is_regular_file(path)) return {};
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
  vx::archive::CloseArchive(path);  // this process's idle connection lets the file go first
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool ShellTest::FillArchiveAndKill() const {
  const pid_t child = ::fork();
  if (child == 0) {
    FillArchive();
    ::raise(SIGKILL);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

void ShellTest::FillArchive() const {
  vx::archive::Connection c(vx::app::strDbConnectionString());
  c.BeginTrans();
  for (int i = 0; i < 400; ++i)
    c.Execute("qryAddSQLServer", {vx::archive::Parameter::Text("@SQLServerName", "SERVER" + std::to_string(i), 128),
                                  vx::archive::Parameter::Byte("@LoginAuthenticationType", 1),
                                  vx::archive::Parameter::Text("@UserName", std::string(100, 'u'), 128),
                                  vx::archive::Parameter::Text("@Password", "", 128,
                                                               vx::archive::ParamType::LongVarWChar)});
  c.CommitTrans();
}

bool FoundDamaged(Damage damage) { return damage == Damage::Halved || damage == Damage::MiddleBlock; }

std::string FindingOf(Damage damage, const std::string& path) {
  return FoundDamaged(damage) ? "The archive database '" + path + "' is damaged: "
                              : "The file '" + path + "' is not a Vexilon archive: ";
}

std::string LeaveCopyCutShort(const std::string& folder, const std::string& tag) {
  const std::string path = folder + "Vexilon.bak.vexilon-partial-copy-" + tag;
  std::ofstream(path) << "a copy cut short";
  std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  return path;
}

void DamageFile(const std::string& path, Damage damage) {
  // As it lies on the disk between two runs: the file alone, its log folded in.
  vx::archive::CloseArchive(path);
  DamageBytes(path, damage);
}

void DamageBytes(const std::string& path, Damage damage) {
  const auto size = std::filesystem::file_size(path);
  switch (damage) {
    case Damage::Halved: std::filesystem::resize_file(path, size / 2); return;
    case Damage::Empty: std::filesystem::resize_file(path, 0); return;
    case Damage::Header:
    case Damage::MiddleBlock: {
      std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
      const std::streamoff at = damage == Damage::Header ? 0 : std::streamoff(size / 2 / 4096 * 4096);
      const std::string junk(damage == Damage::Header ? 64 : 4096, '\x5a');
      f.seekp(at);
      f.write(junk.data(), std::streamsize(junk.size()));
      return;
    }
  }
}

const char* DamageName(Damage damage) {
  switch (damage) {
    case Damage::Halved: return "Halved";
    case Damage::Empty: return "Empty";
    case Damage::Header: return "Header";
    case Damage::MiddleBlock: return "MiddleBlock";
  }
  return "";
}

}  // namespace shell_test
