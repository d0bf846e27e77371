// Encrypts N procedures of a simulated server with archiving in one engine,
// then restores them, and reports how the time splits between the server, the
// log and the rest (archive, catalogue reads, rewrite). Each procedure's text
// is about 3 KB, as real ones are. Each further argument is a database size:
// 200 of its procedures are encrypted with archiving and restored again, so
// that the restore's cost per object shows against the size of the database.
//   vx_bench_encrypt [procedures=2000 [database sizes...]]
// Every phase prints a line "phase: <name>" first and flushes it, so that a
// trace of the run tells the syncs apart by phase:
//   strace -f -e trace=fsync,fdatasync,write -o trace vx_bench_encrypt 200
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "archive/ArchiveFiles.h"
#include "automation/ComError.h"
#include "sqlserver/SQLServer.h"
#include "sqlserver/Session.h"
#include "sqlserver_sim/SimServer.h"
#include "vexilon_lib/CVexilon.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// Sessions that add up the time the server spends on their batches.
class TimedSession : public vx::sqlserver::Session {
 public:
  TimedSession(std::unique_ptr<vx::sqlserver::Session> inner, double& total) : inner_(std::move(inner)), total_(total) {}
  vx::sqlserver::BatchResult Execute(std::string_view batch) override {
    const auto t0 = Clock::now();
    auto r = inner_->Execute(batch);
    total_ += Since(t0);
    return r;
  }
  bool IsAlive() const override { return inner_->IsAlive(); }
  const std::string& ServerName() const override { return inner_->ServerName(); }
  void Close() override { inner_->Close(); }

 private:
  std::unique_ptr<vx::sqlserver::Session> inner_;
  double& total_;
};

class TimedFactory : public vx::sqlserver::SessionFactory {
 public:
  explicit TimedFactory(double& total) : total_(total) {}
  bool HasServer(const std::string& n) const override { return inner_.HasServer(n); }
  std::unique_ptr<vx::sqlserver::Session> Open(const std::string& n, const vx::sqlserver::Credentials& c,
                                               const std::string& db) override {
    return std::make_unique<TimedSession>(inner_.Open(n, c, db), total_);
  }
  std::vector<std::string> ServerNames() const override { return inner_.ServerNames(); }

 private:
  vx::sqlsim::SimSessionFactory inner_;
  double& total_;
};

// About 3 KB.
std::string ProcedureText(int i) {
  std::string body = "CREATE PROCEDURE usp_bench_" + std::to_string(i) +
                     " @id int, @name varchar(50) = NULL\nAS\n/* a procedure of some length */\nSET NOCOUNT ON\n";
  for (int line = 0; line < 34; ++line)
    body += "SELECT id, name FROM Orders WHERE id = @id AND name = 'line " + std::to_string(line) + "' -- note\n";
  return body;
}

void Phase(const char* name) {
  std::printf("phase: %s\n", name);
  std::fflush(stdout);
}

