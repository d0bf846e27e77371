#include "dialogs/frmSelectServer.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "basErrorReports.h"
#include "basScreen.h"
#include "sqlserver/ServerList.h"
#include "sqlserver_connect/RoutingSessionFactory.h"

frmSelectServer::frmSelectServer(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmSelectServer"));
  setWindowTitle(QStringLiteral("Select Server"));
  resize(360, 320);

  auto* outer = new QVBoxLayout(this);
  auto* frame = new QFrame(this);
  frame->setObjectName(QStringLiteral("Frame1"));
  frame->setFrameShape(QFrame::StyledPanel);
  auto* inner = new QVBoxLayout(frame);
  auto* intro = new QLabel(QStringLiteral("The following servers running SQL Server are currently active on your network."), frame);
  intro->setObjectName(QStringLiteral("Label2"));
  intro->setWordWrap(true);
  auto* caption = new QLabel(QStringLiteral("Active servers:"), frame);
  caption->setObjectName(QStringLiteral("Label1"));
  lstSQLServers_ = new QListWidget(frame);
  lstSQLServers_->setObjectName(QStringLiteral("lstSQLServers"));
  lstSQLServers_->setSelectionMode(QAbstractItemView::SingleSelection);
  caption->setBuddy(lstSQLServers_);
  inner->addWidget(intro);
  inner->addWidget(caption);
  inner->addWidget(lstSQLServers_, 1);
  outer->addWidget(frame, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  cmdOK_ = new QPushButton(QStringLiteral("OK"), this);
  cmdOK_->setObjectName(QStringLiteral("cmdOK"));
  cmdOK_->setDefault(true);
  cmdOK_->setEnabled(false);
  cmdCancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));
  buttons->addWidget(cmdOK_);
  buttons->addWidget(cmdCancel_);
  outer->addLayout(buttons);

  connect(cmdOK_, &QPushButton::clicked, this, &frmSelectServer::cmdOK_Click);
  connect(cmdCancel_, &QPushButton::clicked, this, &frmSelectServer::cmdCancel_Click);
  connect(lstSQLServers_, &QListWidget::itemDoubleClicked, this, [this] { cmdOK_Click(); });
}

frmSelectServer::~frmSelectServer() = default;

void frmSelectServer::FillfrmSelectServers() {
  VX_TRY
    vx::app::SetScreenMousePointer(vx::app::vbHourglass);
    lstSQLServers_->clear();
    const std::vector<std::string> names = vx::sqlserver::ListAvailableSQLServers(vx::sqlserver::MakeDefaultSessionFactory().get());
    // The list is counted as a 16-bit number.
    constexpr std::size_t kMostNames = 32767;
    for (std::size_t i = 0; i < names.size() && i < kMostNames; ++i) {
      lstSQLServers_->addItem(QString::fromStdString(names[i]));
    }
    if (lstSQLServers_->count() > 0) cmdOK_->setEnabled(true);
    vx::app::SetScreenMousePointer(vx::app::vbDefault);
  VX_CATCH("frmSelectServer", "FillfrmSelectServers")
}

void frmSelectServer::cmdOK_Click() {
  VX_TRY
    QListWidgetItem* item = lstSQLServers_->currentItem();
    if (!item || !item->isSelected()) return;
    serverName_ = item->text();
    dirty_ = true;
    accept();
  VX_CATCH("frmSelectServer", "cmdOK_Click")
}

void frmSelectServer::cmdCancel_Click() {
  VX_TRY
    reject();
  VX_CATCH("frmSelectServer", "cmdCancel_Click")
}
