#include "dialogs/ViewerLayout.h"

#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <Qsci/qsciscintilla.h>

#include "basErrorReports.h"
#include "dialogs/ViewerKeys.h"
#include "dialogs/basSyntaxLexer.h"

namespace vx::app {

ViewerLayout BuildViewer(QDialog& dialog, const QString& caption, const QString& pageCaption) {
  ViewerLayout layout;
  dialog.setWindowTitle(caption);
  dialog.setSizeGripEnabled(true);
  dialog.resize(720, 560);
  auto* outer = new QVBoxLayout(&dialog);
  auto* tabs = new QTabWidget(&dialog);
  tabs->setObjectName(QStringLiteral("tabObjectText"));
  layout.page = new QWidget(tabs);
  layout.grid = new QGridLayout(layout.page);
  layout.grid->setColumnStretch(1, 1);
  tabs->addTab(layout.page, pageCaption);
  outer->addWidget(tabs, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  layout.cmdCopy = new QPushButton(QStringLiteral("Co&py"), &dialog);
  layout.cmdCopy->setObjectName(QStringLiteral("cmdCopy"));
  layout.cmdClose = new QPushButton(QStringLiteral("&Close"), &dialog);
  layout.cmdClose->setObjectName(QStringLiteral("cmdClose"));
  layout.cmdClose->setDefault(true);
  buttons->addWidget(layout.cmdCopy);
  buttons->addWidget(layout.cmdClose);
  outer->addLayout(buttons);
  return layout;
}

QLineEdit* AddPropertyBox(ViewerLayout& layout, const QString& labelName, const QString& label,
                          const QString& boxName) {
  auto* caption = new QLabel(label, layout.page);
  caption->setObjectName(labelName);
  auto* box = new QLineEdit(layout.page);
  box->setObjectName(boxName);
  box->setReadOnly(true);
  QPalette palette = box->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Button));
  box->setPalette(palette);
  caption->setBuddy(box);
  layout.grid->addWidget(caption, layout.rows, 0);
  layout.grid->addWidget(box, layout.rows, 1);
  ++layout.rows;
  return box;
}

void AddEditor(ViewerLayout& layout, const QString& labelName) {
  layout.editor = NewTsqlEditor(layout.page);
  new ViewerKeys(layout.editor, qobject_cast<QDialog*>(layout.page->window()));
  if (!labelName.isEmpty()) {
    auto* caption = new QLabel(QStringLiteral("Text:"), layout.page);
    caption->setObjectName(labelName);
    layout.grid->addWidget(caption, layout.rows, 0, Qt::AlignTop);
    layout.grid->addWidget(layout.editor, layout.rows, 1);
  } else {
    layout.grid->addWidget(layout.editor, layout.rows, 0, 1, 2);
  }
  layout.grid->setRowStretch(layout.rows, 1);
  ++layout.rows;
}

void ConnectViewerButtons(QDialog& dialog, const ViewerLayout& layout, const QString& copied, const char* object) {
  QsciScintilla* editor = layout.editor;
  QObject::connect(layout.cmdCopy, &QPushButton::clicked, &dialog, [&dialog, editor, copied, object] {
    try {
      CopyEditorText(*editor, copied, &dialog);
    } catch (...) {
      ReportError(object, "cmdCopy_Click", __LINE__);
    }
  });
  QObject::connect(layout.cmdClose, &QPushButton::clicked, &dialog, [&dialog] { dialog.reject(); });
}

}  // namespace vx::app
