// The explorer's connections as a user meets them, by mouse and keyboard: a login
// edited in the registration dialog, a server that goes away under a Refresh, and
// a server reached over ODBC whose link dies.
//
// Freed memory is overwritten in this program and not handed out again at once,
// so that a window that writes to a tree node it has already removed fails here
// at once, not by chance.
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

#include "basMain.h"
#include "dialogs/frmServerRegistration.h"
#include "explorer/frmSQLServerExplorer.h"
#include "sqlserver/SQLServer.h"
#include "sqlserver_sim/SimFolder.h"
#include "sqlserver_sim/SimServer.h"
#include "support/ExplorerTestSupport.h"
#include "support/QtPrinters.h"
#include "support/ServedServer.h"
#include "support/UserInput.h"
#include "vexilon_lib/CVexilon.h"

namespace {
// The last blocks freed stay poisoned and out of reach of the allocator for a while.
std::atomic_flag quarantineLock = ATOMIC_FLAG_INIT;
void* quarantine[8192];
size_t quarantineNext = 0;
}  // namespace

void operator delete(void* p) noexcept {
  if (!p) return;
  std::memset(p, 0xA5, malloc_usable_size(p));
  while (quarantineLock.test_and_set(std::memory_order_acquire)) {
  }
  void* oldest = quarantine[quarantineNext];
  quarantine[quarantineNext] = p;
  quarantineNext = (quarantineNext + 1) % (sizeof quarantine / sizeof quarantine[0]);
  quarantineLock.clear(std::memory_order_release);
  std::free(oldest);
}
void operator delete(void* p, std::size_t) noexcept { ::operator delete(p); }

