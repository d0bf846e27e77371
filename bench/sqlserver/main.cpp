// Speed and memory of the server layer on the simulator (run by hand):
//   bench_sqlserver [procedures=20000]
// Builds a server in a temporary folder with one database of that many
// procedures, then times the engine's catalogue list queries, the database
// list and an alter script on a 100 KB procedure, and reports the peak memory.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "automation/ComError.h"
#include "sqlserver/CatalogConnection.h"
#include "sqlserver/Databases.h"
#include "sqlserver/SQLServer.h"
#include "sqlserver_sim/SimServer.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since) {
  return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

long PeakKb() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

const char* kLists[][2] = {
    {"GetStoredProcedures",
     "SELECT DISTINCT A.name, A.id, A.crdate, A.schema_ver, B.name AS owner FROM sysobjects A INNER JOIN sysusers B ON "
     "A.uid = B.uid INNER JOIN syscomments C ON A.id = C.id WHERE A.xtype = 'P' AND C.encrypted = 0 AND "
     "OBJECTPROPERTY(A.id,'IsMSShipped') = 0 AND OBJECTPROPERTY(A.id, 'IsExtendedProc') = 0 ORDER BY A.name"},
    {"GetEncryptedStoredProcedures",
     "SELECT DISTINCT A.name, A.id, A.crdate, A.schema_ver, B.name AS owner FROM sysobjects A INNER JOIN sysusers B ON "
     "A.uid = B.uid INNER JOIN syscomments C ON A.id = C.id WHERE A.xtype = 'P' AND C.encrypted = 1 AND "
     "OBJECTPROPERTY(A.id,'IsMSShipped') = 0 AND OBJECTPROPERTY(A.id, 'IsExtendedProc') = 0 ORDER BY A.name"},
    {"GetViews",
     "SELECT DISTINCT A.name, A.id, A.xtype, A.crdate, A.schema_ver, B.name AS owner FROM sysobjects A INNER JOIN "
     "sysusers B ON A.uid = B.uid INNER JOIN syscomments C ON A.id = C.id WHERE A.xtype = 'V' AND C.encrypted = 0 AND "
     "OBJECTPROPERTY(A.id,'IsMSShipped') = 0 ORDER BY A.name"},
    {"GetEncryptedViews",
     "SELECT DISTINCT A.name, A.id, A.xtype, A.crdate, A.schema_ver, B.name AS owner FROM sysobjects A INNER JOIN "
     "sysusers B ON A.uid = B.uid INNER JOIN syscomments C ON A.id = C.id WHERE A.xtype = 'V' AND C.encrypted = 1 AND "
     "OBJECTPROPERTY(A.id,'IsMSShipped') = 0 ORDER BY A.name"},
    {"GetTriggers",
     "SELECT DISTINCT A.name, A.id, A.xtype, A.crdate, A.schema_ver, B.name AS owner, D.id AS tableid, D.name AS "
     "tablename FROM sysobjects A INNER JOIN sysusers B ON A.uid = B.uid INNER JOIN syscomments C ON A.id = C.id LEFT "
     "OUTER JOIN sysobjects D ON A.parent_obj = D.id WHERE A.xtype = 'TR' AND C.encrypted = 0 AND "
     "OBJECTPROPERTY(A.id,'IsMSShipped') = 0 ORDER BY A.name"},
    {"GetEncryptedTriggers",
     "SELECT DISTINCT A.name, A.id, A.xtype, A.crdate, A.schema_ver, B.name AS owner, D.id AS tableid, D.name AS "
     "tablename FROM sysobjects A INNER JOIN sysusers B ON A.uid = B.uid INNER JOIN syscomments C ON A.id = C.id LEFT "
     "OUTER JOIN sysobjects D ON A.parent_obj = D.id WHERE A.xtype = 'TR' AND C.encrypted = 1 AND "
     "OBJECTPROPERTY(A.id,'IsMSShipped') = 0 ORDER BY A.name"},
    {"GetUserDefinedFunctions",
     "SELECT DISTINCT A.name, A.id, A.xtype, A.crdate, A.schema_ver, B.name AS owner FROM sysobjects A INNER JOIN "
     "sysusers B ON A.uid = B.uid INNER JOIN syscomments C ON A.id = C.id WHERE A.xtype IN('FN','IF','TF') AND "
     "C.encrypted = 0 AND OBJECTPROPERTY(A.id,'IsMSShipped') = 0 ORDER BY A.name"},
    {"GetEncryptedUserDefinedFunctions",
     "SELECT DISTINCT A.name, A.id, A.xtype, A.crdate, A.schema_ver, B.name AS owner FROM sysobjects A INNER JOIN "
     "sysusers B ON A.uid = B.uid INNER JOIN syscomments C ON A.id = C.id WHERE A.xtype IN('FN','IF','TF') AND "
     "C.encrypted = 1 AND OBJECTPROPERTY(A.id,'IsMSShipped') = 0 ORDER BY A.name"},
};

}  // namespace

