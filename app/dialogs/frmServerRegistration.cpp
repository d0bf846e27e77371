#include "dialogs/frmServerRegistration.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "basErrorReports.h"
#include "basScreen.h"
#include "basUtilities.h"

namespace {

// Login boxes: the window colour when they take input, the button face when not.
void SetBoxEnabled(QLineEdit* box, bool enabled) {
  box->setEnabled(enabled);
  QPalette palette = box->palette();
  const QPalette standard = QApplication::palette();
  palette.setColor(QPalette::Base, standard.color(enabled ? QPalette::Base : QPalette::Button));
  box->setPalette(palette);
}

QLabel* NewLabel(const QString& text, const QString& name, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  return label;
}

}  // namespace

frmServerRegistration::frmServerRegistration(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmServerRegistration"));
  setWindowTitle(QStringLiteral("SQL Server Registration"));

  auto* outer = new QVBoxLayout(this);
  auto* tabs = new QTabWidget(this);
  tabs->setObjectName(QStringLiteral("SSTab1"));
  auto* page = new QWidget(tabs);
  tabs->addTab(page, QStringLiteral("General"));
  auto* grid = new QGridLayout(page);

  auto* lblServer = NewLabel(QStringLiteral("Server:"), QStringLiteral("lblServer"), page);
  cboServerName_ = new QComboBox(page);
  cboServerName_->setObjectName(QStringLiteral("cboServerName"));
  cboServerName_->setEditable(true);
  cboServerName_->setInsertPolicy(QComboBox::NoInsert);
  cboServerName_->setMinimumWidth(220);
  lblServer->setBuddy(cboServerName_);
  cmdSelectSQLServer_ = new QPushButton(QStringLiteral("..."), page);
  cmdSelectSQLServer_->setObjectName(QStringLiteral("cmdSelectSQLServer"));
  cmdSelectSQLServer_->setAutoDefault(false);
  cmdSelectSQLServer_->setFixedWidth(32);
  grid->addWidget(lblServer, 0, 0);
  grid->addWidget(cboServerName_, 0, 1);
  grid->addWidget(cmdSelectSQLServer_, 0, 2);

  grid->addWidget(NewLabel(QStringLiteral("Connection"), QStringLiteral("Label1"), page), 1, 0, 1, 3);
  auto* frame = new QFrame(page);
  frame->setObjectName(QStringLiteral("Frame1"));
  frame->setFrameShape(QFrame::StyledPanel);
  auto* login = new QGridLayout(frame);
  optTrustedAuthentication_ = new QRadioButton(QStringLiteral("Use &Windows authentication"), frame);
  optTrustedAuthentication_->setObjectName(QStringLiteral("optTrustedAuthentication"));
  optTrustedAuthentication_->setChecked(true);
  optSQLServerAuthentication_ = new QRadioButton(QStringLiteral("Use S&QL Server authentication"), frame);
  optSQLServerAuthentication_->setObjectName(QStringLiteral("optSQLServerAuthentication"));
  auto* lblLogin = NewLabel(QStringLiteral("Login Name:"), QStringLiteral("lblLogin"), frame);
  txtUserName_ = new QLineEdit(frame);
  txtUserName_->setObjectName(QStringLiteral("txtUserName"));
  lblLogin->setBuddy(txtUserName_);
  auto* lblPassword = NewLabel(QStringLiteral("Password:"), QStringLiteral("lblPassword"), frame);
  txtPassword_ = new QLineEdit(frame);
  txtPassword_->setObjectName(QStringLiteral("txtPassword"));
  txtPassword_->setEchoMode(QLineEdit::Password);
  txtPassword_->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));  // "*"
  lblPassword->setBuddy(txtPassword_);
  login->addWidget(optTrustedAuthentication_, 0, 0, 1, 2);
  login->addWidget(optSQLServerAuthentication_, 1, 0, 1, 2);
  login->addWidget(lblLogin, 2, 0);
  login->addWidget(txtUserName_, 2, 1);
  login->addWidget(lblPassword, 3, 0);
  login->addWidget(txtPassword_, 3, 1);
  login->setColumnMinimumWidth(0, 90);
  grid->addWidget(frame, 2, 0, 1, 3);
  grid->setRowStretch(3, 1);
  outer->addWidget(tabs, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  cmdOK_ = new QPushButton(QStringLiteral("OK"), this);
  cmdOK_->setObjectName(QStringLiteral("cmdOK"));
  cmdOK_->setDefault(true);
  cmdCancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));
  cmdCancel_->setAutoDefault(false);
  buttons->addWidget(cmdOK_);
  buttons->addWidget(cmdCancel_);
  outer->addLayout(buttons);

  SetBoxEnabled(txtUserName_, false);
  SetBoxEnabled(txtPassword_, false);
  txtUserName_->installEventFilter(this);
  txtPassword_->installEventFilter(this);

  connect(cmdOK_, &QPushButton::clicked, this, &frmServerRegistration::cmdOK_Click);
  connect(cmdCancel_, &QPushButton::clicked, this, &frmServerRegistration::cmdCancel_Click);
  connect(cmdSelectSQLServer_, &QPushButton::clicked, this, &frmServerRegistration::cmdSelectSQLServer_Click);
  connect(optSQLServerAuthentication_, &QRadioButton::toggled, this, [this](bool on) {
    if (on) optSQLServerAuthentication_Click();
  });
  connect(optTrustedAuthentication_, &QRadioButton::toggled, this, [this](bool on) {
    if (on) optTrustedAuthentication_Click();
  });
  // The dialog opens with the server box ready for typing.
  cboServerName_->setFocus();
}

