// Every catalogue query text the engine sends, through the catalogue connection,
// against a database holding each edge case of the lists and readers.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "automation/ComError.h"
#include "sqlite/Database.h"
#include "sqlserver/CatalogConnection.h"
#include "sqlserver/ServerErrors.h"
#include "sqlserver/Utf16.h"
#include "support/SimFixture.h"
#include "support/StraddlingText.h"

using namespace vx::sqlserver;

namespace {

const std::string kProcCols = "SELECT DISTINCT A.name, A.id, A.crdate, A.schema_ver, B.name AS owner ";
const std::string kCols = "SELECT DISTINCT A.name, A.id, A.xtype, A.crdate, A.schema_ver, B.name AS owner ";
const std::string kTrCols =
    "SELECT DISTINCT A.name, A.id, A.xtype, A.crdate, A.schema_ver, B.name AS owner, D.id AS tableid, D.name AS "
    "tablename ";
const std::string kJoin = "FROM sysobjects A INNER JOIN sysusers B ON A.uid = B.uid INNER JOIN syscomments C ON A.id = C.id ";
const std::string kTrJoin = kJoin + "LEFT OUTER JOIN sysobjects D ON A.parent_obj = D.id ";
const std::string kShipped = "AND OBJECTPROPERTY(A.id,'IsMSShipped') = 0 ";

std::string ProcList(bool encrypted, bool ignoreSystem) {
  return kProcCols + kJoin + "WHERE A.xtype = 'P' AND C.encrypted = " + (encrypted ? "1 " : "0 ") +
         (ignoreSystem ? kShipped : "") + "AND OBJECTPROPERTY(A.id, 'IsExtendedProc') = 0 ORDER BY A.name";
}
std::string ViewList(bool encrypted, bool ignoreSystem) {
  return kCols + kJoin + "WHERE A.xtype = 'V' AND C.encrypted = " + (encrypted ? "1 " : "0 ") +
         (ignoreSystem ? kShipped : "") + "ORDER BY A.name";
}
std::string TriggerList(bool encrypted, bool ignoreSystem) {
  return kTrCols + kTrJoin + "WHERE A.xtype = 'TR' AND C.encrypted = " + (encrypted ? "1 " : "0 ") +
         (ignoreSystem ? kShipped : "") + "ORDER BY A.name";
}
std::string FunctionList(bool encrypted, bool ignoreSystem) {
  return kCols + kJoin + "WHERE A.xtype IN('FN','IF','TF') AND C.encrypted = " + (encrypted ? "1 " : "0 ") +
         (ignoreSystem ? kShipped : "") + "ORDER BY A.name";
}
std::string Reader(int32_t id) {
  return "SELECT DISTINCT A.name, A.id, A.crdate, A.schema_ver, B.name AS owner, OBJECTPROPERTY(A.id, "
         "'ExecIsAnsiNullsOn') AS set_ansi_nulls, OBJECTPROPERTY(A.id, 'IsQuotedIdentOn') AS set_quoted_identifier "
         "FROM sysobjects A INNER JOIN sysusers B ON A.uid = B.uid WHERE A.id = " + std::to_string(id);
}
std::string TriggerReader(int32_t id) {
  return "SELECT DISTINCT A.name, A.id, A.xtype, A.crdate, A.schema_ver, B.name AS owner, D.id AS tableid, D.name AS "
         "tablename, OBJECTPROPERTY(A.id, 'ExecIsAnsiNullsOn') AS set_ansi_nulls, OBJECTPROPERTY(A.id, "
         "'IsQuotedIdentOn') AS set_quoted_identifier FROM sysobjects A INNER JOIN sysusers B ON A.uid = B.uid LEFT "
         "OUTER JOIN sysobjects D ON A.parent_obj = D.id WHERE A.id = " + std::to_string(id);
}
std::string SchemaVersion(int32_t id) {
  return "SELECT DISTINCT A.id, A.schema_ver FROM sysobjects A WHERE A.id = " + std::to_string(id);
}

class CatalogQueries : public SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    std::string longBody(9000, 'x');
    Run("CREATE TABLE dbo.Orders (id int)\nGO\n"
        "CREATE PROCEDURE dbo.Dup AS select 1\nGO\n"
        "CREATE PROCEDURE bob.Dup AS select 2\nGO\n"
        "CREATE PROCEDURE LongProc AS\n-- " + longBody + "\nselect 1\nGO\n"
        "CREATE PROCEDURE Secret WITH ENCRYPTION AS select 3\nGO\n"
        "CREATE PROCEDURE NoText AS select 4\nGO\n"
        "SET QUOTED_IDENTIFIER OFF\nGO\nSET ANSI_NULLS OFF\nGO\n"
        "CREATE PROCEDURE OldStyle AS select \"text\"\nGO\n"
        "SET QUOTED_IDENTIFIER ON\nGO\nSET ANSI_NULLS ON\nGO\n"
        "CREATE VIEW vOrders AS SELECT id FROM Orders\nGO\n"
        "CREATE VIEW vSecret WITH ENCRYPTION AS SELECT id FROM Orders\nGO\n"
        "CREATE TRIGGER trOrders ON Orders FOR INSERT AS select 1\nGO\n"
        "CREATE TRIGGER trSecret ON dbo.Orders WITH ENCRYPTION FOR UPDATE AS select 1\nGO\n"
        "CREATE FUNCTION fScalar() RETURNS int AS BEGIN RETURN 1 END\nGO\n"
        "CREATE FUNCTION fInline(@a int) RETURNS TABLE AS RETURN (SELECT 1 AS x)\nGO\n"
        "CREATE FUNCTION fMulti() RETURNS @t TABLE (x int) AS BEGIN INSERT @t VALUES (1) RETURN END\nGO\n"
        "CREATE FUNCTION fSecret() RETURNS int WITH ENCRYPTION AS BEGIN RETURN 2 END\nGO\n");
    // An object whose text rows are gone.
    vx::sqlite::Database db(server_->FilePath());
    db.Exec("DELETE FROM comments WHERE id = " + std::to_string(ObjectId("NoText")));
  }

  Recordset Query(const std::string& text, const std::string& database = "Sales") {
    CatalogConnection c;
    c.Open("Provider=SQLOLEDB;Data Source=" + serverName_ + ";Initial Catalog=" + database +
           ";User Id=sa ;Password=sa-pw");
    Recordset rs = c.Execute(text);
    c.Close();  // disconnected: the rows stay readable
    return rs;
  }

  static std::vector<std::string> Names(Recordset rs) {
    std::vector<std::string> names;
    for (; !rs.IsEOF(); rs.MoveNext()) names.push_back(rs.Field("name").AsText());
    return names;
  }
};

