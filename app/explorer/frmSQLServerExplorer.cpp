// Placeholder until the explorer is built.
#include "explorer/frmSQLServerExplorer.h"

#include <QCloseEvent>

#include "vexilon_lib/CVexilon.h"

UDT_NODE_OBJECTS_CONTAINER typCurrentNodeObjectContainer;

UDT_LOGIN_CREDENTIALS frmSQLServerExplorer::EmptyCredentials() {
  UDT_LOGIN_CREDENTIALS empty;
  empty.enumLoginAuthenticationType = static_cast<ENU_LOGIN_AUTHENTICATION_TYPES>(0);
  return empty;
}
frmSQLServerExplorer::frmSQLServerExplorer(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("frmSQLServerExplorer"));
}
frmSQLServerExplorer::~frmSQLServerExplorer() = default;
CVexilon& frmSQLServerExplorer::Vexilon() const { return *vexilon_; }
void frmSQLServerExplorer::FillfrmSQLServerExplorer() {}
void frmSQLServerExplorer::closeEvent(QCloseEvent* event) { event->accept(); }
bool frmSQLServerExplorer::eventFilter(QObject* watched, QEvent* event) { return QWidget::eventFilter(watched, event); }
void frmSQLServerExplorer::changeEvent(QEvent* event) { QWidget::changeEvent(event); }
void frmSQLServerExplorer::ViewObject(QTreeWidgetItem*) {}
void frmSQLServerExplorer::ViewEncryptedObject(QTreeWidgetItem*) {}
QTreeWidgetItem* frmSQLServerExplorer::AddServerNode(const UDT_LOGIN_CREDENTIALS&) { return nullptr; }
