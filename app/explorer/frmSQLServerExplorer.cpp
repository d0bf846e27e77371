// The explorer window: its controls, set-up from the registered servers, its
// properties, the busy state and status text, and the window events.
#include "explorer/frmSQLServerExplorer.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "basErrorReports.h"
#include "basMain.h"
#include "basMessages.h"
#include "basScreen.h"
#include "dialogs/frmServerRegistration.h"
#include "frmApplication.h"
#include "sqlserver/SQLServer.h"
#include "vexilon_lib/CVexilon.h"

UDT_NODE_OBJECTS_CONTAINER typCurrentNodeObjectContainer;

namespace {

QTreeWidget* NewList(const char* name, QWidget* parent) {
  auto* list = new QTreeWidget(parent);
  list->setObjectName(QLatin1String(name));
  list->setRootIsDecorated(false);
  list->setUniformRowHeights(true);
  list->setAllColumnsShowFocus(true);
  list->setSortingEnabled(false);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setColumnCount(0);
  list->header()->setSectionsClickable(true);
  list->header()->setStretchLastSection(false);
  list->setFocusPolicy(Qt::NoFocus);  // in the tab order only while it has columns
  return list;
}

QWidget* NewPane(const char* name, QLabel* caption, QTreeWidget* list, QWidget* parent) {
  auto* pane = new QWidget(parent);
  pane->setObjectName(QLatin1String(name));
  auto* layout = new QVBoxLayout(pane);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  layout->addWidget(caption);
  layout->addWidget(list);
  return pane;
}

std::string FieldText(const CVexilon::Recordset& rs, const char* name) {
  const auto& v = rs.Field(name);
  return v.IsNull() ? std::string() : v.ToText();
}
}  // namespace

UDT_LOGIN_CREDENTIALS frmSQLServerExplorer::EmptyCredentials() {
  UDT_LOGIN_CREDENTIALS empty;
  empty.enumLoginAuthenticationType = static_cast<ENU_LOGIN_AUTHENTICATION_TYPES>(0);
  return empty;
}

frmSQLServerExplorer::frmSQLServerExplorer(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("frmSQLServerExplorer"));
  setWindowTitle(QStringLiteral("SQL Server Explorer"));
  loginCredentials_ = typEmptyLoginCredentials_;
  BuildControls();
  BuildMenus();
}

frmSQLServerExplorer::~frmSQLServerExplorer() = default;

void frmSQLServerExplorer::BuildControls() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  asz_ = new QSplitter(Qt::Horizontal, this);
  asz_->setObjectName(QStringLiteral("aszSQLServerExplorer"));
  asz_->setChildrenCollapsible(false);
  layout->addWidget(asz_);

  tvw_ = new QTreeWidget(asz_);
  tvw_->setObjectName(QStringLiteral("tvwSQLServerExplorer"));
  // The tree's display: no header, lines to the root, one row height.
  tvw_->setHeaderHidden(true);
  tvw_->setRootIsDecorated(true);
  tvw_->setUniformRowHeights(true);
  tvw_->setExpandsOnDoubleClick(true);
  tvw_->setContextMenuPolicy(Qt::DefaultContextMenu);

  auto* lists = new QSplitter(Qt::Vertical, asz_);
  lists->setObjectName(QStringLiteral("aszDatabaseObjects"));
  lists->setChildrenCollapsible(false);
  txtDatabaseObjects_ = new QLabel(QStringLiteral("Database Objects"));
  txtDatabaseObjects_->setObjectName(QStringLiteral("txtDatabaseObjects"));
  txtEncryptedDatabaseObjects_ = new QLabel(QStringLiteral("Encrypted Database Objects"));
  txtEncryptedDatabaseObjects_->setObjectName(QStringLiteral("txtEncryptedDatabaseObjects"));
  lvwObjects_ = NewList("lvwObjects", lists);
  lvwEncryptedObjects_ = NewList("lvwEncryptedObjects", lists);
  lists->addWidget(NewPane("paneDatabaseObjects", txtDatabaseObjects_, lvwObjects_, lists));
  auto* encrypted = new QSplitter(Qt::Vertical, lists);
  encrypted->setObjectName(QStringLiteral("aszEncryptedDatabaseObjects"));
  encrypted->addWidget(NewPane("paneEncryptedDatabaseObjects", txtEncryptedDatabaseObjects_, lvwEncryptedObjects_,
                               encrypted));
  lists->addWidget(encrypted);
  asz_->addWidget(tvw_);
  asz_->addWidget(lists);
  asz_->setStretchFactor(0, 1);
  asz_->setStretchFactor(1, 3);
  asz_->setSizes({260, 780});

  tvw_->installEventFilter(this);
  tvw_->viewport()->installEventFilter(this);
  for (QTreeWidget* list : {lvwObjects_, lvwEncryptedObjects_}) {
    list->installEventFilter(this);
    list->viewport()->installEventFilter(this);
  }
  connect(tvw_, &QTreeWidget::itemExpanded, this, &frmSQLServerExplorer::OnItemExpanded);
  connect(lvwObjects_->header(), &QHeaderView::sectionClicked, this,
          [this](int column) { lvwObjects_ColumnClick(column); });
  connect(lvwEncryptedObjects_->header(), &QHeaderView::sectionClicked, this,
          [this](int column) { lvwEncryptedObjects_ColumnClick(column); });
  connect(lvwObjects_, &QTreeWidget::itemDoubleClicked, this, [this] { lvwObjects_DblClick(); });
  connect(lvwEncryptedObjects_, &QTreeWidget::itemDoubleClicked, this, [this] { lvwEncryptedObjects_DblClick(); });
  resize(1040, 600);
}

