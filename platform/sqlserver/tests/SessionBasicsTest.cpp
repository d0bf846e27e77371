// GO splitting, connection strings and typed values.
#include <gtest/gtest.h>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "sqlserver/BatchSplitter.h"
#include "sqlserver/ConnectionString.h"
#include "sqlserver/Names.h"
#include "sqlserver/Value.h"

using namespace vx::sqlserver;

TEST(BatchSplitter, SplitsAtGoLinesOnly) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> batches;
  } cases[] = {
      {"plain", "USE [a]\r\nGO\r\nselect 1\r\nGO\r\n", {"USE [a]", "select 1"}},
      {"lower case and blanks", "select 1\ngo  \n  Go\t\nselect 2", {"select 1", "select 2"}},
      {"GO in a string", "select 'a\nGO\nb'\nGO\n", {"select 'a\nGO\nb'"}},
      {"GO in a block comment", "/* x\nGO\n*/ select 1\nGO", {"/* x\nGO\n*/ select 1"}},
      {"GO in nested comments", "/* a /* b\nGO\n*/ still\nGO\n*/ select 1", {"/* a /* b\nGO\n*/ still\nGO\n*/ select 1"}},
      {"GO after a line comment", "select 1 -- it's\nGO\nselect 2", {"select 1 -- it's", "select 2"}},
      {"GO inside brackets", "select [x\nGO\n]\nGO", {"select [x\nGO\n]"}},
      {"GO as part of a line", "select 1 GO\nGOTO x\nGO", {"select 1 GO\nGOTO x"}},
      {"empty batches dropped", "GO\r\n\r\nGO\r\nselect 1", {"select 1"}},
      {"leading comment kept", "-- note\r\nCREATE PROC p AS select 1\r\nGO\r\n", {"-- note\r\nCREATE PROC p AS select 1"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitBatches(c.text), c.batches) << c.name;
}

TEST(ConnectionString, ReadsTheEngineForms) {
  auto sql = ConnectionString::Parse(
      "Provider=SQLOLEDB;Data Source=SRV\\INST;Initial Catalog=My DB;User Id=user ;Password=secret");
  EXPECT_EQ(sql.provider, "SQLOLEDB");
  EXPECT_EQ(sql.dataSource, "SRV\\INST");
  EXPECT_EQ(sql.initialCatalog, "My DB");
  EXPECT_EQ(sql.userId, "user");
  EXPECT_EQ(sql.password, "secret");
  EXPECT_FALSE(sql.integratedSecurity);
  auto trusted = ConnectionString::Parse("provider=SQLOLEDB; data source = S ;initial catalog=D;Integrated Security=SSPI");
  EXPECT_TRUE(trusted.integratedSecurity);
  EXPECT_EQ(trusted.dataSource, "S");
  EXPECT_TRUE(trusted.GetCredentials().trusted);
}

TEST(ConnectionString, QuotedValuesCannotInjectKeys) {
  ConnectionString cs;
  cs.provider = "SQLOLEDB";
  cs.dataSource = "S";
  cs.initialCatalog = "D";
  cs.userId = "u";
  for (std::string pw : {"a;Integrated Security=SSPI", "it's \"x\"", " spaced ", "\"", "'"}) {
    cs.password = pw;
    auto back = ConnectionString::Parse(cs.ToString());
    EXPECT_EQ(back.password, pw);
    EXPECT_FALSE(back.integratedSecurity) << pw;
    EXPECT_EQ(back.userId, "u");
  }
}

TEST(ConnectionString, MalformedTextsRaise) {
  for (const char* bad : {"Provider=SQLOLEDB;Data Source", "Data Source=S;Password='abc", "=x;Data Source=S",
                          "Data Source=S;Password='a'b", "Initial Catalog=D"}) {
    try {
      ConnectionString::Parse(bad);
      ADD_FAILURE() << bad;
    } catch (const vx::ComError& e) {
      EXPECT_EQ(e.Number(), vx::err::kArchiveConnectionString) << bad;
    }
  }
}

TEST(Value, ConversionsAreStrict) {
  EXPECT_EQ(Value::Integer(42).AsInt32(), 42);
  EXPECT_EQ(Value::Text(" 17 ").AsInt32(), 17);
  EXPECT_EQ(Value::Integer(5).AsText(), "5");
  auto code = [](auto f) {
    try {
      f();
    } catch (const vx::ComError& e) {
      return e.Number();
    }
    return 0;
  };
  EXPECT_EQ(code([] { Value::Null().AsInt32(); }), vx::err::kInvalidUseOfNull);
  EXPECT_EQ(code([] { Value::Null().AsText(); }), vx::err::kInvalidUseOfNull);
  EXPECT_EQ(code([] { Value::Text("x").AsInt32(); }), vx::err::kTypeMismatch);
  EXPECT_EQ(code([] { Value::Integer(int64_t{1} << 40).AsInt32(); }), vx::err::kOverflow);
  EXPECT_NE(Value::Null(), Value::Integer(0));
  EXPECT_NE(Value::Null(), Value::Text(""));
}

#include "sqlserver/Recordset.h"

TEST(Recordset, ReadOnlyForwardRowsWithStrictErrors) {
  ResultSet rows;
  rows.columns = {{"Name", Value::Kind::Text}, {"ID", Value::Kind::Integer}};
  rows.rows = {{Value::Text("a"), Value::Integer(1)}, {Value::Text("b"), Value::Null()}};
  Recordset rs(rows);
  EXPECT_EQ(rs.RecordCount(), 2);
  EXPECT_EQ(rs.FieldCount(), 2);
  EXPECT_EQ(rs.FieldName(1), "ID");
  EXPECT_EQ(rs.Field("name").AsText(), "a");
  EXPECT_EQ(rs.Field("id").AsInt32(), 1);
  rs.MoveNext();
  EXPECT_TRUE(rs.Field("ID").IsNull());
  auto code = [&](auto f) {
    try {
      f();
    } catch (const vx::ComError& e) {
      return e.Number();
    }
    return 0;
  };
  EXPECT_EQ(code([&] { rs.Field("ID").AsInt32(); }), vx::err::kInvalidUseOfNull);
  EXPECT_EQ(code([&] { rs.Field("missing"); }), vx::err::kRecordsetNoField);
  rs.MoveNext();
  EXPECT_TRUE(rs.IsEOF());
  EXPECT_EQ(code([&] { rs.MoveNext(); }), vx::err::kRecordsetEof);
  EXPECT_EQ(code([&] { rs.Field("Name"); }), vx::err::kRecordsetEof);
  rs.MoveFirst();
  EXPECT_EQ(rs.Field("Name").AsText(), "a");
  rs.Close();
  EXPECT_EQ(code([&] { rs.IsEOF(); }), vx::err::kRecordsetClosed);
  Recordset empty(ResultSet{});
  EXPECT_TRUE(empty.IsEOF());
  EXPECT_EQ(empty.RecordCount(), 0);
}

TEST(Names, CompareWholeAndWithoutCaseAsTheServerDoes) {
  struct Case {
    const char* name;
    std::string a, b;
    bool same;
  } cases[] = {
      {"case of ASCII letters", "dbo.Orders", "DBO.ORDERS", true},
      {"case of Latin-1 letters", "Bücher_ÉTÉ", "BÜCHER_été", true},
      {"accents count", "resume", "résumé", false},
      {"a NUL and more", std::string("Alpha\0Beta", 10), "Alpha", false},
      {"a NUL at the end", std::string("Alpha\0", 6), "Alpha", false},
      {"different after a NUL", std::string("a\0b", 3), std::string("a\0c", 3), false},
      {"the same NUL", std::string("a\0B", 3), std::string("A\0b", 3), true},
      {"a prefix", "Dup", "Dupe", false},
  };
  for (const auto& c : cases) EXPECT_EQ(SameName(c.a, c.b), c.same) << c.name;
}
