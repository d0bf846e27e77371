// Peak memory of `sqlsim serve` while it sends one result set of 117,649 rows
// and 72 columns (three copies of 49 procedures' catalogue rows, joined), first
// to one client that reads it all over ODBC (FreeTDS), then to clients that
// send the query and never read. Compare two builds of sqlsim:
//   vx_bench_tds_memory [sqlsim=<this build's>] [idle clients=4]
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "automation/ComError.h"
#include "sqlserver_sim/SimServer.h"
#include "support/OdbcClient.h"
#include "support/ServedServer.h"

namespace {

using Clock = std::chrono::steady_clock;

// VmRSS or VmHWM of a process, in MB.
double Memory(pid_t pid, const std::string& field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(field + ":", 0) == 0) return std::stod(line.substr(field.size() + 1)) / 1024.0;
  return 0;
}

std::string Query() {
  static const char* columns[] = {"name", "id", "xtype", "crdate", "uid", "status"};
  std::string q = "SELECT ";
  for (int i = 0; i < 72; ++i) {
    const char alias = static_cast<char>('a' + i / 24);
    q += (i ? ", " : "") + std::string(1, alias) + "." + columns[i % 6] + " AS c" + std::to_string(i);
  }
  return q + " FROM sysobjects a, sysobjects b, sysobjects c"
         " WHERE a.name LIKE 'Procedure%' AND b.name LIKE 'Procedure%' AND c.name LIKE 'Procedure%'";
}

// One client of FreeTDS's driver, logged in as sa to the bench's database.
struct Client {
  tds_test::OdbcClient odbc;
  SQLHSTMT st;
  explicit Client(int port) : odbc(port, "sa", "bench", "Wide"), st(odbc.Stmt()) {
    if (!odbc.Connected()) throw std::runtime_error("cannot log in");
  }
  bool Send(const std::string& q) { return SQL_SUCCEEDED(SQLExecDirect(st, (SQLCHAR*)q.c_str(), SQL_NTS)); }
  long ReadAll() {
    long rows = 0;
    while (SQL_SUCCEEDED(SQLFetch(st))) ++rows;
    return rows;
  }
};

}  // namespace

int main(int argc, char** argv) {
  const std::string sqlsim = argc > 1 ? argv[1] : VX_SQLSIM;
  const int idle = argc > 2 ? std::atoi(argv[2]) : 4;
  const auto folder = std::filesystem::temp_directory_path() / ("vx-bench-tds-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  setenv("VEXILON_NO_BROWSE", "1", 1);
  try {
    vx::sqlsim::ServerOptions options;
    options.saPassword = "bench";
    auto server = vx::sqlsim::SimServer::Create("BENCH", options, folder.string());
    server.CreateDatabase("Wide");
    std::string script;
    for (int i = 0; i < 49; ++i)
      script += "CREATE PROCEDURE dbo.Procedure_" + std::to_string(100 + i) + " AS SELECT 1\nGO\n";
    server.RunScript(script, "Wide");

    const std::string q = Query();
    std::printf("sqlsim: %s\n", sqlsim.c_str());
    {
      tds_test::ServedServer served(sqlsim, "BENCH", folder.string());
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      const double idleRss = Memory(served.Pid(), "VmRSS");
      Client reader(served.Port());
      const auto t0 = Clock::now();
      if (!reader.Send(q)) throw std::runtime_error("the query failed");
      const long rows = reader.ReadAll();
      const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
      std::printf("one reader:  %ld rows x 72 columns in %.1f s; server RSS idle %.0f MB, peak %.0f MB\n", rows,
                  seconds, idleRss, Memory(served.Pid(), "VmHWM"));
    }
    if (idle > 0) {
      tds_test::ServedServer served(sqlsim, "BENCH", folder.string());
      std::vector<std::unique_ptr<Client>> clients;
      for (int i = 0; i < idle; ++i) clients.push_back(std::make_unique<Client>(served.Port()));
      std::vector<std::thread> threads;
      for (auto& c : clients) threads.emplace_back([&c, &q] { c->Send(q); });
      for (auto& t : threads) t.join();
      std::this_thread::sleep_for(std::chrono::seconds(2));
      std::printf("%d clients that never read: server RSS now %.0f MB, peak %.0f MB\n", idle,
                  Memory(served.Pid(), "VmRSS"), Memory(served.Pid(), "VmHWM"));
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench failed: %s\n", e.what());
    std::filesystem::remove_all(folder);
    return 1;
  }
  std::filesystem::remove_all(folder);
  return 0;
}
