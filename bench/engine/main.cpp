// Measures the engine against a simulated server and a fresh archive in a
// temp folder:
//  - each of the eight object lists on a database of 20,000 procedures (the
//    encrypted procedures on one of 20,000 encrypted procedures);
//  - AddLogItem (durable when it returns), averaged;
//  - GetLog of 100,000 log items;
//  - with a third argument N (try 20000), a large archive as years of use
//    leave one: N archived procedures of 3 KB (about 300 MB with 20,000) and
//    5,000 log items; then the folder's archived ids (GetArchivedObjectIDs,
//    as a folder click reads them) against the same call on an empty archive,
//    the log list; then, with the log folded in as a user's exit finds it,
//    the program's exit and start on it, each in a process of its own (time
//    and peak memory, medians of 3): the first exit of this version (the
//    archive's pages of 1 KB become 4 KB; limit 2 s), a later exit (pages of
//    4 KB; limit 2 s), a start with the archive out of the OS cache (the main
//    window within 3 s) and a warm one; each limit with at most 150 MB.
//    The archived procedures are the database's own: give as many procedures
//    (vx_bench_engine 20000 1000 20000).
// With VX_BENCH_KEEP set, the temp folder (its archives) is kept and named;
// `--exits <its exit folder> [runs]` measures exit and start again on it.
//   vx_bench_engine [procedures [log items [archived procedures]]]
//   vx_bench_engine --exits <kept folder>/exit [runs]
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

#include "ExitRuns.h"
#include "archive/ArchiveFiles.h"
#include "archive/Connection.h"
#include "automation/ComError.h"
#include "sqlserver_sim/SimFolder.h"
#include "sqlserver_sim/SimServer.h"
#include "vexilon_lib/CVexilon.h"

