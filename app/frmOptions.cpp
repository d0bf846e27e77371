#include "frmOptions.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "basErrorReports.h"
#include "basMessages.h"
#include "vexilon_global/CGlobal.h"

namespace {

struct Option {
  const char* name;
  const char* caption;
  vx::VbBool (CGlobal::*get)() const;
  void (CGlobal::*let)(vx::VbBool);
};

const Option kOptions[] = {
    {"chkShowSystemDatabases", "Show System Databases", &CGlobal::ShowSystemDatabases, &CGlobal::ShowSystemDatabases},
    {"chkShowSystemObjects", "Show System Objects", &CGlobal::ShowSystemObjects, &CGlobal::ShowSystemObjects},
    {"chkGenerateCreateCommands", " Generate the CREATE command for each database object",
     &CGlobal::GenerateCreateCommands, &CGlobal::GenerateCreateCommands},
    {"chkGenerateDropCommands", " Generate the DROP command for each database object", &CGlobal::GenerateDropCommands,
     &CGlobal::GenerateDropCommands},
    {"chkIncludeHeaders", "Include descriptive headers in the database object script", &CGlobal::IncludeHeaders,
     &CGlobal::IncludeHeaders},
    {"chkArchiveEncryptedDatabaseObjects", "Archive encrypted database objects",
     &CGlobal::ArchiveEncryptedDatabaseObjects, &CGlobal::ArchiveEncryptedDatabaseObjects},
};

QFrame* Separator(QWidget* parent, const char* name) {
  auto* frame = new QFrame(parent);
  frame->setObjectName(QString::fromLatin1(name));
  frame->setFrameShape(QFrame::HLine);
  frame->setFrameShadow(QFrame::Sunken);
  return frame;
}

}  // namespace

frmOptions::frmOptions(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmOptions"));
  setWindowTitle(QStringLiteral("Options"));
  setFont(QFont(QStringLiteral("Tahoma"), font().pointSize()));
  auto* tabs = new QTabWidget(this);
  tabs->setObjectName(QStringLiteral("tabOptions"));
  auto* general = new QWidget(tabs);
  auto* page = new QVBoxLayout(general);
  int index = 0;
  for (const Option& o : kOptions) {
    auto* box = new QCheckBox(QString::fromLatin1(o.caption), general);
    box->setObjectName(QString::fromLatin1(o.name));
    page->addWidget(box);
    if (index == 1) page->addWidget(Separator(general, "Frame1"));
    if (index == 4) page->addWidget(Separator(general, "Frame2"));
    ++index;
  }
  page->addWidget(Separator(general, "Frame3"));
  page->addStretch(1);
  tabs->addTab(general, QStringLiteral("General"));
  connect(CheckBox(QStringLiteral("chkArchiveEncryptedDatabaseObjects")), &QCheckBox::clicked, this,
          &frmOptions::chkArchiveEncryptedDatabaseObjects_Click);

  auto* cmdOK = new QPushButton(QStringLiteral("OK"), this);
  cmdOK->setObjectName(QStringLiteral("cmdOK"));
  cmdOK->setDefault(true);
  auto* cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
  cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
  connect(cmdOK, &QPushButton::clicked, this, &frmOptions::cmdOK_Click);
  connect(cmdCancel, &QPushButton::clicked, this, &frmOptions::cmdCancel_Click);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cmdOK);
  buttons->addWidget(cmdCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs);
  layout->addLayout(buttons);
}

frmOptions::~frmOptions() = default;

QCheckBox* frmOptions::CheckBox(const QString& name) const { return findChild<QCheckBox*>(name); }

void frmOptions::FillfrmOptions() {
  VX_TRY
    CGlobal& global = CGlobal::Instance();
    for (const Option& o : kOptions)
      if ((global.*o.get)() != vx::kFalse) CheckBox(QString::fromLatin1(o.name))->setChecked(true);
  VX_CATCH("frmOptions", "FillfrmOptions")
}

void frmOptions::chkArchiveEncryptedDatabaseObjects_Click() {
  VX_TRY
    QCheckBox* box = CheckBox(QStringLiteral("chkArchiveEncryptedDatabaseObjects"));
    if (box->isChecked()) return;
    const int answer = vx::app::MsgBox(
        QStringLiteral("WARNING: Encrypting database objects without archiving them means that they cannot be "
                       "restored unless you have another valid copy of the database object script.\r\n\r\nAre you "
                       "sure you want to encrypt database objects without archiving them?"),
        vx::app::vbYesNo + vx::app::vbExclamation, this);
    if (answer == vx::app::vbNo) box->setChecked(true);
  VX_CATCH("frmOptions", "chkArchiveEncryptedDatabaseObjects_Click")
}

void frmOptions::cmdOK_Click() {
  VX_TRY
    CGlobal& global = CGlobal::Instance();
    for (const Option& o : kOptions)
      (global.*o.let)(vx::ToVb(CheckBox(QString::fromLatin1(o.name))->isChecked()));
    accept();
  VX_CATCH("frmOptions", "cmdOK_Click")
}

void frmOptions::cmdCancel_Click() {
  VX_TRY
    reject();
  VX_CATCH("frmOptions", "cmdCancel_Click")
}
