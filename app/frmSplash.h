#pragma once
// The splash window: one picture, closed by its timer after two seconds.
#include <QDialog>

class QTimer;

class frmSplash : public QDialog {
  Q_OBJECT

 public:
  explicit frmSplash(QWidget* parent = nullptr);
  ~frmSplash() override;
  QTimer* timSplash() const { return timSplash_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QTimer* timSplash_ = nullptr;
};
