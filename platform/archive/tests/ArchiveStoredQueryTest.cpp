// The stored queries: parameter checking, Null, row sets, the cascade,
// transactions.
#include <cmath>

#include <gtest/gtest.h>

#include <sqlcipher/sqlite3.h>

#include "../src/Secrets.h"
#include "ArchiveTestFolder.h"
#include "archive/Connection.h"
#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"

namespace {

using archive_test::ArchiveFolder;
using vx::archive::Connection;
using vx::archive::Parameter;
using vx::archive::ParamType;
using Params = std::vector<Parameter>;

Params Server(const std::string& name, int auth, const std::string& user, const std::string& password) {
  return {Parameter::Text("@SQLServerName", name, 128), Parameter::Byte("@LoginAuthenticationType", auth),
          Parameter::Text("@UserName", user, 128),
          Parameter::Text("@Password", password, 128, ParamType::LongVarWChar)};
}

Params Archived(const std::string& server, int db, int id, int type = 1) {
  auto t = [](const char* n, const std::string& v, ParamType pt = ParamType::LongVarWChar) {
    return Parameter::TextLength(n, v, pt);
  };
  return {Parameter::Long("@ID", id),
          Parameter::Text("@SQLServerName", server, 128),
          Parameter::Long("@DatabaseID", db),
          t("@OwnerName", "dbo", ParamType::VarWChar),
          Parameter::Long("@ObjectType", type),
          type == 2 ? Parameter::Long("@TableID", 77) : Parameter::NullOf("@TableID", ParamType::Integer, 0),
          t("@ObjectName", "p" + std::to_string(id), ParamType::VarWChar),
          t("@Script", "CREATE PROCEDURE p AS SELECT 'é'"),
          t("@AlterScript", "ALTER ..."),
          t("@DropScriptHeader", "dh"),
          t("@DropScript", "d"),
          t("@CreateScriptHeader", "ch"),
          t("@CreateScript", "c"),
          Parameter::Date("@CreateDate", 46000.5),
          Parameter::Long("@SchemaVersion", 3),
          Parameter::Bool("@QuotedIdentifierStatus", true),
          Parameter::Bool("@AnsiNullsStatus", false)};
}

Params Key(const std::string& server, int db, int id) {
  return {Parameter::Text("@SQLServerName", server, 128), Parameter::Long("@DatabaseID", db),
          Parameter::Long("@ID", id)};
}

int32_t ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const vx::ComError& e) {
    return e.Number();
  }
  return 0;
}

TEST(ArchiveStoredQueries, ParametersAreCheckedAgainstTheQueryDeclaration) {
  ArchiveFolder f;
  Connection c(f.User());
  EXPECT_EQ(ErrorOf([&] { c.Execute("qryNoSuchQuery"); }), vx::err::kArchiveNoQuery);
  // Count, order, name and type must match.
  EXPECT_EQ(ErrorOf([&] { c.OpenRecordset("qryGetSQLServer"); }), vx::err::kArchiveParameter);
  EXPECT_EQ(ErrorOf([&] { c.OpenRecordset("qryGetSQLServers", {Parameter::Long("@X", 1)}); }),
            vx::err::kArchiveParameter);
  EXPECT_EQ(ErrorOf([&] { c.OpenRecordset("qryGetLogItem", {Parameter::Long("@ID", 1)}); }),
            vx::err::kArchiveParameter);
  EXPECT_EQ(ErrorOf([&] { c.OpenRecordset("qryGetLogItem", {Parameter::Byte("@LogID", 1)}); }),
            vx::err::kArchiveParameter);
  EXPECT_EQ(ErrorOf([&] {
              c.OpenRecordset("qryGetArchivedObject",
                              {Parameter::Long("@DatabaseID", 1), Parameter::Text("@SQLServerName", "s", 128),
                               Parameter::Long("@ID", 1)});
            }),
            vx::err::kArchiveParameter);
  // A text longer than its size raises rather than being cut.
  EXPECT_EQ(ErrorOf([&] { c.OpenRecordset("qryGetSQLServer", {Parameter::Text("@SQLServerName", "abcd", 3)}); }),
            vx::err::kArchiveDataOverflow);
  EXPECT_EQ(ErrorOf([&] { c.Execute("qryAddSQLServer", Server(std::string(129, 'n'), 1, "", "")); }),
            vx::err::kArchiveDataOverflow);
  EXPECT_EQ(ErrorOf([&] { c.Execute("qryAddSQLServer", Server("s", 256, "", "")); }), vx::err::kArchiveDataOverflow);
  // Sizes count characters, not bytes: 128 accented letters fit.
  std::string accented;
  for (int i = 0; i < 128; ++i) accented += "é";
  EXPECT_EQ(ErrorOf([&] { c.Execute("qryAddSQLServer", Server(accented, 1, "", "")); }), 0);
  // An empty "length" text has size 0 and is accepted.
  EXPECT_EQ(Parameter::TextLength("@OwnerName", "").size, 0);
  EXPECT_EQ(c.OpenRecordset("qryCountSQLServers").Field("SQLServerCount").ToLong(), 1);
}

