// sqlsim: the query tool of the simulated SQL Server 2000.
//   sqlsim create <server> [-P sa-password] [--version N]
//   sqlsim run <server> (-i file.sql | -Q "query") [-U login [-P password] | -E] [-d database]
//   sqlsim list
//   sqlsim add-os-login <server>      (the current user's Windows login, as sysadmin)
//   sqlsim remove <server>
//   sqlsim help
// Every command takes --folder DIR (default: $VEXILON_SIM_DIR or the data folder).
// Exit status: 0 done, 1 failed (a server error, a file that cannot be read, a
// script that left a transaction open), 2 wrong command line.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "automation/ComError.h"
#include "sqlserver/BatchSplitter.h"
#include "sqlserver/Session.h"
#include "sqlserver_sim/SimFolder.h"
#include "sqlserver_sim/SimServer.h"
#include "ServeCommand.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage:\n"
    "  sqlsim create <server> [-P sa-password] [--version N] [--folder DIR]\n"
    "  sqlsim run <server> (-i file.sql | -Q query) [-U login [-P password] | -E] [-d database]"
    " [--folder DIR]\n"
    "  sqlsim list [--folder DIR]\n"
    "  sqlsim add-os-login <server> [--folder DIR]\n"
    "  sqlsim remove <server> [--folder DIR]\n"
    "  sqlsim serve <server> [--port N] [--folder DIR]   (TDS on 127.0.0.1)\n"
    "  sqlsim help\n";

int Usage() {
  std::cerr << kUsage;
  return 2;
}

int Help() {
  std::cout << kUsage;
  return 0;
}

int Fail(const std::string& text) {
  std::cerr << "sqlsim: " << text << "\n";
  return 1;
}

struct Options {
  std::string server, folder, input, query, login, password, database;
  int version = 8;
  bool trusted = false, havePassword = false;
};

// A major version is a whole number from 1 to 99 ("8" for SQL Server 2000).
bool ParseVersion(const std::string& text, int& version) {
  if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  version = std::stoi(text);
  return version >= 1;
}

std::string Cell(const vx::sqlserver::Value& v) { return v.IsNull() ? "NULL" : v.AsText(); }

void PrintResult(const vx::sqlserver::ResultSet& rs) {
  std::string line;
  for (size_t c = 0; c < rs.columns.size(); ++c) line += (c ? "\t" : "") + rs.columns[c].name;
  std::cout << line << "\n";
  for (const auto& row : rs.rows) {
    line.clear();
    for (size_t c = 0; c < row.size(); ++c) line += (c ? "\t" : "") + Cell(row[c]);
    std::cout << line << "\n";
  }
  std::cout << "(" << rs.rows.size() << (rs.rows.size() == 1 ? " row" : " rows") << " affected)\n";
}

int List(const Options& o) {
  std::string folder = o.folder.empty() ? vx::sqlsim::SimulatorFolder() : o.folder;
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return Fail("there is no folder " + folder);
  std::vector<std::string> unreadable;
  for (const auto& n : vx::sqlsim::ServerNames(folder, unreadable)) std::cout << n << "\n";
  for (const auto& u : unreadable) std::cerr << "sqlsim: not listed: " << u << "\n";
  return unreadable.empty() ? 0 : 1;
}

int Create(const Options& o) {
  vx::sqlsim::ServerOptions options;
  options.versionMajor = o.version;
  options.saPassword = o.password;
  auto s = vx::sqlsim::SimServer::Create(o.server, options, o.folder);
  std::cout << "Created simulated server '" << s.Name() << "' in " << s.FilePath() << "\n";
  return 0;
}

int AddOsLogin(const Options& o) {
  auto s = vx::sqlsim::SimServer::Open(o.server, o.folder);
  s.AddWindowsLogin(vx::sqlsim::CurrentWindowsLogin(), true);
  std::cout << "Added the Windows login " << vx::sqlsim::CurrentWindowsLogin() << " (sysadmin)\n";
  return 0;
}

