// Placeholder until this window is built.
#include "dialogs/frmObjectText.h"


frmObjectText::frmObjectText(QWidget* parent) : QDialog(parent) { setObjectName(QStringLiteral("frmObjectText")); }
frmObjectText::~frmObjectText() = default;
void frmObjectText::FillfrmObjectText() {}
