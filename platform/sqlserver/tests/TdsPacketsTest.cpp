// What `sqlsim serve` sends, read packet by packet where a driver would hide it:
// the level of message 5701, which message an attention's acknowledgement comes
// in, and lengths that must match the bytes they announce.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <set>
#include <thread>

#include "support/RawTds.h"
#include "support/ServedFixture.h"
#include "support/ServedServer.h"
#include "support/SimFixture.h"

namespace {

using tds_test::RawTds;
using namespace std::string_literals;

constexpr uint16_t kDoneAttention = 0x20;

class TdsPackets : public ServedFixture {
 protected:
  std::unique_ptr<RawTds> LoggedIn() {
    auto c = std::make_unique<RawTds>(served_->Port());
    EXPECT_TRUE(c->Login("sa", "sa-pw", "Sales"));
    return c;
  }
  // The connection still answers: PRINT comes back as INFO and DONE.
  static void StillAnswers(RawTds& c) {
    std::string reply;
    ASSERT_TRUE(c.SendBatch("PRINT 'after'"));
    ASSERT_TRUE(c.Read(reply));
    const auto t = RawTds::Parse(reply);
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].text, "after");
    EXPECT_EQ(t[1].type, 0xFD);
  }
};

TEST_F(TdsPackets, UseSendsTheDatabaseChangeThenMessage5701AtLevelZero) {
  auto c = LoggedIn();
  ASSERT_TRUE(c->SendBatch("USE master"));
  std::string reply;
  ASSERT_TRUE(c->Read(reply));
  const auto t = RawTds::Parse(reply);
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[0].type, 0xE3);
  EXPECT_EQ(t[0].number, 1u);
  EXPECT_EQ(t[0].text, "master");
  EXPECT_EQ(t[0].old, "Sales");
  EXPECT_EQ(t[1].type, 0xAB);
  EXPECT_EQ(t[1].number, 5701u);
  EXPECT_EQ(t[1].level, 0);  // informational: a client takes level 10 for a warning
  EXPECT_EQ(t[1].state, 1);
  EXPECT_EQ(t[1].text, "Changed database context to 'master'.");
  EXPECT_EQ(t[2].type, 0xFD);
  EXPECT_EQ(t[2].number, 0u);
}

// When the attention comes: after rows went out, or before the request sent anything.
struct Cancel {
  const char* name;
  bool rowsFirst;           // rows go out at once, before the query that runs for seconds
  uint8_t firstTokenType;   // of the cancelled request's reply
};
void PrintTo(const Cancel& c, std::ostream* os) { *os << c.name; }

class TdsAttention : public TdsPackets, public ::testing::WithParamInterface<Cancel> {};

TEST_P(TdsAttention, IsAcknowledgedInAMessageOfItsOwnAfterTheCancelledRequestsReply) {
  auto c = LoggedIn();
  std::string slow = "SELECT COUNT(*) FROM sysobjects t0";
  for (int i = 1; i < 7; ++i) slow += ", sysobjects t" + std::to_string(i);
  // Rows that go out at once (about 50 KB) come first when asked for.
  ASSERT_TRUE(c->SendBatch((GetParam().rowsFirst ? "SELECT a.name FROM sysobjects a, sysobjects b, sysobjects c\n" : "") +
                           slow));
  if (GetParam().rowsFirst) {
    for (int i = 0; i < 500 && c->Waiting() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GT(c->Waiting(), 0u);
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(c->Waiting(), 0u);
  }
  ASSERT_TRUE(c->SendAttention());

  // The cancelled request's reply ends as a whole message (rows and all, or its DONE
  // alone), without the acknowledgement: clients take it as the request's reply...
  std::string reply;
  ASSERT_TRUE(c->Read(reply));
  const auto first = RawTds::Parse(reply);
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first.front().type, GetParam().firstTokenType);
  EXPECT_EQ(first.back().type, 0xFD);
  for (const auto& t : first) EXPECT_FALSE(t.type == 0xFD && (t.number & kDoneAttention));
  // ...and the acknowledgement follows, alone in its message.
  ASSERT_TRUE(c->Read(reply));
  const auto ack = RawTds::Parse(reply);
  ASSERT_EQ(ack.size(), 1u);
  EXPECT_EQ(ack[0].type, 0xFD);
  EXPECT_EQ(ack[0].number, kDoneAttention);
  StillAnswers(*c);
}

INSTANTIATE_TEST_SUITE_P(When, TdsAttention,
                         ::testing::Values(Cancel{"BetweenRows", true, 0x81}, Cancel{"BeforeAnyToken", false, 0xFD}),
                         [](const ::testing::TestParamInfo<Cancel>& info) { return std::string(info.param.name); });

