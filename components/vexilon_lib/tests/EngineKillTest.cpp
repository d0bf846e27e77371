// A process killed at a random moment of a run of encryptions or of restores:
// a second run and a restore of everything bring every text back byte for byte.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <random>

#include "EngineEncryptFixture.h"

namespace {

using engine_test::EngineEncrypt;
using engine_test::Item;

constexpr int kRounds = 20;

vx::VbBool EncryptArchive(CVexilon& e, int32_t db, const Item& i) {
  switch (i.type) {
    case ENU_OBT_STORED_PROCEDURE: return e.EncryptArchiveStoredProcedure(db, i.id);
    case ENU_OBT_TRIGGER: return e.EncryptArchiveTrigger(db, i.id, i.tableId);
    case ENU_OBT_USER_DEFINED_FUNCTION: return e.EncryptArchiveUserDefinedFunction(db, i.id);
    case ENU_OBT_VIEW: return e.EncryptArchiveView(db, i.id);
  }
  return vx::kFalse;
}

// Restores every archived object, as often as rows remain (at most a few passes).
void RestoreAll(CVexilon& e, int32_t db) {
  for (int pass = 0; pass < 3; ++pass) {
    const UDT_OBJECT_CONTAINER rows = e.GetArchivedObjects(db);
    if (rows.lngElements == 0) return;
    for (const UDT_OBJECT& o : rows.arrObjects)
      e.RestoreObject(db, o.lngID, o.strObjectName, o.strOwnerName, o.enumObjectType, vx::kTrue);
  }
}

class EngineKill : public EngineEncrypt {
 protected:
  void SetUp() override {
    EngineEncrypt::SetUp();
    for (const Item& i : Unencrypted()) originals_[i.name] = Read(i).strScript;
  }

  // Runs f on an engine of its own in a child process and kills it after
  // `delay` (none: lets it finish). Returns how long the child ran.
  std::chrono::microseconds RunKilled(const std::function<void(CVexilon&)>& f,
                                      std::optional<std::chrono::microseconds> delay) {
    engine_.DisconnectSQLServer();
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
      try {
        CVexilon e;
        e.SetAppConnectionString(AppConnectionString());
        UDT_LOGIN_CREDENTIALS c{"VXSIM", ENU_LAT_SQLSERVER, "vx", "secret"};
        if (e.ConnectServer(c) == ENU_SCR_SUCCESSFUL) f(e);
      } catch (...) {
      }
      ::_exit(0);
    }
    if (delay) {
      ::usleep(static_cast<useconds_t>(delay->count()));
      ::kill(child, SIGKILL);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    Connect("VXSIM");
    return took;
  }

  // Every object readable with the text it had at the start, and no row left.
  void EverythingIsBack() {
    EXPECT_EQ(EncryptedCount(), 0);
    EXPECT_EQ(engine_.GetArchivedObjects(db_).lngElements, 0);
    const std::vector<Item> items = Unencrypted();
    ASSERT_EQ(items.size(), originals_.size());
    for (const Item& i : items) EXPECT_EQ(Read(i).strScript, originals_[i.name]) << i.name;
  }

  std::map<std::string, std::string> originals_;
};

TEST_F(EngineKill, AnEncryptionRunKilledAnywhereLosesNoText) {
  std::vector<Item> items;  // read before each run: the child's engine has no lists of its own here
  const auto encryptAll = [&](CVexilon& e) {
    for (const Item& i : items) EncryptArchive(e, db_, i);
  };
  items = Unencrypted();
  const auto full = RunKilled(encryptAll, std::nullopt);
  EXPECT_EQ(EncryptedCount(), 8);
  RestoreAll(engine_, db_);
  EverythingIsBack();
  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  std::uniform_int_distribution<int64_t> moment(0, full.count());
  for (int round = 0; round < kRounds; ++round) {
    const std::chrono::microseconds delay(moment(random));
    SCOPED_TRACE("seed " + std::to_string(seed) + ", killed after " + std::to_string(delay.count()) + " us");
    items = Unencrypted();
    RunKilled(encryptAll, delay);
    for (const Item& i : Unencrypted()) EXPECT_EQ(EncryptArchive(engine_, db_, i), vx::kTrue) << i.name;
    EXPECT_EQ(EncryptedCount(), 8);
    RestoreAll(engine_, db_);
    EverythingIsBack();
  }
}

TEST_F(EngineKill, ARestoreRunKilledAnywhereLosesNoText) {
  const auto restoreAll = [this](CVexilon& e) { RestoreAll(e, db_); };
  const auto encryptAll = [this] {
    for (const Item& i : Unencrypted()) ASSERT_EQ(EncryptArchive(engine_, db_, i), vx::kTrue) << i.name;
  };
  encryptAll();
  const auto full = RunKilled(restoreAll, std::nullopt);
  EXPECT_EQ(EncryptedCount(), 0);
  EverythingIsBack();
  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  std::uniform_int_distribution<int64_t> moment(0, full.count());
  for (int round = 0; round < kRounds; ++round) {
    const std::chrono::microseconds delay(moment(random));
    SCOPED_TRACE("seed " + std::to_string(seed) + ", killed after " + std::to_string(delay.count()) + " us");
    encryptAll();
    RunKilled(restoreAll, delay);
    RestoreAll(engine_, db_);
    EverythingIsBack();
  }
}

}  // namespace
