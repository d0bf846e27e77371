// Throughput of `sqlsim serve` under many clients at once (run by hand): each
// client, over ODBC (FreeTDS) on 127.0.0.1, sends the catalogue look-ups the
// program makes, one after the other, for a fixed time. Compare two builds of
// sqlsim side by side, alternately, in one sitting:
//   vx_bench_tds_load [sqlsim=<this build's>] [clients=200] [seconds=10]
// The server is made by the sqlsim under test itself (create, then run a script),
// so builds that keep their files differently compare fairly.
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/OdbcClient.h"
#include "support/ServedServer.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kProcedures = 200;

// What the program asks of a server while it lists and encrypts objects.
std::string Query(int client, long n) {
  const std::string name = "dbo.Procedure_" + std::to_string(100 + (client * 7 + n) % kProcedures);
  switch (n % 3) {
    case 0:
      return "SELECT A.name, A.id, A.crdate, B.name AS owner FROM sysobjects A INNER JOIN sysusers B ON "
             "A.uid = B.uid WHERE A.id = OBJECT_ID('" + name + "')";
    case 1: return "SELECT text FROM syscomments WHERE id = OBJECT_ID('" + name + "') ORDER BY colid";
    default: return "SELECT OBJECTPROPERTY(OBJECT_ID('" + name + "'), 'IsEncrypted')";
  }
}

// One client of FreeTDS's driver, logged in as sa to the bench's database.
struct Client {
  tds_test::OdbcClient odbc;
  SQLHSTMT st;
  explicit Client(int port) : odbc(port, "sa", "bench", "Load"), st(odbc.Stmt()) {
    if (!odbc.Connected()) throw std::runtime_error("cannot log in");
  }
  // Sends the query and reads every row of every result; false on an error.
  bool Ask(const std::string& q) {
    if (!SQL_SUCCEEDED(SQLExecDirect(st, (SQLCHAR*)q.c_str(), SQL_NTS))) return false;
    do {
      while (SQL_SUCCEEDED(SQLFetch(st))) {
      }
    } while (SQL_SUCCEEDED(SQLMoreResults(st)));
    SQLFreeStmt(st, SQL_CLOSE);
    return true;
  }
};

void Sqlsim(const std::string& sqlsim, const std::string& args) {
  if (std::system((sqlsim + " " + args + " >/dev/null").c_str()) != 0)
    throw std::runtime_error("sqlsim " + args + " failed");
}

}  // namespace

int main(int argc, char** argv) {
  const std::string sqlsim = argc > 1 ? argv[1] : VX_SQLSIM;
  const int clients = std::clamp(argc > 2 ? std::atoi(argv[2]) : 200, 1, 500);
  const int seconds = std::clamp(argc > 3 ? std::atoi(argv[3]) : 10, 1, 60);
  const auto folder = std::filesystem::temp_directory_path() / ("vx-bench-load-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  setenv("VEXILON_NO_BROWSE", "1", 1);
  int status = 0;
  try {
    const std::string where = " --folder " + folder.string();
    Sqlsim(sqlsim, "create BENCH -P bench" + where);
    std::string script = "CREATE DATABASE Load\nGO\nUSE Load\nGO\n";
    for (int i = 0; i < kProcedures; ++i)
      script += "CREATE PROCEDURE dbo.Procedure_" + std::to_string(100 + i) + " AS SELECT " + std::to_string(i) +
                " AS n\nGO\n";
    std::ofstream((folder / "load.sql").string()) << script;
    Sqlsim(sqlsim, "run BENCH -i " + (folder / "load.sql").string() + " -U sa -P bench" + where);

    tds_test::ServedServer served(sqlsim, "BENCH", folder.string());
    std::vector<std::unique_ptr<Client>> pool;
    for (int i = 0; i < clients; ++i) pool.push_back(std::make_unique<Client>(served.Port()));
    std::atomic<bool> go{false}, failed{false};
    std::mutex mutex;
    std::vector<double> latencies;  // ms, of every query
    std::vector<std::thread> threads;
    Clock::time_point end;
    for (int c = 0; c < clients; ++c)
      threads.emplace_back([&, c] {
        std::vector<double> mine;
        while (!go) std::this_thread::yield();
        for (long n = 0; Clock::now() < end; ++n) {
          const auto t0 = Clock::now();
          if (!pool[static_cast<size_t>(c)]->Ask(Query(c, n))) {
            failed = true;
            break;
          }
          mine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        }
        std::lock_guard lock(mutex);
        latencies.insert(latencies.end(), mine.begin(), mine.end());
      });
    const auto start = Clock::now();
    end = start + std::chrono::seconds(seconds);
    go = true;
    for (auto& t : threads) t.join();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) { return latencies.empty() ? 0.0 : latencies[static_cast<size_t>(q * (latencies.size() - 1))]; };
    std::printf("%s: %d clients, %.0f queries/s, latency median %.2f ms, 90%% %.2f ms, 99%% %.2f ms%s\n",
                sqlsim.c_str(), clients, static_cast<double>(latencies.size()) / elapsed, at(0.5), at(0.9), at(0.99),
                failed ? " (a query failed)" : "");
    status = failed ? 1 : 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench failed: %s\n", e.what());
    status = 1;
  }
  std::filesystem::remove_all(folder);
  return status;
}
