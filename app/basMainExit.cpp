// Exit: backup, compaction into a checked copy that replaces the archive in
// one rename, removal of the workgroup file, and the end of the process.
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <QMdiArea>
#include <QTimer>

#include "CTerminationSignal.h"
#include "archive/ArchiveFiles.h"
#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "basErrorReports.h"
#include "basMain.h"
#include "basMessages.h"
#include "basScreen.h"
#include "frmApplication.h"

namespace vx::app {
namespace {

enum class ExitState { NotStarted, Running, Done };
ExitState g_exitState = ExitState::NotStarted;
std::function<void(int)> g_endProcess;
std::unique_ptr<CTerminationSignal> g_termination;
bool g_terminationPending = false;

constexpr const char* kNotCompacted = " The archive database was not compacted and stays as it was.";

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

[[noreturn]] void RaiseFileError(const std::string& what, const std::string& path, const char* tail = "") {
  throw ComError(err::kPermissionDenied, "basMain", what + " '" + path + "': " + std::strerror(errno) + "." + tail);
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Starts the disk on a written stretch of a file while the rest is copied; the
// copy's fsync still waits for all of it. Leaves errno as it was.
constexpr off_t kFlushStep = 8 << 20;
void StartWriteBack(int fd, off_t from, off_t length) {
  const int saved = errno;
  ::sync_file_range(fd, from, length, SYNC_FILE_RANGE_WRITE);
  errno = saved;
}

// The temporary copy's name: the target's, this marker, and six random
// characters. Only files of this form are ever removed as left-overs.
using vx::archive::kPartialCopyMarker;

// What a copy could not do, for its message.
enum class CopyStep { Read, Create, Write };

// Writes a synced copy of `source` into an owner-only temporary file beside
// `target` (its name in `temp`). Returns 0, or the errno of the failure (the
// step in `failed`), the temporary file then removed.
int WriteCopy(const std::string& source, const std::string& target, std::string& temp, CopyStep& failed) {
  failed = CopyStep::Create;
  temp = target + kPartialCopyMarker + "XXXXXX";
  const int out = ::mkostemp(temp.data(), O_CLOEXEC);  // mode 0600
  if (out < 0) {
    const int e = errno;
    temp.clear();
    return e;
  }
  // The archive is read through the archive layer's own descriptor of it, which
  // stays open, so that no lock of the process's connections on it is dropped.
  int writeError = 0;
  off_t written = 0, flushed = 0;
  failed = CopyStep::Read;
  int e = vx::archive::ReadArchiveFile(source, [&](const char* data, std::size_t n) {
    for (std::size_t done = 0; done < n;) {
      const ssize_t w = ::write(out, data + done, n - done);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        writeError = w < 0 ? errno : EIO;
        return false;
      }
      done += static_cast<std::size_t>(w);
    }
    written += static_cast<off_t>(n);
    if (written - flushed >= kFlushStep) {
      StartWriteBack(out, flushed, written - flushed);
      flushed = written;
    }
    return true;
  });
  if (!e && writeError) {
    e = writeError;
    failed = CopyStep::Write;
  }
  if (!e && ::fsync(out) != 0) {
    e = errno;
    failed = CopyStep::Write;
  }
  if (::close(out) != 0 && !e) {
    e = errno;
    failed = CopyStep::Write;
  }
  if (e) {
    ::unlink(temp.c_str());
    temp.clear();
  }
  return e;
}

// Copies `source` to `target` through an owner-only temporary file in the same
// folder and one rename, so the target is always either the old or the new copy.
void CopyFileAtomically(const std::string& folder, const std::string& source, const std::string& target) {
  std::string temp;
  CopyStep failed = CopyStep::Write;
  if (const int e = WriteCopy(source, target, temp, failed)) {
    errno = e;
    if (failed == CopyStep::Read) RaiseFileError("Cannot read", source);
    RaiseFileError(failed == CopyStep::Create ? "Cannot create a file beside" : "Cannot write", target);
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const int e = errno;
    ::unlink(temp.c_str());
    errno = e;
    RaiseFileError("Cannot write", target);
  }
  SyncFolder(folder);
}

// The file as a copy of it was begun: a copy counts only while it is the same.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  struct timespec modified {}, changed {};
  bool operator==(const FileIdentity& o) const {
    return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec &&
           modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
           changed.tv_nsec == o.changed.tv_nsec;
  }
};

bool Identify(const std::string& path, FileIdentity& id) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  id = FileIdentity{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
  return true;
}

bool Empty(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) != 0 || st.st_size == 0;
}

