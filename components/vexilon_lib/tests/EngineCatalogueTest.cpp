// Database and object lists, and the readers of one object.
#include "EngineTestSupport.h"
#include "automation/DateText.h"
#include "automation/ErrorNumbers.h"

namespace {

using engine_test::EngineTest;
using engine_test::ErrorOf;

constexpr const char* kSalesScript =
    "CREATE TABLE Orders (id int)\n"
    "GO\n"
    "CREATE PROCEDURE usp_b AS SELECT 1\n"
    "GO\n"
    "CREATE PROCEDURE usp_a AS SELECT 2\n"
    "GO\n"
    "CREATE PROCEDURE jo.usp_a AS SELECT 22\n"
    "GO\n"
    "CREATE PROCEDURE usp_hidden WITH ENCRYPTION AS SELECT 3\n"
    "GO\n"
    "CREATE VIEW v_orders AS SELECT id FROM Orders\n"
    "GO\n"
    "CREATE TRIGGER tr_orders ON Orders FOR INSERT AS SELECT 1\n"
    "GO\n"
    "CREATE FUNCTION fn_scalar() RETURNS int AS BEGIN RETURN 1 END\n"
    "GO\n"
    "CREATE FUNCTION fn_inline() RETURNS TABLE AS RETURN (SELECT id FROM Orders)\n"
    "GO\n"
    "CREATE FUNCTION fn_multi() RETURNS @t TABLE (id int) AS BEGIN INSERT @t VALUES (1) RETURN END\n"
    "GO\n"
    "SET QUOTED_IDENTIFIER OFF\n"
    "GO\n"
    "SET ANSI_NULLS ON\n"
    "GO\n"
    "CREATE PROCEDURE usp_qoff AS SELECT \"text\"\n"
    "GO\n"
    "SET QUOTED_IDENTIFIER ON\n"
    "GO\n";

class EngineCatalogue : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    auto server = MakeServer("VXSIM");
    sales_ = server.CreateDatabase("Sales");
    empty_ = server.CreateDatabase("Empty Base");
    server.AddUser("Sales", "jo", "");
    server.RunScript(kSalesScript, "Sales");
    // A procedure whose text spans several catalogue rows.
    server.RunScript("CREATE PROCEDURE usp_long AS\n/*" + std::string(9000, 'x') + "*/\nSELECT 1\n", "Sales");
    Connect("VXSIM");
  }

  static std::vector<std::string> Names(const UDT_OBJECT_CONTAINER& c) {
    EXPECT_EQ(c.lngElements, static_cast<int32_t>(c.arrObjects.size()));
    std::vector<std::string> names;
    for (const auto& o : c.arrObjects) names.push_back(o.strOwnerName + "." + o.strObjectName);
    return names;
  }

  int32_t IdOf(const UDT_OBJECT_CONTAINER& c, const std::string& ownerDotName) {
    for (const auto& o : c.arrObjects)
      if (o.strOwnerName + "." + o.strObjectName == ownerDotName) return o.lngID;
    ADD_FAILURE() << "no " << ownerDotName;
    return 0;
  }

  int32_t sales_ = 0, empty_ = 0;
};

TEST_F(EngineCatalogue, DatabasesLeaveOutExactlyTheFourSystemDatabases) {
  auto all = engine_.GetDatabases(vx::kFalse);
  auto user = engine_.GetDatabases(vx::kTrue);
  EXPECT_EQ(all.lngElements, 6);
  ASSERT_EQ(user.lngElements, 2);
  std::vector<std::string> names;
  for (const auto& d : user.arrDatabases) names.push_back(d.strDatabaseName);
  EXPECT_EQ(names, (std::vector<std::string>{"Empty Base", "Sales"}));
  EXPECT_EQ(user.arrDatabases[1].lngDatabaseID, sales_);
  EXPECT_EQ(engine_.GetDatabases(static_cast<vx::VbBool>(1)).lngElements, 2);  // any non-zero is True
}

