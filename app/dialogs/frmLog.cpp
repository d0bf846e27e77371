#include "dialogs/frmLog.h"

#include <algorithm>

#include <QFileInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "automation/ComError.h"
#include "basErrorReports.h"
#include "basMain.h"
#include "basMessages.h"
#include "basScreen.h"
#include "basUtilities.h"
#include "dialogs/LogListRow.h"
#include "dialogs/LogTexts.h"
#include "dialogs/frmLogItem.h"
#include "frmApplication.h"
#include "vexilon_lib/CVexilon.h"

namespace {

constexpr int kColumnTagRole = Qt::UserRole;

struct LogColumn {
  const char* title;
  int widthTwips;
  int tag;
};
constexpr LogColumn kColumns[] = {
    {"Date/Time", 2000, 1}, {"SQL Server", 1000, 2}, {"Database", 1000, 3},
    {"Owner", 1000, 4},     {"Object Name", 1500, 5}, {"Message", 3000, 6},
};

QIcon Image(const QString& key) {
  auto* main = MainWindow();
  return main ? main->imlSQLServerExplorer(key) : QIcon();
}

// A text column grows to show its longest cell, up to twice its own width, and
// the window grows with the list (within the screen).
void WidenTextColumns(QTreeWidget* list, QWidget* window) {
  const QAbstractItemView* view = list;  // the tree's own measure of a column's cells
  int total = list->columnWidth(0);
  for (int c = 1; c < list->columnCount(); ++c) {
    const int designed = list->columnWidth(c);
    list->setColumnWidth(c, std::max(designed, std::min(view->sizeHintForColumn(c), 2 * designed)));
    total += list->columnWidth(c);
  }
  const int room = window->screen() ? window->screen()->availableGeometry().width() * 9 / 10 : total;
  const int wanted = total + list->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 48;
  if (wanted > window->width()) window->resize(std::min(wanted, std::max(room, window->width())), window->height());
}

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
  auto* b = new QPushButton(QString::fromUtf8(caption), parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setAutoDefault(false);
  return b;
}

}  // namespace

frmLog::frmLog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmLog"));
  setWindowTitle(QStringLiteral("Log"));
  lvwLog_ = new QTreeWidget(this);
  lvwLog_->setObjectName(QStringLiteral("lvwLog"));
  lvwLog_->setRootIsDecorated(false);
  lvwLog_->setUniformRowHeights(true);
  lvwLog_->setAllColumnsShowFocus(true);
  lvwLog_->setSelectionMode(QAbstractItemView::SingleSelection);
  lvwLog_->header()->setSectionsClickable(true);
  lvwLog_->header()->setSortIndicatorShown(false);
  cmdSaveLogFile_ = Button(this, "cmdSaveLogFile", "&Save Log File... ");
  cmdView_ = Button(this, "cmdView", "&View...");
  cmdClearAll_ = Button(this, "cmdClearAll", "Cl&ear All");
  cmdClose_ = Button(this, "cmdClose", "&Close");
  cmdClose_->setDefault(true);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cmdSaveLogFile_);
  buttons->addWidget(cmdView_);
  buttons->addWidget(cmdClearAll_);
  buttons->addStretch(1);
  buttons->addWidget(cmdClose_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lvwLog_, 1);
  layout->addLayout(buttons);
  resize(760, 420);

  connect(cmdSaveLogFile_, &QPushButton::clicked, this, [this] { cmdSaveLogFile_Click(); });
  connect(cmdView_, &QPushButton::clicked, this, [this] { cmdView_Click(); });
  connect(cmdClearAll_, &QPushButton::clicked, this, [this] { cmdClearAll_Click(); });
  connect(cmdClose_, &QPushButton::clicked, this, [this] { cmdClose_Click(); });
  connect(lvwLog_->header(), &QHeaderView::sectionClicked, this, [this](int c) { lvwLog_ColumnClick(c); });
  connect(lvwLog_, &QTreeWidget::itemDoubleClicked, this, [this] { lvwLog_DblClick(); });
}

frmLog::~frmLog() = default;

void frmLog::SetButtonsEnabled(bool enabled) {
  cmdClearAll_->setEnabled(enabled);
  cmdSaveLogFile_->setEnabled(enabled);
  cmdView_->setEnabled(enabled);
}

