// Server registration: validation, the connection test on simulated servers,
// the duplicate check, Windows logins, and picking a server from the list.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "basMain.h"
#include "dialogs/frmSelectServer.h"
#include "dialogs/frmServerRegistration.h"
#include "sqlserver/SQLServer.h"
#include "sqlserver_sim/SimFolder.h"
#include "sqlserver_sim/SimServer.h"
#include "support/UiTest.h"
#include "vexilon_lib/CVexilon.h"

namespace {

// The dialog's entries, as the user makes them.
struct Entry {
  const char* server;
  bool sqlLogin;
  const char* user;
  const char* password;
};

struct Row {
  const char* name;
  Entry entry;
  const char* message;    // "" when OK accepts
  const char* focus = "";  // the control that gets the focus after the message
};
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class ServerRegistrationTest : public ui_test::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    CreateSimServer("ALPHA", "secret");
    vx::sqlsim::ServerOptions seven;
    seven.versionMajor = 7;
    seven.saPassword = "sa";
    vx::sqlsim::SimServer::Create("SEVEN", seven, SimFolder());
  }

  template <class T>
  static T* Child(QWidget& w, const char* name) { return w.findChild<T*>(QString::fromUtf8(name)); }

  static void Enter(frmServerRegistration& d, const Entry& e) {
    Child<QComboBox>(d, "cboServerName")->setEditText(QString::fromUtf8(e.server));
    Child<QRadioButton>(d, e.sqlLogin ? "optSQLServerAuthentication" : "optTrustedAuthentication")->click();
    if (e.sqlLogin) {
      Child<QLineEdit>(d, "txtUserName")->setText(QString::fromUtf8(e.user));
      Child<QLineEdit>(d, "txtPassword")->setText(QString::fromUtf8(e.password));
    }
  }
  static void PressOK(frmServerRegistration& d) { Child<QPushButton>(d, "cmdOK")->click(); }
};

class ServerRegistrationRows : public ServerRegistrationTest, public ::testing::WithParamInterface<Row> {};

TEST_P(ServerRegistrationRows, OK) {
  const Row& row = GetParam();
  frmServerRegistration dialog;
  dialog.show();
  QApplication::setActiveWindow(&dialog);
  Enter(dialog, row.entry);
  PressOK(dialog);
  if (*row.message == '\0') {
    EXPECT_TRUE(messages.empty()) << messages[0].prompt.toStdString();
    EXPECT_TRUE(dialog.Dirty());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.ServerName(), QString::fromUtf8(row.entry.server));
  } else {
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].prompt.toStdString(), row.message);
    EXPECT_EQ(messages[0].style, 48);
    EXPECT_FALSE(dialog.Dirty());
    EXPECT_TRUE(dialog.isVisible());  // open for another try
    if (*row.focus) {
      ASSERT_NE(QApplication::focusWidget(), nullptr);
      EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), row.focus);
    }
  }
  EXPECT_TRUE(errorReports.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ServerRegistrationRows,
    ::testing::Values(
        Row{"NoServer", {"", true, "sa", "secret"}, "You must enter a server.", "cboServerName"},
        Row{"NoLoginName", {"ALPHA", true, "", "secret"}, "\r\nYou must enter a username.", "txtUserName"},
        Row{"GoodLogin", {"ALPHA", true, "sa", "secret"}, ""},
        Row{"ServerNameInOtherCase", {"alpha", true, "sa", "secret"}, ""},
        Row{"WrongPassword", {"ALPHA", true, "sa", "wrong"},
            "SQL Server 'ALPHA' does not exist or access is denied."},
        Row{"EmptyPasswordIsTested", {"ALPHA", true, "sa", ""},
            "SQL Server 'ALPHA' does not exist or access is denied."},
        Row{"UnknownServer", {"NOWHERE", true, "sa", "secret"},
            "Unable to connect to SQL Server 'NOWHERE'."},
        Row{"OtherVersion", {"SEVEN", true, "sa", "sa"},
            "You can't register SQL Server 'SEVEN' - this server is not running SQL Server 2000.\r\n\r\n"
            "This edition of Vexilon is only suitable for SQL Server 2000."}),
    [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

TEST_F(ServerRegistrationTest, ARegisteredNameIsRefusedUnlessEditing) {
  vx::app::NewEngine()->RegisterSQLServer("ALPHA", ENU_LAT_SQLSERVER, "sa", "secret");
  {
    frmServerRegistration dialog;
    dialog.show();
    Enter(dialog, {"ALPHA", true, "sa", "secret"});
    PressOK(dialog);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].prompt, QStringLiteral("The SQL Server ALPHA has already been registered.\r\n\r\n"
                                                 "You cannot register a SQL Server more than once."));
    EXPECT_FALSE(dialog.Dirty());
    EXPECT_FALSE(dialog.isVisible());
  }
  messages.clear();
  frmServerRegistration edit;
  edit.SetServerName(QStringLiteral("ALPHA"));
  edit.SetLoginAuthenticationType(ENU_LAT_SQLSERVER);
  edit.SetUsername(QStringLiteral("sa"));
  edit.SetPassword(QStringLiteral("secret"));
  edit.SetEditing(true);
  edit.FillfrmServerRegistration();
  EXPECT_FALSE(Child<QComboBox>(edit, "cboServerName")->isEnabled());
  EXPECT_FALSE(Child<QPushButton>(edit, "cmdSelectSQLServer")->isEnabled());
  EXPECT_EQ(Child<QLineEdit>(edit, "txtUserName")->text(), QStringLiteral("sa"));
  EXPECT_TRUE(Child<QLineEdit>(edit, "txtPassword")->isEnabled());
  edit.show();
  PressOK(edit);
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(edit.Dirty());
}

