#pragma once
// Read-only viewer of an object's current text. Callers write the text boxes,
// set Script, call FillfrmObjectText and show the window modally.
#include <QDialog>

class QLineEdit;
class QsciScintilla;

class frmObjectText : public QDialog {
  Q_OBJECT

 public:
  explicit frmObjectText(QWidget* parent = nullptr);
  ~frmObjectText() override;

  QLineEdit* txtObjectName = nullptr;
  QLineEdit* txtOwner = nullptr;
  QLineEdit* txtCreateDate = nullptr;

  void SetScript(const QString& script) { script_ = script; }
  void FillfrmObjectText();
  QsciScintilla* cdsObjectText() const { return editor_; }

 private:
  QString script_;
  QsciScintilla* editor_ = nullptr;
};
