// Placeholder until this window is built.
#include "dialogs/frmServerRegistration.h"


frmServerRegistration::frmServerRegistration(QWidget* parent) : QDialog(parent) { setObjectName(QStringLiteral("frmServerRegistration")); }
frmServerRegistration::~frmServerRegistration() = default;
void frmServerRegistration::FillfrmServerRegistration() {}
