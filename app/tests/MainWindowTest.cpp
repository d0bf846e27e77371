// The main window: its menu, status band and progress, and each command.
#include <QAction>
#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QUrl>
#include <filesystem>
#include <fstream>

#include "automation/ComError.h"
#include "basMain.h"
#include "dialogs/frmServerRegistration.h"
#include "explorer/frmSQLServerExplorer.h"
#include "frmAbout.h"
#include "frmApplication.h"
#include "frmOptions.h"
#include "support/ShellTestSupport.h"
#include "sqlserver_sim/SimServer.h"
#include "vexilon_lib/CVexilon.h"

namespace {

class MainWindowTest : public shell_test::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    ASSERT_EQ(vx::app::StartUp(), vx::app::StartUpResult::Started);
    main = MainWindow();
  }
  void Click(const char* tool) { main->Tool(tool)->trigger(); }
  frmApplication* main = nullptr;
};

TEST_F(MainWindowTest, MenusCarryTheirNamesAndCaptions) {
  const std::vector<std::pair<const char*, const char*>> tools = {
      {"btnFile", "&File"}, {"btnObject", "&Object"}, {"btnTools", "&Tools"}, {"btnHelp", "&Help"},
      {"miFiSQLServerExplorer", "&SQL Server Explorer..."}, {"miFiRegisterSQLServer", "New SQL Server Registration..."},
      {"miFiViewLog", "&View Log..."}, {"miFiExit", "E&xit"}, {"miObView", "&View"}, {"miToOptions", "&Options..."},
      {"miHeContents", "&Contents..."}, {"miHeIndex", "&Index..."}, {"miHeSupportOnline", "&Support Online..."},
      {"miHeAbout", "&About Morvane Vexilon..."}};
  for (const auto& [name, caption] : tools) {
    ASSERT_NE(main->Tool(name), nullptr) << name;
    EXPECT_EQ(main->Tool(name)->text(), caption);
  }
  EXPECT_TRUE(main->Tool("miHeSeparator")->isSeparator());
  for (const char* band : {"pomFile", "pomObject", "pomTools", "pomHelp"}) EXPECT_NE(main->Band(band), nullptr);
  for (const char* key : {"E", "S", "D", "G", "U", "W", "X", "C", "H", "K", "B"})
    EXPECT_FALSE(main->imlSQLServerExplorer(key).pixmap(16, 16).isNull()) << key;
  EXPECT_FALSE(main->imlColumnHeaderIcons("A").pixmap(12, 12).isNull());
  EXPECT_TRUE(main->imlColumnHeaderIcons("Q").isNull());
}

TEST_F(MainWindowTest, ProgressAndABatchHoldTheMenusAndCloseRequestsBack) {
  main->BeginProgress(3, "Encrypting stored procedures...");
  EXPECT_TRUE(main->prgProgress()->isVisible());
  EXPECT_EQ(main->prgProgress()->maximum(), 3);
  EXPECT_EQ(main->StatusText(), "Encrypting stored procedures...");
  main->SetBatchRunning(true);
  main->StepProgress(2);
  EXPECT_EQ(main->prgProgress()->value(), 2);
  EXPECT_FALSE(main->menuBar()->isEnabled());
  main->close();
  EXPECT_TRUE(endCodes.empty());
  main->SetBatchRunning(false);
  EXPECT_TRUE(main->menuBar()->isEnabled());
  main->EndProgress("3 objects encrypted.");
  EXPECT_FALSE(main->prgProgress()->isVisible());
  EXPECT_EQ(main->StatusText(), "3 objects encrypted.");
}

TEST_F(MainWindowTest, TheModalCommandsFillAndShowTheirWindows) {
  std::vector<QString> shown;
  QString version;
  auto record = [&](QDialog& d) {
    shown.push_back(d.objectName());
    if (auto* about = dynamic_cast<frmAbout*>(&d)) version = about->lblVersionInfo()->text();
    return 0;
  };
  for (int i = 0; i < 3; ++i) modalHandlers.push_back(record);
  Click("miToOptions");
  Click("miHeAbout");
  Click("miFiViewLog");
  EXPECT_EQ(shown, (std::vector<QString>{"frmOptions", "frmAbout", "frmLog"}));
  EXPECT_EQ(version, "v1.0.1");
  EXPECT_TRUE(errorReports.empty());
}

