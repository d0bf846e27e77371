#include "dialogs/frmLogItem.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "basErrorReports.h"
#include "basMain.h"
#include "basMessages.h"
#include "basScreen.h"
#include "basUtilities.h"
#include "dialogs/LogTexts.h"
#include "vexilon_lib/CVexilon.h"

namespace {

QPushButton* Button(QWidget* parent, const char* name, const QString& caption, const char* tip) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(QString::fromLatin1(name));
  if (tip) b->setToolTip(QString::fromLatin1(tip));
  b->setAutoDefault(false);
  return b;
}

QLineEdit* Field(QWidget* parent, const char* name) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(QString::fromLatin1(name));
  e->setReadOnly(true);
  return e;
}

QTextBrowser* Text(QWidget* parent, const char* name, bool monospace) {
  auto* t = new QTextBrowser(parent);
  t->setObjectName(QString::fromLatin1(name));
  t->setOpenLinks(false);
  t->setLineWrapMode(monospace ? QTextEdit::NoWrap : QTextEdit::WidgetWidth);
  if (monospace) t->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  return t;
}

}  // namespace

frmLogItem::frmLogItem(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmLogItem"));
  setWindowTitle(QStringLiteral("Log Item"));
  SSTab1 = new QTabWidget(this);
  SSTab1->setObjectName(QStringLiteral("SSTab1"));
  auto* page = new QWidget(SSTab1);
  SSTab1->addTab(page, QStringLiteral("Log Item"));

  txtDateTime = Field(page, "txtDateTime");
  txtSQLServerName = Field(page, "txtSQLServerName");
  txtDatabaseName = Field(page, "txtDatabaseName");
  txtOwnerName = Field(page, "txtOwnerName");
  txtObjectType = Field(page, "txtObjectType");
  txtObjectName = Field(page, "txtObjectName");
  rtfMessage = Text(page, "rtfMessage", false);
  rtfScript = Text(page, "rtfScript", true);
  vx::app::EnsureResources();
  const QIcon copy(QStringLiteral(":/vexilon/copy.svg"));
  cmdCopyMessage_ = Button(page, "cmdCopyMessage", QString(), "Copy Message to clipboard");
  cmdCopyScript_ = Button(page, "cmdCopyScript", QString(), "Copy Script to clipboard");
  cmdCopyMessage_->setIcon(copy);
  cmdCopyScript_->setIcon(copy);

  auto* grid = new QGridLayout(page);
  struct Row { const char* name; const char* caption; QWidget* field; };
  const Row rows[] = {
      {"lblDateTime", "Date && Time:", txtDateTime}, {"lblSQLServer", "SQL Server:", txtSQLServerName},
      {"lblDatabase", "Database:", txtDatabaseName}, {"lblOwner", "Owner:", txtOwnerName},
      {"lblObjectType", "Object Type:", txtObjectType}, {"lblObjectName", "Object Name:", txtObjectName},
  };
  int r = 0;
  for (const auto& row : rows) {
    auto* label = new QLabel(QString::fromLatin1(row.caption).replace(QStringLiteral("&&"), QStringLiteral("&")), page);
    label->setObjectName(QString::fromLatin1(row.name));
    grid->addWidget(label, r, 0);
    grid->addWidget(row.field, r, 1, 1, 2);
    ++r;
  }
  auto* lblMessage = new QLabel(QStringLiteral("Message:"), page);
  lblMessage->setObjectName(QStringLiteral("lblMessage"));
  grid->addWidget(lblMessage, r, 0, Qt::AlignTop);
  grid->addWidget(rtfMessage, r, 1);
  grid->addWidget(cmdCopyMessage_, r, 2, Qt::AlignTop);
  ++r;
  auto* lblScript = new QLabel(QStringLiteral("Script:"), page);
  lblScript->setObjectName(QStringLiteral("lblScript"));
  grid->addWidget(lblScript, r, 0, Qt::AlignTop);
  grid->addWidget(rtfScript, r, 1);
  grid->addWidget(cmdCopyScript_, r, 2, Qt::AlignTop);
  grid->setRowStretch(r - 1, 1);
  grid->setRowStretch(r, 3);

  cmdPrevious_ = Button(this, "cmdPrevious", QStringLiteral("< &Previous"), "Move to previous log item");
  cmdNext_ = Button(this, "cmdNext", QStringLiteral("&Next >"), "Move to next log item");
  cmdClose_ = Button(this, "cmdClose", QStringLiteral("&Close"), nullptr);
  cmdClose_->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cmdPrevious_);
  buttons->addWidget(cmdNext_);
  buttons->addWidget(cmdClose_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(SSTab1, 1);
  layout->addLayout(buttons);
  resize(640, 560);

  connect(cmdCopyMessage_, &QPushButton::clicked, this, [this] { cmdCopyMessage_Click(); });
  connect(cmdCopyScript_, &QPushButton::clicked, this, [this] { cmdCopyScript_Click(); });
  connect(cmdPrevious_, &QPushButton::clicked, this, [this] { cmdPrevious_Click(); });
  connect(cmdNext_, &QPushButton::clicked, this, [this] { cmdNext_Click(); });
  connect(cmdClose_, &QPushButton::clicked, this, [this] { close(); });
}