int Remove(const Options& o) {
  vx::sqlsim::SimServer::Remove(o.server, o.folder);
  return 0;
}

// The server rolls back what a session leaves open when it disconnects; the tool says so.
int EndSession(vx::sqlserver::Session& session, int status) {
  auto r = session.Execute("SELECT @@TRANCOUNT");
  int open = 0;
  if (!r.FirstError() && !r.resultSets.empty() && !r.resultSets[0].rows.empty())
    open = r.resultSets[0].rows[0][0].AsInt32();
  if (open > 0) {
    session.Execute("ROLLBACK TRANSACTION");
    std::cerr << "sqlsim: the script ended with an open transaction (@@TRANCOUNT " << open
              << "); it was rolled back\n";
    status = 1;
  }
  session.Close();
  return status;
}

int Run(const Options& o) {
  if (o.input.empty() == o.query.empty()) return Usage();
  std::string text = o.query;
  if (!o.input.empty()) {
    std::error_code ec;
    if (fs::is_directory(o.input, ec)) return Fail("cannot read " + o.input + ": it is a folder");
    std::ifstream in(o.input, std::ios::binary);
    if (!in) return Fail("cannot read " + o.input + ": " + std::strerror(errno));
    std::stringstream ss;
    ss << in.rdbuf();
    if (in.bad()) return Fail("cannot read " + o.input);
    text = ss.str();
  }
  auto s = vx::sqlsim::SimServer::Open(o.server, o.folder);
  vx::sqlserver::Credentials credentials;
  credentials.trusted = o.trusted || o.login.empty();
  if (!credentials.trusted) {
    credentials.login = o.login;
    credentials.password = o.havePassword ? o.password : "";
  }
  auto session = s.OpenSession(credentials, o.database);
  for (const auto& batch : vx::sqlserver::SplitBatches(text)) {
    auto result = session->Execute(batch);
    for (const auto& rs : result.resultSets) PrintResult(rs);
    for (const auto& m : result.messages) {
      if (m.IsError() || m.number != 0)
        std::cout << "Msg " << m.number << ", Level " << m.severity << ", State " << m.state << ", Line " << m.line
                  << "\n";
      std::cout << m.text << "\n";
    }
    if (result.FirstError()) return EndSession(*session, 1);
  }
  return EndSession(*session, 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string command = argv[1];
  if (command == "help" || command == "--help" || command == "-h") return Help();
  if (command == "serve") return ServeCommand(argc, argv);
  Options o;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") return Help();
    if ((a == "--folder" || a == "-i" || a == "-Q" || a == "-U" || a == "-P" || a == "-d" || a == "--version") &&
        i + 1 >= argc) {
      std::cerr << "sqlsim: option " << a << " needs a value\n";
      return 2;
    }
    if (a == "--folder") o.folder = argv[++i];
    else if (a == "-i") o.input = argv[++i];
    else if (a == "-Q") o.query = argv[++i];
    else if (a == "-U") o.login = argv[++i];
    else if (a == "-P") {
      o.password = argv[++i];
      o.havePassword = true;
    } else if (a == "-E") o.trusted = true;
    else if (a == "-d") o.database = argv[++i];
    else if (a == "--version") {
      std::string v = argv[++i];
      if (!ParseVersion(v, o.version)) {
        std::cerr << "sqlsim: --version takes a major version number from 1 to 99 (8 is SQL Server 2000), not '"
                  << v << "'\n";
        return 2;
      }
    } else if (!a.empty() && a[0] == '-') return Usage();
    else if (o.server.empty()) o.server = a;
    else return Usage();
  }
  try {
    if (command == "list") return List(o);
    if (o.server.empty()) return Usage();
    if (command == "create") return Create(o);
    if (command == "add-os-login") return AddOsLogin(o);
    if (command == "remove") return Remove(o);
    if (command == "run") return Run(o);
    return Usage();
  } catch (const vx::ComError& e) {
    std::cerr << "sqlsim: error " << e.Number() << ": " << e.Description() << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "sqlsim: " << e.what() << "\n";
    return 1;
  }
}