using NameList = std::vector<std::string>;

}  // namespace

TEST_F(CatalogQueries, ProcedureLists) {
  EXPECT_EQ(Names(Query(ProcList(false, true))), (NameList{"Dup", "Dup", "LongProc", "OldStyle"}));
  EXPECT_EQ(Names(Query(ProcList(false, false))),
            (NameList{"dt_addtosourcecontrol", "dt_displayoaerror", "dt_verstamp006", "Dup", "Dup", "LongProc",
                   "OldStyle"}));
  EXPECT_EQ(Names(Query(ProcList(true, true))), (NameList{"Secret"}));
  EXPECT_EQ(Names(Query(ProcList(true, false))), (NameList{"Secret"}));
  // Two owners, one name: both rows, each with its owner.
  auto rs = Query(ProcList(false, true));
  std::set<std::string> owners;
  for (; !rs.IsEOF(); rs.MoveNext())
    if (rs.Field("name").AsText() == "Dup") owners.insert(rs.Field("OWNER").AsText());
  EXPECT_EQ(owners, (std::set<std::string>{"bob", "dbo"}));
  // Extended procedures are never listed; shipped ones only when asked.
  EXPECT_EQ(Names(Query(ProcList(false, true), "master")), NameList{});
  EXPECT_EQ(Names(Query(ProcList(false, false), "master")), (NameList{"sp_helptext", "sp_who"}));
}

TEST_F(CatalogQueries, ListRowsCarryTypedColumns) {
  auto rs = Query(ProcList(false, true));
  ASSERT_EQ(rs.RecordCount(), 4);
  EXPECT_EQ(rs.Field("id").GetKind(), Value::Kind::Integer);
  EXPECT_EQ(rs.Field("crdate").GetKind(), Value::Kind::DateTime);
  EXPECT_EQ(rs.Field("schema_ver").AsInt32(), 0);
  EXPECT_GT(rs.Field("crdate").AsDate(), 40000.0);
  try {
    rs.Field("nosuchcolumn");
    ADD_FAILURE();
  } catch (const vx::ComError& e) {
    EXPECT_EQ(e.Number(), vx::err::kRecordsetNoField);
  }
}

