// The log window and its item window on a real archive log.
#include <algorithm>
#include <cstdlib>
#include <map>

#include <QApplication>
#include <QPushButton>
#include <QTreeWidget>
#include <QLineEdit>
#include <QTest>
#include <QTextBrowser>

#include "automation/DateText.h"
#include "automation/OleDate.h"
#include "basMain.h"
#include "dialogs/frmLog.h"
#include "dialogs/frmLogItem.h"
#include "support/QtPrinters.h"
#include "support/UiTest.h"
#include "support/UserInput.h"
#include "vexilon_lib/CVexilon.h"

namespace {

using vx::app::vbNo;
using vx::app::vbYes;

class LogWindowsTest : public ui_test::UiTest {
 protected:
  // Log items with the given object types ("p1", "p2", ... as names; a trigger on table "Orders").
  void AddItems(std::initializer_list<int> types) {
    auto engine = vx::app::NewEngine();
    int n = 0;
    for (int type : types) {
      ++n;
      engine->AddLogItem(vx::OleDate(45000.0 + n), "SRV" + std::to_string(n), "Ledger", "dbo",
                         static_cast<ENU_OBJECT_TYPES>(type), "obj" + std::to_string(n), "Message " + std::to_string(n),
                         "Script " + std::to_string(n), type == 2 ? "Orders" : "");
    }
  }
  QPushButton* ButtonOf(QWidget& w, const char* name) { return w.findChild<QPushButton*>(name); }
  QStringList Column(frmLog& log, int column) {
    QStringList cells;
    for (int i = 0; i < log.lvwLog()->topLevelItemCount(); ++i) cells << log.lvwLog()->topLevelItem(i)->text(column);
    return cells;
  }
};

TEST_F(LogWindowsTest, FillSkipsUnknownKindsAndShowsTriggersWithTheirTable) {
  AddItems({1, 2, 0, 7, 4});
  frmLog log;
  log.FillfrmLog();
  ASSERT_EQ(log.lvwLog()->topLevelItemCount(), 3);
  EXPECT_EQ(Column(log, 4), (QStringList{"obj1", "Orders:obj2", "obj5"}));
  EXPECT_EQ(Column(log, 5), (QStringList{"Message 1", "Message 2", "Message 5"}));
  EXPECT_EQ(log.lvwLog()->topLevelItem(2)->data(0, Qt::UserRole).toString(), "L5");
  EXPECT_TRUE(ButtonOf(log, "cmdClearAll")->isEnabled());
  EXPECT_TRUE(errorReports.empty());
}

TEST_F(LogWindowsTest, EmptyLogAndClearAllDisableTheButtons) {
  {
    frmLog empty;
    empty.FillfrmLog();
    for (auto* name : {"cmdClearAll", "cmdSaveLogFile", "cmdView"}) EXPECT_FALSE(ButtonOf(empty, name)->isEnabled());
    EXPECT_TRUE(ButtonOf(empty, "cmdClose")->isEnabled());
  }
  AddItems({1, 3});
  frmLog log;
  log.FillfrmLog();
  answers = {vbNo};
  log.cmdClearAll_Click();
  EXPECT_EQ(log.lvwLog()->topLevelItemCount(), 2);
  answers = {vbYes};
  log.cmdClearAll_Click();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1].prompt, "Are you sure you want to clear all items from the Vexilon log?");
  EXPECT_EQ(messages[1].style, 52);
  EXPECT_EQ(log.lvwLog()->topLevelItemCount(), 0);
  EXPECT_FALSE(ButtonOf(log, "cmdView")->isEnabled());
  EXPECT_EQ(vx::app::NewEngine()->GetLog(0).RecordCount(), 0);
}

TEST_F(LogWindowsTest, HeaderClicksAlternateDirectionWhicheverColumn) {
  AddItems({1, 1, 1});
  frmLog log;
  log.FillfrmLog();
  EXPECT_EQ(log.SortTag(), "0");
  log.lvwLog_ColumnClick(1);  // first click: descending
  EXPECT_EQ(log.SortTag(), "1");
  EXPECT_EQ(Column(log, 1), (QStringList{"SRV3", "SRV2", "SRV1"}));
  log.lvwLog_ColumnClick(4);  // the next click, on any column: ascending
  EXPECT_EQ(log.SortTag(), "0");
  EXPECT_EQ(Column(log, 4), (QStringList{"obj1", "obj2", "obj3"}));
}

