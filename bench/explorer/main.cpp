// A folder of N stored procedures, half of them encrypted and archived, on a
// simulated server: times the first click on the folder (lists from the
// server), a click again after the lists were cleared (lists from the folder's
// cache), and a sort of each list by its date column.
//   QT_QPA_PLATFORM=offscreen vx_bench_explorer [procedures=20000 [text bytes]]
// With a text size the encrypted half is made WITH ENCRYPTION on the server and
// its archive rows are written directly, each of its texts that long: 3000
// gives an archive of about 300 MB at 20,000 procedures, 10 a small one, for
// the same folder click on both.
// With "--screenshot <folder> <sqlsim>" it builds the demo server instead,
// encrypts half of Ledger's procedures with archiving, and writes PNGs of the
// explorer with the tree open and the procedures folder selected.
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include <QApplication>
#include <QTreeWidget>

#include "archive/Connection.h"
#include "basMain.h"
#include "basMessages.h"
#include "explorer/frmSQLServerExplorer.h"
#include "frmApplication.h"
#include "sqlserver_sim/SimServer.h"
#include "tarnwell/CRegistry.h"
#include "vexilon_lib/CVexilon.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {
double Since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

std::string TempRoot() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vxbench-explorer-XXXXXX";
  return std::string(::mkdtemp(pattern.data())) + "/";
}
}  // namespace

int Screenshots(const std::string& out, const std::string& sims);

int main(int argc, char** argv) {
  const bool shots = argc > 3 && std::string(argv[1]) == "--screenshot";
  const int count = argc > 1 && !shots ? std::atoi(argv[1]) : 20000;
  const size_t textBytes = argc > 2 && !shots ? static_cast<size_t>(std::atol(argv[2])) : 0;
  const std::string root = TempRoot();
  const std::string program = root + "program/", sims = root + "servers/";
  fs::create_directories(program);
  fs::create_directories(sims);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::setenv("XDG_CONFIG_HOME", (root + "config").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (root + "data").c_str(), 1);
  ::setenv("VEXILON_SIM_DIR", sims.c_str(), 1);
  ::setenv("VEXILON_PROGRAM_DIR", program.c_str(), 1);
  fs::copy_file(std::string(VX_ARCHIVE_TEMPLATE_DIR) + "/Vexilon.dat", program + "Vexilon.dat");
  fs::copy_file(std::string(VX_ARCHIVE_TEMPLATE_DIR) + "/Vexilon.sec", program + "Vexilon.sec");
  {
    CRegistry registry;
    registry.OpenKey(RegistrySection::CurrentUser, "SOFTWARE\\Morvane\\Vexilon", vx::kTrue);
  }
  QApplication app(argc, argv);
  vx::app::SetProgramFolder(program);
  vx::app::DialogScript quiet;  // no message box blocks the run
  vx::app::SetDialogScript(&quiet);

  if (shots) {
    const std::string cmd = std::string("VEXILON_SIM_DIR=") + sims + " " + VX_DEMO_DIR "/create-demo-server.sh " + argv[3];
    if (std::system(cmd.c_str()) != 0) return 1;
    const int rc = Screenshots(argv[2], sims);
    vx::app::SetDialogScript(nullptr);
    std::error_code ec;
    fs::remove_all(root, ec);
    return rc;
  }
  auto t0 = Clock::now();
  vx::sqlsim::ServerOptions options;
  options.saPassword = "sa";
  auto sim = vx::sqlsim::SimServer::Create("BENCH", options, sims);
  const int32_t shop = sim.CreateDatabase("Shop");
  std::string script;
  for (int i = 1; i <= count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "usp_%05d", i);
    const bool encrypted = textBytes > 0 && i % 2 == 1;
    script += std::string("CREATE PROCEDURE dbo.") + name + (encrypted ? " WITH ENCRYPTION" : "") + " AS SELECT " +
              std::to_string(i) + "\nGO\n";
  }
  sim.RunScript(script, "Shop");
  auto engine = vx::app::NewEngine();
  engine->RegisterSQLServer("BENCH", ENU_LAT_SQLSERVER, "sa", "sa");
  UDT_LOGIN_CREDENTIALS c{"BENCH", ENU_LAT_SQLSERVER, "sa", "sa"};
  engine->ConnectServer(c);
  if (textBytes == 0) {
    const UDT_OBJECT_CONTAINER procs = engine->GetStoredProcedures(shop, vx::kTrue);
    for (int32_t i = 0; i < procs.lngElements; i += 2)
      engine->EncryptArchiveStoredProcedure(shop, procs.arrObjects[i].lngID);
  } else {
    using vx::archive::Parameter;
    using vx::archive::ParamType;
    std::string text = "CREATE PROCEDURE p AS\r\n";
    while (text.size() < textBytes) text += "  SELECT name, id, xtype FROM sysobjects WHERE xtype = 'P'\r\n";
    text.resize(textBytes);
    vx::archive::Connection archive(vx::app::strDbConnectionString());
    archive.BeginTrans();
    for (const auto& p : engine->GetEncryptedStoredProcedures(shop, vx::kTrue).arrObjects)
      archive.Execute("qryAddArchivedObject",
                      {Parameter::Long("@ID", p.lngID), Parameter::Text("@SQLServerName", "BENCH", 128),
                       Parameter::Long("@DatabaseID", shop), Parameter::TextLength("@OwnerName", "dbo"),
                       Parameter::Long("@ObjectType", 1), Parameter::NullOf("@TableID", ParamType::Integer, 0),
                       Parameter::TextLength("@ObjectName", p.strObjectName),
                       Parameter::TextLength("@Script", text, ParamType::LongVarWChar),
                       Parameter::TextLength("@AlterScript", text, ParamType::LongVarWChar),
                       Parameter::TextLength("@DropScriptHeader", text, ParamType::LongVarWChar),
                       Parameter::TextLength("@DropScript", text, ParamType::LongVarWChar),
                       Parameter::TextLength("@CreateScriptHeader", text, ParamType::LongVarWChar),
                       Parameter::TextLength("@CreateScript", text, ParamType::LongVarWChar),
                       Parameter::Date("@CreateDate", 45000.5), Parameter::Long("@SchemaVersion", 16),
                       Parameter::Bool("@QuotedIdentifierStatus", true), Parameter::Bool("@AnsiNullsStatus", true)});
    archive.CommitTrans();
  }
  engine->DisconnectSQLServer();
  ::sync();  // the set-up's writes reach the disk before anything is timed
  std::printf("set-up: %d procedures, %d encrypted and archived: %.1f s, archive %.0f MB\n", count, (count + 1) / 2,
              Since(t0), fs::file_size(program + "Vexilon.dat") / 1e6);

  frmApplication main;
  SetMainWindow(&main);
  frmSQLServerExplorer explorer;
  explorer.FillfrmSQLServerExplorer();
  explorer.resize(1200, 800);
  explorer.show();
  explorer.tvwSQLServerExplorer_BeforeExpand(explorer.NodeByKey("ABENCH"), false);
  QApplication::processEvents();
  const QString folder = QStringLiteral("P%1:SBENCH").arg(shop);

  t0 = Clock::now();
  explorer.tvwSQLServerExplorer_LButtonDown(explorer.NodeByKey(folder));
  QApplication::processEvents();
  std::printf("folder click, lists from the server: %.3f s (%d + %d items)\n", Since(t0),
              explorer.lvwObjects()->topLevelItemCount(), explorer.lvwEncryptedObjects()->topLevelItemCount());

  explorer.tvwSQLServerExplorer_LButtonDown(explorer.NodeByKey("SBENCH"));
  t0 = Clock::now();
  explorer.tvwSQLServerExplorer_LButtonDown(explorer.NodeByKey(folder));
  QApplication::processEvents();
  std::printf("folder click, lists from the cache: %.3f s\n", Since(t0));

  t0 = Clock::now();
  explorer.lvwEncryptedObjects_ColumnClick(4);  // Date Archived
  QApplication::processEvents();
  std::printf("sort by Date Archived (%d items): %.3f s\n", explorer.lvwEncryptedObjects()->topLevelItemCount(),
              Since(t0));
  t0 = Clock::now();
  explorer.lvwObjects_ColumnClick(2);  // Date Created
  QApplication::processEvents();
  std::printf("sort by Date Created (%d items): %.3f s\n", explorer.lvwObjects()->topLevelItemCount(), Since(t0));

  SetMainWindow(nullptr);
  vx::app::SetDialogScript(nullptr);
  std::error_code ec;
  fs::remove_all(root, ec);
  return 0;
}

