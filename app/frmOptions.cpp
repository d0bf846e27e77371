// Placeholder until the options window is built.
#include "frmOptions.h"

frmOptions::frmOptions(QWidget* parent) : QDialog(parent) { setObjectName(QStringLiteral("frmOptions")); }
frmOptions::~frmOptions() = default;
void frmOptions::FillfrmOptions() {}
