#pragma once
// The log: every encryption and restore, with Clear All, Save as a text file and
// the item window. The item window reads and moves this list's selection.
#include <memory>

#include <QDialog>

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

 private:
  std::unique_ptr<CVexilon> vexilon_;
  QTreeWidget* lvwLog_ = nullptr;
};
