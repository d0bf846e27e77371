#pragma once
// The six options, stored only when the user confirms with OK.
#include <QDialog>

class frmOptions : public QDialog {
  Q_OBJECT

 public:
  explicit frmOptions(QWidget* parent = nullptr);
  ~frmOptions() override;

  void FillfrmOptions();
};