TEST_F(MainWindowTest, HelpAndSupportUseTheDesktopsHandler) {
  // Two browsers stand in for the desktop's handlers; each keeps the last address.
  QTextBrowser web, files;
  QDesktopServices::setUrlHandler("https", &web, "setSource");
  QDesktopServices::setUrlHandler("file", &files, "setSource");
  Click("miHeContents");
  ASSERT_EQ(messages.size(), 1u);  // no help file
  EXPECT_EQ(messages[0].prompt, "The help file '" + QString::fromStdString(File("VexilonSQL2K.chm")) +
                                    "' could not be found.");
  std::ofstream(File("VexilonSQL2K.chm")) << "help";
  Click("miHeIndex");
  Click("miHeSupportOnline");
  QDesktopServices::unsetUrlHandler("https");
  QDesktopServices::unsetUrlHandler("file");
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_EQ(files.source().toLocalFile().toStdString(), File("VexilonSQL2K.chm"));
  EXPECT_EQ(web.source().toString(), "https://www.morvane.com/vexilon/support");
}

TEST_F(MainWindowTest, TheExplorerCommandBringsItForwardAndViewStopsWithIt) {
  frmSQLServerExplorer* first = main->Explorer();
  ASSERT_NE(first, nullptr);
  Click("miFiSQLServerExplorer");
  EXPECT_EQ(main->Explorer(), first);
  EXPECT_EQ(main->MdiArea()->subWindowList().size(), 1);
  main->MdiArea()->subWindowList().first()->close();
  WaitFor([&] { return main->Explorer() == nullptr; });
  EXPECT_EQ(main->Explorer(), nullptr);
  EXPECT_FALSE(main->Tool("miObView")->isEnabled());
  EXPECT_FALSE(main->Tool("miFiRegisterSQLServer")->isEnabled());
  main->acbApplication_ToolClick("miObView");  // nothing to view: nothing happens
  EXPECT_TRUE(errorReports.empty());
  Click("miFiSQLServerExplorer");
  EXPECT_NE(main->Explorer(), nullptr);
  EXPECT_EQ(main->MdiArea()->subWindowList().size(), 1);
}

TEST_F(MainWindowTest, ARegistrationIsStoredOnlyWhenConfirmed) {
  for (bool confirm : {false, true}) {
    modalHandlers.push_back([confirm](QDialog& d) {
      auto& registration = dynamic_cast<frmServerRegistration&>(d);
      EXPECT_EQ(registration.windowTitle(), "SQL Server Registration");
      registration.SetServerName("VEXREG");
      registration.SetLoginAuthenticationType(ENU_LAT_SQLSERVER);
      registration.SetUsername("sa");
      registration.SetPassword("pw");
      registration.SetDirty(confirm);
      return confirm ? 1 : 0;
    });
    main->acbApplication_ToolClick("miFiRegisterSQLServer");
    EXPECT_EQ(vx::app::NewEngine()->GetSQLServerCount(), confirm ? 1 : 0);
  }
  EXPECT_TRUE(errorReports.empty());
}

}  // namespace

namespace {

// Object > View works from the menu: opening the menu takes the focus from the
// list without forgetting which list it was.
TEST_F(MainWindowTest, ViewFromTheObjectMenuShowsTheObjectOfTheListLastFocused) {
  CreateSimServer("VIEWSRV", "pw");
  const int32_t db = vx::sqlsim::SimServer::Open("VIEWSRV", SimFolder()).CreateDatabase("Shop");
  RunOnSimServer("VIEWSRV", "Shop", "CREATE PROCEDURE usp_Look AS SELECT 1\nGO\n");
  ASSERT_EQ(vx::app::NewEngine()->RegisterSQLServer("VIEWSRV", ENU_LAT_SQLSERVER, "sa", "pw"), vx::kTrue);
  main->MdiArea()->closeAllSubWindows();
  WaitFor([&] { return main->Explorer() == nullptr; });
  Click("miFiSQLServerExplorer");  // a new explorer, filled from the archive
  frmSQLServerExplorer* x = main->Explorer();
  ASSERT_NE(x, nullptr);
  const QString server = QStringLiteral(":SVIEWSRV");
  x->tvwSQLServerExplorer_BeforeExpand(x->NodeByKey("AVIEWSRV"));
  x->tvwSQLServerExplorer_LButtonDown(x->NodeByKey(QStringLiteral("D%1").arg(db) + server));
  x->tvwSQLServerExplorer_LButtonDown(x->NodeByKey(QStringLiteral("P%1").arg(db) + server));
  ASSERT_EQ(x->lvwObjects()->topLevelItemCount(), 1);
  x->lvwObjects()->setCurrentItem(x->lvwObjects()->topLevelItem(0));
  x->lvwObjects_GotFocus();
  x->lvwObjects_LostFocus(Qt::PopupFocusReason);
  EXPECT_TRUE(main->Tool("miObView")->isEnabled());
  QString shownName;
  modalHandlers.push_back([&](QDialog& d) {
    if (auto* name = d.findChild<QLineEdit*>("txtObjectName")) shownName = name->text();
    return 0;
  });
  Click("miObView");
  EXPECT_EQ(shownName, "usp_Look");
  EXPECT_TRUE(errorReports.empty());
}

}  // namespace
