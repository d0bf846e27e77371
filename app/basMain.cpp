// Start-up: single instance, settings, the archive files and their check, the
// main window and the explorer.
#include "basMain.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>

#include <QApplication>

#include "CSingleInstance.h"
#include "archive/ArchiveFiles.h"
#include "archive_template/WorkgroupResource.h"
#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "basAppTexts.h"
#include "basErrorReports.h"
#include "basMessages.h"
#include "basScreen.h"
#include "explorer/frmSQLServerExplorer.h"
#include "frmApplication.h"
#include "frmSplash.h"
#include "registry/RegistryStore.h"
#include "tarnwell/CRegistry.h"
#include "vexilon_global/CGlobal.h"
#include "vexilon_lib/CVexilon.h"

namespace vx::app {
namespace {

constexpr const char* kSettingsKey = "SOFTWARE\\Morvane\\Vexilon";

std::string g_folder, g_user, g_admin, g_temp, g_help;
std::unique_ptr<CSingleInstance> g_instance;

std::string DetermineProgramFolder() {
  const char* env = std::getenv("VEXILON_PROGRAM_DIR");
  std::string folder = env && *env ? std::string(env) : QCoreApplication::applicationDirPath().toStdString();
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

[[noreturn]] void RaiseFileError(const std::string& what, const std::string& path) {
  throw ComError(err::kPermissionDenied, "basMain", what + " '" + path + "': " + std::strerror(errno));
}

// Replaces the workgroup file (also a read-only one) by the program's copy.
void WriteWorkgroupFile(const std::string& path) {
  if (FileExists(path) && ::unlink(path.c_str()) != 0) RaiseFileError("Cannot delete", path);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) RaiseFileError("Cannot create", path);
  const unsigned char* data = vx::archive::WorkgroupResourceData();
  std::size_t left = vx::archive::WorkgroupResourceSize();
  while (left > 0) {
    const ssize_t n = ::write(fd, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int saved = errno;
      ::close(fd);
      ::unlink(path.c_str());
      errno = saved;
      RaiseFileError("Cannot write", path);
    }
    data += n;
    left -= static_cast<std::size_t>(n);
  }
  const bool synced = ::fsync(fd) == 0;
  if (::close(fd) != 0 || !synced) {
    const int saved = errno;
    ::unlink(path.c_str());
    errno = saved;
    RaiseFileError("Cannot write", path);
  }
}

bool NonEmpty(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && st.st_size > 0;
}

QString StopText(const QString& what) { return QStringLiteral("Cannot start Vexilon.\r\n\r\n") + what; }

// The start-up message for an archive that fails its check: the file and the
// true cause. Only a damaged archive is one to give up for its backup.
QString UnusableArchiveMessage(const std::string& folder, const vx::ComError& failure, bool journalRolledBack) {
  const std::string archive = folder + vx::archive::kArchiveFileName;
  const std::string backup = folder + vx::archive::kBackupFileName;
  const QString cause = QString::fromStdString(failure.Description());
  const bool damaged = failure.Number() == err::kArchiveNotADatabase;
  if (!damaged && failure.Number() != err::kArchiveNotAnArchive) return StopText(cause);
  std::optional<ComError> backupFailure;
  if (FileExists(backup)) {
    try {
      vx::archive::CheckCopySound(backup);
    } catch (const ComError& e) {
      backupFailure = e;
    }
  }
  QString backupNote;
  if (!FileExists(backup)) {
    backupNote = QStringLiteral("There is no backup of it.");
  } else if (backupFailure) {
    backupNote = QStringLiteral("Its backup cannot be used either: %1").arg(QString::fromStdString(backupFailure->Description()));
  } else if (!damaged) {
    backupNote = QStringLiteral("A good backup of the archive is kept in '%1'.").arg(QString::fromStdString(backup));
  } else {
    backupNote = QStringLiteral("A good backup of it is kept in '%1': to go back to it, replace '%2' with a copy "
                                "of the backup")
                     .arg(QString::fromStdString(backup), QString::fromStdString(archive));
    // A log left beside the damaged file belongs to it, and would be read
    // into the backup put in its place.
    const std::string log = archive + "-wal";
    backupNote += NonEmpty(log) ? QStringLiteral(", and remove the damaged file's log '%1' and '%2' with it.")
                                      .arg(QString::fromStdString(log), QString::fromStdString(archive + "-shm"))
                                : QStringLiteral(".");
  }
  const QString changed = journalRolledBack
                              ? QStringLiteral(" Vexilon has rolled back the journal '%1' that a write cut short left "
                                               "beside the archive, and has changed neither file otherwise.")
                                    .arg(QString::fromStdString(archive + "-journal"))
                              : QStringLiteral(" Vexilon has changed neither file.");
  return StopText(cause + QStringLiteral("\r\n\r\n") + backupNote + changed);
}

// Shows a start-up message that ends the start: the workgroup file goes again.
void StopWith(const std::string& folder, const QString& message, bool workgroupWritten) {
  if (workgroupWritten) ::unlink((folder + vx::archive::kWorkgroupFileName).c_str());
  SetScreenMousePointer(vbDefault);
  MsgBox(message, vbCritical);
  g_instance.reset();
}

void ActivateMainWindow() {
  frmApplication* main = MainWindow();
  if (!main) return;
  main->setWindowState(main->windowState() & ~Qt::WindowMinimized);
  main->show();
  main->raise();
  main->activateWindow();
}

}  // namespace

StartUpResult StartUp() {
  try {
    const std::string folder = DetermineProgramFolder();
    // Only one instance per user and program folder.
    auto guard = std::make_unique<CSingleInstance>(QString::fromStdString(folder));
    if (!guard->Acquire()) return StartUpResult::OtherInstanceActivated;
    QObject::connect(guard.get(), &CSingleInstance::activationRequested, guard.get(), [] { ActivateMainWindow(); });
    g_instance = std::move(guard);

    SetScreenMousePointer(vbHourglass);
    {
      // While the splash window shows, an archive not in the system's cache
      // (the first start after a reboot) is read into it, for the check below.
      std::jthread cache([archive = folder + vx::archive::kArchiveFileName] { vx::archive::CacheArchiveFile(archive); });
      frmSplash splash;
      ShowModal(splash);
    }
    {
      CRegistry registry;
      const bool exists = registry.CheckKeyExists(CurrentUser, std::string(kSettingsKey) + "\\") != vx::kFalse;
      registry.OpenKey(CurrentUser, kSettingsKey, exists ? vx::kFalse : vx::kTrue);
      registry.WriteValue("ApplicationPath", folder);
      registry.CloseKey();
    }
    // A damaged settings store was set aside and a new one made: said once.
    for (const std::string& notice : vx::registry::TakeSetAsideNotices())
      MsgBox(QString::fromStdString(notice), vbExclamation);
    CGlobal::Instance().ApplicationInfo(kApplicationInfo);
    CGlobal::Instance().VersionInfo(kVersionInfo);
    SetProgramFolder(folder);
    RemoveLeftBackupCopies();

    if (!FileExists(folder + vx::archive::kArchiveFileName)) {
      StopWith(folder, StopText(QStringLiteral("Vexilon was unable to open the archive database.")), false);
      return StartUpResult::ArchiveMissing;
    }
    // The workgroup file, the archive's log and its backup are written beside
    // the archive: a folder that refuses them stops the start, saying so.
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
      StopWith(folder,
               StopText(QStringLiteral("The program folder '%1' cannot be written: %2. Vexilon keeps its workgroup "
                                       "file, the archive's log and its backup there.")
                            .arg(QString::fromStdString(folder), QString::fromLocal8Bit(std::strerror(errno)))),
               false);
      return StartUpResult::ArchiveUnusable;
    }
    try {
      WriteWorkgroupFile(folder + vx::archive::kWorkgroupFileName);
    } catch (const ComError& e) {
      StopWith(folder, StopText(QString::fromStdString(e.Description()) + QStringLiteral(".")), false);
      return StartUpResult::ArchiveUnusable;
    }

    // The archive is checked before anything opens it for writing: a damaged
    // one stops the start, and neither it nor its backup is touched.
    const std::string archive = folder + vx::archive::kArchiveFileName;
    const bool journalLeft = NonEmpty(archive + "-journal");
    bool held = false;
    try {
      vx::archive::CheckArchiveSound(archive);
    } catch (const ComError& e) {
      if (e.Number() != err::kUnspecified) {
        StopWith(folder, UnusableArchiveMessage(folder, e, journalLeft && !NonEmpty(archive + "-journal")), true);
        return e.Number() == err::kArchiveNotADatabase ? StartUpResult::ArchiveDamaged : StartUpResult::ArchiveUnusable;
      }
      held = true;
    }
    if (!held) {
      try {
        auto engine = NewEngine();
        engine->CheckDatabaseArchiveConnection();
      } catch (const ComError& e) {
        held = e.Number() == err::kUnspecified;
      } catch (...) {
      }
    }
    if (held) {
      StopWith(folder, StopText(QStringLiteral("The Vexilon archive database is already open.")), false);
      return StartUpResult::ArchiveHeld;
    }

    auto* main = new frmApplication;
    SetMainWindow(main);
    main->setWindowTitle(QString::fromLatin1(kApplicationInfo));
    main->FillfrmApplication();
    main->show();

    auto* explorer = new frmSQLServerExplorer;
    explorer->FillfrmSQLServerExplorer();
    SetScreenMousePointer(vbDefault);
    main->ShowExplorer(explorer);
    SetScreenMousePointer(vbDefault);
    return StartUpResult::Started;
  } catch (...) {
    ReportError("basMain", "Main", 0, true);
    return StartUpResult::Failed;
  }
}

