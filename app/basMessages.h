#pragma once
// Message boxes, Save As dialogs and modal windows go through this one seam, so
// that tests can answer them. The program shows real Qt dialogs; a test installs
// a DialogScript that records each request and answers it.
#include <functional>

#include <QString>

class QDialog;
class QWidget;

namespace vx::app {

// The application's title: the caption of every message box.
inline constexpr const char* kAppTitle = "Vexilon";

// Message box styles are the Windows flag values: icon 16 critical, 32 question,
// 48 exclamation, 64 information; buttons 0 OK, 1 OK and Cancel, 4 Yes and No;
// +256 makes the second button the default.
enum MsgBoxStyle : int {
  vbOKOnly = 0, vbOKCancel = 1, vbYesNo = 4,
  vbCritical = 16, vbQuestion = 32, vbExclamation = 48, vbInformation = 64,
  vbDefaultButton2 = 256,
};
// The button the user chose.
enum MsgBoxResult : int { vbOK = 1, vbCancel = 2, vbYes = 6, vbNo = 7 };

// Shows a message box titled "Vexilon" with the style's icon, buttons and
// default button; returns the button chosen (closing it counts as Cancel, or
// No for Yes/No, or OK for OK alone).
int MsgBox(const QString& prompt, int style = vbOKOnly, QWidget* parent = nullptr);

// A Save As request: title "Save As", one file type, the default file name and
// extension, the first folder; an existing file is confirmed before overwriting.
struct SaveAsRequest {
  QWidget* owner = nullptr;
  QString title = QStringLiteral("Save As");
  QString filter;        // e.g. "SQL Files (*.sql)"
  QString defaultName;   // e.g. "Vexilon Restore Script.sql"
  QString defaultExt;    // e.g. "sql"
  QString startFolder;   // see SaveAsStartFolder()
};
// The chosen path, or an empty text when the user cancelled.
QString SaveAsDialog(const SaveAsRequest& request);
// The folder every Save As dialog starts in: the user's home folder.
QString SaveAsStartFolder();

// Shows a window modally (QDialog::exec) and returns its result code.
int ShowModal(QDialog& dialog);

// The window a message box or modal window opens over: the visible window of
// `hint`, else the modal window in front, else the active window, else the main
// window while it is shown (nullptr when there is none: the screen's centre).
QWidget* OpenerOf(QWidget* hint);
// Puts a window that is about to be shown with its centre on the opener's (on
// the screen's when there is none), kept inside the screen.
void PlaceOver(QWidget& window, QWidget* opener);

// What a test puts in place of the real dialogs. Every hook that is empty falls
// back to a default answer (MsgBox: the default button; SaveAs: cancelled;
// ShowModal: the dialog is not shown and 0 is returned).
struct DialogScript {
  std::function<int(const QString& prompt, int style)> msgBox;
  std::function<QString(const SaveAsRequest& request)> saveAs;
  std::function<int(QDialog& dialog)> showModal;
  // Called with every message box and modal window once it is placed, before
  // it is answered (the message box is built only when this is set).
  std::function<void(QWidget& window, QWidget* opener)> placed;
};
// Installs a script (nullptr: the real dialogs again). Not owned.
void SetDialogScript(DialogScript* script);
DialogScript* CurrentDialogScript();

}  // namespace vx::app
