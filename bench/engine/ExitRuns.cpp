#include "ExitRuns.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <vector>

#include "archive/ArchiveFiles.h"
#include "automation/ComError.h"
#include "basMain.h"
#include "vexilon_lib/CVexilon.h"

namespace vx::bench {
namespace {

namespace fs = std::filesystem;
using vx::archive::kArchiveFileName;
using vx::archive::kBackupFileName;
using vx::archive::kCompactFileName;
using vx::archive::kWorkgroupFileName;

double Seconds(const std::function<void()>& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Drops the file's pages from the OS cache, as after a reboot.
void DropFromCache(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  ::fdatasync(fd);
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  ::close(fd);
}

struct Run {
  std::vector<double> seconds;  // the child's own figures
  double wall = 0;
  double peakMb = 0;
};

// Runs `self mode folder` and reads the figures it prints on one line.
Run Child(const std::string& self, const char* mode, const std::string& folder) {
  int out[2];
  if (::pipe(out) != 0) throw std::runtime_error("pipe");
  const auto t0 = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], 1);
    ::close(out[0]);
    ::execl(self.c_str(), self.c_str(), mode, folder.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(out[1]);
  std::string text;
  char buffer[512];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  ::close(out[0]);
  int status = 0;
  struct rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  Run r;
  r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  r.peakMb = usage.ru_maxrss / 1024.0;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error(std::string(mode) + " failed: " + text);
  const char* p = text.c_str();
  char* end = nullptr;
  for (double v = std::strtod(p, &end); end != p; v = std::strtod(p, &end)) {
    r.seconds.push_back(v);
    p = end;
  }
  return r;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

void SaveExitFixture(const std::string& folder, const std::string& fixture) {
  vx::archive::CloseArchive(folder + kArchiveFileName);  // folds the log in and removes it
  fs::create_directories(fixture);
  fs::copy_file(folder + kArchiveFileName, fixture + kArchiveFileName, fs::copy_options::overwrite_existing);
  fs::copy_file(folder + kWorkgroupFileName, fixture + kWorkgroupFileName, fs::copy_options::overwrite_existing);
}

void RunExitsAndStarts(const std::string& self, const std::string& fixture, int runs) {
  const std::string first = fixture + "first/", later = fixture + "later/";
  std::vector<Run> firstExits, laterExits, coldStarts, warmStarts;
  for (int run = 0; run < runs; ++run) {
    for (const std::string& f : {first, later}) {
      fs::remove_all(f);
      fs::create_directories(f);
      fs::copy_file(fixture + kArchiveFileName, f + kArchiveFileName);
      fs::copy_file(fixture + kWorkgroupFileName, f + kWorkgroupFileName);
    }
    // The archive as the first exit of this version leaves it (pages of 4 KB).
    Child(self, "--exit-once", later);
    // A start reads the archive the exit left; the exit follows a run in
    // which the start has read it.
    firstExits.push_back(Child(self, "--exit-once", first));
    DropFromCache(later + kArchiveFileName);
    DropFromCache(later + kBackupFileName);
    coldStarts.push_back(Child(self, "--start-once", later));
    warmStarts.push_back(Child(self, "--start-once", later));
    laterExits.push_back(Child(self, "--exit-once", later));
  }
  fs::remove_all(first);
  fs::remove_all(later);
  auto column = [](const std::vector<Run>& runs, size_t i) {
    std::vector<double> v;
    for (const Run& r : runs) v.push_back(i < r.seconds.size() ? r.seconds[i] : 0);
    return Median(v);
  };
  auto peak = [](const std::vector<Run>& runs) {
    std::vector<double> v;
    for (const Run& r : runs) v.push_back(r.peakMb);
    return Median(v);
  };
  std::printf("exit and start on the large archive (%.0f MB, log folded), medians of %d runs:\n",
              fs::file_size(fixture + kArchiveFileName) / 1e6, runs);
  for (const auto& [name, exits] : {std::pair<const char*, const std::vector<Run>*>{"first exit (1 KB pages)", &firstExits},
                                    {"later exit (4 KB pages)", &laterExits}}) {
    std::printf("  %-24s backup (check, copy) %.2f  compaction (copy, checks, rename) %.2f  whole %.2f s (limit 2 s), "
                "peak %.0f MB\n",
                name, column(*exits, 0), column(*exits, 1), column(*exits, 2), peak(*exits));
  }
  std::printf("  %-24s check %.2f s, peak %.0f MB (the main window within 3 s)\n", "start, archive not cached",
              column(coldStarts, 0), peak(coldStarts));
  std::printf("  %-24s check %.2f s, peak %.0f MB\n", "start, archive cached", column(warmStarts, 0), peak(warmStarts));
}

// The program's own exit steps on the folder: BackupDb (the check and the
// backup copy) and CompactDb (the compaction, its checks and the rename).
int ChildExit(const std::string& folder) {
  vx::app::SetProgramFolder(folder);
  bool ok = true;
  double backup = 0, compact = 0;
  const double whole = Seconds([&] {
    const auto ahead = vx::app::BeginCompaction();
    backup = Seconds([&] { ok = vx::app::BackupDb(); });
    compact = Seconds([&] { ok = ok && vx::app::CompactDb(); });
  });
  if (!ok || fs::exists(folder + kCompactFileName)) {
    std::printf("error: the exit steps failed\n");
    return 1;
  }
  std::printf("%.3f %.3f %.3f\n", backup, compact, whole);
  return 0;
}

// Start-up's archive work before the main window: the check, then the first
// engine call.
int ChildStart(const std::string& folder) {
  try {
    const double check = Seconds([&] {
      vx::archive::CheckArchiveSound(folder + kArchiveFileName);
      CVexilon engine;
      engine.SetAppConnectionString(vx::archive::UserConnectionString(folder));
      engine.CheckDatabaseArchiveConnection();
    });
    vx::archive::CloseArchive(folder + kArchiveFileName);
    std::printf("%.3f\n", check);
    return 0;
  } catch (const vx::ComError& e) {
    std::printf("error %d: %s\n", e.Number(), e.Description().c_str());
  }
  return 1;
}

}  // namespace vx::bench
