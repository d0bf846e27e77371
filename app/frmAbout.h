#pragma once
// The about box: the version and the system the program runs on.
#include <QDialog>

class QLabel;

class frmAbout : public QDialog {
  Q_OBJECT

 public:
  explicit frmAbout(QWidget* parent = nullptr);
  ~frmAbout() override;

  QLabel* lblVersionInfo() const { return lblVersionInfo_; }
  QLabel* lblSystemInfo() const { return lblSystemInfo_; }
  void cmdOK_Click();

 private:
  void Form_Load();

  QLabel* lblVersionInfo_ = nullptr;
  QLabel* lblSystemInfo_ = nullptr;
};
