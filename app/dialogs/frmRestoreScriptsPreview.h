#pragma once
// Read-only preview of a generated restore script.
#include <QDialog>

class QsciScintilla;

class frmRestoreScriptsPreview : public QDialog {
  Q_OBJECT

 public:
  explicit frmRestoreScriptsPreview(QWidget* parent = nullptr);
  ~frmRestoreScriptsPreview() override;

  void SetScript(const QString& script) { script_ = script; }
  void FillfrmRestoreScriptsPreview();
  QsciScintilla* cdsObjectText() const { return editor_; }

 private:
  QString script_;
  QsciScintilla* editor_ = nullptr;
};