TEST(ArchiveStoredQueries, NullIsDistinctAndRowSetsOutliveTheirConnection) {
  ArchiveFolder f;
  vx::archive::Recordset rs;
  {
    Connection c(f.User());
    c.Execute("qryAddSQLServer", Server("Alpha", 2, "", ""));
    c.Execute("qryAddSQLServer", Server("Beta", 2, "sa", "p; w'\""));
    c.Execute("qryUpdateSQLServer", {Parameter::Byte("@LoginAuthenticationType", 1),
                                     Parameter::NullOf("@UserName", ParamType::VarWChar, 128),
                                     Parameter::NullOf("@Password", ParamType::VarWChar, 128),
                                     Parameter::Text("@SQLServerName", "BETA", 128)});
    rs = c.OpenRecordset("qryGetSQLServers");
  }
  ASSERT_EQ(rs.RecordCount(), 2);
  EXPECT_EQ(rs.Field("SQLServerName").ToText(), "Alpha");
  EXPECT_FALSE(rs.Field("UserName").IsNull());
  EXPECT_EQ(rs.Field("UserName").ToText(), "");
  rs.MoveNext();
  EXPECT_EQ(rs.Field("LoginAuthenticationType").ToLong(), 1);
  EXPECT_TRUE(rs.Field("UserName").IsNull());
  EXPECT_TRUE(rs.Field("password").IsNull());
  EXPECT_EQ(ErrorOf([&] { rs.Field("UserName").ToText(); }), vx::err::kInvalidUseOfNull);
  EXPECT_EQ(ErrorOf([&] { rs.Field("Nope"); }), vx::err::kRecordsetNoField);
  rs.MoveNext();
  EXPECT_TRUE(rs.IsEOF());
  EXPECT_EQ(ErrorOf([&] { rs.MoveNext(); }), vx::err::kRecordsetEof);
  rs.Close();
  EXPECT_EQ(ErrorOf([&] { rs.RecordCount(); }), vx::err::kRecordsetClosed);
}

TEST(ArchiveStoredQueries, DeletingAServerCascadesToItsArchivedObjectsOnly) {
  ArchiveFolder f;
  Connection c(f.User());
  c.Execute("qryAddSQLServer", Server("Alpha", 1, "", ""));
  c.Execute("qryAddSQLServer", Server("Beta", 1, "", ""));
  c.Execute("qryAddArchivedObject", Archived("alpha", 5, 100));
  c.Execute("qryAddArchivedObject", Archived("ALPHA", 6, 200, 2));
  c.Execute("qryAddArchivedObject", Archived("Beta", 5, 100));
  c.Execute("qryDeleteSQLServer", {Parameter::TextLength("@SQLServerName", "Alpha")});
  EXPECT_TRUE(c.OpenRecordset("qryGetArchivedObject", Key("Alpha", 5, 100)).IsEOF());
  EXPECT_TRUE(c.OpenRecordset("qryGetArchivedObject", Key("Alpha", 6, 200)).IsEOF());
  EXPECT_FALSE(c.OpenRecordset("qryGetArchivedObject", Key("Beta", 5, 100)).IsEOF());
  EXPECT_EQ(c.OpenRecordset("qryCountSQLServers").Field("SQLServerCount").ToLong(), 1);
}

