#include "frmErrorMessage.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "basMessages.h"
#include "basScreen.h"

frmErrorMessage::frmErrorMessage(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmErrorMessage"));
  setWindowTitle(QStringLiteral("Error Message"));
  txt_ = new QPlainTextEdit(this);
  txt_->setObjectName(QStringLiteral("txtErrorMessage"));
  txt_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  auto* cmdCopy = new QPushButton(QStringLiteral("Co&py"), this);
  cmdCopy->setObjectName(QStringLiteral("cmdCopy"));
  auto* cmdClose = new QPushButton(QStringLiteral("&Close"), this);
  cmdClose->setObjectName(QStringLiteral("cmdClose"));
  cmdClose->setDefault(true);
  connect(cmdCopy, &QPushButton::clicked, this, &frmErrorMessage::cmdCopy_Click);
  connect(cmdClose, &QPushButton::clicked, this, &frmErrorMessage::cmdClose_Click);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cmdCopy);
  buttons->addWidget(cmdClose);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(txt_, 1);
  layout->addLayout(buttons);
  resize(480, 260);
}

frmErrorMessage::~frmErrorMessage() = default;

void frmErrorMessage::SetErrorText(const QString& text) {
  text_ = text;
  txt_->setPlainText(text);
}

void frmErrorMessage::cmdCopy_Click() {
  using namespace vx::app;
  SetScreenMousePointer(vbHourglass);
  QClipboard* clipboard = QApplication::clipboard();
  clipboard->clear();
  clipboard->setText(text_);
  MsgBox(QStringLiteral("The error message was copied to the clipboard."), vbInformation, this);
  SetScreenMousePointer(vbDefault);
}

void frmErrorMessage::cmdClose_Click() { reject(); }
