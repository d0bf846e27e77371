// Errors as the server reports them: compile errors stop the whole batch before
// any statement runs, each on its own line; runtime errors of expressions; and
// a session that outlives a failed write.
#include <gtest/gtest.h>

#include <cctype>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>

#include "support/SimFixture.h"

namespace {

struct ErrorRow {
  const char* name;
  std::string batch;
  int number;
  int severity;
  int line;
  std::string text;
};
void PrintTo(const ErrorRow& row, std::ostream* os) { *os << row.name; }

const std::string kLong(129, 'n');
const std::string kTooLong = "The identifier that starts with '" + kLong.substr(0, 128) +
                             "' is too long. Maximum length is 128.";

const ErrorRow kRows[] = {
    {"keyword error after statements", "PRINT 'ran'\r\nDROP PROCEDURE Existing\r\nSELECT 1 +\r\nFROM sysobjects", 156,
     15, 4, "Incorrect syntax near the keyword 'FROM'."},
    {"unknown statement after statements", "DROP PROCEDURE Existing\nSET NOCOUNT ON\n\nFROBNICATE 1", 170, 15, 4,
     "Line 4: Incorrect syntax near 'FROBNICATE'."},
    {"unfinished query after a block", "IF 1 = 1\nBEGIN\n  DROP PROCEDURE Existing\nEND\nSELECT name FROM sysobjects WHERE",
     156, 15, 5, "Incorrect syntax near the keyword 'WHERE'."},
    {"view WITH ENCRYPTION after the table", "CREATE VIEW vNew AS SELECT id FROM Orders WITH ENCRYPTION", 170, 15, 1,
     "Line 1: Incorrect syntax near 'ENCRYPTION'."},
    {"view WITH ENCRYPTION after the select list", "ALTER VIEW vExisting AS\r\nSELECT 1 AS x\r\nWITH ENCRYPTION", 156,
     15, 3, "Incorrect syntax near the keyword 'WITH'."},
    {"procedure name too long", "CREATE PROCEDURE " + kLong + " AS select 1", 103, 15, 1, kTooLong},
    {"bracketed name too long", "DROP PROCEDURE Existing\nSELECT 1 AS [" + kLong + "]", 103, 15, 2, kTooLong},
    {"divide by zero", "SELECT 1/0", 8134, 16, 1, "Divide by zero error encountered."},
    {"modulo by zero in a condition", "DROP PROCEDURE Existing\nIF 5 % (2 - 2) = 1 PRINT 'no'", 8134, 16, 2,
     "Divide by zero error encountered."},
};

class BatchErrors : public SimFixture, public ::testing::WithParamInterface<ErrorRow> {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    Run("CREATE TABLE Orders (id int)\nGO\nCREATE PROCEDURE Existing AS select 1\nGO\n"
        "CREATE VIEW vExisting AS SELECT 1 AS x");
  }
};

class SessionFailures : public SimFixture {};

}  // namespace

TEST_P(BatchErrors, ReportedOnTheirLineAndTheBatchChangesNothing) {
  const ErrorRow& row = GetParam();
  auto r = Batch(row.batch);
  ASSERT_FALSE(r.messages.empty());
  const auto& m = r.messages.back();
  EXPECT_EQ(m.number, row.number);
  EXPECT_EQ(m.severity, row.severity);
  EXPECT_EQ(m.line, row.line);
  EXPECT_EQ(m.text, row.text);
  if (row.severity == 15) {
    EXPECT_EQ(r.messages.size(), 1u) << "a statement ran before the compile error";
  }
  EXPECT_TRUE(r.resultSets.empty());
  EXPECT_NE(ObjectId("Existing"), 0);
  EXPECT_EQ(ObjectId("vNew"), 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, BatchErrors, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<ErrorRow>& info) {
                           std::string n;
                           for (char c : std::string(info.param.name)) n += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return n;
                         });

TEST_F(SessionFailures, DivisionKeepsItsOperandsAndLongestNamesPass) {
  auto r = Batch("SELECT 6 / (1 + 2) * 2, 7 % -3 + 1, 10 / CASE WHEN 1 = 1 THEN 5 END, 9 / 2e0\nSELECT 1 AS [" +
                 std::string(128, 'n') + "]");
  ASSERT_EQ(r.FirstError(), nullptr) << r.FirstError()->text;
  const auto& row = r.resultSets.at(0).rows.at(0);
  EXPECT_EQ(row[0].AsInt32(), 4);
  EXPECT_EQ(row[1].AsInt32(), 2);
  EXPECT_EQ(row[2].AsInt32(), 2);
  EXPECT_EQ(row[3].AsText(), "4.5");
}

TEST_F(SessionFailures, ASessionRecoversAfterTheDiskFills) {
  auto s = server_->OpenSession(Login("sa"), "Sales");
  ASSERT_EQ(s->Execute("CREATE PROCEDURE Small AS select 1").FirstError(), nullptr);
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  for (std::string before : {"", "BEGIN TRAN"}) {
    if (!before.empty()) {
      ASSERT_EQ(s->Execute(before).FirstError(), nullptr);
    }
    // A file size limit stands in for a full disk: writes past it fail.
    std::error_code ec;
    rlimit full = saved;
    full.rlim_cur = std::max<rlim_t>(std::filesystem::file_size(server_->FilePath() + "-wal", ec),
                                     std::filesystem::file_size(server_->FilePath())) + 4096;
    setrlimit(RLIMIT_FSIZE, &full);
    auto failed = s->Execute("CREATE PROCEDURE Big AS select '" + std::string(8 << 20, 'x') + "'");
    setrlimit(RLIMIT_FSIZE, &saved);
    ASSERT_NE(failed.FirstError(), nullptr) << before;
    EXPECT_EQ(failed.FirstError()->number, 1222) << before;
    // The next batch runs as on a fresh session: the failed work is gone, no transaction is left.
    auto next = s->Execute("SELECT @@TRANCOUNT");
    ASSERT_EQ(next.FirstError(), nullptr) << before << ": " << next.FirstError()->text;
    EXPECT_EQ(next.resultSets.at(0).rows.at(0)[0].AsInt32(), 0) << before;
    auto after = s->Execute("DROP PROCEDURE Small\nCREATE TABLE Small (id int)");
    EXPECT_EQ(after.FirstError(), nullptr) << before << ": " << after.FirstError()->text;
    EXPECT_EQ(s->Execute("DROP TABLE Small\nPRINT 'dropped'").FirstError(), nullptr) << before;
    Run("CREATE PROCEDURE Small AS select 1");
    EXPECT_EQ(ObjectId("Big"), 0) << before;
  }
}