TEST(ArchiveStoredQueries, ArchivedRowsComeBackTypedWithTheirArchiveDate) {
  ArchiveFolder f;
  Connection c(f.User());
  c.Execute("qryAddArchivedObject", Archived("S", 5, 100));
  c.Execute("qryAddArchivedObject", Archived("S", 5, 101, 2));
  auto rs = c.OpenRecordset("qryGetArchivedObject", Key("s", 5, 100));
  ASSERT_EQ(rs.RecordCount(), 1);
  EXPECT_TRUE(rs.Field("TableID").IsNull());
  EXPECT_EQ(rs.Field("Script").ToText(), "CREATE PROCEDURE p AS SELECT 'é'");
  EXPECT_EQ(rs.Field("CreateDate").GetKind(), vx::archive::Value::Kind::Date);
  EXPECT_DOUBLE_EQ(rs.Field("CreateDate").ToDate(), 46000.5);
  EXPECT_TRUE(rs.Field("QuotedIdentifierStatus").ToBool());
  EXPECT_FALSE(rs.Field("AnsiNullsStatus").ToBool());
  EXPECT_LT(std::fabs(rs.Field("ArchivedDate").ToDate() - vx::OleNow()), 1.0 / 24 / 60);
  auto ids = c.OpenRecordset("qryGetArchivedObjectIDs",
                             {Parameter::Text("@SQLServerName", "S", 128), Parameter::Long("@DatabaseID", 5),
                              Parameter::Byte("@ObjectType", 2)});
  ASSERT_EQ(ids.RecordCount(), 1);
  EXPECT_EQ(ids.Field("ID").ToLong(), 101);
  c.Execute("qryDeleteArchivedObject", Key("S", 5, 100));
  EXPECT_EQ(c.OpenRecordset("qryGetArchivedObjects",
                            {Parameter::Text("@SQLServerName", "S", 128), Parameter::Long("@DatabaseID", 5)})
                .RecordCount(),
            1);
}

TEST(ArchiveStoredQueries, RolledBackWorkLeavesNothingAndCommittedWorkStays) {
  ArchiveFolder f;
  {
    Connection c(f.User());
    c.BeginTrans();
    c.Execute("qryAddArchivedObject", Archived("S", 5, 1));
    c.RollbackTrans();
    c.BeginTrans();
    c.Execute("qryAddArchivedObject", Archived("S", 5, 2));
    c.CommitTrans();
    c.BeginTrans();
    c.Execute("qryAddArchivedObject", Archived("S", 5, 3));
    // closing with the transaction open rolls it back
  }
  Connection c(f.User());
  EXPECT_TRUE(c.OpenRecordset("qryGetArchivedObject", Key("S", 5, 1)).IsEOF());
  EXPECT_FALSE(c.OpenRecordset("qryGetArchivedObject", Key("S", 5, 2)).IsEOF());
  EXPECT_TRUE(c.OpenRecordset("qryGetArchivedObject", Key("S", 5, 3)).IsEOF());
  EXPECT_EQ(ErrorOf([&] { c.CommitTrans(); }), vx::err::kArchiveQuery);
}

TEST(ArchiveStoredQueries, LogItemsGetRisingIdsAndComeOrderedByDate) {
  ArchiveFolder f;
  Connection c(f.User());
  auto item = [&](double when, const char* message) {
    c.Execute("qryAddLogItem", {Parameter::Date("@DateTime", when), Parameter::TextLength("@SQLServerName", "S"),
                                Parameter::TextLength("@DatabaseName", "db"),
                                Parameter::NullOf("@TableName", ParamType::VarWChar, 128),
                                Parameter::TextLength("@OwnerName", "dbo"), Parameter::Long("@ObjectType", 1),
                                Parameter::TextLength("@ObjectName", "p"),
                                Parameter::TextLength("@Message", message, ParamType::LongVarWChar),
                                Parameter::TextLength("@Script", "", ParamType::LongVarWChar)});
  };
  item(46000.75, "late");
  item(46000.25, "early");
  auto all = c.OpenRecordset("qryGetLog");
  ASSERT_EQ(all.RecordCount(), 2);
  const int first = all.Field("LogID").ToLong();
  all.MoveNext();
  EXPECT_GT(all.Field("LogID").ToLong(), first);
  auto ordered = c.OpenRecordset("qryGetLogOrderByDateTime");
  EXPECT_EQ(ordered.Field("Message").ToText(), "early");
  auto one = c.OpenRecordset("qryGetLogItem", {Parameter::Long("@LogID", first)});
  EXPECT_EQ(one.Field("Message").ToText(), "late");
  EXPECT_TRUE(one.Field("TableName").IsNull());
  c.Execute("qryDeleteLog");
  EXPECT_EQ(c.OpenRecordset("qryGetLog").RecordCount(), 0);
}

}  // namespace