frmLogItem::~frmLogItem() = default;

void frmLogItem::FillfrmLogItem() {
  VX_TRY
    auto engine = vx::app::NewEngine();
    auto rs = engine->GetLog(logID_);
    if (!rs.IsEOF()) {
      txtDateTime->setText(vx::app::LogDateTime(rs));
      txtSQLServerName->setText(vx::app::LogField(rs, "SQLServerName"));
      txtDatabaseName->setText(vx::app::LogField(rs, "DatabaseName"));
      txtOwnerName->setText(vx::app::LogField(rs, "OwnerName"));
      const int type = vx::app::LogObjectType(rs);
      if (type >= 1 && type <= 4) {
        txtObjectType->setText(vx::app::LogObjectTypeName(type));
        txtObjectName->setText(vx::app::LogObjectName(rs, type));
      }
      rtfMessage->setPlainText(vx::app::LogField(rs, "Message"));
      rtfScript->setPlainText(vx::app::LogField(rs, "Script"));
    }
    rs.Close();
  VX_CATCH("frmLogItem", "FillfrmLogItem")
}

void frmLogItem::CopyText(const QString& text, const QString& confirmation) {
  vx::app::SetScreenMousePointer(vx::app::vbHourglass);
  QClipboard* clipboard = QApplication::clipboard();
  clipboard->clear();
  clipboard->setText(text);
  vx::app::MsgBox(confirmation, vx::app::vbInformation, this);
  vx::app::SetScreenMousePointer(vx::app::vbDefault);
}

void frmLogItem::cmdCopyMessage_Click() {
  VX_TRY
    CopyText(rtfMessage->toPlainText(), QStringLiteral("The Message was copied to the clipboard."));
  VX_CATCH("frmLogItem", "cmdCopyMessage_Click")
}

void frmLogItem::cmdCopyScript_Click() {
  VX_TRY
    CopyText(rtfScript->toPlainText(), QStringLiteral("The Script was copied to the clipboard."));
  VX_CATCH("frmLogItem", "cmdCopyScript_Click")
}

void frmLogItem::ShowRow(int position) {
  QTreeWidgetItem* row = lvwLog_->topLevelItem(position - 1);
  if (!row) return;
  vx::app::SetScreenMousePointer(vx::app::vbHourglass);
  lvwLog_->setCurrentItem(row);
  row->setSelected(true);
  logID_ = row->data(0, Qt::UserRole).toString().mid(1).toInt();
  FillfrmLogItem();
  vx::app::SetScreenMousePointer(vx::app::vbDefault);
}

void frmLogItem::cmdNext_Click() {
  VX_TRY
    cmdNext_->setEnabled(false);
    const int count = lvwLog_ ? lvwLog_->topLevelItemCount() : 0;
    if (count > 0) {
      const int position = lvwLog_->indexOfTopLevelItem(lvwLog_->currentItem()) + 1;
      if (position >= 1 && position < count)
        ShowRow(position + 1);
      else if (vx::app::MsgBox(QStringLiteral("You have reached the end of the log. Do you want to continue from "
                                              "the beginning?"),
                               36, this) == vx::app::vbYes)
        ShowRow(1);
    }
    cmdNext_->setEnabled(true);
  VX_CATCH("frmLogItem", "cmdNext_Click")
}

void frmLogItem::cmdPrevious_Click() {
  VX_TRY
    cmdPrevious_->setEnabled(false);
    const int count = lvwLog_ ? lvwLog_->topLevelItemCount() : 0;
    if (count > 0) {
      const int position = lvwLog_->indexOfTopLevelItem(lvwLog_->currentItem()) + 1;
      if (position >= 2)
        ShowRow(position - 1);
      else if (vx::app::MsgBox(QStringLiteral("You have reached the beginning of the log. Do you want to continue "
                                              "from the end?"),
                               36, this) == vx::app::vbYes)
        ShowRow(count);
    }
    cmdPrevious_->setEnabled(true);
  VX_CATCH("frmLogItem", "cmdPrevious_Click")
}
