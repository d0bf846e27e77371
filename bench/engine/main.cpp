// Measures the engine against a simulated server and a fresh archive in a
// temp folder:
//  - each of the eight object lists on a database of 20,000 procedures (the
//    encrypted procedures on one of 20,000 encrypted procedures);
//  - AddLogItem (durable when it returns), averaged;
//  - GetLog of 100,000 log items.
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "archive/ArchiveFiles.h"
#include "archive/Connection.h"
#include "automation/ComError.h"
#include "sqlserver_sim/SimFolder.h"
#include "sqlserver_sim/SimServer.h"
#include "vexilon_lib/CVexilon.h"

namespace {

double Seconds(const std::function<void()>& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int procedures = argc > 1 ? std::atoi(argv[1]) : 20000;
  const int logItems = argc > 2 ? std::atoi(argv[2]) : 100000;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vx-bench-XXXXXX";
  const std::string folder = std::string(::mkdtemp(pattern.data())) + "/";
  const std::string servers = folder + "servers";
  std::filesystem::create_directories(servers);
  ::setenv("VEXILON_SIM_DIR", servers.c_str(), 1);
  int rc = 0;
  try {
    vx::archive::CreateArchive(folder + vx::archive::kArchiveFileName);
    vx::archive::CreateWorkgroup(folder + vx::archive::kWorkgroupFileName);
    const std::string app = vx::archive::UserConnectionString(folder);

    vx::sqlsim::ServerOptions options;
    options.saPassword = "sa";
    auto server = vx::sqlsim::SimServer::Create("BENCH", options, servers);
    const int32_t db = server.CreateDatabase("Big");
    const int32_t encryptedDb = server.CreateDatabase("BigEncrypted");
    const double build = Seconds([&] {
      for (const char* name : {"Big", "BigEncrypted"}) {
        const std::string with = std::string(name) == "Big" ? " AS SELECT " : " WITH ENCRYPTION AS SELECT ";
        std::string script;
        for (int i = 0; i < procedures; ++i) {
          script += "CREATE PROCEDURE usp_" + std::to_string(i) + with + std::to_string(i) + "\nGO\n";
          if (i % 1000 == 999 || i == procedures - 1) {
            server.RunScript(script, name);
            script.clear();
          }
        }
      }
    });
    std::printf("set-up: 2 x %d procedures created in %.2f s\n", procedures, build);

    CVexilon engine;
    engine.SetAppConnectionString(app);
    UDT_LOGIN_CREDENTIALS login{"BENCH", ENU_LAT_SQLSERVER, "sa", "sa"};
    if (engine.ConnectServer(login) != ENU_SCR_SUCCESSFUL) {
      std::printf("cannot connect\n");
      return 1;
    }
    struct List {
      const char* name;
      UDT_OBJECT_CONTAINER (CVexilon::*member)(int32_t, vx::VbBool);
    } lists[] = {{"GetStoredProcedures", &CVexilon::GetStoredProcedures},
                 {"GetEncryptedStoredProcedures", &CVexilon::GetEncryptedStoredProcedures},
                 {"GetViews", &CVexilon::GetViews},
                 {"GetEncryptedViews", &CVexilon::GetEncryptedViews},
                 {"GetTriggers", &CVexilon::GetTriggers},
                 {"GetEncryptedTriggers", &CVexilon::GetEncryptedTriggers},
                 {"GetUserDefinedFunctions", &CVexilon::GetUserDefinedFunctions},
                 {"GetEncryptedUserDefinedFunctions", &CVexilon::GetEncryptedUserDefinedFunctions}};
    for (const auto& l : lists) {
      int32_t n = 0;
      const int32_t target = std::string(l.name) == "GetEncryptedStoredProcedures" ? encryptedDb : db;
      const double s = Seconds([&] { n = (engine.*l.member)(target, vx::kTrue).lngElements; });
      std::printf("%-34s %6d objects  %.3f s  (limit 0.5 s)\n", l.name, n, s);
    }

    const int adds = 200;
    const double addTime = Seconds([&] {
      for (int i = 0; i < adds; ++i)
        engine.AddLogItem(vx::OleNow(), "BENCH", "Big", "dbo", ENU_OBT_STORED_PROCEDURE, "usp_" + std::to_string(i),
                          "Encrypted succesfully", "ALTER PROCEDURE usp AS SELECT 1");
    });
    std::printf("AddLogItem: %.2f ms each over %d calls (limit 5 ms)\n", addTime * 1000 / adds, adds);

    {
      vx::archive::Connection c(app);
      c.BeginTrans();
      using vx::archive::Parameter;
      for (int i = adds; i < logItems; ++i)
        c.Execute("qryAddLogItem",
                  {Parameter::Date("@DateTime", vx::OleNow()), Parameter::TextLength("@SQLServerName", "BENCH"),
                   Parameter::TextLength("@DatabaseName", "Big"),
                   Parameter::NullOf("@TableName", vx::archive::ParamType::VarWChar, 128),
                   Parameter::TextLength("@OwnerName", "dbo"), Parameter::Long("@ObjectType", 1),
                   Parameter::TextLength("@ObjectName", "usp_" + std::to_string(i)),
                   Parameter::TextLength("@Message", "Encrypted succesfully", vx::archive::ParamType::LongVarWChar),
                   Parameter::TextLength("@Script", "ALTER PROCEDURE usp AS SELECT 1",
                                         vx::archive::ParamType::LongVarWChar)});
      c.CommitTrans();
    }
    int32_t count = 0;
    const double getLog = Seconds([&] { count = engine.GetLog().RecordCount(); });
    std::printf("GetLog: %d items in %.3f s (limit 1 s)\n", count, getLog);
  } catch (const vx::ComError& e) {
    std::printf("error %d: %s\n", e.Number(), e.Description().c_str());
    rc = 1;
  }
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  return rc;
}
