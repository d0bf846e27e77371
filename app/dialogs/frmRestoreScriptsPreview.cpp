// Placeholder until this window is built.
#include "dialogs/frmRestoreScriptsPreview.h"


frmRestoreScriptsPreview::frmRestoreScriptsPreview(QWidget* parent) : QDialog(parent) { setObjectName(QStringLiteral("frmRestoreScriptsPreview")); }
frmRestoreScriptsPreview::~frmRestoreScriptsPreview() = default;
void frmRestoreScriptsPreview::FillfrmRestoreScriptsPreview() {}