TEST_F(CatalogQueries, ViewTriggerAndFunctionLists) {
  EXPECT_EQ(Names(Query(ViewList(false, true))), (NameList{"vOrders"}));
  EXPECT_EQ(Names(Query(ViewList(false, false))), (NameList{"vOrders"}));
  EXPECT_EQ(Names(Query(ViewList(true, true))), (NameList{"vSecret"}));
  EXPECT_EQ(Names(Query(ViewList(true, false))), (NameList{"vSecret"}));
  auto tr = Query(TriggerList(false, true));
  ASSERT_FALSE(tr.IsEOF());
  EXPECT_EQ(tr.Field("name").AsText(), "trOrders");
  EXPECT_EQ(tr.Field("tablename").AsText(), "Orders");
  EXPECT_EQ(tr.Field("tableid").AsInt32(), ObjectId("Orders"));
  EXPECT_EQ(Names(Query(TriggerList(false, false))), (NameList{"trOrders"}));
  EXPECT_EQ(Names(Query(TriggerList(true, true))), (NameList{"trSecret"}));
  EXPECT_EQ(Names(Query(TriggerList(true, false))), (NameList{"trSecret"}));
  EXPECT_EQ(Names(Query(FunctionList(false, true))), (NameList{"fInline", "fMulti", "fScalar"}));
  EXPECT_EQ(Names(Query(FunctionList(false, false))), (NameList{"fInline", "fMulti", "fScalar"}));
  EXPECT_EQ(Names(Query(FunctionList(true, true))), (NameList{"fSecret"}));
  EXPECT_EQ(Names(Query(FunctionList(true, false))), (NameList{"fSecret"}));
  auto fn = Query(FunctionList(false, true));
  std::set<std::string> xtypes;
  for (; !fn.IsEOF(); fn.MoveNext()) xtypes.insert(fn.Field("xtype").AsText());
  EXPECT_EQ(xtypes, (std::set<std::string>{"FN", "IF", "TF"}));
}

TEST_F(CatalogQueries, Readers) {
  auto rs = Query(Reader(ObjectId("LongProc")));
  ASSERT_EQ(rs.RecordCount(), 1);
  EXPECT_EQ(rs.Field("set_ansi_nulls").AsInt32(), 1);
  EXPECT_EQ(rs.Field("set_quoted_identifier").AsInt32(), 1);
  EXPECT_EQ(rs.Field("owner").AsText(), "dbo");
  auto old = Query(Reader(ObjectId("OldStyle")));
  EXPECT_EQ(old.Field("set_ansi_nulls").AsInt32(), 0);
  EXPECT_EQ(old.Field("set_quoted_identifier").AsInt32(), 0);
  // A table is no module: its ExecIsAnsiNullsOn is NULL.
  EXPECT_TRUE(Query(Reader(ObjectId("Orders"))).Field("set_ansi_nulls").IsNull());
  EXPECT_TRUE(Query(Reader(-5)).IsEOF());
  EXPECT_TRUE(Query(Reader(ObjectId("NoText"))).RecordCount() == 1);
  auto tr = Query(TriggerReader(ObjectId("trSecret")));
  EXPECT_EQ(tr.Field("tablename").AsText(), "Orders");
  EXPECT_EQ(tr.Field("xtype").AsText(), "TR");
  EXPECT_EQ(tr.Field("set_quoted_identifier").AsInt32(), 1);
}

TEST_F(CatalogQueries, SchemaVersionGrowsBy16PerAlter) {
  int32_t id = ObjectId("Dup");
  EXPECT_EQ(Query(SchemaVersion(id)).Field("schema_ver").AsInt32(), 0);
  Run("ALTER PROCEDURE Dup AS select 10\nGO\nALTER PROCEDURE dbo.Dup WITH ENCRYPTION AS select 11");
  auto rs = Query(SchemaVersion(id));
  EXPECT_EQ(rs.Field("schema_ver").AsInt32(), 32);
  EXPECT_EQ(rs.Field("id").AsInt32(), id);
  EXPECT_EQ(Names(Query(ProcList(true, true))), (NameList{"Dup", "Secret"}));
}

