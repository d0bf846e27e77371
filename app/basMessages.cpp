#include "basMessages.h"

#include <algorithm>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include "frmApplication.h"

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

// A message box fixes its size as it is shown: it is placed again then.
class PlacedMessageBox : public QMessageBox {
 public:
  PlacedMessageBox(Icon icon, const QString& prompt, QWidget* opener)
      : QMessageBox(icon, QString::fromLatin1(kAppTitle), prompt, QMessageBox::NoButton, opener), opener_(opener) {}

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);
    PlaceOver(*this, opener_);
  }

 private:
  QWidget* opener_;
};

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

QWidget* OpenerOf(QWidget* hint) {
  if (hint && hint->window()->isVisible()) return hint->window();
  if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isVisible()) return modal;
  if (QWidget* active = QApplication::activeWindow(); active && active->isVisible()) return active;
  if (QWidget* main = MainWindow(); main && main->isVisible()) return main;
  return nullptr;
}

void PlaceOver(QWidget& window, QWidget* opener) {
  if (opener == &window) opener = nullptr;
  if (!window.testAttribute(Qt::WA_Resized)) window.adjustSize();
  QScreen* screen = opener ? opener->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  const QPoint centre = opener ? opener->frameGeometry().center() : area.center();
  // The window manager's frame is not known before the window is shown: the
  // opener's own frame stands in for it.
  QSize frameSize = window.size();
  if (opener && opener->isWindow())
    frameSize += opener->frameGeometry().size() - opener->geometry().size();
  QRect frame(QPoint(0, 0), frameSize);
  frame.moveCenter(centre);
  frame.moveLeft(std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width())));
  frame.moveTop(std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height())));
  window.move(frame.topLeft());
}

int MsgBox(const QString& prompt, int style, QWidget* parent) {
  if (g_script) {
    if (g_script->placed) {
      QWidget* opener = OpenerOf(parent);
      PlacedMessageBox box(IconOf(style), prompt, opener);
      box.addButton(QMessageBox::Ok);
      PlaceOver(box, opener);
      g_script->placed(box, opener);
    }
    return g_script->msgBox ? g_script->msgBox(prompt, style) : DefaultAnswer(style);
  }
  PlacedMessageBox box(IconOf(style), prompt, OpenerOf(parent));
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
  // Placed now, so the dialog's own placing on show leaves it where it is.
  QWidget* opener = OpenerOf(dialog.parentWidget());
  PlaceOver(dialog, opener);
  if (g_script) {
    if (g_script->placed) g_script->placed(dialog, opener);
    return g_script->showModal ? g_script->showModal(dialog) : 0;
  }
  return dialog.exec();
}

}  // namespace vx::app
