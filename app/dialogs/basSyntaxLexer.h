#pragma once
// The set-up the three T-SQL viewers share: the editor with the T-SQL colouring
// and its read-only keyboard, loading a text, and copying all of it.
#include <QString>

class QsciScintilla;
class QWidget;

namespace vx::app {

// A new read-only T-SQL editor (objectName "cdsCode") with no text yet.
QsciScintilla* NewTsqlEditor(QWidget* parent);
// Gives the editor the T-SQL language, its colours and font (again on every
// call), then shows `script` with its line ends as they are, read-only.
void SetUpTsqlEditor(QsciScintilla& editor, const QString& script);
// The viewer's keyboard: Ctrl+A selects all, and the editing commands lose
// their shortcuts, so Return, Escape and Tab reach the window (its default
// button and Cancel) and nothing types into the text. Safe to call again.
void ConfigureEditorHotKeys(QsciScintilla& editor);
// Clears the clipboard, puts the editor's whole text on it (line ends kept)
// and shows `message` (style 64).
void CopyEditorText(QsciScintilla& editor, const QString& message, QWidget* parent);

}  // namespace vx::app
