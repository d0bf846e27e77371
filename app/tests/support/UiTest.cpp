#include "support/UiTest.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include <QApplication>
#include <QDialog>
#include <QWidget>

#include "basErrorReports.h"
#include "basMain.h"
#include "sqlserver_sim/SimServer.h"
#include "tarnwell/CRegistry.h"

namespace ui_test {

namespace fs = std::filesystem;

namespace {
std::string MakeTemp(const std::string& tag) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vxui-" + tag + "-XXXXXX";
  char* made = ::mkdtemp(pattern.data());
  return std::string(made ? made : pattern.c_str()) + "/";
}
std::string g_suiteRoot;
}  // namespace

void UiTest::SetUpTestSuite() {
  if (!qApp) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "vexilon-ui-test";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
  }
  if (g_suiteRoot.empty()) {
    // One settings folder per test program: the settings object is made once per process.
    g_suiteRoot = MakeTemp("suite");
    ::setenv("XDG_CONFIG_HOME", (g_suiteRoot + "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (g_suiteRoot + "data").c_str(), 1);
    CRegistry registry;
    registry.OpenKey(RegistrySection::CurrentUser, "SOFTWARE\\Morvane\\Vexilon", vx::kTrue);
    registry.CloseKey();
  }
}

void UiTest::SetUp() {
  root_ = MakeTemp("test");
  programFolder_ = root_ + "program/";
  simFolder_ = root_ + "servers/";
  configFolder_ = g_suiteRoot + "config/";
  fs::create_directories(programFolder_);
  fs::create_directories(simFolder_);
  ::setenv("VEXILON_SIM_DIR", simFolder_.c_str(), 1);
  ::setenv("VEXILON_PROGRAM_DIR", programFolder_.c_str(), 1);
  // The network server list sees only this test's servers: no browser
  // broadcast, no system FreeTDS or ODBC configuration.
  ::setenv("VEXILON_NO_BROWSE", "1", 1);
  ::setenv("FREETDSCONF", (root_ + "freetds.conf").c_str(), 1);
  ::setenv("ODBCINI", (root_ + "odbc.ini").c_str(), 1);
  ::setenv("ODBCSYSINI", root_.c_str(), 1);
  fs::copy_file(std::string(VX_ARCHIVE_TEMPLATE_DIR) + "/Vexilon.dat", programFolder_ + "Vexilon.dat");
  fs::copy_file(std::string(VX_ARCHIVE_TEMPLATE_DIR) + "/Vexilon.sec", programFolder_ + "Vexilon.sec");
  vx::app::SetProgramFolder(programFolder_);

  script_.msgBox = [this](const QString& prompt, int style) {
    messages.push_back({prompt, style});
    if (!answers.empty()) {
      int a = answers.front();
      answers.erase(answers.begin());
      return a;
    }
    const bool second = (style & vx::app::vbDefaultButton2) != 0;
    switch (style & 0x7) {
      case vx::app::vbOKCancel: return second ? int(vx::app::vbCancel) : int(vx::app::vbOK);
      case vx::app::vbYesNo: return second ? int(vx::app::vbNo) : int(vx::app::vbYes);
      default: return int(vx::app::vbOK);
    }
  };
  script_.saveAs = [this](const vx::app::SaveAsRequest&) {
    if (saveAsAnswers.empty()) return QString();
    QString a = saveAsAnswers.front();
    saveAsAnswers.erase(saveAsAnswers.begin());
    return a;
  };
  script_.showModal = [this](QDialog& dialog) {
    if (modalHandlers.empty()) return 0;
    auto handler = std::move(modalHandlers.front());
    modalHandlers.erase(modalHandlers.begin());
    return handler(dialog);
  };
  script_.placed = [this](QWidget& window, QWidget* opener) {
    placements.push_back({QString::fromLatin1(window.metaObject()->className()), window.geometry(), opener});
  };
  vx::app::SetDialogScript(&script_);
  vx::app::SetErrorReportSink([this](const QString& report) { errorReports.push_back(report); });
  // A test that reaches the end of the program goes on: the exit is recorded.
  vx::app::SetEndProcess([this](int exitCode) { processEnds.push_back(exitCode); });
}

void UiTest::TearDown() {
  vx::app::SetDialogScript(nullptr);
  vx::app::SetErrorReportSink(nullptr);
  vx::app::SetEndProcess(nullptr);
  std::error_code ec;
  fs::remove_all(root_, ec);
}

void UiTest::CreateSimServer(const std::string& name, const std::string& saPassword) {
  vx::sqlsim::ServerOptions options;
  options.saPassword = saPassword;
  vx::sqlsim::SimServer::Create(name, options, simFolder_);
}

void UiTest::RunOnSimServer(const std::string& name, const std::string& database, const std::string& tsql) {
  vx::sqlsim::SimServer::Open(name, simFolder_).RunScript(tsql, database);
}

}  // namespace ui_test
