// Placeholder until start-up and exit are built.
#include "basMain.h"

#include <QApplication>

#include "archive/ArchiveFiles.h"
#include "vexilon_lib/CVexilon.h"

namespace vx::app {
namespace {
std::string g_folder, g_user, g_admin, g_temp;
}
int Main(int argc, char** argv) {
  QApplication app(argc, argv);
  return 0;
}
void ExitApp() {}
const std::string& ProgramFolder() { return g_folder; }
const std::string& strDbConnectionString() { return g_user; }
const std::string& strDbAdminConnectionString() { return g_admin; }
const std::string& strDbTempAdminConnectionString() { return g_temp; }
void SetProgramFolder(const std::string& folderWithSlash) {
  g_folder = folderWithSlash;
  g_user = vx::archive::UserConnectionString(folderWithSlash);
}
std::unique_ptr<CVexilon> NewEngine() {
  auto engine = std::make_unique<CVexilon>();
  engine->SetAppConnectionString(strDbConnectionString());
  return engine;
}
}  // namespace vx::app
