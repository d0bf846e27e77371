#include "dialogs/frmEncryptedObjectText.h"

#include <QLineEdit>
#include <QPushButton>
#include <Qsci/qsciscintilla.h>

#include "basErrorReports.h"
#include "basScreen.h"
#include "dialogs/ViewerLayout.h"
#include "dialogs/basSyntaxLexer.h"

frmEncryptedObjectText::frmEncryptedObjectText(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmEncryptedObjectText"));
  vx::app::ViewerLayout layout = vx::app::BuildViewer(*this, QStringLiteral("Encrypted Database Object"),
                                                      QStringLiteral("Properties"));
  txtObjectName = vx::app::AddPropertyBox(layout, QStringLiteral("lblName"), QStringLiteral("Name:"),
                                          QStringLiteral("txtObjectName"));
  txtOwner = vx::app::AddPropertyBox(layout, QStringLiteral("lblOwner"), QStringLiteral("Owner:"),
                                     QStringLiteral("txtOwner"));
  txtCreateDate = vx::app::AddPropertyBox(layout, QStringLiteral("lblDateTime"), QStringLiteral("Date Created:"),
                                          QStringLiteral("txtCreateDate"));
  txtArchived = vx::app::AddPropertyBox(layout, QStringLiteral("lblArchived"), QStringLiteral("Archived:"),
                                        QStringLiteral("txtArchived"));
  txtArchivedDate = vx::app::AddPropertyBox(layout, QStringLiteral("lblDateArchived"),
                                            QStringLiteral("Date Archived:"), QStringLiteral("txtArchivedDate"));
  txtArchivedVersion = vx::app::AddPropertyBox(layout, QStringLiteral("lblArchivedVersion"),
                                               QStringLiteral("Archived Version:"),
                                               QStringLiteral("txtArchivedVersion"));
  vx::app::AddEditor(layout, QStringLiteral("lblText"));
  editor_ = layout.editor;
  vx::app::ConnectViewerButtons(*this, layout, QStringLiteral("The text was copied to the clipboard."), "frmEncryptedObjectText");
}

frmEncryptedObjectText::~frmEncryptedObjectText() = default;

void frmEncryptedObjectText::FillfrmEncryptedObjectText() {
  VX_TRY
    vx::app::SetScreenMousePointer(vx::app::vbHourglass);
    vx::app::SetUpTsqlEditor(*editor_, script_);
    vx::app::SetScreenMousePointer(vx::app::vbDefault);
  VX_CATCH("frmEncryptedObjectText", "FillfrmEncryptedObjectText")
}
