#include "support/ChildStart.h"

#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>

#include "archive/ArchiveFiles.h"
#include "archive/Connection.h"
#include "basMain.h"

namespace shell_test {
namespace {

namespace fs = std::filesystem;
constexpr int kUnprivileged = 65534;  // nobody

}  // namespace

Outcome ChildStartTest::StartInChild(const std::function<void()>& before, bool asOtherUser) {
  vx::archive::CloseArchive(File("Vexilon.dat"));
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeFds[0]);
    if (asOtherUser && ::geteuid() == 0) {
      // The test's folders (program, runtime, settings) become the user's.
      for (const std::string& top : {ProgramFolder() + "..", ConfigFolder()})
        for (const auto& entry : fs::recursive_directory_iterator(top))
          if (::lchown(entry.path().c_str(), kUnprivileged, kUnprivileged) != 0) ::_exit(kUnreachable);
      if (::lchown((ProgramFolder() + "..").c_str(), kUnprivileged, kUnprivileged) != 0 ||
          ::lchown(ConfigFolder().c_str(), kUnprivileged, kUnprivileged) != 0 ||
          ::lchown((ConfigFolder() + "..").c_str(), kUnprivileged, kUnprivileged) != 0 || ::setgroups(0, nullptr) != 0 ||
          ::setgid(kUnprivileged) != 0 || ::setuid(kUnprivileged) != 0)
        ::_exit(kUnreachable);
      if (::access(ProgramFolder().c_str(), R_OK | W_OK | X_OK) != 0 ||
          ::access(ConfigFolder().c_str(), R_OK | W_OK | X_OK) != 0)
        ::_exit(kUnreachable);
    }
    before();
    const int32_t result = static_cast<int32_t>(vx::app::StartUp());
    std::string out(reinterpret_cast<const char*>(&result), sizeof result);
    for (const auto& m : messages) {
      const std::string prompt = m.prompt.toStdString();
      const int32_t style = m.style, size = static_cast<int32_t>(prompt.size());
      out.append(reinterpret_cast<const char*>(&style), sizeof style);
      out.append(reinterpret_cast<const char*>(&size), sizeof size);
      out += prompt;
    }
    [[maybe_unused]] const auto written = ::write(pipeFds[1], out.data(), out.size());
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  std::string in;
  char buffer[4096];
  for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) in.append(buffer, std::size_t(n));
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  Outcome outcome;
  if (WIFEXITED(status) && WEXITSTATUS(status) == kUnreachable) {
    outcome.result = kUnreachable;
    return outcome;
  }
  outcome.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  std::size_t at = 0;
  auto take = [&](int32_t& v) {
    std::memcpy(&v, in.data() + at, sizeof v);
    at += sizeof v;
  };
  if (in.size() >= sizeof(int32_t)) take(outcome.result);
  while (at + 2 * sizeof(int32_t) <= in.size()) {
    int32_t style = 0, size = 0;
    take(style);
    take(size);
    outcome.messages.push_back({QString::fromStdString(in.substr(at, std::size_t(size))), style});
    at += std::size_t(size);
  }
  return outcome;
}


void ChildStartTest::LeaveRowsInTheLog() { ASSERT_TRUE(FillArchiveAndKill()); }

int64_t ChildStartTest::RegisteredServers() {
  vx::archive::Connection c(vx::app::strDbConnectionString());
  return c.OpenRecordset("qryCountSQLServers").Field("SQLServerCount").ToLong();
}

void ChildStartTest::CompactArchive() {
  vx::archive::CloseArchive(File("Vexilon.dat"));
  vx::archive::CompactDatabase(vx::app::strDbAdminConnectionString(), vx::app::strDbTempAdminConnectionString());
  fs::rename(File("Vexilon.tmp"), File("Vexilon.dat"));
}

}  // namespace shell_test
