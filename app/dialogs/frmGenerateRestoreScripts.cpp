#include "dialogs/frmGenerateRestoreScripts.h"

#include <algorithm>

#include <QCheckBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "automation/ComError.h"
#include "automation/DateText.h"
#include "basErrorReports.h"
#include "basMain.h"
#include "basMessages.h"
#include "basScreen.h"
#include "dialogs/frmRestoreScriptsPreview.h"
#include "frmApplication.h"
#include "sqlserver/Database.h"
#include "sqlserver/Databases.h"
#include "sqlserver/SQLServer.h"
#include "vexilon_global/CGlobal.h"

using vx::app::MsgBox;

namespace {
constexpr int kKeyRole = Qt::UserRole;

QString Q(const std::string& s) { return QString::fromStdString(s); }

QPushButton* Button(QWidget* parent, const char* name, const QString& caption) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(QLatin1String(name));
  return b;
}
QCheckBox* Check(QWidget* parent, const char* name, const QString& caption) {
  auto* c = new QCheckBox(caption, parent);
  c->setObjectName(QLatin1String(name));
  return c;
}
}  // namespace

frmGenerateRestoreScripts::frmGenerateRestoreScripts(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmGenerateRestoreScripts"));
  setWindowTitle(QStringLiteral("Generate Restore Scripts"));
  SSTab1_ = new QTabWidget(this);
  SSTab1_->setObjectName(QStringLiteral("SSTab1"));

  auto* general = new QWidget(SSTab1_);
  Label1_ = new QLabel(QStringLiteral("Archived Database Objects:"), general);
  Label1_->setObjectName(QStringLiteral("Label1"));
  lvwEncryptedObjects_ = new QTreeWidget(general);
  lvwEncryptedObjects_->setObjectName(QStringLiteral("lvwEncryptedObjects"));
  lvwEncryptedObjects_->setRootIsDecorated(false);
  lvwEncryptedObjects_->setSortingEnabled(false);
  cmdSelectAll_ = Button(general, "cmdSelectAll", QStringLiteral("Select All"));
  cmdSelectNone_ = Button(general, "cmdSelectNone", QStringLiteral("Select None"));
  auto* generalLayout = new QVBoxLayout(general);
  generalLayout->addWidget(Label1_);
  generalLayout->addWidget(lvwEncryptedObjects_);
  auto* selectRow = new QHBoxLayout;
  selectRow->addWidget(cmdSelectAll_);
  selectRow->addWidget(cmdSelectNone_);
  selectRow->addStretch();
  generalLayout->addLayout(selectRow);
  SSTab1_->addTab(general, QStringLiteral("General"));

  auto* formatting = new QWidget(SSTab1_);
  chkGenerateCreateCommands_ =
      Check(formatting, "chkGenerateCreateCommands", QStringLiteral(" Generate the CREATE command for each database object"));
  chkGenerateDropCommands_ =
      Check(formatting, "chkGenerateDropCommands", QStringLiteral(" Generate the DROP command for each database object"));
  chkIncludeHeaders_ = Check(formatting, "chkIncludeHeaders", QStringLiteral("Include descriptive headers in the script"));
  auto* formattingLayout = new QVBoxLayout(formatting);
  formattingLayout->addWidget(chkGenerateCreateCommands_);
  formattingLayout->addWidget(chkGenerateDropCommands_);
  formattingLayout->addWidget(chkIncludeHeaders_);
  formattingLayout->addStretch();
  SSTab1_->addTab(formatting, QStringLiteral("Script Formatting"));

  cmdPreview_ = Button(this, "cmdPreview", QStringLiteral("Pre&view"));
  cmdOK_ = Button(this, "cmdOK", QStringLiteral("OK"));
  cmdCancel_ = Button(this, "cmdCancel", QStringLiteral("Cancel"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(SSTab1_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdPreview_);
  buttons->addWidget(cmdOK_);
  buttons->addWidget(cmdCancel_);
  layout->addLayout(buttons);
  resize(vx::app::TwipsToPixels(7800, false), vx::app::TwipsToPixels(5400, true));

  connect(chkGenerateCreateCommands_, &QCheckBox::clicked, this, [this] { chkGenerateCreateCommands_Click(); });
  connect(chkGenerateDropCommands_, &QCheckBox::clicked, this, [this] { chkGenerateDropCommands_Click(); });
  connect(cmdSelectAll_, &QPushButton::clicked, this, [this] { cmdSelectAll_Click(); });
  connect(cmdSelectNone_, &QPushButton::clicked, this, [this] { cmdSelectNone_Click(); });
  connect(cmdPreview_, &QPushButton::clicked, this, [this] { cmdPreview_Click(); });
  connect(cmdOK_, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
  connect(cmdCancel_, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
}

frmGenerateRestoreScripts::~frmGenerateRestoreScripts() = default;

QString frmGenerateRestoreScripts::DateCell(const std::string& engineDate) {
  vx::OleDate date = 0;
  if (!vx::TextToDate(engineDate, date)) return Q(engineDate);
  const vx::DateParts p = vx::OleToDateParts(date);
  return QString::asprintf("%02d/%02d/%04d %02d:%02d:%02d", p.day, p.month, p.year, p.hour, p.minute, p.second);
}

QString frmGenerateRestoreScripts::DatabaseName() const {
  return sqlServer_ ? Q(sqlServer_->GetDatabases().ItemByID(databaseId_)->Name()) : QString();
}

void frmGenerateRestoreScripts::FillfrmGenerateRestoreScripts() {
  VX_TRY
  CGlobal& settings = CGlobal::Instance();
  if (settings.GenerateCreateCommands()) chkGenerateCreateCommands_->setChecked(true);
  if (settings.GenerateDropCommands()) chkGenerateDropCommands_->setChecked(true);
  if (settings.IncludeHeaders()) chkIncludeHeaders_->setChecked(true);
  EnableButtons();

  frmApplication* main = MainWindow();
  lvwEncryptedObjects_->clear();
  lvwEncryptedObjects_->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Owner"), QStringLiteral("Date Created")});
  lvwEncryptedObjects_->setColumnWidth(0, vx::app::TwipsToPixels(3000, false));
  lvwEncryptedObjects_->setColumnWidth(1, vx::app::TwipsToPixels(1500, false));
  // Dates are shown whole, and the window opens wide enough for all three
  // columns (and a scroll bar) without scrolling sideways.
  const QFontMetrics metrics(lvwEncryptedObjects_->font());
  const int dateWidth = std::max(vx::app::TwipsToPixels(2000, false),
                                 metrics.horizontalAdvance(QStringLiteral("00/00/0000 00:00:00")) + 24);
  lvwEncryptedObjects_->setColumnWidth(2, dateWidth);
  // The designed window is 1300 twips wider than its designed columns.
  const int needed = vx::app::TwipsToPixels(3000 + 1500 + 1300, false) + dateWidth +
                     lvwEncryptedObjects_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  if (needed > width()) resize(needed, height());
  if (main) lvwEncryptedObjects_->headerItem()->setIcon(0, main->imlColumnHeaderIcons(QStringLiteral("A")));

  vexilon_ = vx::app::NewEngine();
  vexilon_->SetSQLServer(sqlServer_);
  vexilon_->SetSQLServerConnectionString(connectionString_.toStdString());

  const UDT_OBJECT_CONTAINER archived = vexilon_->GetArchivedObjects(databaseId_);
  if (archived.lngElements < 1) {
    MsgBox(QStringLiteral("There are no archived objects for '") + DatabaseName() + QStringLiteral("'."),
           vx::app::vbInformation, this);
    return;
  }
  struct Kind {
    UDT_OBJECT_CONTAINER (CVexilon::*list)(int32_t, vx::VbBool);
    const char* letter;
  };
  static const Kind kKinds[] = {{&CVexilon::GetEncryptedStoredProcedures, "C"},
                                {&CVexilon::GetEncryptedTriggers, "K"},
                                {&CVexilon::GetEncryptedUserDefinedFunctions, "B"},
                                {&CVexilon::GetEncryptedViews, "H"}};
  bool encryptedExist = false;
  for (const Kind& kind : kKinds) {
    const UDT_OBJECT_CONTAINER objects = ((*vexilon_).*kind.list)(databaseId_, vx::kTrue);
    if (objects.lngElements > 0) encryptedExist = true;
    for (const UDT_OBJECT& o : objects.arrObjects) {
      bool inArchive = false;
      for (const UDT_OBJECT& a : archived.arrObjects)
        if (a.lngID == o.lngID) {
          inArchive = true;
          break;
        }
      if (!inArchive) continue;
      const QString letter = QLatin1String(kind.letter);
      auto* row = new QTreeWidgetItem(lvwEncryptedObjects_);
      row->setData(0, kKeyRole, letter + QString::number(o.lngID));
      if (main) row->setIcon(0, main->imlSQLServerExplorer(letter));
      row->setText(0, letter == QLatin1String("K") ? Q(o.strTableName) + QStringLiteral(":") + Q(o.strObjectName)
                                                   : Q(o.strObjectName));
      row->setText(1, Q(o.strOwnerName));
      row->setText(2, DateCell(o.strCreateDate));
      row->setCheckState(0, Qt::Unchecked);
    }
  }
  if (!encryptedExist) {
    const QString name = DatabaseName();
    MsgBox(QStringLiteral("Archived database objects exist for '") + name +
               QStringLiteral("', however there are no encrypted database objects in the database.\r\n\r\n"
                              "The encrypted database objects in '") +
               name + QStringLiteral("' must have been restored from another source or deleted."),
           vx::app::vbInformation, this);
  }
  VX_CATCH("frmGenerateRestoreScripts", "FillfrmGenerateRestoreScripts")
}

void frmGenerateRestoreScripts::EnableButtons() {
  const bool any = chkGenerateDropCommands_->isChecked() || chkGenerateCreateCommands_->isChecked();
  cmdOK_->setEnabled(any);
  cmdPreview_->setEnabled(any);
}

void frmGenerateRestoreScripts::chkGenerateCreateCommands_Click() {
  VX_TRY
  EnableButtons();
  VX_CATCH("frmGenerateRestoreScripts", "chkGenerateCreateCommands_Click")
}

void frmGenerateRestoreScripts::chkGenerateDropCommands_Click() {
  VX_TRY
  EnableButtons();
  VX_CATCH("frmGenerateRestoreScripts", "chkGenerateDropCommands_Click")
}

void frmGenerateRestoreScripts::SetAllChecks(bool checked) {
  for (int i = 0; i < lvwEncryptedObjects_->topLevelItemCount(); ++i)
    lvwEncryptedObjects_->topLevelItem(i)->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
}

void frmGenerateRestoreScripts::cmdSelectAll_Click() {
  VX_TRY
  SetAllChecks(true);
  VX_CATCH("frmGenerateRestoreScripts", "cmdSelectAll_Click")
}

void frmGenerateRestoreScripts::cmdSelectNone_Click() {
  VX_TRY
  SetAllChecks(false);
  VX_CATCH("frmGenerateRestoreScripts", "cmdSelectNone_Click")
}

UDT_OBJECT_CONTAINER frmGenerateRestoreScripts::Selection() const {
  UDT_OBJECT_CONTAINER selection;
  for (int i = 0; i < lvwEncryptedObjects_->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* row = lvwEncryptedObjects_->topLevelItem(i);
    if (row->checkState(0) != Qt::Checked) continue;
    UDT_OBJECT o;
    o.lngID = row->data(0, kKeyRole).toString().mid(1).toInt();
    Append(selection, o);
  }
  return selection;
}

UDT_GENERATE_SCRIPT_OPTIONS frmGenerateRestoreScripts::Options() const {
  UDT_GENERATE_SCRIPT_OPTIONS options;
  options.blnGenerateCreateCommands = chkGenerateCreateCommands_->isChecked() ? vx::kTrue : vx::kFalse;
  options.blnGenerateDropCommands = chkGenerateDropCommands_->isChecked() ? vx::kTrue : vx::kFalse;
  options.blnIncludeHeaders = chkIncludeHeaders_->isChecked() ? vx::kTrue : vx::kFalse;
  return options;
}

void frmGenerateRestoreScripts::cmdOK_Click() {
  VX_TRY
  UDT_OBJECT_CONTAINER selection = Selection();
  if (selection.lngElements == 0) {
    MsgBox(QStringLiteral("There are no Stored Procedures selected."), vx::app::vbInformation, this);
    return;
  }
  vx::app::SaveAsRequest request;
  request.owner = this;
  request.filter = QStringLiteral("SQL Query Files (*.sql)");
  request.defaultName = QStringLiteral("Vexilon Restore Script.sql");
  request.defaultExt = QStringLiteral("sql");
  request.startFolder = vx::app::SaveAsStartFolder();
  const QString fileName = vx::app::SaveAsDialog(request);
  if (!fileName.isEmpty()) {
    UDT_GENERATE_SCRIPT_OPTIONS options = Options();
    bool written = false;
    try {
      written = vexilon_->ExportArchivedObjectRestoreScript(databaseId_, selection, fileName.toStdString(), options) !=
                vx::kFalse;
    } catch (const vx::ComError&) {
      written = false;  // a file that cannot be written is a failed export, not the end of the program
    }
    if (written)
      MsgBox(QStringLiteral("Restore SQL script generated successfully."), vx::app::vbInformation, this);
    else
      MsgBox(QStringLiteral("Failed to generate Restore SQL script."), vx::app::vbExclamation, this);
  }
  done(QDialog::Accepted);
  VX_CATCH("frmGenerateRestoreScripts", "cmdOK_Click")
}

void frmGenerateRestoreScripts::cmdPreview_Click() {
  VX_TRY
  UDT_OBJECT_CONTAINER selection = Selection();
  if (selection.lngElements == 0) {
    MsgBox(QStringLiteral("There are no items selected."), vx::app::vbInformation, this);
    return;
  }
  UDT_GENERATE_SCRIPT_OPTIONS options = Options();
  const std::string script = vexilon_->GetArchivedObjectRestoreScript(databaseId_, selection, options);
  vx::app::SetScreenMousePointer(vx::app::vbHourglass);
  frmRestoreScriptsPreview preview(this);
  preview.SetScript(Q(script));
  preview.FillfrmRestoreScriptsPreview();
  vx::app::SetScreenMousePointer(vx::app::vbDefault);
  vx::app::ShowModal(preview);
  VX_CATCH("frmGenerateRestoreScripts", "cmdPreview_Click")
}

void frmGenerateRestoreScripts::cmdCancel_Click() { done(QDialog::Rejected); }

void frmGenerateRestoreScripts::done(int result) {
  Form_Unload();
  QDialog::done(result);
}

void frmGenerateRestoreScripts::Form_Unload() {
  VX_TRY
  vexilon_.reset();
  VX_CATCH("frmGenerateRestoreScripts", "Form_Unload")
}
