#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "automation/ComError.h"
#include "registry/RegistryStore.h"
#include "tarnwell/CRegistry.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kKey = "SOFTWARE\\Morvane\\Vexilon";

class CRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / ("vx_reg_" + std::to_string(getpid())) / info->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
  }
  fs::path dir_;
};

// Runs f and returns the ComError it raised.
template <typename F>
vx::ComError Raised(F&& f) {
  try {
    f();
  } catch (const vx::ComError& e) {
    return e;
  }
  ADD_FAILURE() << "no error raised";
  return vx::ComError(0, "", "");
}

void ExpectError(const vx::ComError& e, const std::string& source, const std::string& description) {
  EXPECT_EQ(e.Number(), -2147221502);
  EXPECT_EQ(e.Source(), source);
  EXPECT_EQ(e.Description(), description);
}

}  // namespace

TEST_F(CRegistryTest, PathsAreNormalisedAndATrailingBackslashNamesTheSameKey) {
  CRegistry reg;
  reg.OpenKey(CurrentUser, "\\SOFTWARE/Morvane/Vexilon", vx::kTrue);
  EXPECT_EQ(reg.CurrentKey(), "SOFTWARE\\Morvane\\Vexilon");
  reg.WriteValue("ApplicationPath", "/opt/vexilon/");
  reg.OpenKey(CurrentUser, "SOFTWARE\\Morvane\\Vexilon\\");
  EXPECT_EQ(reg.CurrentKey(), "SOFTWARE\\Morvane\\Vexilon\\");
  EXPECT_EQ(reg.ReadValue("ApplicationPath"), "/opt/vexilon/");
  reg.OpenKey(CurrentUser, "\\\\SOFTWARE\\Morvane\\Vexilon");
  EXPECT_EQ(reg.CurrentKey(), "\\SOFTWARE\\Morvane\\Vexilon");
  // Key and value names ignore case, as the registry does.
  reg.OpenKey(CurrentUser, "software\\MORVANE\\vexilon");
  EXPECT_EQ(reg.ReadValue("applicationpath"), "/opt/vexilon/");
  EXPECT_EQ(reg.NumOfSubKeys(), 0);
}

TEST_F(CRegistryTest, OpeningAMissingKeyFailsAndLeavesNoKeyOpen) {
  CRegistry reg;
  reg.OpenKey(CurrentUser, "SOFTWARE\\A", vx::kTrue);
  ExpectError(Raised([&] { reg.OpenKey(CurrentUser, "/SOFTWARE/Missing/"); }), "CRegistry:OpenKey",
              "Failed to open key \\SOFTWARE\\Missing\\.");  // "/" becomes "\" after the leading check
  EXPECT_EQ(reg.CurrentKey(), "");
  ExpectError(Raised([&] { reg.ReadValue("x"); }), "CRegistry:ReadValue", "No key is currently open.");
  // A malformed path cannot be created either.
  ExpectError(Raised([&] { reg.OpenKey(CurrentUser, "SOFTWARE\\\\Twice", vx::kTrue); }), "CRegistry:OpenKey",
              "Failed to create key SOFTWARE\\\\Twice.");
}

TEST_F(CRegistryTest, CreatingMakesMissingParentsAndOpensExistingKeysAsTheyAre) {
  CRegistry reg;
  EXPECT_EQ(reg.CheckKeyExists(CurrentUser, "SOFTWARE\\Morvane"), vx::kFalse);
  reg.OpenKey(CurrentUser, kKey, vx::kTrue);
  reg.WriteValue("Kept", "yes");
  EXPECT_EQ(reg.CheckKeyExists(CurrentUser, "SOFTWARE\\Morvane"), vx::kTrue);
  reg.OpenKey(CurrentUser, "SOFTWARE\\Morvane", vx::kTrue);
  EXPECT_EQ(reg.NumOfSubKeys(), 1);
  EXPECT_EQ(reg.MaxSubkeyNameLength(), 7);
  reg.OpenKey(CurrentUser, kKey, vx::kTrue);
  EXPECT_EQ(reg.ReadValue("Kept"), "yes");
  // Other roots are separate stores.
  EXPECT_EQ(reg.CheckKeyExists(LocalMachine, kKey), vx::kFalse);
}

TEST_F(CRegistryTest, ChecksCloseTheOpenKey) {
  CRegistry reg;
  reg.OpenKey(CurrentUser, kKey, vx::kTrue);
  reg.WriteValue("V", "1");
  EXPECT_EQ(reg.CheckKeyExists(CurrentUser, kKey), vx::kTrue);
  ExpectError(Raised([&] { reg.ReadValue("V"); }), "CRegistry:ReadValue", "No key is currently open.");
  reg.OpenKey(CurrentUser, kKey);
  EXPECT_EQ(reg.CheckKeyValueExists(CurrentUser, std::string(kKey) + "\\", "V"), vx::kTrue);
  EXPECT_EQ(reg.CheckKeyValueExists(CurrentUser, kKey, "W"), vx::kFalse);
  EXPECT_EQ(reg.CheckKeyValueExists(CurrentUser, "SOFTWARE\\Nowhere", "V"), vx::kFalse);
  ExpectError(Raised([&] { reg.WriteValue("V", "2"); }), "CRegistry:WriteValue", "No key is currently open.");
}

