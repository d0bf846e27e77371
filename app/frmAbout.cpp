#include "frmAbout.h"

#include "basUtilities.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "basAppTexts.h"
#include "basErrorReports.h"
#include "vexilon_global/CGlobal.h"

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmAbout"));
  vx::app::EnsureResources();
  setWindowTitle(QStringLiteral("About Vexilon"));
  auto* picture = new QLabel(this);
  picture->setObjectName(QStringLiteral("imgAbout"));
  picture->setPixmap(QIcon(QStringLiteral(":/vexilon/vexilon.svg")).pixmap(64, 64));
  picture->setAlignment(Qt::AlignTop);

  auto* frame = new QFrame(this);
  frame->setObjectName(QStringLiteral("Frame1"));
  frame->setFrameShape(QFrame::StyledPanel);
  auto* title = new QLabel(QString::fromLatin1(vx::app::kApplicationInfo), frame);
  QFont bold = title->font();
  bold.setBold(true);
  title->setFont(bold);
  lblVersionInfo_ = new QLabel(frame);
  lblVersionInfo_->setObjectName(QStringLiteral("lblVersionInfo"));
  lblSystemInfo_ = new QLabel(frame);
  lblSystemInfo_->setObjectName(QStringLiteral("lblSystemInfo"));
  lblSystemInfo_->setWordWrap(true);
  auto* inFrame = new QVBoxLayout(frame);
  inFrame->addWidget(title);
  inFrame->addWidget(lblVersionInfo_);
  inFrame->addWidget(lblSystemInfo_);
  inFrame->addStretch(1);

  auto* top = new QHBoxLayout;
  top->addWidget(picture);
  top->addWidget(frame, 1);
  auto* cmdOK = new QPushButton(QStringLiteral("OK"), this);
  cmdOK->setObjectName(QStringLiteral("cmdOK"));
  cmdOK->setDefault(true);
  connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cmdOK);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(buttons);
  resize(420, 200);
  Form_Load();
}

frmAbout::~frmAbout() = default;

void frmAbout::Form_Load() {
  VX_TRY
    lblVersionInfo_->setText(QStringLiteral("v") + QString::fromStdString(CGlobal::Instance().VersionInfo()));
    lblSystemInfo_->setText(QString::fromStdString(CGlobal::Instance().SystemInfo()));
  VX_CATCH("frmAbout", "Form_Load")
}

void frmAbout::cmdOK_Click() {
  VX_TRY
    accept();
  VX_CATCH("frmAbout", "cmdOK_Click")
}
