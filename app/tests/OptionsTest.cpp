// The options window: filled from the settings, stored only on OK, and the
// warning when archiving is switched off.
#include <QCheckBox>

#include "frmOptions.h"
#include "support/ShellTestSupport.h"
#include "vexilon_global/CGlobal.h"

namespace {

const char* const kBoxes[] = {"chkShowSystemDatabases", "chkShowSystemObjects", "chkGenerateCreateCommands",
                              "chkGenerateDropCommands", "chkIncludeHeaders", "chkArchiveEncryptedDatabaseObjects"};

class OptionsTest : public shell_test::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    CGlobal& g = CGlobal::Instance();
    g.ShowSystemDatabases(vx::kTrue);
    g.ShowSystemObjects(vx::kFalse);
    g.GenerateCreateCommands(vx::kTrue);
    g.GenerateDropCommands(vx::kFalse);
    g.IncludeHeaders(vx::kTrue);
    g.ArchiveEncryptedDatabaseObjects(vx::kTrue);
    options.FillfrmOptions();
  }
  std::vector<bool> Boxes() const {
    std::vector<bool> v;
    for (const char* b : kBoxes) v.push_back(options.CheckBox(b)->isChecked());
    return v;
  }
  static std::vector<bool> Stored(const CGlobal& g) {
    return {g.ShowSystemDatabases() != 0, g.ShowSystemObjects() != 0, g.GenerateCreateCommands() != 0,
            g.GenerateDropCommands() != 0, g.IncludeHeaders() != 0, g.ArchiveEncryptedDatabaseObjects() != 0};
  }
  frmOptions options;
};

TEST_F(OptionsTest, OKStoresEveryBoxAndCancelNothing) {
  const std::vector<bool> filled = {true, false, true, false, true, true};
  EXPECT_EQ(Boxes(), filled);
  options.CheckBox("chkShowSystemObjects")->setChecked(true);
  options.CheckBox("chkIncludeHeaders")->setChecked(false);
  options.cmdCancel_Click();
  EXPECT_EQ(Stored(CGlobal::Instance()), filled);
  options.cmdOK_Click();
  const std::vector<bool> changed = {true, true, true, false, false, true};
  EXPECT_EQ(Stored(CGlobal::Instance()), changed);
  EXPECT_EQ(Stored(CGlobal()), changed);  // as the next start reads them
}

TEST_F(OptionsTest, SwitchingArchivingOffWarnsAndNoKeepsItOn) {
  QCheckBox* archive = options.CheckBox("chkArchiveEncryptedDatabaseObjects");
  answers = {vx::app::vbNo, vx::app::vbYes};
  archive->click();
  EXPECT_TRUE(archive->isChecked());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].style, 52);
  EXPECT_TRUE(messages[0].prompt.startsWith("WARNING: Encrypting database objects without archiving them means"));
  EXPECT_TRUE(messages[0].prompt.endsWith("\r\n\r\nAre you sure you want to encrypt database objects without archiving them?"));
  archive->click();
  EXPECT_FALSE(archive->isChecked());
  archive->click();  // checking it again asks nothing
  EXPECT_EQ(messages.size(), 2u);
}

}  // namespace
