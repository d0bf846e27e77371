#pragma once
// What the tests over TDS share: their own ODBC and FreeTDS configuration in a
// temp folder, `sqlsim serve` as a child process, an in-process listener, and a
// factory that reaches a served server under its simulated name.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include "sqlserver/Session.h"
#include "sqlserver_odbc/OdbcSessionFactory.h"

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
  ServedServer(const std::string& sqlsim, const std::string& server, const std::string& folder) {
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
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
  std::string Address() const { return "127.0.0.1," + std::to_string(port_); }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

// Reaches `name` (any case) at a TDS address over ODBC; other names are unknown.
class ServedFactory : public vx::sqlserver::SessionFactory {
 public:
  ServedFactory(std::string name, std::string address, vx::sqlserver::OdbcOptions options = {})
      : name_(Lower(std::move(name))), address_(std::move(address)), odbc_(std::move(options)) {}
  bool HasServer(const std::string& n) const override { return Lower(n) == name_; }
  std::unique_ptr<vx::sqlserver::Session> Open(const std::string& n, const vx::sqlserver::Credentials& c,
                                               const std::string& database) override {
    return odbc_.Open(HasServer(n) ? address_ : "127.0.0.1,1", c, database);
  }
  std::vector<std::string> ServerNames() const override { return {name_}; }

 private:
  static std::string Lower(std::string s) {
    for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
  }
  std::string name_, address_;
  vx::sqlserver::OdbcSessionFactory odbc_;
};

}  // namespace tds_test