TEST_F(CRegistryTest, EmptyTextIsStoredAsOneSpaceAndValuesAreLimitedTo255Bytes) {
  CRegistry reg;
  reg.OpenKey(CurrentUser, kKey, vx::kTrue);
  reg.WriteValue("Empty", "");
  EXPECT_EQ(reg.ReadValue("Empty"), "");
  EXPECT_EQ(reg.MaxValueLength(), 2);  // one space and its terminator
  reg.WriteValue("Space", " ");
  EXPECT_EQ(reg.ReadValue("Space"), "");
  reg.WriteValue("", "default value");
  EXPECT_EQ(reg.ReadValue(), "default value");

  const std::string fits(254, 'a'), tooLong(255, 'a');
  reg.WriteValue("Fits", fits);
  {
    // Written by another program: WriteValue refuses it.
    vx::registry::HKey other = 0;
    ASSERT_EQ(vx::registry::RegOpenKeyEx(CurrentUser, kKey, &other), vx::registry::kSuccess);
    vx::registry::RegSetValueEx(other, "TooLong", vx::registry::kRegSz,
                                reinterpret_cast<const uint8_t*>(tooLong.c_str()), 256);
    vx::registry::RegCloseKey(other);
  }
  EXPECT_EQ(reg.ReadValue("Fits"), fits);
  ExpectError(Raised([&] { reg.ReadValue("TooLong"); }), "CRegistry:ReadValue",
              "Failed to read value TooLong from Registry.");
  EXPECT_EQ(reg.CheckKeyValueExists(CurrentUser, kKey, "TooLong"), vx::kFalse);
  EXPECT_EQ(reg.CheckKeyValueExists(CurrentUser, kKey, "Fits"), vx::kTrue);
  // The limit counts bytes: 127 two-byte characters fit, 128 do not.
  reg.OpenKey(CurrentUser, kKey);
  std::string e127, e128;
  for (int i = 0; i < 127; ++i) e127 += "\xC3\xA9";
  e128 = e127 + "\xC3\xA9";
  reg.WriteValue("Accents", e127);
  EXPECT_EQ(reg.ReadValue("Accents"), e127);
  EXPECT_THROW(reg.WriteValue("Accents", e128), vx::ComError);
  EXPECT_EQ(reg.ReadValue("Accents"), e127);
}

TEST_F(CRegistryTest, AFreshInstanceRaisesEachMembersOwnError) {
  CRegistry reg;
  ExpectError(Raised([&] { reg.ReadValue("x"); }), "CRegistry:ReadValue", "No key is currently open.");
  ExpectError(Raised([&] { reg.WriteValue("x", "y"); }), "CRegistry:WriteValue", "No key is currently open.");
  ExpectError(Raised([&] { reg.DeleteValue("x"); }), "CRegistry:DeleteValue", "No key is currently open.");
  ExpectError(Raised([&] { reg.DeleteKey(); }), "CRegistry:DeleteKey", "Failed to delete key .");
  ExpectError(Raised([&] { reg.NumOfSubKeys(); }), "CRegistry:RefreshKeyInfo", "Failed to retrieve key information.");
  ExpectError(Raised([&] { reg.KeyClass(); }), "CRegistry:RefreshKeyInfo", "Failed to retrieve key information.");
  EXPECT_EQ(reg.LastWriteTime(), 0.0);
  reg.CloseKey();
  reg.CloseKey();
  EXPECT_EQ(reg.CurrentKey(), "");
}

TEST_F(CRegistryTest, DeletingKeysAndValues) {
  CRegistry reg;
  reg.OpenKey(CurrentUser, "SOFTWARE\\Morvane\\Vexilon\\Sub", vx::kTrue);
  reg.OpenKey(CurrentUser, kKey);
  EXPECT_EQ(reg.KeyClass(), "");
  ExpectError(Raised([&] { reg.DeleteKey(); }), "CRegistry:DeleteKey",
              "Failed to delete key SOFTWARE\\Morvane\\Vexilon.");
  EXPECT_EQ(reg.CurrentKey(), "");  // closed by the attempt
  reg.OpenKey(CurrentUser, "SOFTWARE\\Morvane\\Vexilon\\Sub\\");
  reg.DeleteKey();
  EXPECT_EQ(reg.CheckKeyExists(CurrentUser, "SOFTWARE\\Morvane\\Vexilon\\Sub"), vx::kFalse);
  reg.OpenKey(CurrentUser, kKey);
  reg.WriteValue("Gone", "soon");
  EXPECT_EQ(reg.NumOfValues(), 1);
  EXPECT_EQ(reg.MaxValueNameLength(), 4);
  reg.DeleteValue("Gone");
  EXPECT_EQ(reg.NumOfValues(), 0);
  ExpectError(Raised([&] { reg.DeleteValue("Gone"); }), "CRegistry:DeleteValue",
              "Failed to delete value Gone from Registry.");
  // The root itself is never deleted through an empty path.
  EXPECT_NE(vx::registry::RegDeleteKey(CurrentUser, ""), vx::registry::kSuccess);
  EXPECT_NE(vx::registry::RegDeleteKey(CurrentUser, "\\"), vx::registry::kSuccess);
}

