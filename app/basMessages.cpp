#include "basMessages.h"

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace vx::app {

namespace {
DialogScript* g_script = nullptr;

QMessageBox::Icon IconOf(int style) {
  switch (style & 0x70) {
    case vbCritical: return QMessageBox::Critical;
    case vbQuestion: return QMessageBox::Question;
    case vbExclamation: return QMessageBox::Warning;
    case vbInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

int DefaultAnswer(int style) {
  const bool second = (style & vbDefaultButton2) != 0;
  switch (style & 0x7) {
    case vbOKCancel: return second ? vbCancel : vbOK;
    case vbYesNo: return second ? vbNo : vbYes;
    default: return vbOK;
  }
}
}  // namespace

void SetDialogScript(DialogScript* script) { g_script = script; }
DialogScript* CurrentDialogScript() { return g_script; }

int MsgBox(const QString& prompt, int style, QWidget* parent) {
  if (g_script) return g_script->msgBox ? g_script->msgBox(prompt, style) : DefaultAnswer(style);
  QMessageBox box(IconOf(style), QString::fromLatin1(kAppTitle), prompt, QMessageBox::NoButton, parent);
  QPushButton* first = nullptr;
  QPushButton* second = nullptr;
  switch (style & 0x7) {
    case vbOKCancel:
      first = box.addButton(QMessageBox::Ok);
      second = box.addButton(QMessageBox::Cancel);
      break;
    case vbYesNo:
      first = box.addButton(QMessageBox::Yes);
      second = box.addButton(QMessageBox::No);
      break;
    default:
      first = box.addButton(QMessageBox::Ok);
      break;
  }
  box.setDefaultButton((style & vbDefaultButton2) && second ? second : first);
  box.setEscapeButton(second ? second : first);
  box.exec();
  const auto* clicked = box.clickedButton();
  switch (style & 0x7) {
    case vbOKCancel: return clicked == first ? vbOK : vbCancel;
    case vbYesNo: return clicked == first ? vbYes : vbNo;
    default: return vbOK;
  }
}

QString SaveAsStartFolder() { return QDir::homePath(); }

QString SaveAsDialog(const SaveAsRequest& request) {
  if (g_script) return g_script->saveAs ? g_script->saveAs(request) : QString();
  QFileDialog dialog(request.owner, request.title,
                     QDir(request.startFolder).filePath(request.defaultName), request.filter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(request.defaultExt);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().constFirst();
}

int ShowModal(QDialog& dialog) {
  if (g_script) return g_script->showModal ? g_script->showModal(dialog) : 0;
  return dialog.exec();
}

}  // namespace vx::app
