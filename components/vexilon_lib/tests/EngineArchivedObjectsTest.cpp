// Archived objects read back from the archive, and the cascade on unregistering.
#include <cmath>

#include "../src/ArchiveCalls.h"
#include "EngineTestSupport.h"
#include "archive/Connection.h"
#include "automation/DateText.h"
#include "automation/ErrorNumbers.h"

namespace {

using engine_test::EngineTest;
using engine_test::ErrorOf;
namespace calls = vexilon::archive_calls;

class EngineArchivedObjects : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    MakeServer("VXSIM");
    Connect("VXSIM");
  }

  calls::ArchivedObjectValues Row(const std::string& server, int32_t db, int32_t id, ENU_OBJECT_TYPES type) {
    calls::ArchivedObjectValues v;
    v.id = id;
    v.serverName = server;
    v.databaseId = db;
    v.ownerName = "dbo";
    v.objectType = type;
    v.tableId = 900;
    v.objectName = "obj" + std::to_string(id);
    v.script = "CREATE PROCEDURE obj AS SELECT 'ü'";
    v.alterScript = "ALTER ...";
    v.dropScriptHeader = "/* drop header */ drop";
    v.dropScript = "drop";
    v.createScriptHeader = "/* create header */ create";
    v.createScript = "create";
    vx::DatePartsToOle(vx::DateParts{2024, 5, 6, 7, 8, 9}, v.createDate);
    v.schemaVersion = id % 7;
    v.quotedIdentifierOn = false;
    v.ansiNullsOn = true;
    return v;
  }

  void Add(const calls::ArchivedObjectValues& v) {
    vx::archive::Connection c(AppConnectionString());
    c.Execute(calls::kAddArchivedObject, calls::AddArchivedObject(v));
  }
};

TEST_F(EngineArchivedObjects, NothingArchivedGivesEmptyContainersAndRecords) {
  EXPECT_EQ(engine_.GetArchivedObjects(5), UDT_OBJECT_CONTAINER{});
  EXPECT_EQ(engine_.GetArchivedObjectIDs(5, ENU_OBT_STORED_PROCEDURE), UDT_OBJECT_ID_CONTAINER{});
  EXPECT_EQ(engine_.GetArchivedObjectID(5, 10), UDT_OBJECT_ID{});
  for (vx::VbBool passed : {vx::kTrue, vx::kFalse}) {  // no row: False, whatever the caller passed
    vx::VbBool exists = passed;
    EXPECT_EQ(engine_.GetArchivedObject(5, 10, exists), UDT_OBJECT{});
    EXPECT_EQ(exists, vx::kFalse);
  }
}

TEST_F(EngineArchivedObjects, ListsHoldEveryKindOfTheDatabaseWithTheirScripts) {
  Add(Row("VXSIM", 5, 10, ENU_OBT_STORED_PROCEDURE));
  Add(Row("VXSIM", 5, 11, ENU_OBT_TRIGGER));
  Add(Row("vxsim", 5, 12, ENU_OBT_VIEW));
  Add(Row("VXSIM", 6, 13, ENU_OBT_VIEW));
  Add(Row("OTHER", 5, 14, ENU_OBT_VIEW));

  auto all = engine_.GetArchivedObjects(5, ENU_OBT_VIEW);  // the kind is not used
  ASSERT_EQ(all.lngElements, 3);
  ASSERT_EQ(all.arrObjects.size(), 3u);
  const UDT_OBJECT& proc = all.arrObjects[0];
  EXPECT_EQ(proc.lngID, 10);
  EXPECT_EQ(proc.enumObjectType, ENU_OBT_STORED_PROCEDURE);
  EXPECT_EQ(proc.lngTableID, 0);  // Null for everything but triggers
  EXPECT_EQ(proc.strObjectName, "obj10");
  EXPECT_EQ(proc.strDropScriptHeader, "/* drop header */ drop");
  EXPECT_EQ(proc.strDropScript, "drop");
  EXPECT_EQ(proc.strCreateScriptHeader, "/* create header */ create");
  EXPECT_EQ(proc.strCreateScript, "create");
  vx::OleDate created = 0;
  vx::DatePartsToOle(vx::DateParts{2024, 5, 6, 7, 8, 9}, created);
  EXPECT_EQ(proc.strCreateDate, vx::DateToText(created));
  vx::OleDate archived = 0;
  ASSERT_TRUE(vx::TextToDate(proc.strArchivedDate, archived));
  EXPECT_LT(std::abs(archived - vx::OleNow()), 1.0 / 24 / 60);
  EXPECT_TRUE(proc.strScript.empty());
  EXPECT_TRUE(proc.strTableName.empty());
  EXPECT_EQ(all.arrObjects[1].lngTableID, 900);

  auto triggers = engine_.GetArchivedObjectIDs(5, ENU_OBT_TRIGGER);
  ASSERT_EQ(triggers.lngElements, 1);
  EXPECT_EQ(triggers.arrObjects[0].lngID, 11);
  EXPECT_EQ(triggers.arrObjects[0].lngSchemaVersion, 11 % 7);
  EXPECT_FALSE(triggers.arrObjects[0].strArchivedDate.empty());
  EXPECT_EQ(engine_.GetArchivedObjectIDs(5).lngElements, 0);  // omitted kind: 0, which no object has

  auto one = engine_.GetArchivedObjectID(6, 13);
  EXPECT_EQ(one.lngID, 13);
  EXPECT_EQ(one.lngSchemaVersion, 13 % 7);
  EXPECT_EQ(engine_.GetArchivedObjectID(6), UDT_OBJECT_ID{});
}