TEST_F(CRegistryTest, LastWriteTimeIsTodayAndNeverRaises) {
  CRegistry reg;
  reg.OpenKey(CurrentUser, kKey, vx::kTrue);
  reg.WriteValue("x", "y");
  const vx::OleDate now = vx::OleNow();
  EXPECT_NEAR(reg.LastWriteTime(), now, 2.0 / 86400.0);
  const vx::OleDate cached = reg.LastWriteTime();
  // Deleted under it: the cached time of the last refresh is returned.
  CRegistry other;
  other.OpenKey(CurrentUser, kKey);
  other.DeleteKey();
  EXPECT_EQ(reg.LastWriteTime(), cached);
  EXPECT_THROW(reg.ReadValue("x"), vx::ComError);
}

TEST_F(CRegistryTest, TwoProcessesWritingOneKeyLoseNothing) {
  {
    CRegistry reg;
    reg.OpenKey(CurrentUser, kKey, vx::kTrue);
  }
  constexpr int kWrites = 40;
  pid_t child = fork();
  ASSERT_NE(child, -1);
  const char* who = child == 0 ? "child" : "parent";
  for (int i = 0; i < kWrites; ++i) {
    CRegistry reg;
    reg.OpenKey(CurrentUser, kKey);
    reg.WriteValue(std::string(who) + std::to_string(i), std::to_string(i));
  }
  if (child == 0) _exit(0);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  CRegistry reg;
  reg.OpenKey(CurrentUser, kKey);
  EXPECT_EQ(reg.NumOfValues(), 2 * kWrites);
  EXPECT_EQ(reg.ReadValue("child39"), "39");
  EXPECT_EQ(reg.ReadValue("parent0"), "0");
}

// Settings can be made again: a store that is no database is set aside as it
// is, a new one takes its place, and the notice of it is given once.
TEST_F(CRegistryTest, AStoreThatIsNotADatabaseIsSetAsideForANewOne) {
  const fs::path folder = dir_ / "vexilon" / "registry";
  fs::create_directories(folder);
  const std::string garbage = "garbage that is certainly not an SQLite database file, but long enough to look at";
  std::ofstream(folder / "HKEY_USERS.db") << garbage;
  CRegistry reg;
  EXPECT_EQ(reg.CheckKeyExists(Users, "x"), vx::kFalse);
  const auto notices = vx::registry::TakeSetAsideNotices();
  ASSERT_EQ(notices.size(), 1u);
  const std::string aside = notices[0].substr(notices[0].find("set aside as '") + 14);
  std::ifstream in(aside.substr(0, aside.find('\'')), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), garbage) << notices[0];
  EXPECT_NE(notices[0].find((folder / "HKEY_USERS.db").string()), std::string::npos) << notices[0];
  EXPECT_TRUE(vx::registry::TakeSetAsideNotices().empty());
}

TEST_F(CRegistryTest, WhatTheStoreCannotKeepWholeIsRefused) {
  CRegistry reg;
  reg.OpenKey(CurrentUser, kKey, vx::kTrue);
  const std::string nulName("a\0b", 3);
  struct Case {
    std::string name, value, reason;
  };
  for (const Case& c : {Case{"Long", std::string(255, 'v'), " A value holds at most 254 bytes."},
                        Case{"Cut", std::string("a\0b", 3), " A value cannot hold a NUL character."},
                        Case{nulName, "x", " A name cannot hold a NUL character."}}) {
    ExpectError(Raised([&] { reg.WriteValue(c.name, c.value); }), "CRegistry:WriteValue",
                "Failed to write new value to " + c.name + " from Registry." + c.reason);
    EXPECT_EQ(reg.CheckKeyValueExists(CurrentUser, kKey, c.name), vx::kFalse);
    reg.OpenKey(CurrentUser, kKey);
  }
  reg.WriteValue("Long", std::string(254, 'v'));
  EXPECT_EQ(reg.ReadValue("Long"), std::string(254, 'v'));
  // Names that differ after a NUL would name one value; paths likewise.
  reg.WriteValue("a", "kept");
  EXPECT_NE(Raised([&] { reg.ReadValue(nulName); }).Description(), "");
  EXPECT_EQ(reg.ReadValue("a"), "kept");
  EXPECT_EQ(reg.NumOfValues(), 2);
  ExpectError(Raised([&] { reg.OpenKey(CurrentUser, std::string("K\0x", 3), vx::kTrue); }), "CRegistry:OpenKey",
              "Failed to create key " + std::string("K\0x", 3) + ".");
  EXPECT_EQ(reg.CheckKeyExists(CurrentUser, "K"), vx::kFalse);
}
