#pragma once
// One log item in full, with copy of its message and script, and Next and
// Previous over the rows of the log window's list (wrapping round after asking).
#include <QDialog>

class QLineEdit;
class QPushButton;
class QTabWidget;
class QTextBrowser;
class QTreeWidget;

class frmLogItem : public QDialog {
  Q_OBJECT

 public:
  explicit frmLogItem(QWidget* parent = nullptr);
  ~frmLogItem() override;

  void SetLogID(int32_t logID) { logID_ = logID; }
  int32_t LogID() const { return logID_; }
  // The log window's list, whose selection Next and Previous read and move.
  void SetLogList(QTreeWidget* list) { lvwLog_ = list; }
  void FillfrmLogItem();

  void cmdCopyMessage_Click();
  void cmdCopyScript_Click();
  void cmdNext_Click();
  void cmdPrevious_Click();

  QLineEdit* txtDateTime = nullptr;
  QLineEdit* txtSQLServerName = nullptr;
  QLineEdit* txtDatabaseName = nullptr;
  QLineEdit* txtOwnerName = nullptr;
  QLineEdit* txtObjectType = nullptr;
  QLineEdit* txtObjectName = nullptr;
  QTextBrowser* rtfMessage = nullptr;
  QTextBrowser* rtfScript = nullptr;

 private:
  // Selects the list's row at a position from 1 and shows its item.
  void ShowRow(int position);
  void CopyText(const QString& text, const QString& confirmation);

  int32_t logID_ = 0;
  QTreeWidget* lvwLog_ = nullptr;
  QTabWidget* SSTab1 = nullptr;
  QPushButton* cmdCopyMessage_ = nullptr;
  QPushButton* cmdCopyScript_ = nullptr;
  QPushButton* cmdPrevious_ = nullptr;
  QPushButton* cmdNext_ = nullptr;
  QPushButton* cmdClose_ = nullptr;
};