CVexilon& frmSQLServerExplorer::Vexilon() const { return *vexilon_; }

QMenu* frmSQLServerExplorer::Band(const QString& name) const {
  auto it = bands_.find(name);
  return it == bands_.end() ? nullptr : it->second;
}

QAction* frmSQLServerExplorer::ExplorerTool(const QString& name) const {
  for (const auto& [band, menu] : bands_)
    for (QAction* action : menu->actions())
      if (action->objectName() == name) return action;
  return nullptr;
}

void frmSQLServerExplorer::FillfrmSQLServerExplorer() {
  VX_TRY
    vx::app::SetScreenMousePointer(vx::app::vbHourglass);
    vexilon_ = vx::app::NewEngine();
    QTreeWidgetItem* root = AddNode(nullptr, QStringLiteral("E"), QStringLiteral("SQL Servers"), QStringLiteral("E"));
    root->setExpanded(true);
    CVexilon::Recordset rs = vexilon_->GetSQLServers();
    if (rs.IsEOF()) {
      frmServerRegistration dialog(this);
      vx::app::SetScreenMousePointer(vx::app::vbDefault);
      vx::app::ShowModal(dialog);
      if (dialog.Dirty()) {
        asz_->setFocus();
        vx::app::SetWidgetMousePointer(asz_, vx::app::vbArrowHourglass);
        UDT_LOGIN_CREDENTIALS c;
        c.strSQLServerName = dialog.ServerName().toStdString();
        c.enumLoginAuthenticationType = dialog.LoginAuthenticationType();
        c.strUserName = dialog.Username().toStdString();
        c.strPassword = dialog.Password().toStdString();
        if (vexilon_->RegisterSQLServer(c.strSQLServerName, c.enumLoginAuthenticationType, c.strUserName,
                                        c.strPassword) != vx::kFalse) {
          loginCredentials_ = c;
          AddServerNode(c);
        }
        vx::app::SetScreenMousePointer(vx::app::vbDefault);
        vx::app::SetWidgetMousePointer(asz_, vx::app::vbDefault);
      }
    } else {
      for (; !rs.IsEOF(); rs.MoveNext()) {
        UDT_LOGIN_CREDENTIALS c;
        c.strSQLServerName = FieldText(rs, "SQLServerName");
        c.enumLoginAuthenticationType =
            static_cast<ENU_LOGIN_AUTHENTICATION_TYPES>(rs.Field("LoginAuthenticationType").ToLong());
        c.strUserName = FieldText(rs, "UserName");
        c.strPassword = FieldText(rs, "Password");
        AddServerNode(c);
      }
    }
    rs.Close();
    vx::app::SetScreenMousePointer(vx::app::vbDefault);
  VX_CATCH("frmSQLServerExplorer", "FillfrmVexilon.SQLServerExplorer")
}