// Switching a registration to Windows authentication hands back no SQL login.
TEST_F(ServerRegistrationTest, WindowsAuthenticationClearsTheStoredLogin) {
  vx::sqlsim::SimServer::Open("ALPHA", SimFolder()).AddWindowsLogin(vx::sqlsim::CurrentWindowsLogin(), true);
  frmServerRegistration edit;
  edit.SetServerName(QStringLiteral("ALPHA"));
  edit.SetLoginAuthenticationType(ENU_LAT_SQLSERVER);
  edit.SetUsername(QStringLiteral("sa"));
  edit.SetPassword(QStringLiteral("secret"));
  edit.SetEditing(true);
  edit.FillfrmServerRegistration();
  edit.show();
  Child<QRadioButton>(edit, "optTrustedAuthentication")->click();
  EXPECT_FALSE(Child<QLineEdit>(edit, "txtUserName")->isEnabled());
  PressOK(edit);
  EXPECT_TRUE(messages.empty());
  ASSERT_TRUE(edit.Dirty());
  EXPECT_EQ(edit.LoginAuthenticationType(), ENU_LAT_TRUSTED);
  EXPECT_EQ(edit.Username(), QString());
  EXPECT_EQ(edit.Password(), QString());
}

// The test connects an engine of its own: another window's engine keeps its server.
TEST_F(ServerRegistrationTest, TheConnectionTestLeavesOtherEnginesOnTheirServer) {
  CreateSimServer("BETA", "beta");
  std::unique_ptr<CVexilon> explorerEngine = vx::app::NewEngine();
  UDT_LOGIN_CREDENTIALS beta{"BETA", ENU_LAT_SQLSERVER, "sa", "beta"};
  ASSERT_EQ(explorerEngine->ConnectServer(beta), ENU_SCR_SUCCESSFUL);
  const std::string betaConnection = explorerEngine->GetSQLServerConnectionString();

  frmServerRegistration dialog;
  dialog.show();
  Enter(dialog, {"ALPHA", true, "sa", "secret"});
  PressOK(dialog);
  ASSERT_TRUE(dialog.Dirty());
  ASSERT_NE(explorerEngine->GetSQLServer(), nullptr);
  EXPECT_EQ(explorerEngine->GetSQLServer()->Name(), "BETA");
  EXPECT_EQ(explorerEngine->GetSQLServerConnectionString(), betaConnection);
}

TEST_F(ServerRegistrationTest, TheServerListFillsTheServerBoxOrLeavesIt) {
  CreateSimServer("BETA", "beta");
  frmServerRegistration dialog;
  dialog.show();
  QApplication::setActiveWindow(&dialog);
  auto* box = Child<QComboBox>(dialog, "cboServerName");
  box->setEditText(QStringLiteral("typed"));
  // Cancelled: the typed name stays.
  modalHandlers.push_back([](QDialog& d) {
    d.findChild<QPushButton*>(QStringLiteral("cmdCancel"))->click();
    return int(QDialog::Rejected);
  });
  Child<QPushButton>(dialog, "cmdSelectSQLServer")->click();
  EXPECT_EQ(box->currentText(), QStringLiteral("typed"));
  // Picked by a double-click.
  modalHandlers.push_back([](QDialog& d) {
    auto* list = d.findChild<QListWidget*>(QStringLiteral("lstSQLServers"));
    const auto found = list->findItems(QStringLiteral("BETA"), Qt::MatchExactly);
    if (found.isEmpty()) return 0;
    list->setCurrentItem(found[0]);
    emit list->itemDoubleClicked(found[0]);
    return d.result();
  });
  Child<QPushButton>(dialog, "cmdSelectSQLServer")->click();
  EXPECT_EQ(box->currentText(), QStringLiteral("BETA"));
  QWidget* focus = QApplication::focusWidget();
  EXPECT_TRUE(focus == box || focus == box->lineEdit());
}

TEST_F(ServerRegistrationTest, ServerSelectionConfirmsOnlyASelectedName) {
  CreateSimServer("BETA", "beta");
  frmSelectServer select;
  auto* ok = Child<QPushButton>(select, "cmdOK");
  EXPECT_FALSE(ok->isEnabled());  // nothing listed yet
  select.FillfrmSelectServers();
  auto* list = Child<QListWidget>(select, "lstSQLServers");
  ASSERT_FALSE(list->findItems(QStringLiteral("ALPHA"), Qt::MatchExactly).isEmpty());
  EXPECT_TRUE(ok->isEnabled());
  select.show();
  ok->click();  // nothing selected: nothing happens
  EXPECT_FALSE(select.Dirty());
  EXPECT_TRUE(select.isVisible());
  list->setCurrentItem(list->findItems(QStringLiteral("ALPHA"), Qt::MatchExactly)[0]);
  QTest::keyClick(list, Qt::Key_Return);  // the default button
  EXPECT_TRUE(select.Dirty());
  EXPECT_EQ(select.ServerName(), QStringLiteral("ALPHA"));
  EXPECT_FALSE(select.isVisible());

  frmSelectServer cancelled;
  cancelled.FillfrmSelectServers();
  cancelled.show();
  auto* names = Child<QListWidget>(cancelled, "lstSQLServers");
  names->setCurrentRow(0);
  QTest::keyClick(names, Qt::Key_Escape);
  EXPECT_FALSE(cancelled.Dirty());
  EXPECT_FALSE(cancelled.isVisible());
}

}  // namespace

namespace {

TEST_F(ServerRegistrationTest, ReturnInTheServerBoxPressesOKAndEscapeCancels) {
  {
    frmServerRegistration dialog;
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    auto* box = Child<QComboBox>(dialog, "cboServerName");
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Return);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].prompt, QStringLiteral("You must enter a server."));
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(dialog.Dirty());
  }
}

}  // namespace