TEST_F(CatalogQueries, TextIsKeptInRowsOf4000Characters) {
  auto r = Batch("SELECT colid, text FROM syscomments WHERE id = " + std::to_string(ObjectId("LongProc")) +
                 " ORDER BY colid");
  ASSERT_EQ(r.resultSets.size(), 1u);
  const auto& rows = r.resultSets[0].rows;
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][1].AsText().size(), 4000u);
  EXPECT_EQ(rows[1][1].AsText().size(), 4000u);
  std::string all = rows[0][1].AsText() + rows[1][1].AsText() + rows[2][1].AsText();
  EXPECT_EQ(all.rfind("CREATE PROCEDURE LongProc AS\n-- xxx", 0), 0u);
  EXPECT_EQ(all.substr(all.size() - 9), "\nselect 1");
  // Encrypted objects keep no readable text.
  auto e = Batch("SELECT text, encrypted FROM syscomments WHERE id = " + std::to_string(ObjectId("Secret")));
  EXPECT_TRUE(e.resultSets[0].rows[0][0].IsNull());
  EXPECT_EQ(e.resultSets[0].rows[0][1].AsInt32(), 1);
}

TEST_F(CatalogQueries, TextIsCutInRowsOf4000CodeUnitsAsTheServerCutsIt) {
  const std::string text = tds_test::StraddlingProcedure("Straddle");
  Run(text + "\nGO\n");
  auto r = Batch("SELECT DATALENGTH(text), DATALENGTH(ctext), text FROM syscomments WHERE id = " +
                 std::to_string(ObjectId("Straddle")) + " ORDER BY colid");
  ASSERT_EQ(r.resultSets.size(), 1u);
  const auto& rows = r.resultSets[0].rows;
  ASSERT_EQ(rows.size(), 3u);
  std::string joined;
  for (size_t i = 0; i < rows.size(); ++i) {
    const int64_t bytes = i < 2 ? 8000 : 2 * static_cast<int64_t>(Utf8ToUtf16(text).size() - 8000);
    EXPECT_EQ(rows[i][0].AsInt64(), bytes) << i;
    EXPECT_EQ(rows[i][1].AsInt64(), bytes) << i;
    AppendText(joined, rows[i][2].AsText());
  }
  EXPECT_EQ(joined, text);
  EXPECT_EQ(rows[1][2].AsText().rfind("\xED\xB4\x9E", 0), 0u);  // the low half of U+1D11E opens the row
  auto lengths = Batch("SELECT DATALENGTH(N'abc'), DATALENGTH('abc'), DATALENGTH(N'\xF0\x9D\x84\x9E')");
  EXPECT_EQ(lengths.resultSets.at(0).rows.at(0),
            (std::vector<Value>{Value::Integer(6), Value::Integer(3), Value::Integer(4)}));
}

TEST_F(CatalogQueries, ConnectionFailures) {
  auto code = [&](const std::string& cs) {
    try {
      CatalogConnection c;
      c.Open(cs);
    } catch (const vx::ComError& e) {
      return e.Number();
    }
    return 0;
  };
  const std::string base = "Provider=SQLOLEDB;Data Source=" + serverName_;
  EXPECT_EQ(code(base + ";Initial Catalog=Sales;User Id=sa;Password=wrong"), vx::err::kServerConnection);
  EXPECT_EQ(code(base + ";Initial Catalog=Sales;User Id=nouser_login;Password=pw"), vx::err::ServerMessage(4060));
  EXPECT_EQ(code(base + ";Initial Catalog=Nowhere;User Id=sa;Password=sa-pw"), vx::err::ServerMessage(4060));
  EXPECT_EQ(code("Provider=SQLOLEDB;Data Source=NOSUCHSERVER;Initial Catalog=Sales;User Id=sa;Password=sa-pw"),
            vx::err::kServerUnreachable);
  EXPECT_EQ(code(base + ";Initial Catalog=Sales;Integrated Security=SSPI"), vx::err::kServerConnection);
  EXPECT_EQ(code(base + ";Initial Catalog=Sales;User Id=plain_login;Password=pw"), 0);
  EXPECT_EQ(code("Data Source"), vx::err::kArchiveConnectionString);
  // A query the server rejects raises its message number.
  CatalogConnection c;
  c.Open(base + ";Initial Catalog=Sales;User Id=sa;Password=sa-pw");
  try {
    c.Execute("SELECT name FROM NoSuchTable");
    ADD_FAILURE();
  } catch (const vx::ComError& e) {
    EXPECT_EQ(e.Number(), -2147221296);
  }
}
