// Placeholder until this window is built.
#include "dialogs/frmLog.h"
#include "vexilon_lib/CVexilon.h"

frmLog::frmLog(QWidget* parent) : QDialog(parent) { setObjectName(QStringLiteral("frmLog")); }
frmLog::~frmLog() = default;
void frmLog::FillfrmLog() {}