void frmSQLServerExplorer::Form_Activate() {
  VX_TRY
    if (MainWindow())
      if (QAction* tool = MainWindow()->Tool(QStringLiteral("miFiRegisterSQLServer"))) tool->setEnabled(true);
  VX_CATCH("frmSQLServerExplorer", "Form_Activate")
}

void frmSQLServerExplorer::Form_Deactivate() {
  VX_TRY
    if (MainWindow())
      if (QAction* tool = MainWindow()->Tool(QStringLiteral("miFiRegisterSQLServer"))) tool->setEnabled(false);
  VX_CATCH("frmSQLServerExplorer", "Form_Deactivate")
}

void frmSQLServerExplorer::Form_Unload() {
  VX_TRY
    statusText_.clear();
    statusVisible_ = false;
    if (frmApplication* main = MainWindow()) {
      if (QAction* tool = main->Tool(QStringLiteral("miFiRegisterSQLServer"))) tool->setEnabled(false);
      main->SetStatusText(QString());
      main->SetStatusVisible(false);
      if (main->Explorer() == this) main->SetExplorer(nullptr);
    }
  VX_CATCH("frmSQLServerExplorer", "Form_Unload")
}

void frmSQLServerExplorer::closeEvent(QCloseEvent* event) {
  Form_Unload();
  event->accept();
}

void frmSQLServerExplorer::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange) {
    if (isActiveWindow())
      Form_Activate();
    else
      Form_Deactivate();
  }
  QWidget::changeEvent(event);
}

bool frmSQLServerExplorer::eventFilter(QObject* watched, QEvent* event) {
  if (watched == tvw_ || watched == tvw_->viewport()) {
    if (TreeEvent(event)) return true;
  } else if (watched == lvwObjects_ || watched == lvwObjects_->viewport()) {
    if (ListEvent(lvwObjects_, event)) return true;
  } else if (watched == lvwEncryptedObjects_ || watched == lvwEncryptedObjects_->viewport()) {
    if (ListEvent(lvwEncryptedObjects_, event)) return true;
  }
  return QWidget::eventFilter(watched, event);
}

void frmSQLServerExplorer::EnterBusy() {
  tvw_->setEnabled(false);
  asz_->setFocus();
  vx::app::SetWidgetMousePointer(asz_, vx::app::vbArrowHourglass);
  vx::app::SetScreenMousePointer(vx::app::vbHourglass);
}

void frmSQLServerExplorer::LeaveBusy() {
  vx::app::SetScreenMousePointer(vx::app::vbDefault);
  vx::app::SetWidgetMousePointer(asz_, vx::app::vbDefault);
  tvw_->setEnabled(true);
  vx::app::DoEvents();
  tvw_->setFocus();
}

void frmSQLServerExplorer::HideStatus() {
  statusVisible_ = false;
  if (MainWindow()) MainWindow()->SetStatusVisible(false);
}

void frmSQLServerExplorer::WriteFolderStatus(const QString& label) {
  const int encrypted = lvwEncryptedObjects_->topLevelItemCount();
  statusText_ = label + QString::number(lvwObjects_->topLevelItemCount() + encrypted) + QStringLiteral(" items (") +
                QString::number(encrypted) + QStringLiteral(" encrypted)");
  statusVisible_ = true;
  if (MainWindow()) {
    MainWindow()->SetStatusVisible(true);
    MainWindow()->SetStatusText(statusText_);
  }
}

bool frmSQLServerExplorer::IsConnectionLost() {
  try {
    throw;
  } catch (const vx::ComError& e) {
    return e.Number() == vx::err::kServerConnection;
  } catch (...) {
    return false;
  }
}

bool frmSQLServerExplorer::HandleConnectionLost() {
  if (!IsConnectionLost()) return false;
  QString name;
  if (vexilon_)
    if (auto server = vexilon_->GetSQLServer()) name = QString::fromStdString(server->Name());
  QTreeWidgetItem* node = NodeByKey(QStringLiteral("S") + name);
  if (!node) node = NodeByKey(QStringLiteral("I") + name);
  if (node) SQLServerConnectionBroken(node);
  return true;
}