int32_t MakeDatabase(vx::sqlsim::SimServer& sim, int count) {
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

// Restores 200 procedures of a database of `size` procedures: ms per restore,
// and of it the server's ms.
std::pair<double, double> RestoreInDatabaseOf(const std::string& parent, int size) {
  const std::string folder = parent + "restore-" + std::to_string(size) + "/";
  std::filesystem::create_directories(folder + "servers");
  ::setenv("VEXILON_SIM_DIR", (folder + "servers").c_str(), 1);
  vx::archive::CreateArchive(folder + vx::archive::kArchiveFileName);
  vx::archive::CreateWorkgroup(folder + vx::archive::kWorkgroupFileName);
  vx::sqlsim::ServerOptions options;
  options.saPassword = "sa";
  auto sim = vx::sqlsim::SimServer::Create("BENCHR", options, folder + "servers");
  const int32_t db = MakeDatabase(sim, size);
  CVexilon engine;
  engine.SetAppConnectionString(vx::archive::UserConnectionString(folder));
  UDT_LOGIN_CREDENTIALS login{"BENCHR", ENU_LAT_SQLSERVER, "sa", "sa"};
  if (engine.ConnectServer(login) != ENU_SCR_SUCCESSFUL) throw vx::ComError(0, "bench", "cannot connect");
  double serverTime = 0;
  auto server = std::make_shared<vx::sqlserver::SQLServer>(std::make_shared<TimedFactory>(serverTime));
  server->Connect("BENCHR", std::string("sa"), std::string("sa"));
  engine.SetSQLServer(server);
  UDT_OBJECT_CONTAINER procedures = engine.GetStoredProcedures(db, vx::kTrue);
  const size_t sample = std::min<size_t>(200, procedures.arrObjects.size());
  procedures.arrObjects.resize(sample);
  for (const auto& p : procedures.arrObjects)
    if (engine.EncryptArchiveStoredProcedure(db, p.lngID) != vx::kTrue) throw vx::ComError(0, "bench", "not encrypted");
  // The set-up's writes reach the disk first: the restores' syncs would wait for them.
  ::sync();
  serverTime = 0;
  const auto t0 = Clock::now();
  for (const auto& p : procedures.arrObjects)
    engine.RestoreObject(db, p.lngID, p.strObjectName, p.strOwnerName, ENU_OBT_STORED_PROCEDURE, vx::kFalse);
  const double each = 1000 * Since(t0) / static_cast<double>(sample);
  const double server_each = 1000 * serverTime / static_cast<double>(sample);
  if (engine.GetErrorsExist() != vx::kFalse) throw vx::ComError(0, "bench", "a restore failed");
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  return {each, server_each};
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vx-bench-encrypt-XXXXXX";
  const std::string folder = std::string(::mkdtemp(pattern.data())) + "/";
  std::filesystem::create_directories(folder + "servers");
  ::setenv("VEXILON_SIM_DIR", (folder + "servers").c_str(), 1);
  int rc = 0;
  try {
    vx::archive::CreateArchive(folder + vx::archive::kArchiveFileName);
    vx::archive::CreateWorkgroup(folder + vx::archive::kWorkgroupFileName);
    vx::sqlsim::ServerOptions options;
    options.saPassword = "sa";
    auto sim = vx::sqlsim::SimServer::Create("BENCH", options, folder + "servers");
    const int32_t db = MakeDatabase(sim, count);

    CVexilon engine;
    engine.SetAppConnectionString(vx::archive::UserConnectionString(folder));
    UDT_LOGIN_CREDENTIALS login{"BENCH", ENU_LAT_SQLSERVER, "sa", "sa"};
    if (engine.ConnectServer(login) != ENU_SCR_SUCCESSFUL) throw vx::ComError(0, "bench", "cannot connect");
    double serverTime = 0;
    auto server = std::make_shared<vx::sqlserver::SQLServer>(std::make_shared<TimedFactory>(serverTime));
    server->Connect("BENCH", std::string("sa"), std::string("sa"));
    engine.SetSQLServer(server);

    const UDT_OBJECT_CONTAINER procedures = engine.GetStoredProcedures(db, vx::kTrue);
    Phase("encrypt");
    auto t0 = Clock::now();
    for (const auto& p : procedures.arrObjects)
      if (engine.EncryptArchiveStoredProcedure(db, p.lngID) != vx::kTrue) throw vx::ComError(0, "bench", "not encrypted");
    const double encryptTotal = Since(t0);
    const double encryptServer = serverTime;

    // The log's share: the same number of items of the same size, on their own.
    auto log = engine.GetLog(1);
    const std::string alterScript = log.Field("Script").ToText();
    Phase("log");
    t0 = Clock::now();
    for (int i = 0; i < count; ++i)
      engine.AddLogItem(0, "BENCH", "Shop", "dbo", ENU_OBT_STORED_PROCEDURE, "usp", "Archived and Encrypted successfully",
                        alterScript);
    const double logTime = Since(t0);

    serverTime = 0;
    const UDT_OBJECT_CONTAINER encrypted = engine.GetEncryptedStoredProcedures(db, vx::kTrue);
    Phase("restore");
    t0 = Clock::now();
    for (const auto& p : encrypted.arrObjects)
      engine.RestoreObject(db, p.lngID, p.strObjectName, p.strOwnerName, ENU_OBT_STORED_PROCEDURE, vx::kFalse);
    const double restoreTotal = Since(t0);
    if (engine.GetErrorsExist() != vx::kFalse) throw vx::ComError(0, "bench", "a restore failed");

    std::printf("encrypt with archiving: %d procedures in %.2f s (%.1f ms each; limit 20 s)\n", count, encryptTotal,
                1000 * encryptTotal / count);
    std::printf("  server (object model batches and reads): %.2f s\n", encryptServer);
    std::printf("  log items (measured alone):               %.2f s\n", logTime);
    std::printf("  archive, catalogue reads, rewrite:         %.2f s\n", encryptTotal - encryptServer - logTime);
    std::printf("restore: %d procedures in %.2f s (%.1f ms each; limit 20 s), server %.2f s\n", count, restoreTotal,
                1000 * restoreTotal / count, serverTime);
    Phase("end");
    for (int a = 2; a < argc; ++a) {
      const int size = std::atoi(argv[a]);
      const auto [each, server] = RestoreInDatabaseOf(folder, size);
      std::printf("restore in a database of %6d procedures: %.2f ms each, of it the server %.2f ms\n", size, each,
                  server);
    }
  } catch (const vx::ComError& e) {
    std::printf("failed: %d %s\n", e.Number(), e.Description().c_str());
    rc = 1;
  }
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  return rc;
}
