// Empty commands until the explorer's command files arrive.
#include "explorer/frmSQLServerExplorer.h"

void frmSQLServerExplorer::acbSQLServerExplorer_ToolClick(const QString&) {}
void frmSQLServerExplorer::EncryptSelected() {}
void frmSQLServerExplorer::RestoreSelected() {}
bool frmSQLServerExplorer::EncryptAllDatabaseObjects(int32_t) { return false; }
bool frmSQLServerExplorer::RestoreAllDatabaseObjects(int32_t) { return false; }