// ---- header clicks and dates by their value, under a month-first and a
// day-first system format, with days on both sides of the twelfth.
struct DateFormatRow {
  const char* name;
  const char* shortDate;
  const char* longTime;
};
void PrintTo(const DateFormatRow& row, std::ostream* os) { *os << row.name; }

class LogDateSortTest : public LogWindowsTest, public ::testing::WithParamInterface<DateFormatRow> {
 protected:
  void SetUp() override {
    LogWindowsTest::SetUp();
    vx::DateTextFormat::SetUser({GetParam().shortDate, GetParam().longTime, "C"});
  }
  void TearDown() override {
    vx::DateTextFormat::SetUser(saved_);
    LogWindowsTest::TearDown();
  }
  vx::DateTextFormat saved_ = vx::DateTextFormat::User();
};

TEST_P(LogDateSortTest, EveryHeaderClickSortsAndDatesGoByValue) {
  struct Item {
    const char* object;
    vx::DateParts when;
  };
  const Item items[] = {{"apr03", {2024, 4, 3, 9, 0, 0}},
                        {"dec25", {2023, 12, 25, 22, 30, 5}},
                        {"mar04", {2024, 3, 4, 10, 0, 0}},
                        {"jan13", {2024, 1, 13, 8, 15, 0}}};
  auto engine = vx::app::NewEngine();
  std::map<QString, vx::OleDate> dates;
  for (const Item& i : items) {
    vx::OleDate& date = dates[QString::fromLatin1(i.object)];
    ASSERT_TRUE(vx::DatePartsToOle(i.when, date));
    engine->AddLogItem(date, "SRV", "Ledger", "dbo", ENU_OBT_STORED_PROCEDURE, i.object, "m", "s");
  }
  frmLog log;
  log.FillfrmLog();
  log.show();
  QApplication::processEvents();
  QTreeWidget* list = log.lvwLog();
  const QStringList byDate{"dec25", "jan13", "mar04", "apr03"};
  QStringList byDateDown = byDate;
  std::reverse(byDateDown.begin(), byDateDown.end());
  // Date/Time, Date/Time, Object Name, Date/Time: each click sorts, the other way.
  ui_test::ClickHeader(list, 0);
  EXPECT_EQ(Column(log, 4), byDateDown);
  EXPECT_EQ(ui_test::SectionsWithPicture(list), QList<int>{0});
  ui_test::ClickHeader(list, 0);
  EXPECT_EQ(Column(log, 4), byDate);
  ui_test::ClickHeader(list, 4);
  EXPECT_EQ(Column(log, 4), (QStringList{"mar04", "jan13", "dec25", "apr03"}));
  EXPECT_EQ(ui_test::SectionsWithPicture(list), QList<int>{4});
  ui_test::ClickHeader(list, 0);
  EXPECT_EQ(Column(log, 4), byDate);
  EXPECT_EQ(log.SortTag(), "0");
  if (const char* shots = std::getenv("VX_SCREENSHOT_DIR"))
    log.grab().save(QString::fromLocal8Bit(shots) + "/log-" + GetParam().name + ".png");
  // Each date is shown whole, in the system's format, after the row's picture.
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    const QString shown = list->topLevelItem(i)->text(0);
    EXPECT_EQ(shown.toStdString(), vx::DateToText(dates[byDate[i]]));
    EXPECT_GE(list->columnWidth(0), list->fontMetrics().horizontalAdvance(shown) + 16 + 8) << shown.toStdString();
  }
  EXPECT_TRUE(errorReports.empty());
}

INSTANTIATE_TEST_SUITE_P(Rows, LogDateSortTest,
                         ::testing::Values(DateFormatRow{"MonthFirst", "%m/%d/%Y", "%I:%M:%S %p"},
                                           DateFormatRow{"DayFirst", "%d/%m/%Y", "%H:%M:%S"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LogWindowsTest, ExportMessageSaysWhatWasWritten) {
  AddItems({1});
  frmLog log;
  log.FillfrmLog();
  saveAsAnswers = {QString(), QString::fromStdString(ProgramFolder() + "no/such/folder/log.txt"),
                   QString::fromStdString(ProgramFolder() + "log.txt")};
  log.cmdSaveLogFile_Click();  // cancelled: nothing
  EXPECT_TRUE(messages.empty());
  log.cmdSaveLogFile_Click();
  log.cmdSaveLogFile_Click();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].prompt, "Failed to created log file.");
  EXPECT_EQ(messages[0].style, 48);
  EXPECT_EQ(messages[1].prompt, "Log file created successfully.");
  EXPECT_TRUE(errorReports.empty());
}