TEST_F(TdsPackets, AConnectionKeepsABoundedNumberOfPreparedStatements) {
  // sp_prepare @handle OUTPUT, NULL, N'SELECT 1', once more than a connection keeps, in one request.
  constexpr size_t kKept = 65536;
  std::string call = "\xFF\xFF\x0B\x00\x00\x00"s;
  call += "\x00\x01\x26\x04\x00"s;                      // @handle int OUTPUT, NULL
  call += "\x00\x00\xE7\x40\x1F\x09\x04\xD0\x00\x34\xFF\xFF"s;  // @params NULL
  call += "\x00\x00\xE7\x40\x1F\x09\x04\xD0\x00\x34\x10\x00"s + RawTds::Ucs2("SELECT 1");
  std::string request;
  for (size_t i = 0; i <= kKept; ++i) request += (i ? "\x80" : "") + call;
  auto c = LoggedIn();
  ASSERT_TRUE(c->Send(RawTds::kRpc, request));
  std::string reply;
  ASSERT_TRUE(c->Read(reply));
  std::set<uint32_t> handles;
  std::vector<uint32_t> errors;
  for (const auto& t : RawTds::Parse(reply)) {
    if (t.type == 0xAC) handles.insert(t.number);
    if (t.type == 0xAA) errors.push_back(t.number);
  }
  EXPECT_EQ(handles.size(), kKept);
  EXPECT_EQ(errors, std::vector<uint32_t>{50000});
  StillAnswers(*c);
}

// ---- lengths ----

// sp_executesql (by its id) with one parameter @b of a binary type.
std::string ExecuteSql(const std::string& statement, const std::string& declaration, bool image,
                       const std::string& bytes) {
  std::string p = "\xFF\xFF\x0A\x00\x00\x00"s;  // procedure id 10, no options
  auto le = [&](uint64_t v, int n) {
    for (int i = 0; i < n; ++i) p += static_cast<char>(v >> (8 * i));
  };
  auto text = [&](const std::string& ascii) {
    p += "\x00\x00\xE7\x40\x1F\x09\x04\xD0\x00\x34"s;  // no name, by value, nvarchar(4000), collation
    le(ascii.size() * 2, 2);
    p += RawTds::Ucs2(ascii);
  };
  text(statement);
  text(declaration);
  p += "\x02@\x00\x62\x00\x00"s;  // "@b", by value
  if (image) {
    p += "\x22";
    le(0x7FFFFFFF, 4);
    le(bytes.size(), 4);
  } else {
    p += "\xA5";
    le(8000, 2);
    le(bytes.size(), 2);
  }
  return p + bytes;
}

struct LengthRow {
  const char* name;
  const char* statement;
  const char* declaration;
  bool image;
  size_t size;
  uint8_t wireType;  // of the column that comes back
  bool asText;       // the bytes come back as text, each the character it is in code page 1252
};
void PrintTo(const LengthRow& row, std::ostream* os) { *os << row.name; }

class TdsLengths : public TdsPackets, public ::testing::WithParamInterface<LengthRow> {};

TEST_P(TdsLengths, AValueGoesOutWithTheLengthOfItsBytes) {
  const LengthRow& row = GetParam();
  // Bytes 0xA0-0xBF: none of them starts a UTF-8 sequence.
  std::string bytes;
  for (size_t i = 0; i < row.size; ++i) bytes += static_cast<char>(0xA0 + i % 32);
  auto c = LoggedIn();
  ASSERT_TRUE(c->Send(RawTds::kRpc, ExecuteSql(row.statement, row.declaration, row.image, bytes)));
  std::string reply;
  ASSERT_TRUE(c->Read(reply));
  const auto t = RawTds::Parse(reply);
  ASSERT_GE(t.size(), 3u);
  EXPECT_EQ(t[0].type, 0x81);
  EXPECT_EQ(t[0].wireType, row.wireType);
  ASSERT_EQ(t[1].type, 0xD1);
  std::string expected = bytes;
  if (row.asText) {
    expected.clear();
    for (char b : bytes) expected += std::string{b, '\0'};  // U+00A0-U+00BF
  }
  EXPECT_EQ(t[1].cell.size(), expected.size());
  EXPECT_TRUE(t[1].cell == expected);
  EXPECT_EQ(t.back().type, 0xFE);  // the reply reads to its end
  StillAnswers(*c);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TdsLengths,
    ::testing::Values(LengthRow{"VarBinaryEchoed", "SELECT @b", "@b varbinary(8000)", false, 8000, 0xA5, false},
                      LengthRow{"ImageEchoed", "SELECT @b", "@b image", true, 40000, 0x22, false},
                      LengthRow{"BytesAsText", "SELECT CAST(@b AS varchar(8000))", "@b varbinary(8000)", false, 8000,
                                0x63, true}),
    [](const ::testing::TestParamInfo<LengthRow>& info) { return std::string(info.param.name); });

}  // namespace