int Main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(kAppTitle));
  QApplication::setQuitOnLastWindowClosed(false);
  InstallTerminationHandler();
  switch (StartUp()) {
    case StartUpResult::Started: return app.exec();
    case StartUpResult::OtherInstanceActivated: return 0;
    default: return 1;
  }
}

void ReleaseProgram() {
  if (frmApplication* main = MainWindow()) {
    SetMainWindow(nullptr);
    delete main;
  }
  g_instance.reset();
}

void ReleaseSingleInstance() { g_instance.reset(); }

void HoldSingleInstanceAlso(const std::string& file) {
  if (g_instance) g_instance->HoldAlso(file);
}

const std::string& ProgramFolder() { return g_folder; }
const std::string& strDbConnectionString() { return g_user; }
const std::string& strDbAdminConnectionString() { return g_admin; }
const std::string& strDbTempAdminConnectionString() { return g_temp; }
const std::string& HelpFile() { return g_help; }

void SetProgramFolder(const std::string& folderWithSlash) {
  g_folder = folderWithSlash;
  if (g_folder.empty() || g_folder.back() != '/') g_folder += '/';
  g_user = vx::archive::UserConnectionString(g_folder);
  g_admin = vx::archive::AdminConnectionString(g_folder);
  g_temp = vx::archive::CompactTargetConnectionString(g_folder);
  g_help = g_folder + kHelpFileName;
}

std::unique_ptr<CVexilon> NewEngine() {
  auto engine = std::make_unique<CVexilon>();
  engine->SetAppConnectionString(strDbConnectionString());
  return engine;
}

}  // namespace vx::app
