#include "sqlserver_sim/SimFolder.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <unistd.h>

#include "Lexer.h"
#include "SimStore.h"

namespace vx::sqlsim {

namespace fs = std::filesystem;

namespace {
constexpr const char* kExtension = ".sqlsim";

std::string HomeDir() {
  if (const char* h = std::getenv("HOME"); h && *h) return h;
  if (const passwd* pw = getpwuid(getuid())) return pw->pw_dir;
  return "/tmp";
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}
}  // namespace

std::string SimulatorFolder() {
  if (const char* d = std::getenv("VEXILON_SIM_DIR"); d && *d) return d;
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) return std::string(x) + "/vexilon/servers";
  return HomeDir() + "/.local/share/vexilon/servers";
}

std::string ServerFilePath(const std::string& serverName, const std::string& folder) {
  // Server names compare case-insensitively; characters unsafe in file names are escaped.
  std::string file;
  for (unsigned char c : Lower(serverName)) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c >= 0x80) {
      file += static_cast<char>(c);
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      file += buf;
    }
  }
  if (file.empty() || file[0] == '.') file = "%" + file;
  return (folder.empty() ? SimulatorFolder() : folder) + "/" + file + kExtension;
}

bool ServerExists(const std::string& serverName, const std::string& folder) {
  if (serverName.empty()) return false;
  std::error_code ec;
  return fs::is_regular_file(ServerFilePath(serverName, folder), ec);
}

std::vector<std::string> ServerNames(const std::string& folder) {
  std::vector<std::string> unreadable;
  return ServerNames(folder, unreadable);
}

std::vector<std::string> ServerNames(const std::string& folder, std::vector<std::string>& unreadable) {
  std::vector<std::string> names;
  std::error_code ec;
  fs::path dir(folder.empty() ? SimulatorFolder() : folder);
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (!entry.is_regular_file() || entry.path().extension() != kExtension) continue;
    try {
      auto db = OpenServerFile(entry.path().string(), false);
      auto st = db.Prepare("SELECT value FROM server_info WHERE key = 'name'");
      if (st.Step()) names.push_back(st.Text(0));
    } catch (const ComError& e) {
      const std::string path = entry.path().string(), why = e.Description();
      unreadable.push_back(why.find(path) != std::string::npos ? why : path + ": " + why);
    }
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
  std::sort(unreadable.begin(), unreadable.end());
  return names;
}

std::string CurrentWindowsLogin() {
  std::string domain;
  if (const char* d = std::getenv("VEXILON_SIM_DOMAIN"); d && *d) {
    domain = d;
  } else {
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    domain = host;
    domain = domain.substr(0, domain.find('.'));
  }
  std::string user;
  if (const passwd* pw = getpwuid(getuid())) user = pw->pw_name;
  if (user.empty())
    if (const char* u = std::getenv("USER")) user = u;
  return Upper(domain) + "\\" + user;
}

}  // namespace vx::sqlsim