int main(int argc, char** argv) {
  vx::sqlserver::SetDefaultSessionFactory(std::make_shared<vx::sqlsim::SimSessionFactory>());
  const int count = argc > 1 ? std::atoi(argv[1]) : 20000;
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("vx-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  setenv("VEXILON_SIM_DIR", dir.c_str(), 1);
  int rc = 0;
  try {
    vx::sqlsim::ServerOptions options;
    options.saPassword = "pw";
    auto server = vx::sqlsim::SimServer::Create("BENCH", options);
    server.CreateDatabase("Big");
    auto t0 = Clock::now();
    {
      auto session = server.OpenSession({false, "sa", "pw"}, "Big");
      session->Execute("BEGIN TRANSACTION load");
      session->Execute("CREATE TABLE T (id int)");
      for (int i = 0; i < count; ++i) {
        std::string n = std::to_string(i);
        const char* kind = i % 10 == 9 ? " WITH ENCRYPTION" : "";
        auto r = session->Execute("-- procedure " + n + "\r\nCREATE PROCEDURE dbo.proc_" + n + " @a int = " + n +
                                  kind + "\r\nAS\r\nSELECT @a AS value, 'some text of procedure " + n + "'");
        if (r.FirstError()) throw std::runtime_error(r.FirstError()->text);
      }
      for (int i = 0; i < 200; ++i) {
        std::string n = std::to_string(i);
        session->Execute("CREATE VIEW v_" + n + " AS SELECT id FROM T");
        session->Execute("CREATE TRIGGER tr_" + n + " ON T FOR INSERT AS select 1");
        session->Execute("CREATE FUNCTION f_" + n + " () RETURNS int AS BEGIN RETURN 1 END");
      }
      session->Execute("COMMIT TRANSACTION load");
    }
    std::cout << "loaded " << count << " procedures (+600 other objects) in " << Ms(t0) << " ms\n";

    vx::sqlserver::CatalogConnection c;
    c.Open("Provider=SQLOLEDB;Data Source=BENCH;Initial Catalog=Big;User Id=sa ;Password=pw");
    for (const auto& q : kLists) {
      auto t = Clock::now();
      auto rs = c.Execute(q[1]);
      double ms = Ms(t);
      std::cout << q[0] << ": " << rs.RecordCount() << " rows in " << ms << " ms" << (ms < 500 ? "" : "  (over 0.5 s)")
                << "\n";
    }

    vx::sqlserver::SQLServer sql;
    sql.Connect("BENCH", std::string("sa"), std::string("pw"));
    auto t = Clock::now();
    sql.GetDatabases().Refresh();
    double dbMs = Ms(t);
    std::cout << "database list: " << sql.GetDatabases().Count() << " databases in " << dbMs << " ms"
              << (dbMs < 50 ? "" : "  (over 50 ms)") << "\n";

    std::string body = "CREATE PROCEDURE dbo.Huge AS\r\n";
    while (body.size() < 100 * 1024) body += "SELECT 'a line of a very long procedure body' AS x\r\n";
    sql.ExecuteImmediate("USE [Big]\r\nGO\r\n" + body + "GO\r\n");
    std::string alter = body;
    alter.replace(0, 6, "ALTER");
    alter.replace(alter.find(" AS\r\n"), 5, "\r\nWITH ENCRYPTION AS\r\n");
    std::string script = "USE [Big]\r\nGO\r\nSET QUOTED_IDENTIFIER ON \r\nGO\r\nSET ANSI_NULLS ON \r\nGO\r\n" + alter +
                         "\r\nGO\r\n";
    t = Clock::now();
    sql.ExecuteImmediate(script);
    double alterMs = Ms(t);
    std::cout << "alter script (4 batches, " << alter.size() / 1024 << " KB procedure): " << alterMs << " ms"
              << (alterMs < 20 ? "" : "  (over 20 ms)") << "\n";
    std::cout << "peak memory: " << PeakKb() / 1024 << " MB" << (PeakKb() < 100 * 1024 ? "" : "  (over 100 MB)")
              << "\n";
  } catch (const vx::ComError& e) {
    std::cerr << "error " << e.Number() << ": " << e.Description() << "\n";
    rc = 1;
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    rc = 1;
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  return rc;
}
