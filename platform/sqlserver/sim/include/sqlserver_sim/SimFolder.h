#pragma once
// Where the simulated servers live: one SQLite (SQLCipher library) file per
// server, "<folder>/<escaped lower-case name>.sqlsim". The folder is
// $VEXILON_SIM_DIR when set, else $XDG_DATA_HOME/vexilon/servers, else
// ~/.local/share/vexilon/servers.
#include <string>
#include <vector>

namespace vx::sqlsim {

std::string SimulatorFolder();
// The file of a server name in a folder (folder "" = SimulatorFolder()).
std::string ServerFilePath(const std::string& serverName, const std::string& folder = "");
// True when the folder holds a simulated server of that name (case-insensitive).
bool ServerExists(const std::string& serverName, const std::string& folder = "");
// Names of the simulated servers of the folder, sorted case-insensitively.
std::vector<std::string> ServerNames(const std::string& folder = "");
// The same, and for each "*.sqlsim" file that is no readable server a
// description that names the file, in `unreadable`.
std::vector<std::string> ServerNames(const std::string& folder, std::vector<std::string>& unreadable);
// The Windows login a trusted connection maps the current OS user to:
// "<HOST in upper case>\<user>" (host from $VEXILON_SIM_DOMAIN when set).
std::string CurrentWindowsLogin();

}  // namespace vx::sqlsim