// The backup's bytes, copied on a thread of their own while the archive is
// checked. Only an archive the check will not write to is copied so (no log to
// fold into it, no journal to roll back, not written in the last two seconds:
// a write after the copy began then shows in its time), and
// the copy takes the backup's place only when the check has passed and the
// archive is still the file that was copied; otherwise it is removed.
class EarlyBackup {
 public:
  EarlyBackup(const std::string& archive, const std::string& backup) : archive_(archive) {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    if (!Empty(archive + "-wal") || !Empty(archive + "-journal") || !Identify(archive, before_) ||
        now.tv_sec - before_.modified.tv_sec < 2)
      return;
    thread_ = std::thread([this, archive, backup] {
      CopyStep failed = CopyStep::Write;
      error_ = WriteCopy(archive, backup, temp_, failed);
    });
  }
  ~EarlyBackup() {
    if (thread_.joinable()) thread_.join();
    if (!temp_.empty()) ::unlink(temp_.c_str());
  }
  EarlyBackup(const EarlyBackup&) = delete;
  EarlyBackup& operator=(const EarlyBackup&) = delete;

  // Puts the copy in the backup's place; false when there is none to put
  // (the caller then copies the archive itself).
  bool Commit(const std::string& folder, const std::string& backup) {
    if (!thread_.joinable()) return false;
    thread_.join();
    FileIdentity now;
    if (error_ || temp_.empty() || !Identify(archive_, now) || !(now == before_) || !Empty(archive_ + "-wal"))
      return false;
    if (::rename(temp_.c_str(), backup.c_str()) != 0) return false;
    temp_.clear();
    SyncFolder(folder);
    return true;
  }

 private:
  std::string archive_;
  FileIdentity before_;
  std::string temp_;
  int error_ = 0;
  std::thread thread_;
};

// Whether the archive may be copied over its backup. A damaged archive is
// reported here in plain words (false); any other failure of the check is
// raised with the note that the backup was kept.
bool ArchiveMayBeBackedUp(const std::string& archive, const std::string& backup) {
  try {
    vx::archive::CheckArchiveSound(archive);
    return true;
  } catch (const ComError& e) {
    const std::string kept = Exists(backup) ? " The backup '" + backup + "' was kept as it was." : "";
    // A damaged file, or one that no longer opens as the archive, is no source
    // for a backup; any other failure is raised as it is.
    if (e.Number() != err::kArchiveNotADatabase && e.Number() != err::kArchiveNotAnArchive)
      throw ComError(e.Number(), e.Source(), e.Description() + kept);
    const QString backupNote =
        Exists(backup) ? QStringLiteral("The earlier backup '%1' was kept as it was.").arg(QString::fromStdString(backup))
                       : QStringLiteral("No backup was written.");
    SetScreenMousePointer(vbDefault);
    MsgBox(QStringLiteral("Vexilon could not back up the archive database.\r\n\r\n") +
               QString::fromStdString(e.Description()) + QStringLiteral("\r\n\r\n") + backupNote +
               QStringLiteral(" The archive database was neither backed up nor compacted, and stays as it is."),
           vbExclamation);
    return false;
  }
}

void EndProcess(int exitCode) {
  if (g_endProcess) {
    g_endProcess(exitCode);
    return;
  }
  ReleaseSingleInstance();
  std::fflush(nullptr);
  std::_Exit(exitCode);
}

}  // namespace


namespace {

// The left-over copies of the files named in `targets`.
void RemoveLeftCopies(std::initializer_list<const char*> targets) {
  const std::string folder = ProgramFolder();
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::string> left;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    for (const char* target : targets) {
      const std::string prefix = std::string(target) + kPartialCopyMarker;
      if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0) left.push_back(name);
    }
  }
  ::closedir(dir);
  for (const std::string& name : left) {
    const std::string path = folder + name;
    struct stat st {};
    // Only the owner-only files this program makes (never a link or a folder).
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
        (st.st_mode & 07777) == 0600)
      ::unlink(path.c_str());
  }
}

}  // namespace

void RemoveLeftBackupCopies() { RemoveLeftCopies({vx::archive::kBackupFileName, vx::archive::kCompactFileName}); }

void SetEndProcess(std::function<void(int)> endProcess) {
  g_endProcess = std::move(endProcess);
  g_exitState = ExitState::NotStarted;
  g_terminationPending = false;
}

void ExitApp(int exitCode) {
  if (g_exitState == ExitState::Running) {
    // The error window of a failed exit step: the later steps stay undone.
    EndProcess(exitCode ? exitCode : 1);
    return;
  }
  if (g_exitState == ExitState::Done) return;
  g_exitState = ExitState::Running;
  // The windows release their engines before the archive files are touched.
  if (frmApplication* main = MainWindow()) {
    if (QMdiArea* area = main->MdiArea()) area->closeAllSubWindows();
  }
  // Before start-up knew its program folder there are no archive files to handle.
  bool done = true;
  if (!ProgramFolder().empty()) {
    RemoveLeftBackupCopies();
    const auto ahead = BeginCompaction();
    done = BackupDb() && CompactDb() && DeleteMDW();
  }
  g_exitState = ExitState::Done;
  EndProcess(done ? exitCode : 1);
}

