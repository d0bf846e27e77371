#pragma once
// What the tests over TDS share: their own ODBC and FreeTDS configuration in a
// temp folder, and `sqlsim serve` as a child process.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>


namespace tds_test {

// ODBC looks nowhere but `folder` (no /etc, no home).
inline void IsolateOdbcConfig(const std::string& folder) {
  std::ofstream(folder + "/odbcinst.ini") << "";
  std::ofstream(folder + "/odbc.ini") << "";
  std::ofstream(folder + "/freetds.conf") << "[global]\n";
  setenv("ODBCSYSINI", folder.c_str(), 1);
  setenv("ODBCINI", (folder + "/odbc.ini").c_str(), 1);
  setenv("FREETDSCONF", (folder + "/freetds.conf").c_str(), 1);
  setenv("VEXILON_NO_BROWSE", "1", 1);
  unsetenv("VEXILON_ODBC_DRIVER");
}

// `sqlsim serve <server> --port 0` from the built binary; ended when destroyed.
class ServedServer {
 public:
  // fileLimit: the child's limit of open descriptors (0: as the test's).
  ServedServer(const std::string& sqlsim, const std::string& server, const std::string& folder,
               rlim_t fileLimit = 0) {
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
      if (fileLimit > 0) {
        const rlimit limit{fileLimit, fileLimit};
        setrlimit(RLIMIT_NOFILE, &limit);
      }
      dup2(out[1], 1);
      close(out[0]);
      close(out[1]);
      execl(sqlsim.c_str(), sqlsim.c_str(), "serve", server.c_str(), "--port", "0", "--folder", folder.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    FILE* f = fdopen(out[0], "r");
    char line[256] = {};
    const bool got = f && std::fgets(line, sizeof line, f);
    if (f) std::fclose(f);
    const std::string text = got ? line : "";
    const size_t colon = text.rfind(':');
    if (text.rfind("Listening on 127.0.0.1:", 0) != 0 || colon == std::string::npos)
      throw std::runtime_error("sqlsim serve did not start: " + text);
    port_ = std::stoi(text.substr(colon + 1));
  }
  ~ServedServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  ServedServer(const ServedServer&) = delete;
  ServedServer& operator=(const ServedServer&) = delete;
  int Port() const { return port_; }
  pid_t Pid() const { return pid_; }
  // True while the child runs.
  bool Running() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }
  std::string Address() const { return "127.0.0.1," + std::to_string(port_); }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace tds_test
