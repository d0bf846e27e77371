// The three T-SQL viewers: the text shown read-only with its line ends, Copy
// puts all of it on the clipboard, and the keyboard closes the window.
#include <functional>
#include <memory>

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <Qsci/qsciscintilla.h>

#include "dialogs/frmEncryptedObjectText.h"
#include "dialogs/frmObjectText.h"
#include "dialogs/frmRestoreScriptsPreview.h"
#include "support/UiTest.h"

namespace {

// One viewer, made and filled with a script.
struct Viewer {
  const char* name;
  std::function<std::unique_ptr<QDialog>(const QString& script)> open;
  const char* copyMessage;
};
void PrintTo(const Viewer& v, std::ostream* os) { *os << v.name; }

template <class T, void (T::*Fill)()>
std::unique_ptr<QDialog> Open(const QString& script) {
  auto viewer = std::make_unique<T>();
  viewer->SetScript(script);
  (viewer.get()->*Fill)();
  return viewer;
}

class ViewerTest : public ui_test::UiTest, public ::testing::WithParamInterface<Viewer> {
 protected:
  static QsciScintilla* Editor(QDialog& d) { return d.findChild<QsciScintilla*>(QStringLiteral("cdsCode")); }
};

const QString kScript = QStringLiteral("CREATE PROC p AS\r\nSELECT 1\rFROM sysobjects\n-- end\r\n");

TEST_P(ViewerTest, ShowsTheTextReadOnlyAndCopiesItWithItsLineEnds) {
  auto viewer = GetParam().open(kScript);
  QsciScintilla* editor = Editor(*viewer);
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->text(), kScript);
  EXPECT_TRUE(editor->isReadOnly());
  viewer->show();
  editor->setFocus();
  QTest::keyClicks(editor, QStringLiteral("xyz"));
  QTest::keyClick(editor, Qt::Key_Delete);
  QTest::keyClick(editor, Qt::Key_Backspace);
  EXPECT_EQ(editor->text(), kScript);

  QApplication::clipboard()->setText(QStringLiteral("old"));
  editor->setSelection(0, 0, 0, 6);  // Copy takes all of the text, not the selection
  viewer->findChild<QPushButton*>(QStringLiteral("cmdCopy"))->click();
  EXPECT_EQ(QApplication::clipboard()->text(), kScript);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].prompt, QString::fromUtf8(GetParam().copyMessage));
  EXPECT_EQ(messages[0].style, 64);

  // Ctrl+A selects all of it.
  QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(editor->selectedText(), kScript);
  EXPECT_TRUE(errorReports.empty());
}

TEST_P(ViewerTest, EscapeAndReturnInTheTextCloseTheWindow) {
  for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
    auto viewer = GetParam().open(kScript);
    viewer->show();
    QsciScintilla* editor = Editor(*viewer);
    editor->setFocus();
    QTest::keyClick(editor, key);
    EXPECT_FALSE(viewer->isVisible()) << key;
    EXPECT_EQ(editor->text(), kScript);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Viewers, ViewerTest,
    ::testing::Values(
        Viewer{"ObjectText", Open<frmObjectText, &frmObjectText::FillfrmObjectText>,
               "The text was copied to the clipboard."},
        Viewer{"EncryptedObjectText", Open<frmEncryptedObjectText, &frmEncryptedObjectText::FillfrmEncryptedObjectText>,
               "The text was copied to the clipboard."},
        Viewer{"RestoreScriptsPreview",
               Open<frmRestoreScriptsPreview, &frmRestoreScriptsPreview::FillfrmRestoreScriptsPreview>,
               "The script was copied to the clipboard."}),
    [](const ::testing::TestParamInfo<Viewer>& info) { return std::string(info.param.name); });

}  // namespace
