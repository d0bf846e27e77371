#pragma once
// The six options, stored only when the user confirms with OK.
#include <QDialog>

class QCheckBox;

class frmOptions : public QDialog {
  Q_OBJECT

 public:
  explicit frmOptions(QWidget* parent = nullptr);
  ~frmOptions() override;

  void FillfrmOptions();
  void chkArchiveEncryptedDatabaseObjects_Click();
  void cmdOK_Click();
  void cmdCancel_Click();

  // A check box by name (chkShowSystemDatabases, ...).
  QCheckBox* CheckBox(const QString& name) const;
};