int Screenshots(const std::string& out, const std::string&) {
  auto engine = vx::app::NewEngine();
  engine->RegisterSQLServer("VEXDEMO", ENU_LAT_SQLSERVER, "sa", "demo");
  UDT_LOGIN_CREDENTIALS c{"VEXDEMO", ENU_LAT_SQLSERVER, "sa", "demo"};
  engine->ConnectServer(c);
  int32_t ledger = 0;
  for (const auto& db : engine->GetDatabases(vx::kTrue).arrDatabases)
    if (db.strDatabaseName == "Ledger") ledger = db.lngDatabaseID;
  const UDT_OBJECT_CONTAINER procs = engine->GetStoredProcedures(ledger, vx::kTrue);
  for (int32_t i = 0; i < procs.lngElements; i += 2) engine->EncryptArchiveStoredProcedure(ledger, procs.arrObjects[i].lngID);
  engine->DisconnectSQLServer();

  frmApplication main;
  SetMainWindow(&main);
  frmSQLServerExplorer explorer;
  explorer.FillfrmSQLServerExplorer();
  explorer.resize(1280, 640);
  explorer.show();
  explorer.tvwSQLServerExplorer_BeforeExpand(explorer.NodeByKey("AVEXDEMO"), false);
  explorer.NodeByKey("AVEXDEMO")->setExpanded(true);
  const QString db = QStringLiteral("D%1:SVEXDEMO").arg(ledger);
  explorer.NodeByKey(db)->setExpanded(true);
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  explorer.tvwSQLServerExplorer_LButtonDown(explorer.NodeByKey(QStringLiteral("P%1:SVEXDEMO").arg(ledger)));
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  explorer.grab().save(QString::fromStdString(out + "/explorer-procedures.png"));
  explorer.lvwEncryptedObjects_ColumnClick(4);
  explorer.tvwSQLServerExplorer_LButtonDown(explorer.NodeByKey(QStringLiteral("T%1:SVEXDEMO").arg(ledger)));
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  explorer.grab().save(QString::fromStdString(out + "/explorer-triggers.png"));
  std::printf("status: %s\n", explorer.StatusText().toStdString().c_str());
  SetMainWindow(nullptr);
  return 0;
}
