#include "dialogs/ViewerKeys.h"

#include <QDialog>
#include <QKeyEvent>
#include <QPushButton>

ViewerKeys::ViewerKeys(QObject* editor, QDialog* dialog) : QObject(editor), dialog_(dialog) {
  editor->installEventFilter(this);
}

ViewerKeys::~ViewerKeys() = default;

bool ViewerKeys::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
  if (modifiers != Qt::NoModifier) return false;
  if (key->key() == Qt::Key_Escape) {
    dialog_->reject();
    return true;
  }
  if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
    for (QPushButton* button : dialog_->findChildren<QPushButton*>()) {
      if (button->isDefault() && button->isEnabled()) {
        button->click();
        return true;
      }
    }
  }
  return false;
}
