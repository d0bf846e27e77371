#include "frmErrorWarning.h"

#include "basUtilities.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "CErrorReports.h"
#include "automation/ComError.h"
#include "basAppTexts.h"
#include "basMessages.h"
#include "basScreen.h"
#include "frmErrorMessage.h"

namespace {
const char* const kLead = "Please click";
}

frmErrorWarning::frmErrorWarning(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmErrorWarning"));
  vx::app::EnsureResources();
  setWindowTitle(QStringLiteral("Application Error"));
  setFont(QFont(QStringLiteral("Tahoma"), font().pointSize()));

  auto* picture = new QLabel(this);
  picture->setObjectName(QStringLiteral("imgError"));
  picture->setPixmap(QIcon(QStringLiteral(":/vexilon/error.svg")).pixmap(48, 48));
  picture->setAlignment(Qt::AlignTop);

  auto* label1 = new QLabel(QStringLiteral("An application error has occured."), this);
  label1->setObjectName(QStringLiteral("Label1"));
  QFont bold = label1->font();
  bold.setBold(true);
  label1->setFont(bold);

  label2_ = new QLabel(QString::fromLatin1(kLead) + QString(35, QLatin1Char(' ')) +
                           QStringLiteral("if you wish to send the error details to Morvane. This will allow Morvane "
                                          "to fix the error more quickly. Only error details and general system "
                                          "details are submitted. The details are transmitted securely over the web. "),
                       this);
  label2_->setObjectName(QStringLiteral("Label2"));
  label2_->setTextFormat(Qt::PlainText);
  label2_->setWordWrap(true);
  label2_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label2_->setMinimumHeight(QFontMetrics(label2_->font()).lineSpacing() * 5);
  // "Notify Morvane" sits in the run of blanks after "Please click".
  label3_ = new QLabel(QStringLiteral("Notify Morvane"), label2_);
  label3_->setObjectName(QStringLiteral("Label3"));
  label3_->setFont(bold);

  auto* text = new QVBoxLayout;
  text->addWidget(label1);
  text->addWidget(label2_);
  auto* top = new QHBoxLayout;
  top->addWidget(picture);
  top->addLayout(text, 1);

  auto* cmdNotify = new QPushButton(QStringLiteral("&Notify Morvane"), this);
  cmdNotify->setObjectName(QStringLiteral("cmdNotify"));
  cmdNotify->setToolTip(QStringLiteral("Notify Morvane of error"));
  auto* cmdViewError = new QPushButton(QStringLiteral("&View Error"), this);
  cmdViewError->setObjectName(QStringLiteral("cmdViewError"));
  cmdViewError->setToolTip(QStringLiteral("View error details"));
  auto* cmdAbort = new QPushButton(QStringLiteral("&Abort"), this);
  cmdAbort->setObjectName(QStringLiteral("cmdAbort"));
  cmdAbort->setToolTip(QStringLiteral("Abort current task and exit Vexilon"));
  for (auto* b : {cmdNotify, cmdViewError, cmdAbort}) b->setAutoDefault(false);
  cmdNotify->setDefault(true);
  connect(cmdNotify, &QPushButton::clicked, this, &frmErrorWarning::cmdNotify_Click);
  connect(cmdViewError, &QPushButton::clicked, this, &frmErrorWarning::cmdViewError_Click);
  connect(cmdAbort, &QPushButton::clicked, this, &frmErrorWarning::cmdAbort_Click);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cmdNotify);
  buttons->addWidget(cmdViewError);
  buttons->addWidget(cmdAbort);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(buttons);
  resize(440, 190);
}

frmErrorWarning::~frmErrorWarning() = default;

void frmErrorWarning::PlaceNotifyLabel() {
  const QRect area = label2_->contentsRect();
  label3_->adjustSize();
  label3_->move(area.left() + QFontMetrics(label2_->font()).horizontalAdvance(QString::fromLatin1(kLead) + QLatin1Char(' ')),
                area.top());
}

void frmErrorWarning::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  PlaceNotifyLabel();
}

void frmErrorWarning::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  PlaceNotifyLabel();
}

void frmErrorWarning::cmdNotify_Click() {
  using namespace vx::app;
  int32_t reference = 0;
  SetScreenMousePointer(vbHourglass);
  try {
    CErrorReports reports;
    reference = reports.SubmitErrorReport(errorMessage_);
  } catch (...) {
    SetScreenMousePointer(vbDefault);
    MsgBox(QStringLiteral("Unable to notify Morvane.\n\nPlease make sure you are connected to the Internet before "
                          "clicking notify. If it still fails, please e-mail the error details with your name and "
                          "organisation to ") +
               QString::fromLatin1(kSupportEmail) + QLatin1Char('.'),
           vbExclamation, this);
    return;  // back at the error window
  }
  SetScreenMousePointer(vbDefault);
  if (reference > 0)
    MsgBox(QStringLiteral("Morvane has been notified and the error details have been submitted.\r\n\r\nPlease take a "
                          "note of your error report reference: ") +
               QString::number(reference),
           vbInformation, this);
  accept();
}

void frmErrorWarning::cmdViewError_Click() {
  frmErrorMessage message(this);
  message.SetErrorText(errorMessage_);
  message.txtErrorMessage()->setReadOnly(true);
  vx::app::ShowModal(message);
}

void frmErrorWarning::cmdAbort_Click() { reject(); }