std::unique_ptr<vx::archive::CompactionAhead> BeginCompaction() {
  const std::string folder = ProgramFolder();
  if (!Exists(folder + vx::archive::kArchiveFileName) || !Exists(folder + vx::archive::kWorkgroupFileName)) return nullptr;
  return std::make_unique<vx::archive::CompactionAhead>(strDbAdminConnectionString() + ";Jet OLEDB:Engine Type=5;",
                                                        strDbTempAdminConnectionString() + ";Jet OLEDB:Engine Type=5;");
}

bool BackupDb() {
  try {
    const std::string folder = ProgramFolder();
    const std::string archive = folder + vx::archive::kArchiveFileName;
    const std::string backup = folder + vx::archive::kBackupFileName;
    // Only the backup's: a compacted copy may be being written beside it.
    RemoveLeftCopies({vx::archive::kBackupFileName});
    if (!Exists(archive)) return true;
    EarlyBackup early(archive, backup);
    if (!ArchiveMayBeBackedUp(archive, backup)) return false;
    // Copied while the archive is held, so that no other process's fold of its
    // log writes to the file while it is read.
    if (!early.Commit(folder, backup))
      vx::archive::WhileArchiveHeld(archive, [&] { CopyFileAtomically(folder, archive, backup); });
    return true;
  } catch (...) {
    ReportError("basMain", "BackupDb", 0, true);
    return false;
  }
}

bool CompactDb() {
  try {
    const std::string folder = ProgramFolder();
    const std::string archive = folder + vx::archive::kArchiveFileName;
    const std::string copy = folder + vx::archive::kCompactFileName;
    if (!Exists(archive) || !Exists(folder + vx::archive::kWorkgroupFileName)) return true;
    // A copy left by an earlier exit that stopped half-way.
    if (Exists(copy) && ::unlink(copy.c_str()) != 0) RaiseFileError("Cannot remove the old copy", copy, kNotCompacted);
    // An archive reached through a symbolic link is replaced where it lies; the
    // link stays (a copy beside it on another file system cannot be moved there,
    // and the archive then stays as it was).
    std::string target = archive;
    struct stat link {};
    if (::lstat(archive.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
      char* resolved = ::realpath(archive.c_str(), nullptr);
      if (!resolved) RaiseFileError("Cannot resolve", archive, kNotCompacted);
      target = resolved;
      std::free(resolved);
    }
    // The checked copy takes the archive's place while the archive layer still
    // holds the archive, so that no other process writes to it in between.
    try {
      vx::archive::CompactDatabase(strDbAdminConnectionString() + ";Jet OLEDB:Engine Type=5;",
                                   strDbTempAdminConnectionString() + ";Jet OLEDB:Engine Type=5;", [&] {
                                     // A start meanwhile finds the copy held too.
                                     HoldSingleInstanceAlso(copy);
                                     if (::rename(copy.c_str(), target.c_str()) == 0) return;
                                     const int e = errno;
                                     ::unlink(copy.c_str());
                                     errno = e;
                                     RaiseFileError("Cannot replace", target);
                                   });
    } catch (const ComError& e) {
      // The archive layer has removed its half-made copy; the archive is untouched.
      throw ComError(e.Number(), e.Source(), e.Description() + kNotCompacted);
    }
    SyncFolder(target.substr(0, target.rfind('/') + 1));
    return true;
  } catch (...) {
    ReportError("basMain", "CompactDb", 0, true);
    return false;
  }
}

bool DeleteMDW() {
  try {
    const std::string workgroup = ProgramFolder() + vx::archive::kWorkgroupFileName;
    if (Exists(workgroup) && ::unlink(workgroup.c_str()) != 0) RaiseFileError("Cannot delete", workgroup);
    return true;
  } catch (...) {
    ReportError("basMain", "DeleteMDW", 0, true);
    return false;
  }
}

bool TakePendingTermination() {
  const bool pending = g_terminationPending;
  g_terminationPending = false;
  return pending;
}

void InstallTerminationHandler() {
  if (g_termination) return;
  g_termination = std::make_unique<CTerminationSignal>([] {
    if (MainWindow() && MainWindow()->BatchRunning()) {
      g_terminationPending = true;  // ends when the batch has finished its object
      return;
    }
    ExitApp(0);
  });
}

}  // namespace vx::app