frmServerRegistration::~frmServerRegistration() = default;

void frmServerRegistration::FillfrmServerRegistration() {
  VX_TRY
    vx::app::SetScreenMousePointer(vx::app::vbHourglass);
    if (editing_) {
      cboServerName_->setEditText(serverName_);
      cboServerName_->setEnabled(false);
      QPalette palette = cboServerName_->palette();
      palette.setColor(QPalette::Base, QApplication::palette().color(QPalette::Button));
      cboServerName_->setPalette(palette);
      cmdSelectSQLServer_->setEnabled(false);
      if (loginAuthenticationType_ == ENU_LAT_TRUSTED) {
        optTrustedAuthentication_->setChecked(true);
      } else if (loginAuthenticationType_ == ENU_LAT_SQLSERVER) {
        txtUserName_->setText(username_);
        txtPassword_->setText(password_);
        optSQLServerAuthentication_->setChecked(true);
      }
    }
    vx::app::SetScreenMousePointer(vx::app::vbDefault);
  VX_CATCH("frmServerRegistration", "FillfrmServerRegistration")
}

void frmServerRegistration::optSQLServerAuthentication_Click() {
  VX_TRY
    SetBoxEnabled(txtUserName_, true);
    SetBoxEnabled(txtPassword_, true);
    if (isVisible()) txtUserName_->setFocus();
  VX_CATCH("frmServerRegistration", "optSQLServerAuthentication_Click")
}

void frmServerRegistration::optTrustedAuthentication_Click() {
  VX_TRY
    SetBoxEnabled(txtUserName_, false);
    SetBoxEnabled(txtPassword_, false);
  VX_CATCH("frmServerRegistration", "optTrustedAuthentication_Click")
}

bool frmServerRegistration::eventFilter(QObject* watched, QEvent* event) {
  // A login box selects its whole text when it takes the focus (after the
  // click that gave it the focus has placed the cursor).
  if (event->type() == QEvent::FocusIn && (watched == txtUserName_ || watched == txtPassword_)) {
    auto* box = static_cast<QLineEdit*>(watched);
    QTimer::singleShot(0, box, [box] { vx::app::SelectAllText(box); });
  }
  return QDialog::eventFilter(watched, event);
}

void frmServerRegistration::cmdCancel_Click() { reject(); }
