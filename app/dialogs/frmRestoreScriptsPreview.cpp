#include "dialogs/frmRestoreScriptsPreview.h"

#include <QPushButton>
#include <Qsci/qsciscintilla.h>

#include "basErrorReports.h"
#include "basScreen.h"
#include "dialogs/ViewerLayout.h"
#include "dialogs/basSyntaxLexer.h"

frmRestoreScriptsPreview::frmRestoreScriptsPreview(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmRestoreScriptsPreview"));
  vx::app::ViewerLayout layout = vx::app::BuildViewer(*this, QStringLiteral("Restore Scripts Preview"),
                                                      QStringLiteral("Text"));
  vx::app::AddEditor(layout, QString());
  editor_ = layout.editor;
  vx::app::ConnectViewerButtons(*this, layout, QStringLiteral("The script was copied to the clipboard."), "frmRestoreScriptsPreview");
}

frmRestoreScriptsPreview::~frmRestoreScriptsPreview() = default;

void frmRestoreScriptsPreview::FillfrmRestoreScriptsPreview() {
  VX_TRY
    vx::app::SetScreenMousePointer(vx::app::vbHourglass);
    vx::app::SetUpTsqlEditor(*editor_, script_);
    vx::app::SetScreenMousePointer(vx::app::vbDefault);
  VX_CATCH("frmRestoreScriptsPreview", "FillfrmRestoreScriptsPreview")
}