TEST_F(EngineArchivedObjects, OneArchivedObjectComesWithItsSetLinesAndText) {
  Add(Row("VXSIM", 5, 10, ENU_OBT_STORED_PROCEDURE));
  vx::VbBool exists = vx::kFalse;
  auto o = engine_.GetArchivedObject(5, 10, exists);
  EXPECT_EQ(exists, vx::kTrue);
  EXPECT_EQ(o.strScript,
            "SET QUOTED_IDENTIFIER OFF\r\nGO\r\nSET ANSI_NULLS ON\r\nGO\r\n\r\nCREATE PROCEDURE obj AS SELECT 'ü'");
  EXPECT_EQ(o.lngSchemaVersion, 10 % 7);
  EXPECT_EQ(o.strDropScript, "drop");
}

TEST_F(EngineArchivedObjects, ExistenceAnswersForAnyServerAndUnregisteringCascades) {
  engine_.RegisterSQLServer("VXSIM", ENU_LAT_SQLSERVER, "vx", "secret");
  Add(Row("VXSIM", 5, 10, ENU_OBT_STORED_PROCEDURE));
  Add(Row("OTHER", 5, 10, ENU_OBT_STORED_PROCEDURE));
  CVexilon unconnected;
  unconnected.SetAppConnectionString(AppConnectionString());
  EXPECT_EQ(unconnected.IsArchivedObjectExist("OTHER", 5, 10), vx::kTrue);
  EXPECT_EQ(unconnected.IsArchivedObjectExist("vxsim", 5, 10), vx::kTrue);
  EXPECT_EQ(unconnected.IsArchivedObjectExist("VXSIM", 5, 11), vx::kFalse);
  // Members that need the server's name raise without a server object.
  EXPECT_EQ(ErrorOf([&] { unconnected.GetArchivedObjects(5); }), vx::err::kObjectNotSet);

  EXPECT_EQ(engine_.UnregisterSQLServer("vxsim"), vx::kTrue);
  EXPECT_EQ(unconnected.IsArchivedObjectExist("VXSIM", 5, 10), vx::kFalse);
  EXPECT_EQ(unconnected.IsArchivedObjectExist("OTHER", 5, 10), vx::kTrue);
}

TEST_F(EngineArchivedObjects, ANullInAReadColumnRaisesInvalidUseOfNull) {
  auto params = calls::AddArchivedObject(Row("VXSIM", 5, 10, ENU_OBT_STORED_PROCEDURE));
  params[3] = vx::archive::Parameter::NullOf("@OwnerName", vx::archive::ParamType::VarWChar, 0);
  {
    vx::archive::Connection c(AppConnectionString());
    c.Execute(calls::kAddArchivedObject, params);
  }
  EXPECT_EQ(ErrorOf([&] { engine_.GetArchivedObjects(5); }), vx::err::kInvalidUseOfNull);
  EXPECT_EQ(engine_.GetArchivedObjectIDs(5, ENU_OBT_STORED_PROCEDURE).lngElements, 1);
}

}  // namespace