namespace {

using ui_test::ExplorerTest;

class ExplorerConnectionsTest : public ExplorerTest {
 protected:
  int32_t db = 0;
  void SetUp() override {
    ExplorerTest::SetUp();
    db = MakeServer();
  }
  QTreeWidget* Tree() { return Explorer().tvwSQLServerExplorer(); }
  QTreeWidgetItem* Node(const QString& key) { return Explorer().NodeByKey(key); }
  QString FolderKey(const QString& server) const { return QStringLiteral("P%1:S").arg(db) + server; }
  // A click on the server, its "Databases" opened by its arrow, a click on the
  // stored procedures folder.
  void OpenFolder(const QString& server) {
    ui_test::ClickNode(Tree(), Node(QStringLiteral("S") + server));
    if (QTreeWidgetItem* databases = Node(QStringLiteral("A") + server)) databases->setExpanded(true);
    QApplication::processEvents();
    if (QTreeWidgetItem* folder = Node(FolderKey(server))) ui_test::ClickNode(Tree(), folder);
  }
  QStringList Prompts() const {
    QStringList out;
    for (const auto& m : messages) out << m.prompt;
    return out;
  }
};

// ---- an edited login is the explorer's login from then on
struct EditRow {
  const char* name;
  const char* before;  // the registered login ("" = Windows authentication)
  bool clerkInShop;    // clerk is a user of Shop (in no role)
  const char* after;   // the login typed in the dialog ("" = Windows authentication)
  const char* said;    // the first words of what opening the folder says afterwards ("" = nothing)
};
void PrintTo(const EditRow& row, std::ostream* os) { *os << row.name; }

class ExplorerEditLoginTest : public ExplorerConnectionsTest, public ::testing::WithParamInterface<EditRow> {};

TEST_P(ExplorerEditLoginTest, NoCommandRunsUnderTheReplacedLogin) {
  const EditRow& row = GetParam();
  auto sim = vx::sqlsim::SimServer::Open("SIM1", SimFolder());
  sim.AddSqlLogin("clerk", "clerk");
  sim.AddWindowsLogin(vx::sqlsim::CurrentWindowsLogin(), true);
  if (row.clerkInShop) sim.AddUser("Shop", "clerk", "clerk");
  AddProcedures("SIM1", 2);
  if (*row.before) vx::app::NewEngine()->UpdateSQLServer("SIM1", ENU_LAT_SQLSERVER, row.before, row.before);
  OpenExplorer();
  OpenFolder("SIM1");
  messages.clear();

  // Server > Edit SQL Server Registration properties..., typed into the dialog, OK.
  modalHandlers.push_back([&](QDialog& d) {
    d.show();
    QApplication::setActiveWindow(&d);
    const bool trusted = !*row.after;
    QTest::mouseClick(d.findChild<QRadioButton*>(trusted ? "optTrustedAuthentication" : "optSQLServerAuthentication"),
                      Qt::LeftButton);
    if (!trusted) {
      QLineEdit* login = d.findChild<QLineEdit*>("txtUserName");
      QTest::mouseClick(login, Qt::LeftButton);
      QTest::keyClick(login, Qt::Key_A, Qt::ControlModifier);
      QTest::keyClicks(login, row.after);
      QTest::keyClick(login, Qt::Key_Tab);
      QLineEdit* password = d.findChild<QLineEdit*>("txtPassword");
      QTest::keyClick(password, Qt::Key_A, Qt::ControlModifier);
      QTest::keyClicks(password, row.after);
    }
    QTest::mouseClick(d.findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    return d.result();
  });
  ASSERT_TRUE(ui_test::ClickMenuEntry(ui_test::RightClickNode(Tree(), Node("SSIM1")),
                                      "Edit SQL Server Registration properties..."));
  ASSERT_TRUE(modalHandlers.empty());
  EXPECT_EQ(Explorer().ServerTag(Node("SSIM1")).strUserName, row.after);

  OpenFolder("SIM1");
  const std::string login = *row.after ? row.after : vx::sqlsim::CurrentWindowsLogin();
  ASSERT_NE(Explorer().Vexilon().GetSQLServer(), nullptr);
  EXPECT_EQ(Explorer().Vexilon().GetSQLServer()->Login(), login);
  if (*row.said) {
    ASSERT_EQ(messages.size(), 1u) << Prompts().join("|").toStdString();
    EXPECT_TRUE(messages[0].prompt.startsWith(row.said)) << messages[0].prompt.toStdString();
    EXPECT_EQ(Explorer().lvwObjects()->topLevelItemCount(), 0);
  } else {
    EXPECT_TRUE(messages.empty()) << Prompts().join("|").toStdString();
    EXPECT_EQ(Explorer().lvwObjects()->topLevelItemCount(), 2);
  }
  EXPECT_TRUE(errorReports.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ExplorerEditLoginTest,
    ::testing::Values(
        EditRow{"SaToClerk", "", true, "clerk",
                "The The user 'clerk' does not have suitable permissions to use Vexilon with 'Shop'."},
        EditRow{"ClerkToWindows", "clerk", false, "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Databases > Refresh when the server has gone and cannot be reached again
TEST_F(ExplorerConnectionsTest, DatabasesRefreshOfAServerThatHasGone) {
  OpenExplorer();
  OpenFolder("SIM1");
  QMenu* menu = ui_test::RightClickNode(Tree(), Node("ASIM1"));
  ASSERT_NE(menu, nullptr);
  const std::string file = vx::sqlsim::ServerFilePath("SIM1", SimFolder());
  std::filesystem::rename(file, file + ".away");
  vx::sqlsim::SimServer::BreakSessions("SIM1");
  messages.clear();
  ASSERT_TRUE(ui_test::ClickMenuEntry(menu, "Refresh"));
  std::filesystem::rename(file + ".away", file);
  EXPECT_EQ(Prompts(), (QStringList{"Unable to connect to SQL Server 'SIM1'.", "Cannot connect to SQL Server 'SIM1'."}));
  ASSERT_NE(Node("ISIM1"), nullptr);
  EXPECT_EQ(Node("ASIM1"), nullptr);
  EXPECT_TRUE(errorReports.empty());
}

// ---- over ODBC, a server whose link dies is a lost connection
TEST_F(ExplorerConnectionsTest, AServerOverOdbcThatHasGoneIsALostConnection) {
  // The same kind of server, served over TDS from a folder of its own and
  // registered by its address: the explorer reaches it through ODBC.
  const std::string served = ProgramFolder() + "served/";
  std::filesystem::create_directories(served);
  vx::sqlsim::ServerOptions options;
  options.saPassword = "sa";
  vx::sqlsim::SimServer::Create("NET1", options, served);
  db = vx::sqlsim::SimServer::Open("NET1", served).CreateDatabase("Shop");
  vx::sqlsim::SimServer::Open("NET1", served).RunScript("CREATE PROCEDURE dbo.p1 AS SELECT 1", "Shop");
  tds_test::IsolateOdbcConfig(ProgramFolder());
  auto server = std::make_unique<tds_test::ServedServer>(VX_SQLSIM, "NET1", served);
  const QString address = QString::fromStdString(server->Address());
  vx::sqlsim::SimServer::Remove("SIM1", SimFolder());
  vx::app::NewEngine()->UnregisterSQLServer("SIM1");
  RegisterServer(server->Address());
  OpenExplorer();
  OpenFolder(address);
  ASSERT_EQ(Explorer().lvwObjects()->topLevelItemCount(), 1) << Prompts().join("|").toStdString();

  server.reset();  // the server goes away
  messages.clear();
  ui_test::ClickNode(Tree(), Node(QStringLiteral("D%1:S").arg(db) + address));
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back().prompt, "Cannot connect to SQL Server '" + address + "'.") << Prompts().join("|").toStdString();
  EXPECT_NE(Node("I" + address), nullptr);
  EXPECT_EQ(Node(QStringLiteral("J%1:S").arg(db) + address), nullptr);
  EXPECT_TRUE(errorReports.empty());
}

}  // namespace
