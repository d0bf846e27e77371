// sqlsim: the query tool of the simulated SQL Server 2000.
//   sqlsim create <server> [-P sa-password] [--version N]
//   sqlsim run <server> (-i file.sql | -Q "query") [-U login [-P password] | -E] [-d database]
//   sqlsim list
//   sqlsim add-os-login <server>      (the current user's Windows login, as sysadmin)
//   sqlsim remove <server>
// Every command takes --folder DIR (default: $VEXILON_SIM_DIR or the data folder).
#include <cstdio>
#include <cstring>
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

int Usage() {
  std::cerr << "usage:\n"
               "  sqlsim create <server> [-P sa-password] [--version N] [--folder DIR]\n"
               "  sqlsim run <server> (-i file.sql | -Q query) [-U login [-P password] | -E] [-d database]"
               " [--folder DIR]\n"
               "  sqlsim list [--folder DIR]\n"
               "  sqlsim add-os-login <server> [--folder DIR]\n"
               "  sqlsim remove <server> [--folder DIR]\n";
  return 2;
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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string command = argv[1];
  if (command == "serve") return ServeCommand(argc, argv);
  std::string server, folder, input, query, login, password, database, version = "8";
  bool trusted = false, havePassword = false;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::runtime_error("option " + a + " needs a value");
      return argv[++i];
    };
    try {
      if (a == "--folder") folder = value();
      else if (a == "-i") input = value();
      else if (a == "-Q") query = value();
      else if (a == "-U") login = value();
      else if (a == "-P") {
        password = value();
        havePassword = true;
      } else if (a == "-E") trusted = true;
      else if (a == "-d") database = value();
      else if (a == "--version") version = value();
      else if (!a.empty() && a[0] == '-') return Usage();
      else if (server.empty()) server = a;
      else return Usage();
    } catch (const std::exception& e) {
      std::cerr << "sqlsim: " << e.what() << "\n";
      return 2;
    }
  }
  try {
    if (command == "list") {
      for (const auto& n : vx::sqlsim::ServerNames(folder)) std::cout << n << "\n";
      return 0;
    }
    if (server.empty()) return Usage();
    if (command == "create") {
      vx::sqlsim::ServerOptions options;
      options.versionMajor = std::stoi(version);
      options.saPassword = password;
      auto s = vx::sqlsim::SimServer::Create(server, options, folder);
      std::cout << "Created simulated server '" << s.Name() << "' in " << s.FilePath() << "\n";
      return 0;
    }
    if (command == "add-os-login") {
      auto s = vx::sqlsim::SimServer::Open(server, folder);
      s.AddWindowsLogin(vx::sqlsim::CurrentWindowsLogin(), true);
      std::cout << "Added the Windows login " << vx::sqlsim::CurrentWindowsLogin() << " (sysadmin)\n";
      return 0;
    }
    if (command == "remove") {
      vx::sqlsim::SimServer::Remove(server, folder);
      return 0;
    }
    if (command != "run" || (input.empty() == query.empty())) return Usage();
    std::string text = query;
    if (!input.empty()) {
      std::ifstream in(input, std::ios::binary);
      if (!in) {
        std::cerr << "sqlsim: cannot read " << input << "\n";
        return 1;
      }
      std::stringstream ss;
      ss << in.rdbuf();
      text = ss.str();
    }
    auto s = vx::sqlsim::SimServer::Open(server, folder);
    vx::sqlserver::Credentials credentials;
    credentials.trusted = trusted || login.empty();
    if (!credentials.trusted) {
      credentials.login = login;
      credentials.password = havePassword ? password : "";
    }
    auto session = s.OpenSession(credentials, database);
    for (const auto& batch : vx::sqlserver::SplitBatches(text)) {
      auto result = session->Execute(batch);
      for (const auto& rs : result.resultSets) PrintResult(rs);
      for (const auto& m : result.messages) {
        if (m.IsError() || m.number != 0)
          std::cout << "Msg " << m.number << ", Level " << m.severity << ", State " << m.state << ", Line " << m.line
                    << "\n";
        std::cout << m.text << "\n";
      }
      if (result.FirstError()) return 1;
    }
    return 0;
  } catch (const vx::ComError& e) {
    std::cerr << "sqlsim: error " << e.Number() << ": " << e.Description() << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "sqlsim: " << e.what() << "\n";
    return 1;
  }
}