TEST_F(EngineCatalogue, ProcedureListsSplitEncryptedAndShippedObjects) {
  auto procs = engine_.GetStoredProcedures(sales_, vx::kTrue);
  // Sorted by name alone; two owners of one name both appear; the long text once.
  EXPECT_EQ(Names(procs), (std::vector<std::string>{"dbo.usp_a", "jo.usp_a", "dbo.usp_b", "dbo.usp_long",
                                                     "dbo.usp_qoff"}));
  for (const auto& o : procs.arrObjects) {
    EXPECT_EQ(o.enumObjectType, ENU_OBT_STORED_PROCEDURE);
    EXPECT_EQ(o.lngTableID, 0);
    EXPECT_TRUE(o.strTableName.empty());
    EXPECT_TRUE(o.strScript.empty());
    vx::OleDate d = 0;
    EXPECT_TRUE(vx::TextToDate(o.strCreateDate, d)) << o.strCreateDate;
  }
  auto withShipped = engine_.GetStoredProcedures(sales_, vx::kFalse);
  EXPECT_GT(withShipped.lngElements, procs.lngElements);
  EXPECT_EQ(Names(engine_.GetEncryptedStoredProcedures(sales_, vx::kTrue)),
            std::vector<std::string>{"dbo.usp_hidden"});
}

TEST_F(EngineCatalogue, FunctionsOfAllThreeKindsTriggersAndViews) {
  auto fns = engine_.GetUserDefinedFunctions(sales_, vx::kTrue);
  EXPECT_EQ(Names(fns), (std::vector<std::string>{"dbo.fn_inline", "dbo.fn_multi", "dbo.fn_scalar"}));
  for (const auto& o : fns.arrObjects) EXPECT_EQ(o.enumObjectType, ENU_OBT_USER_DEFINED_FUNCTION);

  auto triggers = engine_.GetTriggers(sales_, vx::kTrue);
  ASSERT_EQ(triggers.lngElements, 1);
  EXPECT_EQ(triggers.arrObjects[0].enumObjectType, ENU_OBT_TRIGGER);
  EXPECT_EQ(triggers.arrObjects[0].strTableName, "Orders");
  EXPECT_NE(triggers.arrObjects[0].lngTableID, 0);

  auto views = engine_.GetViews(sales_, vx::kTrue);
  EXPECT_EQ(Names(views), std::vector<std::string>{"dbo.v_orders"});
  EXPECT_EQ(views.arrObjects[0].enumObjectType, ENU_OBT_VIEW);

  for (auto c : {engine_.GetEncryptedViews(sales_, vx::kTrue), engine_.GetEncryptedTriggers(sales_, vx::kTrue),
                 engine_.GetEncryptedUserDefinedFunctions(sales_, vx::kTrue),
                 engine_.GetStoredProcedures(empty_, vx::kTrue)}) {
    EXPECT_EQ(c.lngElements, 0);
    EXPECT_TRUE(c.arrObjects.empty());
  }
  EXPECT_NE(ErrorOf([&] { engine_.GetViews(4242, vx::kTrue); }), 0);
}

