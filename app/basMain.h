#pragma once
// Start-up and exit of the program, and what start-up builds for everyone: the
// three archive connection strings and the program folder.
#include <memory>
#include <string>

class CVexilon;

namespace vx::app {

// The program's entry: single instance, settings, archive files, main window and
// explorer; then runs the event loop. Returns the process exit code.
int Main(int argc, char** argv);
// Backs up and compacts the archive, removes the workgroup file and ends the
// process. Runs once, whichever path leads to it.
void ExitApp();

// The program folder, ending in "/" (the executable's folder, or
// $VEXILON_PROGRAM_DIR when set).
const std::string& ProgramFolder();
// The archive connection strings, built from the program folder at start-up.
const std::string& strDbConnectionString();
const std::string& strDbAdminConnectionString();
const std::string& strDbTempAdminConnectionString();
// Sets the program folder and builds the three strings again (start-up; tests).
void SetProgramFolder(const std::string& folderWithSlash);

// A new engine on the archive: AppConnectionString already set.
std::unique_ptr<CVexilon> NewEngine();

}  // namespace vx::app