namespace {

// Runs SQL on the archive file itself, past the archive layer.
void RawExec(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  const std::string keyed = std::string("PRAGMA key = \"") + vx::archive::detail::kArchiveKey + "\";" + sql;
  char* error = nullptr;
  EXPECT_EQ(sqlite3_exec(db, keyed.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
}

TEST(ArchiveStoredQueries, AnObjectsRowsComeNewestFirstAndGoOneByOne) {
  ArchiveFolder f;
  Connection c(f.User());
  for (int i = 0; i < 3; ++i) c.Execute("qryAddArchivedObject", Archived("S", 5, 100));
  c.Execute("qryAddArchivedObject", Archived("S", 5, 101));
  auto rows = c.OpenRecordset("qryGetArchivedObject", Key("S", 5, 100));
  ASSERT_EQ(rows.RecordCount(), 3);
  const int32_t newest = rows.Field("RowID").ToLong();
  rows.MoveNext();
  EXPECT_LT(rows.Field("RowID").ToLong(), newest);
  // The lists hold each object once.
  const Params db{Parameter::Text("@SQLServerName", "S", 128), Parameter::Long("@DatabaseID", 5)};
  EXPECT_EQ(c.OpenRecordset("qryGetArchivedObjects", db).RecordCount(), 2);
  // A delete takes exactly the row named, and only under its own key.
  auto row = [&](int id, int32_t rowId) {
    Params p = Key("S", 5, id);
    p.push_back(Parameter::Long("@RowID", rowId));
    return p;
  };
  c.Execute("qryDeleteArchivedObjectRow", row(101, newest));
  c.Execute("qryDeleteArchivedObjectRow", row(100, newest));
  EXPECT_EQ(c.OpenRecordset("qryGetArchivedObject", Key("S", 5, 100)).RecordCount(), 2);
  EXPECT_EQ(c.OpenRecordset("qryGetArchivedObject", Key("S", 5, 101)).RecordCount(), 1);
}

TEST(ArchiveStoredQueries, AFileOfTheFirstFormatOpensWithItsRowsAndTodaysQueries) {
  ArchiveFolder f;
  {
    Connection c(f.User());
    c.Execute("qryAddArchivedObject", Archived("S", 5, 100));
    c.Execute("qryAddArchivedObject", Archived("S", 5, 100));
  }
  // Back to what the first format stored.
  RawExec(f.Path(vx::archive::kArchiveFileName),
          "UPDATE ArchiveInfo SET Value = '1' WHERE Name = 'FormatVersion';"
          "DELETE FROM StoredQueries WHERE Name = 'qryDeleteArchivedObjectRow';"
          "UPDATE StoredQueries SET Body = replace(replace(Body, ', RowID FROM', ' FROM'), 'RowID DESC', 'RowID') "
          "WHERE Name = 'qryGetArchivedObject';"
          "UPDATE StoredQueries SET Parameters = replace(Parameters, '202 0', '202 128') "
          "WHERE Name = 'qryAddLogItem';");
  Connection c(f.User());
  auto rows = c.OpenRecordset("qryGetArchivedObject", Key("S", 5, 100));
  ASSERT_EQ(rows.RecordCount(), 2);
  EXPECT_EQ(rows.Field("Script").ToText(), "CREATE PROCEDURE p AS SELECT 'é'");
  const int32_t newest = rows.Field("RowID").ToLong();
  Params p = Key("S", 5, 100);
  p.push_back(Parameter::Long("@RowID", newest));
  c.Execute("qryDeleteArchivedObjectRow", p);
  EXPECT_EQ(c.OpenRecordset("qryGetArchivedObject", Key("S", 5, 100)).Field("RowID").ToLong(), newest - 1);
  // Log texts of any length.
  const std::string longName(300, 'n');
  EXPECT_EQ(ErrorOf([&] {
              c.Execute("qryAddLogItem",
                        {Parameter::Date("@DateTime", 46000.5), Parameter::TextLength("@SQLServerName", longName),
                         Parameter::TextLength("@DatabaseName", longName), Parameter::TextLength("@TableName", longName),
                         Parameter::TextLength("@OwnerName", longName), Parameter::Long("@ObjectType", 1),
                         Parameter::TextLength("@ObjectName", longName),
                         Parameter::TextLength("@Message", "m", ParamType::LongVarWChar),
                         Parameter::TextLength("@Script", "", ParamType::LongVarWChar)});
            }),
            0);
}

int64_t RawCount(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  const std::string key = std::string("PRAGMA key = \"") + vx::archive::detail::kArchiveKey + "\";";
  sqlite3_exec(db, key.c_str(), nullptr, nullptr, nullptr);
  sqlite3_stmt* st = nullptr;
  int64_t n = -1;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
    n = sqlite3_column_int64(st, 0);
  sqlite3_finalize(st);
  sqlite3_close(db);
  return n;
}

TEST(ArchiveStoredQueries, AFileOfTheSecondFormatGainsTheListIndexAndALogListWithoutScripts) {
  ArchiveFolder f;
  const std::string dat = f.Path(vx::archive::kArchiveFileName);
  {
    Connection c(f.User());
    c.Execute("qryAddArchivedObject", Archived("S", 5, 100));
    c.Execute("qryAddArchivedObject", Archived("S", 5, 101));
  }
  RawExec(dat,
          "UPDATE ArchiveInfo SET Value = '2' WHERE Name = 'FormatVersion';"
          "DROP INDEX ArchivedObjectsByType;"
          "UPDATE StoredQueries SET Body = replace(Body, 'Message FROM', 'Message, Script FROM') "
          "WHERE Name = 'qryGetLog';");
  ASSERT_EQ(RawCount(dat, "SELECT count(*) FROM sqlite_master WHERE name = 'ArchivedObjectsByType'"), 0);
  Connection c(f.User());
  EXPECT_EQ(RawCount(dat, "SELECT count(*) FROM sqlite_master WHERE name = 'ArchivedObjectsByType'"), 1);
  EXPECT_EQ(RawCount(dat, "SELECT count(*) FROM ArchivedObjects INDEXED BY ArchivedObjectsByType"), 2);
  const std::vector<std::string> logColumns{"LogID",      "DateTime",   "SQLServerName", "DatabaseName", "OwnerName",
                                            "ObjectName", "ObjectType", "TableName",     "Message"};
  EXPECT_EQ(c.OpenRecordset("qryGetLog").Columns(), logColumns);
  const Params ids{Parameter::Text("@SQLServerName", "S", 128), Parameter::Long("@DatabaseID", 5),
                   Parameter::Byte("@ObjectType", 1)};
  EXPECT_EQ(c.OpenRecordset("qryGetArchivedObjectIDs", ids).RecordCount(), 2);
}

TEST(ArchiveStoredQueries, AFileOfALaterFormatIsRefusedAndLeftAsItIs) {
  ArchiveFolder f;
  RawExec(f.Path(vx::archive::kArchiveFileName), "UPDATE ArchiveInfo SET Value = '4' WHERE Name = 'FormatVersion';");
  try {
    Connection c(f.User());
    ADD_FAILURE() << "a later format opened";
  } catch (const vx::ComError& e) {
    EXPECT_EQ(e.Number(), vx::err::kArchiveNotADatabase);
    EXPECT_NE(e.Description().find("newer version of Vexilon"), std::string::npos) << e.Description();
  }
  // Still the later format: nothing was written back.
  EXPECT_EQ(ErrorOf([&] { Connection c(f.User()); }), vx::err::kArchiveNotADatabase);
}

}  // namespace
