#pragma once
// The error report's text, read-only, with a button that copies it.
#include <QDialog>

class QPlainTextEdit;

class frmErrorMessage : public QDialog {
  Q_OBJECT

 public:
  explicit frmErrorMessage(QWidget* parent = nullptr);
  ~frmErrorMessage() override;

  QPlainTextEdit* txtErrorMessage() const { return txt_; }
  // The text shown; Copy puts exactly this text (CR LF line ends kept) on the clipboard.
  void SetErrorText(const QString& text);
  void cmdCopy_Click();
  void cmdClose_Click();

 private:
  QPlainTextEdit* txt_ = nullptr;
  QString text_;
};
