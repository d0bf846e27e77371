#pragma once
// Hands Escape and Return from a viewer's editor to its window: Escape closes
// it, Return presses its default button. The editor keeps every other key.
#include <QObject>

class QDialog;

class ViewerKeys : public QObject {
  Q_OBJECT

 public:
  // Watches `editor` on behalf of `dialog`; owned by the editor.
  ViewerKeys(QObject* editor, QDialog* dialog);
  ~ViewerKeys() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QDialog* dialog_;
};
