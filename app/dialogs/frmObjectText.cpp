#include "dialogs/frmObjectText.h"

#include <QLineEdit>
#include <QPushButton>
#include <Qsci/qsciscintilla.h>

#include "basErrorReports.h"
#include "basScreen.h"
#include "dialogs/ViewerLayout.h"
#include "dialogs/basSyntaxLexer.h"

frmObjectText::frmObjectText(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmObjectText"));
  vx::app::ViewerLayout layout = vx::app::BuildViewer(*this, QStringLiteral("Database Object"),
                                                      QStringLiteral("Properties"));
  txtObjectName = vx::app::AddPropertyBox(layout, QStringLiteral("lblName"), QStringLiteral("Name:"),
                                          QStringLiteral("txtObjectName"));
  txtOwner = vx::app::AddPropertyBox(layout, QStringLiteral("lblOwner"), QStringLiteral("Owner:"),
                                     QStringLiteral("txtOwner"));
  txtCreateDate = vx::app::AddPropertyBox(layout, QStringLiteral("lblDateTime"), QStringLiteral("Date Created:"),
                                          QStringLiteral("txtCreateDate"));
  vx::app::AddEditor(layout, QStringLiteral("lblText"));
  editor_ = layout.editor;
  vx::app::ConnectViewerButtons(*this, layout, QStringLiteral("The text was copied to the clipboard."), "frmObjectText");
}

frmObjectText::~frmObjectText() = default;

void frmObjectText::FillfrmObjectText() {
  VX_TRY
    vx::app::SetScreenMousePointer(vx::app::vbHourglass);
    vx::app::SetUpTsqlEditor(*editor_, script_);
    vx::app::SetScreenMousePointer(vx::app::vbDefault);
  VX_CATCH("frmObjectText", "FillfrmObjectText")
}