void frmLog::FillfrmLog() {
  VX_TRY
    lvwLog_->clear();
    sortTag_ = QStringLiteral("0");
    auto* header = new QTreeWidgetItem;
    int i = 0;
    for (const auto& c : kColumns) {
      header->setText(i, QString::fromLatin1(c.title));
      header->setData(i, kColumnTagRole, c.tag);
      ++i;
    }
    lvwLog_->setHeaderItem(header);
    lvwLog_->setColumnCount(i);
    i = 0;
    // The column's width, and never narrower than its title; the dates are shown
    // whole (after the row's picture) in whatever format the system gives them.
    const QFontMetrics metrics(lvwLog_->header()->font());
    const int dateWidth = vx::app::WidestDateTimeWidth(QFontMetrics(lvwLog_->font())) +
                          lvwLog_->style()->pixelMetric(QStyle::PM_SmallIconSize) + 24;
    for (const auto& c : kColumns) {
      int width = std::max(vx::app::TwipsToPixels(c.widthTwips, false),
                           metrics.horizontalAdvance(QString::fromLatin1(c.title)) + 24);
      if (c.tag == 1) width = std::max(width, dateWidth);
      lvwLog_->setColumnWidth(i++, width);
    }

    vexilon_ = vx::app::NewEngine();
    auto rs = vexilon_->GetLog(0);
    const QIcon pictures[] = {Image(vx::app::LogImageKey(1)), Image(vx::app::LogImageKey(2)),
                              Image(vx::app::LogImageKey(3)), Image(vx::app::LogImageKey(4))};
    vx::app::LogTextPool texts;
    QList<QTreeWidgetItem*> rows;
    rows.reserve(rs.RecordCount());
    for (; !rs.IsEOF(); rs.MoveNext()) {
      const int type = vx::app::LogObjectType(rs);
      if (type < 1 || type > 4) continue;
      rows.append(new vx::app::LogListRow(rs, type, pictures[type - 1], texts));
    }
    rs.Close();
    lvwLog_->addTopLevelItems(rows);
    WidenTextColumns(lvwLog_, this);
    if (lvwLog_->topLevelItemCount() == 0) SetButtonsEnabled(false);
  VX_CATCH("frmLog", "FillfrmLog")
}

void frmLog::cmdClearAll_Click() {
  VX_TRY
    if (vx::app::MsgBox(QStringLiteral("Are you sure you want to clear all items from the Vexilon log?"), 52, this) !=
        vx::app::vbYes)
      return;
    vx::app::SetScreenMousePointer(vx::app::vbHourglass);
    if (vexilon_->ClearLog() == vx::kTrue) {
      lvwLog_->clear();
      SetButtonsEnabled(false);
    }
    vx::app::SetScreenMousePointer(vx::app::vbDefault);
  VX_CATCH("frmLog", "cmdClearAll_Click")
}

void frmLog::cmdSaveLogFile_Click() {
  VX_TRY
    vx::app::SaveAsRequest request;
    request.owner = this;
    request.filter = QStringLiteral("SQL Query Files (*.txt)");
    request.defaultName = QStringLiteral("Vexilon Log.txt");
    request.defaultExt = QStringLiteral("txt");
    request.startFolder = vx::app::SaveAsStartFolder();
    const QString name = vx::app::TrimNull(vx::app::SaveAsDialog(request));
    if (name.isEmpty()) return;
    // The message says what is on disk: a path that cannot be written, or an
    // export that wrote no file, is a failure, not the end of the program.
    bool written = false;
    try {
      written = vexilon_->ExportLog(name.toStdString()) == vx::kTrue && QFileInfo(name).isFile();
    } catch (const vx::ComError&) {
      written = false;
    }
    if (written)
      vx::app::MsgBox(QStringLiteral("Log file created successfully."), vx::app::vbInformation, this);
    else
      vx::app::MsgBox(QStringLiteral("Failed to created log file."), vx::app::vbExclamation, this);
  VX_CATCH("frmLog", "cmdSaveLogFile_Click")
}

void frmLog::cmdView_Click() {
  VX_TRY
    QTreeWidgetItem* selected = lvwLog_->currentItem();
    if (!selected || !selected->isSelected()) return;
    vx::app::SetScreenMousePointer(vx::app::vbHourglass);
    frmLogItem item(this);
    item.SetLogList(lvwLog_);
    item.SetLogID(selected->data(0, Qt::UserRole).toString().mid(1).toInt());
    item.FillfrmLogItem();
    vx::app::SetScreenMousePointer(vx::app::vbDefault);
    vx::app::ShowModal(item);
  VX_CATCH("frmLog", "cmdView_Click")
}

void frmLog::lvwLog_DblClick() {
  VX_TRY
    cmdView_Click();
  VX_CATCH("frmLog", "lvwLog_DblClick")
}

void frmLog::cmdClose_Click() { close(); }

void frmLog::lvwLog_ColumnClick(int column) {
  VX_TRY
    const int tag = lvwLog_->headerItem()->data(column, kColumnTagRole).toInt();
    const bool descending = sortTag_ == QLatin1String("0");
    if (tag >= 2 && tag <= 6) {
      lvwLog_->sortItems(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    } else if (tag == 1) {
      vx::app::SortListView(lvwLog_, column, 0, descending ? 1 : 0);
    } else {
      return;
    }
    sortTag_ = descending ? QStringLiteral("1") : QStringLiteral("0");
    vx::app::SetColumnHeaderIcon(lvwLog_, column, descending ? QStringLiteral("D") : QStringLiteral("A"));
  VX_CATCH("frmLog", "lvwLog_ColumnClick")
}
