#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "automation/ComError.h"
#include "tarnwell/CRegistry.h"
#include "vexilon_global/CGlobal.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kKey = "SOFTWARE\\Morvane\\Vexilon";
const char* const kOptions[] = {"ShowSystemDatabases",  "ShowSystemObjects", "GenerateCreateCommands",
                                "GenerateDropCommands", "IncludeHeaders",    "ArchiveEncryptedDatabaseObjects"};

class CGlobalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / ("vx_global_" + std::to_string(getpid())) / info->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
  }
  // The program creates the key and writes the application path before the first use.
  void FirstStart() {
    CRegistry reg;
    reg.OpenKey(CurrentUser, kKey, vx::kTrue);
    reg.WriteValue("ApplicationPath", "/opt/vexilon/");
  }
  std::string Stored(const char* name) {
    CRegistry reg;
    reg.OpenKey(CurrentUser, kKey);
    return reg.ReadValue(name);
  }
  fs::path dir_;
};

}  // namespace

TEST_F(CGlobalTest, FirstStartWritesTheSixDefaultsInOrder) {
  FirstStart();
  CGlobal g;
  EXPECT_EQ(g.ApplicationPath(), "/opt/vexilon/");
  EXPECT_EQ(g.ApplicationInfo(), "");
  EXPECT_EQ(g.VersionInfo(), "");
  EXPECT_EQ(g.ShowSystemDatabases(), vx::kFalse);
  EXPECT_EQ(g.ShowSystemObjects(), vx::kFalse);
  EXPECT_EQ(g.GenerateCreateCommands(), vx::kTrue);
  EXPECT_EQ(g.GenerateDropCommands(), vx::kTrue);
  EXPECT_EQ(g.IncludeHeaders(), vx::kTrue);
  EXPECT_EQ(g.ArchiveEncryptedDatabaseObjects(), vx::kTrue);
  const char* expected[] = {"0", "0", "-1", "-1", "-1", "-1"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(Stored(kOptions[i]), expected[i]) << kOptions[i];
  // Nothing more than the path and the six options was written.
  CRegistry reg;
  reg.OpenKey(CurrentUser, kKey);
  EXPECT_EQ(reg.NumOfValues(), 7);
  // The connection strings are never set.
  EXPECT_EQ(g.DbConnectionString(), "");
  EXPECT_EQ(g.DbAdminConnectionString(), "");
  EXPECT_EQ(g.DbTempAdminConnectionString(), "");
}

TEST_F(CGlobalTest, StoredOptionsConvertLikeNumbersAndLetsAlwaysWrite) {
  FirstStart();
  {
    CRegistry reg;
    reg.OpenKey(CurrentUser, kKey);
    reg.WriteValue("ShowSystemDatabases", "1");
    reg.WriteValue("ShowSystemObjects", "True");
    reg.WriteValue("IncludeHeaders", "0");
  }
  CGlobal g;
  EXPECT_EQ(g.ShowSystemDatabases(), vx::kTrue);
  EXPECT_EQ(g.ShowSystemObjects(), vx::kTrue);
  EXPECT_EQ(g.IncludeHeaders(), vx::kFalse);
  g.ShowSystemDatabases(vx::kTrue);
  EXPECT_EQ(Stored("ShowSystemDatabases"), "-1");
  g.ArchiveEncryptedDatabaseObjects(vx::kFalse);
  EXPECT_EQ(Stored("ArchiveEncryptedDatabaseObjects"), "0");
  g.ApplicationInfo("");
  g.VersionInfo("1.0.0");
  CGlobal next;
  EXPECT_EQ(next.ArchiveEncryptedDatabaseObjects(), vx::kFalse);
  EXPECT_EQ(next.ApplicationInfo(), "");
  EXPECT_EQ(next.VersionInfo(), "1.0.0");
}

// A stored option that is no Boolean the program wrote takes its default, the
// program starts, and the next save of the options writes readable values.
TEST_F(CGlobalTest, AnUnreadableOptionTakesItsDefaultAndTheNextSaveMendsIt) {
  const char* const unreadable[] = {"x", "", "{}", "\xff\xfe", "1e999", "nan", "inf", "0x10", "yes"};
  for (const char* bad : unreadable) {
    SCOPED_TRACE(bad);
    FirstStart();
    {
      CRegistry reg;
      reg.OpenKey(CurrentUser, kKey);
      for (const char* name : kOptions) reg.WriteValue(name, bad);
    }
    CGlobal g;
    EXPECT_EQ(g.ShowSystemDatabases(), vx::kFalse);
    EXPECT_EQ(g.ShowSystemObjects(), vx::kFalse);
    EXPECT_EQ(g.GenerateCreateCommands(), vx::kTrue);
    EXPECT_EQ(g.GenerateDropCommands(), vx::kTrue);
    EXPECT_EQ(g.IncludeHeaders(), vx::kTrue);
    EXPECT_EQ(g.ArchiveEncryptedDatabaseObjects(), vx::kTrue);
    g.IncludeHeaders(g.IncludeHeaders());
    EXPECT_EQ(Stored("IncludeHeaders"), "-1");
    EXPECT_EQ(CGlobal().IncludeHeaders(), vx::kTrue);
  }
  EXPECT_THROW(SettingToBoolean(""), vx::ComError);
  EXPECT_EQ(SettingToBoolean(" -2.5 "), vx::kTrue);
  EXPECT_EQ(SettingToBoolean("1e-999"), vx::kFalse);
  EXPECT_EQ(SettingToBoolean("false"), vx::kFalse);
}

TEST_F(CGlobalTest, MissingKeyFailsTheFirstOptionAndAFailedLetKeepsTheCache) {
  try {
    CGlobal g;
    FAIL() << "constructed without the settings key";
  } catch (const vx::ComError& e) {
    EXPECT_EQ(e.Number(), -2147221502);
    EXPECT_EQ(e.Source(), "CRegistry:OpenKey");
    EXPECT_EQ(e.Description(), "Failed to open key SOFTWARE\\Morvane\\Vexilon.");
  }
  FirstStart();
  CGlobal g;
  {
    CRegistry reg;
    reg.OpenKey(CurrentUser, kKey);
    reg.DeleteKey();
  }
  try {
    g.IncludeHeaders(vx::kFalse);
    FAIL() << "let wrote without a key";
  } catch (const vx::ComError& e) {
    EXPECT_EQ(e.Description(), "Failed to open key SOFTWARE\\Morvane\\Vexilon\\.");
  }
  EXPECT_EQ(g.IncludeHeaders(), vx::kTrue);
}

TEST_F(CGlobalTest, TheProcessInstanceSeesLetsOfAnEarlierProcess) {
  FirstStart();
  pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    CGlobal::Instance().ShowSystemObjects(vx::kTrue);
    _exit(CGlobal::Instance().ShowSystemObjects() == vx::kTrue ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(CGlobal::Instance().ShowSystemObjects(), vx::kTrue);
  EXPECT_EQ(&CGlobal::Instance(), &CGlobal::Instance());
  EXPECT_EQ(CGlobal::Instance().WindowsPath(), "/usr");
  EXPECT_NE(CGlobal::Instance().SystemInfo().find(" build "), std::string::npos);
}