TEST_F(EngineCatalogue, ReadersGiveTheTextHeadedByItsSetLines) {
  auto procs = engine_.GetStoredProcedures(sales_, vx::kTrue);
  auto a = engine_.GetStoredProcedure(sales_, IdOf(procs, "dbo.usp_a"));
  EXPECT_EQ(a.enumObjectType, ENU_OBT_STORED_PROCEDURE);
  EXPECT_EQ(a.strObjectName, "usp_a");
  EXPECT_EQ(a.strOwnerName, "dbo");
  EXPECT_EQ(a.strScript,
            "SET QUOTED_IDENTIFIER ON\r\nGO\r\nSET ANSI_NULLS ON\r\nGO\r\n\r\nCREATE PROCEDURE usp_a AS SELECT 2");
  EXPECT_EQ(a.strCreateDate, procs.arrObjects[0].strCreateDate);

  auto qoff = engine_.GetStoredProcedure(sales_, IdOf(procs, "dbo.usp_qoff"));
  EXPECT_EQ(qoff.strScript.rfind("SET QUOTED_IDENTIFIER OFF\r\nGO\r\nSET ANSI_NULLS ON\r\nGO\r\n\r\nCREATE", 0), 0u);

  auto jo = engine_.GetStoredProcedure(sales_, IdOf(procs, "jo.usp_a"));
  EXPECT_EQ(jo.strOwnerName, "jo");

  auto longProc = engine_.GetStoredProcedure(sales_, IdOf(procs, "dbo.usp_long"));
  EXPECT_NE(longProc.strScript.find(std::string(9000, 'x')), std::string::npos);

  auto trigger = engine_.GetTriggers(sales_, vx::kTrue).arrObjects.at(0);
  auto t = engine_.GetTrigger(sales_, trigger.lngID);
  EXPECT_EQ(t.enumObjectType, ENU_OBT_TRIGGER);
  EXPECT_EQ(t.lngTableID, trigger.lngTableID);
  EXPECT_EQ(t.strTableName, "Orders");
  EXPECT_NE(t.strScript.find("CREATE TRIGGER tr_orders"), std::string::npos);

  auto view = engine_.GetView(sales_, engine_.GetViews(sales_, vx::kTrue).arrObjects.at(0).lngID);
  EXPECT_EQ(view.enumObjectType, ENU_OBT_VIEW);
  EXPECT_EQ(view.lngTableID, 0);
  EXPECT_NE(view.strScript.find("CREATE VIEW v_orders"), std::string::npos);

  auto fnId = IdOf(engine_.GetUserDefinedFunctions(sales_, vx::kTrue), "dbo.fn_scalar");
  auto fn = engine_.GetUserDefinedFunction(sales_, fnId);
  EXPECT_EQ(fn.enumObjectType, ENU_OBT_USER_DEFINED_FUNCTION);
  EXPECT_NE(fn.strScript.find("fn_scalar"), std::string::npos);

  auto version = engine_.GetObjectSchemaVersion(sales_, a.lngID);
  EXPECT_EQ(version.lngID, a.lngID);
  EXPECT_EQ(version.lngSchemaVersion, a.lngSchemaVersion);
  EXPECT_TRUE(version.strArchivedDate.empty());
}

TEST_F(EngineCatalogue, UnknownIdsGiveEmptyRecordsAndWrongKindsRaise) {
  EXPECT_EQ(engine_.GetStoredProcedure(sales_, 987654), UDT_OBJECT{});
  EXPECT_EQ(engine_.GetTrigger(sales_, 987654), UDT_OBJECT{});
  EXPECT_EQ(engine_.GetObjectSchemaVersion(sales_, 987654), UDT_OBJECT_ID{});
  const int32_t viewId = engine_.GetViews(sales_, vx::kTrue).arrObjects.at(0).lngID;
  EXPECT_NE(ErrorOf([&] { engine_.GetStoredProcedure(sales_, viewId); }), 0);
  EXPECT_NE(ErrorOf([&] { engine_.GetStoredProcedure(4242, viewId); }), 0);
  EXPECT_EQ(engine_.GetSQLServerObject(sales_, viewId, static_cast<ENU_OBJECT_TYPES>(0)), UDT_OBJECT{});
  EXPECT_EQ(engine_.GetSQLServerObject(sales_, viewId, static_cast<ENU_OBJECT_TYPES>(5)), UDT_OBJECT{});
}

TEST_F(EngineCatalogue, ObjectReadThroughTheObjectModelAlone) {
  auto view = engine_.GetSQLServerObject(sales_, engine_.GetViews(sales_, vx::kTrue).arrObjects.at(0).lngID,
                                         ENU_OBT_VIEW);
  EXPECT_EQ(view.strObjectName, "v_orders");
  EXPECT_EQ(view.strScript.rfind("SET QUOTED_IDENTIFIER ON\r\nGO\r\nSET ANSI_NULLS ON\r\nGO\r\n\r\nCREATE VIEW", 0), 0u) << view.strScript;
  auto trigger = engine_.GetTriggers(sales_, vx::kTrue).arrObjects.at(0);
  auto t = engine_.GetSQLServerObject(sales_, trigger.lngID, ENU_OBT_TRIGGER, trigger.lngTableID);
  EXPECT_EQ(t.strTableName, "Orders");
  EXPECT_EQ(t.lngTableID, 0);
  EXPECT_NE(ErrorOf([&] { engine_.GetSQLServerObject(sales_, trigger.lngID, ENU_OBT_TRIGGER); }), 0);
}

}  // namespace
