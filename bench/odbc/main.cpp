// Encrypts N procedures with archiving twice: on a simulated server in process,
// and on a copy of it served by `sqlsim serve` and reached over ODBC (FreeTDS)
// on loopback. Reports objects per second and round trips per object.
//   vx_bench_odbc [procedures=2000]
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "archive/ArchiveFiles.h"
#include "automation/ComError.h"
#include "sqlserver/Session.h"
#include "sqlserver_odbc/OdbcSessionFactory.h"
#include "sqlserver_sim/SimServer.h"
#include "support/ServedServer.h"
#include "vexilon_lib/CVexilon.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// Counts the batches (round trips) of its sessions and their logins.
class CountingSession : public vx::sqlserver::Session {
 public:
  CountingSession(std::unique_ptr<vx::sqlserver::Session> inner, long& batches)
      : inner_(std::move(inner)), batches_(batches) {}
  vx::sqlserver::BatchResult Execute(std::string_view batch) override {
    ++batches_;
    return inner_->Execute(batch);
  }
  bool IsAlive() const override { return inner_->IsAlive(); }
  const std::string& ServerName() const override { return inner_->ServerName(); }
  void Close() override { inner_->Close(); }
  std::string ServerVersion() const override { return inner_->ServerVersion(); }

 private:
  std::unique_ptr<vx::sqlserver::Session> inner_;
  long& batches_;
};

class CountingFactory : public vx::sqlserver::SessionFactory {
 public:
  explicit CountingFactory(std::shared_ptr<vx::sqlserver::SessionFactory> inner) : inner_(std::move(inner)) {}
  bool HasServer(const std::string& n) const override { return inner_->HasServer(n); }
  std::unique_ptr<vx::sqlserver::Session> Open(const std::string& n, const vx::sqlserver::Credentials& c,
                                               const std::string& db) override {
    ++logins;
    return std::make_unique<CountingSession>(inner_->Open(n, c, db), batches);
  }
  std::vector<std::string> ServerNames() const override { return inner_->ServerNames(); }
  long batches = 0;
  long logins = 0;

 private:
  std::shared_ptr<vx::sqlserver::SessionFactory> inner_;
};

// About 3 KB, as real procedures are.
std::string ProcedureText(int i) {
  std::string body = "CREATE PROCEDURE usp_bench_" + std::to_string(i) +
                     " @id int, @name varchar(50) = NULL\nAS\n/* a procedure of some length */\nSET NOCOUNT ON\n";
  for (int line = 0; line < 34; ++line)
    body += "SELECT id, name FROM Orders WHERE id = @id AND name = 'line " + std::to_string(line) + "' -- note\n";
  return body;
}

int32_t MakeServer(const std::string& name, const std::string& folder, int count) {
  vx::sqlsim::ServerOptions options;
  options.saPassword = "sa";
  auto sim = vx::sqlsim::SimServer::Create(name, options, folder);
  const int32_t db = sim.CreateDatabase("Shop");
  std::string script = "CREATE TABLE Orders (id int, name varchar(50))\nGO\n";
  for (int i = 0; i < count; ++i) {
    script += ProcedureText(i) + "GO\n";
    if (i % 500 == 499) {
      sim.RunScript(script, "Shop");
      script.clear();
    }
  }
  if (!script.empty()) sim.RunScript(script, "Shop");
  return db;
}

struct Figures {
  double seconds = 0;
  long batches = 0;
  long logins = 0;
};

Figures Encrypt(const std::string& folder, const std::string& serverName, int32_t db, CountingFactory& counting,
                int count) {
  std::filesystem::create_directories(folder);
  vx::archive::CreateArchive(folder + vx::archive::kArchiveFileName);
  vx::archive::CreateWorkgroup(folder + vx::archive::kWorkgroupFileName);
  CVexilon engine;
  engine.SetAppConnectionString(vx::archive::UserConnectionString(folder));
  engine.SetSessionFactory(std::shared_ptr<vx::sqlserver::SessionFactory>(&counting, [](auto*) {}));
  UDT_LOGIN_CREDENTIALS login{serverName, ENU_LAT_SQLSERVER, "sa", "sa"};
  if (engine.ConnectServer(login) != ENU_SCR_SUCCESSFUL) throw vx::ComError(0, "bench", "cannot connect");
  const UDT_OBJECT_CONTAINER procedures = engine.GetStoredProcedures(db, vx::kTrue);
  if (procedures.lngElements != count) throw vx::ComError(0, "bench", "procedures missing");
  const long batches0 = counting.batches, logins0 = counting.logins;
  const auto t0 = Clock::now();
  for (const auto& p : procedures.arrObjects)
    if (engine.EncryptArchiveStoredProcedure(db, p.lngID) != vx::kTrue) throw vx::ComError(0, "bench", "not encrypted");
  Figures f{Since(t0), counting.batches - batches0, counting.logins - logins0};
  engine.DisconnectSQLServer();
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vx-bench-odbc-XXXXXX";
  const std::string folder = std::string(::mkdtemp(pattern.data())) + "/";
  const std::string servers = folder + "servers";
  std::filesystem::create_directories(servers);
  ::setenv("VEXILON_SIM_DIR", servers.c_str(), 1);
  tds_test::IsolateOdbcConfig(folder);
  int rc = 0;
  try {
    const int32_t dbLocal = MakeServer("BENCHLOCAL", servers, count);
    const int32_t dbServed = MakeServer("BENCHSERVED", servers, count);

    CountingFactory local(std::make_shared<vx::sqlsim::SimSessionFactory>(servers));
    const Figures a = Encrypt(folder + "a/", "BENCHLOCAL", dbLocal, local, count);

    tds_test::ServedServer served(VX_SQLSIM, "BENCHSERVED", servers);
    CountingFactory odbc(std::make_shared<vx::sqlserver::OdbcSessionFactory>());
    const Figures b = Encrypt(folder + "b/", served.Address(), dbServed, odbc, count);

    auto line = [&](const char* what, const Figures& f) {
      std::printf("%-34s %d procedures in %6.2f s  %7.1f objects/s  %5.2f round trips/object  %ld logins\n", what,
                  count, f.seconds, count / f.seconds, static_cast<double>(f.batches) / count, f.logins);
    };
    std::printf("encrypt with archiving (target: 2,000 over ODBC in under 20 s)\n");
    line("in process (simulator):", a);
    line("over ODBC to sqlsim serve:", b);
  } catch (const vx::ComError& e) {
    std::printf("failed: %d %s\n", e.Number(), e.Description().c_str());
    rc = 1;
  }
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  return rc;
}
