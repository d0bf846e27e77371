#include "dialogs/basSyntaxLexer.h"

#include <QApplication>
#include <QClipboard>
#include <Qsci/qscicommand.h>
#include <Qsci/qscicommandset.h>
#include <Qsci/qsciscintilla.h>

#include "basMessages.h"
#include "basScreen.h"
#include "dialogs/TsqlLexer.h"

namespace vx::app {
namespace {

// The commands a read-only viewer takes the shortcuts from, with how many of
// their shortcuts go (1 the first, 2 the first and the alternate one).
struct Removal {
  QsciCommand::Command command;
  int shortcuts;
};
constexpr Removal kRemovals[] = {
    {QsciCommand::Delete, 1},           {QsciCommand::DeleteBack, 2},
    {QsciCommand::DeleteBackNotLine, 1}, {QsciCommand::DeleteWordLeft, 1},
    {QsciCommand::DeleteWordRight, 1},  {QsciCommand::DeleteWordRightEnd, 1},
    {QsciCommand::DeleteLineLeft, 1},   {QsciCommand::DeleteLineRight, 1},
    {QsciCommand::LineDelete, 1},       {QsciCommand::LineCut, 1},
    {QsciCommand::LineTranspose, 1},    {QsciCommand::LineDuplicate, 1},
    {QsciCommand::MoveSelectedLinesUp, 1}, {QsciCommand::MoveSelectedLinesDown, 1},
    {QsciCommand::SelectionDuplicate, 1}, {QsciCommand::SelectionLowerCase, 1},
    {QsciCommand::SelectionUpperCase, 1}, {QsciCommand::SelectionCut, 2},
    {QsciCommand::Paste, 2},            {QsciCommand::EditToggleOvertype, 1},
    {QsciCommand::Newline, 2},          {QsciCommand::Formfeed, 1},
    {QsciCommand::Tab, 1},              {QsciCommand::Backtab, 1},
    {QsciCommand::Cancel, 1},           {QsciCommand::Undo, 2},
    {QsciCommand::Redo, 2},             {QsciCommand::ReverseLines, 1},
};

}  // namespace

QsciScintilla* NewTsqlEditor(QWidget* parent) {
  auto* editor = new QsciScintilla(parent);
  editor->setObjectName(QStringLiteral("cdsCode"));
  editor->setUtf8(true);
  editor->setReadOnly(true);
  editor->setWrapMode(QsciScintilla::WrapNone);
  editor->setMarginWidth(1, 0);  // no symbol margin
  editor->setCaretLineVisible(false);
  editor->setFont(TsqlLexer::EditorFont());
  return editor;
}

void SetUpTsqlEditor(QsciScintilla& editor, const QString& script) {
  // A fresh language each time; the old one goes with its editor.
  auto* lexer = new TsqlLexer(&editor);
  QsciLexer* old = editor.lexer();
  editor.setLexer(lexer);
  if (old && old != lexer) old->deleteLater();
  editor.setReadOnly(false);
  editor.setText(script);
  editor.setReadOnly(true);
  editor.SendScintilla(QsciScintillaBase::SCI_EMPTYUNDOBUFFER);
  // Shortcut changes never stop a viewer from opening.
  try {
    ConfigureEditorHotKeys(editor);
  } catch (...) {
  }
}

void ConfigureEditorHotKeys(QsciScintilla& editor) {
  QsciCommandSet* commands = editor.standardCommands();
  if (QsciCommand* selectAll = commands->find(QsciCommand::SelectAll)) {
    selectAll->setKey(static_cast<int>(Qt::CTRL) | static_cast<int>(Qt::Key_A));
  }
  for (const Removal& removal : kRemovals) {
    QsciCommand* command = commands->find(removal.command);
    if (!command) continue;
    command->setKey(0);
    if (removal.shortcuts > 1) command->setAlternateKey(0);
  }
}

void CopyEditorText(QsciScintilla& editor, const QString& message, QWidget* parent) {
  SetScreenMousePointer(vbHourglass);
  QClipboard* clipboard = QApplication::clipboard();
  clipboard->clear();
  clipboard->setText(editor.text());
  SetScreenMousePointer(vbDefault);
  MsgBox(message, vbInformation, parent);
}

}  // namespace vx::app
