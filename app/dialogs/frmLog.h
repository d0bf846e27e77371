#pragma once
// The log: every encryption and restore, with Clear All, Save as a text file and
// the item window. The item window reads and moves this list's selection.
#include <memory>

#include <QDialog>
#include <QString>

class CVexilon;
class QPushButton;
class QTreeWidget;

class frmLog : public QDialog {
  Q_OBJECT

 public:
  explicit frmLog(QWidget* parent = nullptr);
  ~frmLog() override;

  void FillfrmLog();
  QTreeWidget* lvwLog() const { return lvwLog_; }
  // The direction of the last sort: "0" ascending (also after filling), "1" descending.
  QString SortTag() const { return sortTag_; }

  void cmdClearAll_Click();
  void cmdSaveLogFile_Click();
  void cmdView_Click();
  void cmdClose_Click();
  void lvwLog_ColumnClick(int column);
  void lvwLog_DblClick();

 private:
  void SetButtonsEnabled(bool enabled);

  std::unique_ptr<CVexilon> vexilon_;
  QTreeWidget* lvwLog_ = nullptr;
  QPushButton* cmdSaveLogFile_ = nullptr;
  QPushButton* cmdView_ = nullptr;
  QPushButton* cmdClearAll_ = nullptr;
  QPushButton* cmdClose_ = nullptr;
  QString sortTag_ = QStringLiteral("0");
};
