#pragma once
// Start-up and exit of the program, and what start-up builds for everyone: the
// three archive connection strings and the program folder.
#include <functional>
#include <memory>
#include <string>

namespace vx::archive {
class CompactionAhead;
}

class CVexilon;

namespace vx::app {

// The program's entry: single instance, settings, archive files, main window and
// explorer; then runs the event loop. Returns the process exit code.
int Main(int argc, char** argv);

// How start-up ended.
enum class StartUpResult {
  Started,                 // main window and explorer are shown
  OtherInstanceActivated,  // another instance was brought to the front
  ArchiveMissing,          // "Vexilon.dat" is not in the program folder
  ArchiveHeld,             // the archive is held open by another process
  ArchiveDamaged,          // the archive fails its check; neither it nor its backup is touched
  ArchiveUnusable,         // the archive or its folder cannot be used (permission, full disk, not an
                           // archive): the message names the file and the cause
  Failed,                  // an error was reported
};
// The start-up steps without the event loop (needs a QApplication).
StartUpResult StartUp();

// Backs up and compacts the archive, removes the workgroup file and ends the
// process. Runs once, whichever path leads to it; called again while it runs
// (from the error window of a failed step) it ends the process at once.
void ExitApp(int exitCode = 0);
// The three exit steps; each reports its own error and then returns false.
// The backup and the compaction are made only from an archive that passes its
// check (vx::archive::CheckArchiveSound); for a damaged one BackupDb tells the
// user, keeps the earlier backup as it is and returns false.
bool BackupDb();
bool CompactDb();
bool DeleteMDW();
// The compacted copy CompactDb would write, begun while BackupDb checks and
// copies the archive (nothing when there is no archive or workgroup file, or
// the archive does not rest); CompactDb takes it while this lives.
std::unique_ptr<vx::archive::CompactionAhead> BeginCompaction();
// Removes the temporary copies ("Vexilon.bak.vexilon-partial-copy-XXXXXX" and
// "Vexilon.tmp.vexilon-partial-copy-XXXXXX", names only the exit makes) that
// an exit cut short left in the program folder. A user's files of any other
// name stay.
void RemoveLeftBackupCopies();
// The last act of ExitApp: ends the process with the code. A test puts its own
// function in place (and so re-arms ExitApp); nullptr restores the real end.
void SetEndProcess(std::function<void(int exitCode)> endProcess);
// Drops the main window and the single-instance guard, as the end of the
// process does (tests call it between runs).
void ReleaseProgram();
// Lets go of the single-instance lock and socket (the last act before the end).
void ReleaseSingleInstance();
// The single-instance guard holds `file` too until it is released (the copy
// that replaces the archive at exit).
void HoldSingleInstanceAlso(const std::string& file);
// SIGTERM, SIGINT and SIGHUP lead to ExitApp through the event loop (held
// back while a batch runs).
void InstallTerminationHandler();
// True (once) when a termination signal came while a batch ran; the main
// window then runs ExitApp when the batch ends.
bool TakePendingTermination();

// The program folder, ending in "/" (the executable's folder, or
// $VEXILON_PROGRAM_DIR when set).
const std::string& ProgramFolder();
// The archive connection strings, built from the program folder at start-up.
const std::string& strDbConnectionString();
const std::string& strDbAdminConnectionString();
const std::string& strDbTempAdminConnectionString();
// Sets the program folder and builds the three strings again (start-up; tests).
void SetProgramFolder(const std::string& folderWithSlash);
// The help file set at start-up: the program folder and "VexilonSQL2K.chm".
const std::string& HelpFile();

// A new engine on the archive: AppConnectionString already set.
std::unique_ptr<CVexilon> NewEngine();

}  // namespace vx::app