TEST_F(LogWindowsTest, ADoubleClickOpensTheItemOnce) {
  AddItems({1, 1});
  frmLog log;
  log.FillfrmLog();
  log.show();
  int opened = 0;
  for (int i = 0; i < 2; ++i) modalHandlers.push_back([&](QDialog&) { return ++opened, 0; });
  QTreeWidgetItem* row = log.lvwLog()->topLevelItem(1);
  const QPoint at = log.lvwLog()->visualItemRect(row).center();
  QTest::mouseClick(log.lvwLog()->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(log.lvwLog()->viewport(), Qt::LeftButton, {}, at);
  EXPECT_EQ(opened, 1);
}

struct WalkRow {
  const char* name;
  int rows;
  int startRow;  // from 1
  bool next;
  int answer;
  int expectedRow;      // the row selected afterwards
  const char* asked;    // "" when no question
};

void PrintTo(const WalkRow& row, std::ostream* os) { *os << row.name; }

class LogItemWalkTest : public LogWindowsTest, public ::testing::WithParamInterface<WalkRow> {};

TEST_P(LogItemWalkTest, NextAndPreviousWrapAfterAsking) {
  const WalkRow& row = GetParam();
  auto engine = vx::app::NewEngine();
  for (int i = 1; i <= row.rows; ++i)
    engine->AddLogItem(vx::OleDate(45000.0 + i), "S", "D", "dbo", ENU_OBT_STORED_PROCEDURE, "obj" + std::to_string(i),
                       "m", "s");
  frmLog log;
  log.FillfrmLog();
  log.lvwLog()->setCurrentItem(log.lvwLog()->topLevelItem(row.startRow - 1));
  frmLogItem item;
  item.SetLogList(log.lvwLog());
  item.SetLogID(row.startRow);
  item.FillfrmLogItem();
  if (row.answer) answers = {row.answer};
  row.next ? item.cmdNext_Click() : item.cmdPrevious_Click();
  EXPECT_EQ(log.lvwLog()->indexOfTopLevelItem(log.lvwLog()->currentItem()) + 1, row.expectedRow);
  EXPECT_EQ(item.txtObjectName->text(), QString("obj%1").arg(row.expectedRow));
  if (*row.asked) {
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].prompt, row.asked);
    EXPECT_EQ(messages[0].style, 36);
  } else {
    EXPECT_TRUE(messages.empty());
  }
}

const char* kEnd = "You have reached the end of the log. Do you want to continue from the beginning?";
const char* kBegin = "You have reached the beginning of the log. Do you want to continue from the end?";
INSTANTIATE_TEST_SUITE_P(Rows, LogItemWalkTest,
                         ::testing::Values(WalkRow{"NextInside", 3, 2, true, 0, 3, ""},
                                           WalkRow{"NextAtEndYes", 3, 3, true, vbYes, 1, kEnd},
                                           WalkRow{"NextAtEndNo", 3, 3, true, vbNo, 3, kEnd},
                                           WalkRow{"PreviousInside", 3, 2, false, 0, 1, ""},
                                           WalkRow{"PreviousAtStartYes", 3, 1, false, vbYes, 3, kBegin},
                                           WalkRow{"OneRowNext", 1, 1, true, vbYes, 1, kEnd},
                                           WalkRow{"OneRowPrevious", 1, 1, false, vbYes, 1, kBegin}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LogWindowsTest, ItemShowsTriggerAndLeavesUnknownKindsEmpty) {
  AddItems({2, 9});
  frmLogItem item;
  item.SetLogID(1);
  item.FillfrmLogItem();
  EXPECT_EQ(item.txtObjectType->text(), "Trigger");
  EXPECT_EQ(item.txtObjectName->text(), "Orders:obj1");
  EXPECT_EQ(item.rtfScript->toPlainText(), "Script 1");
  frmLogItem unknown;
  unknown.SetLogID(2);
  unknown.FillfrmLogItem();
  EXPECT_EQ(unknown.txtObjectType->text(), "");
  EXPECT_EQ(unknown.txtObjectName->text(), "");
  EXPECT_EQ(unknown.rtfMessage->toPlainText(), "Message 2");
}

}  // namespace
