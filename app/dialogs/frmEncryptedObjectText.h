#pragma once
// Read-only viewer of an encrypted object's archived text, with its archive
// state. Callers write the text boxes, set Script, call
// FillfrmEncryptedObjectText and show the window modally.
#include <QDialog>

class QLineEdit;
class QsciScintilla;

class frmEncryptedObjectText : public QDialog {
  Q_OBJECT

 public:
  explicit frmEncryptedObjectText(QWidget* parent = nullptr);
  ~frmEncryptedObjectText() override;

  QLineEdit* txtObjectName = nullptr;
  QLineEdit* txtOwner = nullptr;
  QLineEdit* txtCreateDate = nullptr;
  QLineEdit* txtArchived = nullptr;
  QLineEdit* txtArchivedDate = nullptr;
  QLineEdit* txtArchivedVersion = nullptr;

  void SetScript(const QString& script) { script_ = script; }
  void FillfrmEncryptedObjectText();
  QsciScintilla* cdsObjectText() const { return editor_; }

 private:
  QString script_;
  QsciScintilla* editor_ = nullptr;
};
