// Sessions of one simulated server and the lock on its file: a transaction that
// has written nothing holds no lock, and a writer waits for another as long as
// the server's default lets it (no time-out), or as SET LOCK_TIMEOUT says.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "support/SimFixture.h"

using vx::sqlserver::BatchResult;

namespace {

struct HolderRow {
  const char* name;
  const char* database;  // where the holder's transaction runs
  const char* batch;     // what it has done in its open transaction
};
void PrintTo(const HolderRow& row, std::ostream* os) { *os << row.name; }

class IdleTransaction : public SimFixture, public ::testing::WithParamInterface<HolderRow> {};

int FirstError(const BatchResult& r) { return r.FirstError() ? r.FirstError()->number : 0; }

TEST_P(IdleTransaction, HoldsNoLockUntilItWrites) {
  const HolderRow& row = GetParam();
  Run("CREATE PROCEDURE dbo.Existing AS select 1");
  auto holder = server_->OpenSession(Login("sa"), row.database);
  auto writer = server_->OpenSession(Login("sa"), "Sales");
  ASSERT_EQ(FirstError(holder->Execute(row.batch)), 0);
  // Bounded here so that a lock held by mistake fails the test instead of hanging it.
  ASSERT_EQ(FirstError(writer->Execute("SET LOCK_TIMEOUT 2000")), 0);
  EXPECT_EQ(FirstError(writer->Execute("CREATE PROCEDURE dbo.FromWriter AS select 1")), 0);
  // The holder then writes on what the writer left, and both objects stay.
  ASSERT_EQ(FirstError(holder->Execute("USE Sales")), 0);
  EXPECT_EQ(FirstError(holder->Execute("CREATE PROCEDURE dbo.FromHolder AS select 2")), 0);
  EXPECT_EQ(FirstError(holder->Execute("COMMIT TRANSACTION")), 0);
  EXPECT_NE(ObjectId("FromWriter"), 0);
  EXPECT_NE(ObjectId("FromHolder"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, IdleTransaction,
    ::testing::Values(HolderRow{"BareBeginInAnotherDatabase", "master", "BEGIN TRAN"},
                      HolderRow{"BeginAndRead", "Sales", "BEGIN TRANSACTION\nSELECT COUNT(*) FROM sysobjects"},
                      HolderRow{"BeginAndCallAProcedure", "Sales", "BEGIN TRAN\nEXEC sp_helptext 'dbo.Existing'"}),
    [](const ::testing::TestParamInfo<HolderRow>& info) { return std::string(info.param.name); });

class SessionLocks : public SimFixture {};

TEST_F(SessionLocks, AWriterWaitsForAnotherAsLongAsTheServersDefaultLetsIt) {
  unsetenv("VEXILON_SIM_BUSY_MS");
  auto holder = server_->OpenSession(Login("sa"), "Sales");
  auto writer = server_->OpenSession(Login("sa"), "Sales");
  auto bounded = server_->OpenSession(Login("sa"), "Sales");
  ASSERT_EQ(FirstError(holder->Execute("BEGIN TRAN")), 0);
  ASSERT_EQ(FirstError(holder->Execute("CREATE PROCEDURE dbo.Held AS select 1")), 0);
  // SET LOCK_TIMEOUT bounds a session's wait.
  ASSERT_EQ(FirstError(bounded->Execute("SET LOCK_TIMEOUT 100")), 0);
  EXPECT_EQ(FirstError(bounded->Execute("CREATE PROCEDURE dbo.Bounded AS select 1")), 1222);
  // Without it the writer waits past the five seconds it once gave up after.
  auto waiting = std::async(std::launch::async,
                            [&] { return FirstError(writer->Execute("CREATE PROCEDURE dbo.Waited AS select 1")); });
  EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(5500)), std::future_status::timeout);
  ASSERT_EQ(FirstError(holder->Execute("COMMIT TRAN")), 0);
  EXPECT_EQ(waiting.get(), 0);
  EXPECT_NE(ObjectId("Held"), 0);
  EXPECT_NE(ObjectId("Waited"), 0);
}

// Each connection has its own @@SPID, the lowest one from 51 up that is free.
TEST_F(SessionLocks, EachSessionHasItsOwnSpidAndAClosedOnesIsGivenAgain) {
  auto spid = [](vx::sqlserver::Session& s) {
    return s.Execute("SELECT @@SPID").resultSets.at(0).rows.at(0).at(0).AsInt64();
  };
  auto first = server_->OpenSession(Login("sa"), "Sales");
  auto second = server_->OpenSession(Login("plain_login"), "Sales");
  const int64_t a = spid(*first), b = spid(*second);
  EXPECT_GE(a, 51);
  EXPECT_NE(a, b);
  first.reset();
  EXPECT_EQ(spid(*server_->OpenSession(Login("sa"), "Sales")), a);
}

}  // namespace
