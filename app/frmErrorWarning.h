#pragma once
// The error window: the user can read and copy the report, submit it to the
// maker, or end the program. Whatever the way out, the program then ends.
#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

class frmErrorWarning : public QDialog {
  Q_OBJECT

 public:
  explicit frmErrorWarning(QWidget* parent = nullptr);
  ~frmErrorWarning() override;

  void SetErrorMessage(const QString& text) { errorMessage_ = text; }
  QString ErrorMessage() const { return errorMessage_; }

  void cmdNotify_Click();
  void cmdViewError_Click();
  void cmdAbort_Click();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void PlaceNotifyLabel();

  QString errorMessage_;
  QLabel* label2_ = nullptr;
  QLabel* label3_ = nullptr;
};
