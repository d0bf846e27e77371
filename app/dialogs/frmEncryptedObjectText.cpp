// Placeholder until this window is built.
#include "dialogs/frmEncryptedObjectText.h"


frmEncryptedObjectText::frmEncryptedObjectText(QWidget* parent) : QDialog(parent) { setObjectName(QStringLiteral("frmEncryptedObjectText")); }
frmEncryptedObjectText::~frmEncryptedObjectText() = default;
void frmEncryptedObjectText::FillfrmEncryptedObjectText() {}
