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
  connect(layout.cmdCopy, &QPushButton::clicked, this, [this] {
    VX_TRY
      vx::app::CopyEditorText(*editor_, QStringLiteral("The script was copied to the clipboard."), this);
    VX_CATCH("frmRestoreScriptsPreview", "cmdCopy_Click")
  });
  connect(layout.cmdClose, &QPushButton::clicked, this, [this] {
    VX_TRY
      reject();
    VX_CATCH("frmRestoreScriptsPreview", "cmdClose_Click")
  });
}

frmRestoreScriptsPreview::~frmRestoreScriptsPreview() = default;

void frmRestoreScriptsPreview::FillfrmRestoreScriptsPreview() {
  VX_TRY
    vx::app::SetScreenMousePointer(vx::app::vbHourglass);
    vx::app::SetUpTsqlEditor(*editor_, script_);
    vx::app::SetScreenMousePointer(vx::app::vbDefault);
  VX_CATCH("frmRestoreScriptsPreview", "FillfrmRestoreScriptsPreview")
}
