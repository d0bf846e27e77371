// Encrypts N stored procedures with archiving through the explorer's folder
// command "Encrypt All" (offscreen, every prompt answered Yes), then N others
// of the same text with the engine alone, and prints both times.
//   vx_bench_explorer_encrypt [procedures=2000]
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include <QApplication>
#include <QTreeWidget>

#include "archive/ArchiveFiles.h"
#include "automation/ComError.h"
#include "basMain.h"
#include "basMessages.h"
#include "explorer/frmSQLServerExplorer.h"
#include "sqlserver_sim/SimServer.h"
#include "tarnwell/CRegistry.h"
#include "vexilon_global/CGlobal.h"
#include "vexilon_lib/CVexilon.h"

namespace {

using Clock = std::chrono::steady_clock;
double Since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

std::string ProcedureText(int i) {
  std::string body = "CREATE PROCEDURE usp_bench_" + std::to_string(i) +
                     " @id int, @name varchar(50) = NULL\nAS\n/* a procedure of some length */\nSET NOCOUNT ON\n";
  for (int line = 0; line < 20; ++line)
    body += "SELECT id, name FROM Orders WHERE id = @id AND name = 'line " + std::to_string(line) + "' -- note\n";
  return body;
}

int32_t MakeDatabase(vx::sqlsim::SimServer& sim, const std::string& name, int count) {
  const int32_t db = sim.CreateDatabase(name);
  std::string script = "CREATE TABLE Orders (id int, name varchar(50))\nGO\n";
  for (int i = 0; i < count; ++i) {
    script += ProcedureText(i) + "GO\n";
    if (i % 500 == 499) sim.RunScript(script, name), script.clear();
  }
  if (!script.empty()) sim.RunScript(script, name);
  return db;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vx-bench-explorer-XXXXXX";
  const std::string folder = std::string(::mkdtemp(pattern.data())) + "/";
  std::filesystem::create_directories(folder + "servers");
  ::setenv("VEXILON_SIM_DIR", (folder + "servers").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (folder + "config").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (folder + "data").c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  int rc = 0;
  try {
    CRegistry registry;
    registry.OpenKey(RegistrySection::CurrentUser, "SOFTWARE\\Morvane\\Vexilon", vx::kTrue);
    registry.CloseKey();
    CGlobal::Instance().ArchiveEncryptedDatabaseObjects(vx::kTrue);
    vx::archive::CreateArchive(folder + vx::archive::kArchiveFileName);
    vx::archive::CreateWorkgroup(folder + vx::archive::kWorkgroupFileName);
    vx::app::SetProgramFolder(folder);

    vx::sqlsim::ServerOptions options;
    options.saPassword = "sa";
    auto sim = vx::sqlsim::SimServer::Create("BENCH", options, folder + "servers");
    const int32_t shop = MakeDatabase(sim, "Shop", count);
    const int32_t shop2 = MakeDatabase(sim, "Shop2", count);
    vx::app::NewEngine()->RegisterSQLServer("BENCH", ENU_LAT_SQLSERVER, "sa", "sa");

    vx::app::DialogScript yes;
    yes.msgBox = [](const QString&, int style) { return (style & 7) == vx::app::vbYesNo ? vx::app::vbYes : vx::app::vbOK; };
    vx::app::SetDialogScript(&yes);

    // Through the explorer: the folder is clicked (lists filled), then its command runs.
    frmSQLServerExplorer explorer;
    explorer.FillfrmSQLServerExplorer();
    explorer.show();
    explorer.tvwSQLServerExplorer_LButtonDown(explorer.NodeByKey("SBENCH"));
    explorer.tvwSQLServerExplorer_BeforeExpand(explorer.NodeByKey("ABENCH"), false);
    QTreeWidgetItem* folderNode = explorer.NodeByKey(QString("P%1:SBENCH").arg(shop));
    explorer.tvwSQLServerExplorer_LButtonDown(folderNode->parent());
    explorer.tvwSQLServerExplorer_LButtonDown(folderNode);
    if (explorer.lvwObjects()->topLevelItemCount() != count) throw vx::ComError(0, "bench", "folder not listed");
    auto t0 = Clock::now();
    explorer.acbSQLServerExplorer_ToolClick("miStEncryptAll");
    const double viaExplorer = Since(t0);
    if (explorer.lvwEncryptedObjects()->topLevelItemCount() != count)
      throw vx::ComError(0, "bench", "not all encrypted through the explorer");

    // The engine alone on the other database.
    CVexilon engine;
    engine.SetAppConnectionString(vx::app::strDbConnectionString());
    UDT_LOGIN_CREDENTIALS login{"BENCH", ENU_LAT_SQLSERVER, "sa", "sa"};
    if (engine.ConnectServer(login) != ENU_SCR_SUCCESSFUL) throw vx::ComError(0, "bench", "cannot connect");
    const UDT_OBJECT_CONTAINER procedures = engine.GetStoredProcedures(shop2, vx::kTrue);
    t0 = Clock::now();
    for (const auto& p : procedures.arrObjects)
      if (engine.EncryptArchiveStoredProcedure(shop2, p.lngID) != vx::kTrue) throw vx::ComError(0, "bench", "not encrypted");
    const double engineAlone = Since(t0);

    std::printf("explorer \"Encrypt All\" with archiving: %d procedures in %.2f s (limit 20 s)\n", count, viaExplorer);
    std::printf("engine alone, same work:                %d procedures in %.2f s\n", count, engineAlone);
    std::printf("explorer over engine: %+.1f%% (limit +10%%)\n", 100.0 * (viaExplorer / engineAlone - 1.0));
    vx::app::SetDialogScript(nullptr);
  } catch (const vx::ComError& e) {
    std::printf("failed: %d %s\n", e.Number(), e.Description().c_str());
    rc = 1;
  }
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  return rc;
}
