#pragma once
// The layout the three T-SQL viewers share: a tab page of read-only property
// boxes over the editor, and the Copy and Close buttons.
#include <QString>

class QDialog;
class QGridLayout;
class QLineEdit;
class QPushButton;
class QsciScintilla;
class QWidget;

namespace vx::app {

struct ViewerLayout {
  QWidget* page = nullptr;         // the one tab page
  QGridLayout* grid = nullptr;     // property rows, then the editor
  QsciScintilla* editor = nullptr;
  QPushButton* cmdCopy = nullptr;
  QPushButton* cmdClose = nullptr;
  int rows = 0;
};

// Builds the window: tab control tabObjectText with one page named pageCaption,
// the buttons "Co&py" and "&Close" (Close the default button).
ViewerLayout BuildViewer(QDialog& dialog, const QString& caption, const QString& pageCaption);
// A read-only property box with its label, in the next row.
QLineEdit* AddPropertyBox(ViewerLayout& layout, const QString& labelName, const QString& label,
                          const QString& boxName);
// The editor in the next row, with the label "Text:" when labelName is given.
void AddEditor(ViewerLayout& layout, const QString& labelName);
// Copy puts the editor's whole text on the clipboard and says `copied`; Close
// closes the window. Errors are reported with the window's name `object`.
void ConnectViewerButtons(QDialog& dialog, const ViewerLayout& layout, const QString& copied, const char* object);

}  // namespace vx::app
