// The explorer's tree: set-up from the archive, connecting and the messages of
// each result, node marking (also on a retry), lost connections and expansion.
#include <QKeyEvent>
#include <QTest>
#include <QTreeWidget>

#include "basMain.h"
#include "dialogs/frmServerRegistration.h"
#include "explorer/frmSQLServerExplorer.h"
#include "sqlserver/SQLServer.h"
#include "sqlserver_sim/SimServer.h"
#include "support/ExplorerWindowTest.h"
#include "vexilon_lib/CVexilon.h"

namespace {

using ui_test::ExplorerWindowTest;
const QString kFailed = QStringLiteral("(Connection failed, check SQL Server registation properties.)");

class ExplorerTreeTest : public ExplorerWindowTest {
 protected:
  UDT_LOGIN_CREDENTIALS Creds(const std::string& name, const std::string& password = "sa") {
    return {name, ENU_LAT_SQLSERVER, "sa", password};
  }
  QStringList Prompts() const {
    QStringList out;
    for (const auto& m : messages) out << m.prompt;
    return out;
  }
};

TEST_F(ExplorerTreeTest, FirstRunRegistersTheServerTheDialogNames) {
  MakeServer("SIM1");
  modalHandlers.push_back([](QDialog& d) {
    auto& reg = dynamic_cast<frmServerRegistration&>(d);
    reg.SetServerName("SIM1");
    reg.SetLoginAuthenticationType(ENU_LAT_SQLSERVER);
    reg.SetUsername("sa");
    reg.SetPassword("sa");
    reg.SetDirty(true);
    return 1;
  });
  frmSQLServerExplorer& x = Open();
  EXPECT_TRUE(modalHandlers.empty());
  ASSERT_NE(Node("SSIM1"), nullptr);
  EXPECT_TRUE(Node("SSIM1")->isExpanded());
  ASSERT_NE(Node("ASIM1"), nullptr);
  EXPECT_EQ(Node("ASIM1")->child(0)->text(0), "|EMPTY|");
  EXPECT_EQ(x.LoginCredentials(), Creds("SIM1"));
  EXPECT_EQ(x.ListViewSelected(), 0);
}

TEST_F(ExplorerTreeTest, RegisteredServersInArchiveOrderWithTheirCredentials) {
  Register("ALPHA");
  Register("BETA", true);
  Register("GAMMA", false, "g");
  frmSQLServerExplorer& x = Open();
  QTreeWidgetItem* root = Node("E");
  ASSERT_EQ(root->childCount(), 3);
  const char* names[] = {"ALPHA", "BETA", "GAMMA"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(frmSQLServerExplorer::NodeKey(root->child(i)), QStringLiteral("S") + names[i]);
    EXPECT_EQ(root->child(i)->childCount(), 1);
    EXPECT_EQ(root->child(i)->child(0)->child(0)->text(0), "|EMPTY|");
  }
  const UDT_LOGIN_CREDENTIALS beta = x.ServerTag(Node("SBETA"));
  EXPECT_EQ(beta.enumLoginAuthenticationType, ENU_LAT_TRUSTED);
  EXPECT_EQ(beta.strUserName, "");
  EXPECT_EQ(beta.strPassword, "");
  EXPECT_EQ(x.ServerTag(Node("SGAMMA")).strPassword, "g");
  EXPECT_TRUE(messages.empty());
}

// Each connect result: its message, the node's key afterwards, and a retry on the
// same node (which must find it under whichever key it carries).
struct ConnectCase {
  const char* label;
  int versionMajor;       // 0: no server at all
  const char* password;   // registered password
  ENU_SERVER_CONNECTION_RESPONSES result;
  const char* firstMessage;  // start of the first message ("" none)
  const char* keyAfter;
};
void PrintTo(const ConnectCase& row, std::ostream* os) { *os << row.label; }

class ExplorerConnectTest : public ExplorerTreeTest, public ::testing::WithParamInterface<ConnectCase> {};

TEST_P(ExplorerConnectTest, ResultMessageAndNodeMark) {
  const ConnectCase& c = GetParam();
  if (c.versionMajor) {
    vx::sqlsim::ServerOptions options;
    options.versionMajor = c.versionMajor;
    options.saPassword = "sa";
    vx::sqlsim::SimServer::Create("SIM1", options, SimFolder());
  }
  Register("SIM1", false, c.password);
  frmSQLServerExplorer& x = Open();
  for (int attempt = 0; attempt < 2; ++attempt) {
    messages.clear();
    EXPECT_EQ(x.ConnectServer(Creds("SIM1", c.password)), c.result) << c.label << attempt;
    if (*c.firstMessage) {
      ASSERT_FALSE(messages.empty());
      EXPECT_TRUE(messages[0].prompt.startsWith(QLatin1String(c.firstMessage))) << messages[0].prompt.toStdString();
      EXPECT_EQ(messages[0].style, 48);
    } else {
      EXPECT_TRUE(messages.empty());
    }
    const QString key = QLatin1String(c.keyAfter);
    ASSERT_NE(Node(key), nullptr) << c.label;
    if (key.startsWith('I')) {
      EXPECT_EQ(Node(key)->childCount(), 1);
      EXPECT_EQ(Node(key)->child(0)->text(0), kFailed);
      EXPECT_EQ(messages.back().prompt, "Cannot connect to SQL Server 'SIM1'.");
    }
    if (c.result != ENU_SCR_SUCCESSFUL) {
      EXPECT_EQ(x.Vexilon().GetSQLServer(), nullptr);
    }
  }
  EXPECT_TRUE(errorReports.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Results, ExplorerConnectTest,
    ::testing::Values(ConnectCase{"ok", 8, "sa", ENU_SCR_SUCCESSFUL, "", "SSIM1"},
                      ConnectCase{"badPassword", 8, "wrong", ENU_SCR_ACCESS_DENIED,
                                  "SQL Server 'SIM1' does not exist or access is denied.", "ISIM1"},
                      ConnectCase{"noServer", 0, "sa", ENU_SCR_UNABLE_TO_CONNECT,
                                  "Unable to connect to SQL Server 'SIM1'.", "ISIM1"},
                      ConnectCase{"version7", 7, "sa", ENU_SCR_WRONG_SERVER_VERSION,
                                  "You cannot register SQL Server 'SIM1' - this server is not running SQL Server 2000.",
                                  "SSIM1"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(ExplorerTreeTest, DatabaseChecksMarkTheNodeDenied) {
  const int32_t shop = MakeServer("SIM1");
  auto sim = vx::sqlsim::SimServer::Open("SIM1", SimFolder());
  sim.AddSqlLogin("stranger", "pw");
  sim.AddSqlLogin("plain", "pw");
  sim.AddUser("Shop", "plain", "plain");
  struct Row {
    const char* login;
    const char* message;
  } rows[] = {{"stranger", "The user 'stranger' is not a valid user in 'Shop'."},
              {"plain", "The The user 'plain' does not have suitable permissions to use Vexilon with 'Shop'."}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.login);
    auto engine = vx::app::NewEngine();
    engine->UnregisterSQLServer("SIM1");
    engine->RegisterSQLServer("SIM1", ENU_LAT_SQLSERVER, row.login, "pw");
    messages.clear();
    frmSQLServerExplorer& x = Open();
    OpenDatabases("SIM1");
    const QString db = QStringLiteral("D%1:SSIM1").arg(shop);
    ASSERT_NE(Node(db), nullptr);
    x.tvwSQLServerExplorer_LButtonDown(Node(db));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].prompt.startsWith(QLatin1String(row.message))) << messages[0].prompt.toStdString();
    QTreeWidgetItem* denied = Node(QStringLiteral("J%1:SSIM1").arg(shop));
    ASSERT_NE(denied, nullptr);
    EXPECT_EQ(denied->childCount(), 0);
  }
}

TEST_F(ExplorerTreeTest, ExpansionWithoutAClickConnectsToTheNodesOwnServer) {
  const int32_t shop = MakeServer("SIM1");
  MakeServer("SIM2");
  Register("SIM1");
  Register("SIM2");
  frmSQLServerExplorer& x = Open();
  x.ConnectServer(Creds("SIM2"));  // the engine is elsewhere
  // By keyboard: select "Databases" of SIM1 and press the right arrow.
  x.tvwSQLServerExplorer()->setCurrentItem(Node("ASIM1"));
  QTest::keyClick(x.tvwSQLServerExplorer(), Qt::Key_Right);
  Settle();
  ASSERT_NE(Node(QStringLiteral("D%1:SSIM1").arg(shop)), nullptr);
  // By the branch arrow (opening without selecting): SIM2's databases.
  OpenDatabases("SIM2");
  EXPECT_NE(Node(QStringLiteral("P%1:SSIM2").arg(shop)), nullptr);
  EXPECT_EQ(x.Vexilon().GetSQLServer()->Name(), "SIM2");
  EXPECT_TRUE(errorReports.empty());
  // Folders of a database come with it, in order.
  QTreeWidgetItem* db = Node(QStringLiteral("D%1:SSIM1").arg(shop));
  ASSERT_EQ(db->childCount(), 4);
  EXPECT_EQ(db->child(2)->text(0), "User Defined Functions");
}

TEST_F(ExplorerTreeTest, DatabaseNodeExpandsWithItsOwnId) {
  MakeServer("SIM1");
  const int32_t second = vx::sqlsim::SimServer::Open("SIM1", SimFolder()).CreateDatabase("Depot");
  Register("SIM1");
  frmSQLServerExplorer& x = Open();
  OpenDatabases("SIM1");
  const QString dbKey = QStringLiteral("D%1:SSIM1").arg(second);
  x.tvwSQLServerExplorer_LButtonDown(Node("ASIM1"));  // no database clicked: current id stays 0
  QTreeWidgetItem* db = Node(dbKey);
  x.RemoveChildren(db);
  x.AddPlaceholder(db);
  x.tvwSQLServerExplorer_BeforeExpand(db, false);
  EXPECT_NE(Node(QStringLiteral("V%1:SSIM1").arg(second)), nullptr);
  EXPECT_EQ(Node(dbKey)->childCount(), 4);
}

TEST_F(ExplorerTreeTest, LostConnectionMarksTheServerWithoutAReportAndReconnects) {
  const int32_t shop = MakeServer("SIM1");
  Register("SIM1");
  frmSQLServerExplorer& x = Open();
  RunOnSimServer("SIM1", "Shop", "CREATE PROCEDURE dbo.p1 AS SELECT 1");
  ClickFolder('P', shop, "SIM1");
  ASSERT_EQ(x.lvwObjects()->topLevelItemCount(), 1);
  // The connection breaks before the object is read from the server.
  vx::sqlsim::SimServer::BreakSessions("SIM1");
  x.ViewObject(x.lvwObjects()->topLevelItem(0));
  EXPECT_TRUE(errorReports.empty());
  ASSERT_NE(Node("ISIM1"), nullptr);
  EXPECT_EQ(Node("ISIM1")->child(0)->text(0), kFailed);
  // A lost connection is made again, not kept as if it stood.
  messages.clear();
  EXPECT_EQ(x.ConnectServer(Creds("SIM1")), ENU_SCR_SUCCESSFUL);
  EXPECT_EQ(x.Vexilon().GetSQLServer()->Status(), 1);
  vx::sqlsim::SimServer::BreakSessions("SIM1");
  answers = {vx::app::vbYes};
  EXPECT_TRUE(x.IsSQLServerConnected());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].prompt.startsWith("The connection to SQL Server 'SIM1' has been broken."));
  EXPECT_EQ(messages[0].style, 52);
}

}  // namespace