namespace {

using vx::archive::Parameter;
using vx::archive::ParamType;

std::string Text(const std::string& head, size_t size) {
  std::string text = head + "\r\n";
  while (text.size() < size) text += "  SELECT name, id, xtype FROM sysobjects WHERE xtype = 'P' -- a line\r\n";
  return text;
}

// Archives `archived` procedures with texts of `size` bytes, and 5,000 log items.
void AddArchive(const std::string& app, const UDT_OBJECT_CONTAINER& procedures, int archived, int32_t db,
                size_t size) {
  vx::archive::Connection c(app);
  c.BeginTrans();
  for (int i = 0; i < archived && i < procedures.lngElements; ++i) {
    const auto& p = procedures.arrObjects[static_cast<size_t>(i)];
    const std::string text = Text("CREATE PROCEDURE " + p.strObjectName + " AS", size);
    const std::string header = "/****** Object:  Stored Procedure dbo." + p.strObjectName + " ******/\r\n";
    const std::string drop = "if exists (select * from dbo.sysobjects where id = object_id(N'[dbo].[" +
                             p.strObjectName + "]'))\r\ndrop procedure [dbo].[" + p.strObjectName + "]\r\nGO\r\n";
    c.Execute("qryAddArchivedObject",
              {Parameter::Long("@ID", p.lngID), Parameter::Text("@SQLServerName", "BENCH", 128),
               Parameter::Long("@DatabaseID", db), Parameter::TextLength("@OwnerName", "dbo"),
               Parameter::Long("@ObjectType", 1), Parameter::NullOf("@TableID", ParamType::Integer, 0),
               Parameter::TextLength("@ObjectName", p.strObjectName),
               Parameter::TextLength("@Script", text, ParamType::LongVarWChar),
               Parameter::TextLength("@AlterScript", text, ParamType::LongVarWChar),
               Parameter::TextLength("@DropScriptHeader", header + drop, ParamType::LongVarWChar),
               Parameter::TextLength("@DropScript", drop, ParamType::LongVarWChar),
               Parameter::TextLength("@CreateScriptHeader", header + text, ParamType::LongVarWChar),
               Parameter::TextLength("@CreateScript", text, ParamType::LongVarWChar),
               Parameter::Date("@CreateDate", 45000.5), Parameter::Long("@SchemaVersion", 16),
               Parameter::Bool("@QuotedIdentifierStatus", true), Parameter::Bool("@AnsiNullsStatus", true)});
  }
  const std::string script = Text("ALTER PROCEDURE dbo.p WITH ENCRYPTION AS", size);
  for (int i = 0; i < 5000; ++i)
    c.Execute("qryAddLogItem",
              {Parameter::Date("@DateTime", vx::OleNow()), Parameter::TextLength("@SQLServerName", "BENCH"),
               Parameter::TextLength("@DatabaseName", "Big"), Parameter::NullOf("@TableName", ParamType::VarWChar, 128),
               Parameter::TextLength("@OwnerName", "dbo"), Parameter::Long("@ObjectType", 1),
               Parameter::TextLength("@ObjectName", "usp_" + std::to_string(i)),
               Parameter::TextLength("@Message", "Archived and Encrypted successfully", ParamType::LongVarWChar),
               Parameter::TextLength("@Script", script, ParamType::LongVarWChar)});
  c.CommitTrans();
}

double Seconds(const std::function<void()>& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string self = std::filesystem::read_symlink("/proc/self/exe");
  const std::string mode = argc > 2 ? argv[1] : "";
  if (mode == "--exit-once") return vx::bench::ChildExit(argv[2]);
  if (mode == "--start-once") return vx::bench::ChildStart(argv[2]);
  if (mode == "--exits") {
    try {
      vx::bench::RunExitsAndStarts(self, std::string(argv[2]) + "/", argc > 3 ? std::atoi(argv[3]) : 5);
      return 0;
    } catch (const std::exception& e) {
      std::printf("error: %s\n", e.what());
      return 1;
    }
  }
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

    const int archived = argc > 3 ? std::atoi(argv[3]) : 0;
    if (archived > 0) {
      // The rest runs on an archive of its own.
      engine.ClearLog();
      const UDT_OBJECT_CONTAINER procedures = engine.GetStoredProcedures(db, vx::kTrue);
      auto idsTime = [&] {
        double best = 1e9;
        for (int run = 0; run < 5; ++run)
          best = std::min(best, Seconds([&] { count = engine.GetArchivedObjectIDs(db, ENU_OBT_STORED_PROCEDURE).lngElements; }));
        return best;
      };
      // The same rows with texts of a few bytes, in an archive of their own.
      const std::string small = folder + "small/";
      std::filesystem::create_directories(small);
      vx::archive::CreateArchive(small + vx::archive::kArchiveFileName);
      vx::archive::CreateWorkgroup(small + vx::archive::kWorkgroupFileName);
      engine.SetAppConnectionString(vx::archive::UserConnectionString(small));
      AddArchive(vx::archive::UserConnectionString(small), procedures, archived, db, 10);
      const double smallIds = idsTime();
      std::printf("GetArchivedObjectIDs, small archive (%.0f MB): %d ids in %.3f s\n",
                  std::filesystem::file_size(small + vx::archive::kArchiveFileName) / 1e6, count, smallIds);
      engine.SetAppConnectionString(app);
      const double fill = Seconds([&] { AddArchive(app, procedures, archived, db, 3000); });
      std::printf("large archive: %d archived procedures and 5000 log items written in %.1f s, %.0f MB\n", archived,
                  fill, std::filesystem::file_size(folder + vx::archive::kArchiveFileName) / 1e6);
      const double largeIds = idsTime();
      std::printf("GetArchivedObjectIDs, large archive: %d ids in %.3f s (%.2fx the small archive's)\n", count,
                  largeIds, largeIds / smallIds);
      const double largeLog = Seconds([&] { count = engine.GetLog().RecordCount(); });
      std::printf("GetLog, large archive: %d items in %.3f s\n", count, largeLog);
      // Exit and start as the program runs them, each in a process of its own.
      const std::string fixture = folder + "exit/";
      vx::bench::SaveExitFixture(folder, fixture);
      vx::bench::RunExitsAndStarts(self, fixture, 3);
    }
  } catch (const vx::ComError& e) {
    std::printf("error %d: %s\n", e.Number(), e.Description().c_str());
    rc = 1;
  } catch (const std::exception& e) {
    std::printf("error: %s\n", e.what());
    rc = 1;
  }
  std::error_code ec;
  if (std::getenv("VX_BENCH_KEEP"))
    std::printf("kept: %s\n", folder.c_str());
  else
    std::filesystem::remove_all(folder, ec);
  return rc;
}
