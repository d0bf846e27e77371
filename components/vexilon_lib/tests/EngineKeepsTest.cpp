// Encryption and restore take nothing else with the object: a view's
// triggers, the permissions on an object, a view's indexes.
#include "EngineEncryptFixture.h"

namespace {

using engine_test::BatchFault;
using engine_test::EngineEncrypt;
using engine_test::Item;
using engine_test::kDatabase;

class EngineKeeps : public EngineEncrypt {
 protected:
  void Run(const std::string& script) { vx::sqlsim::SimServer::Open("VXSIM").RunScript(script, kDatabase); }
  // The rows of a query, each as its columns joined by ",".
  std::vector<std::string> Rows(const std::string& sql) {
    auto result = vx::sqlsim::SimServer::Open("VXSIM").OpenSession({false, "vx", "secret"}, kDatabase)->Execute(sql);
    std::vector<std::string> rows;
    for (const auto& row : result.resultSets.at(0).rows) {
      std::string s;
      for (const auto& v : row) s += (s.empty() ? "" : ",") + (v.IsNull() ? std::string("NULL") : v.AsText());
      rows.push_back(s);
    }
    return rows;
  }
  int32_t IdOf(const std::string& name) {
    const auto rows = Rows("SELECT id FROM sysobjects WHERE name = N'" + name + "'");
    return rows.empty() ? 0 : std::stoi(rows[0]);
  }
  std::vector<std::string> Permissions(const std::string& name) {
    return Rows("SELECT P.action, P.protecttype, U.name, CAST(SUBSTRING(P.columns, 1, 1) AS tinyint) FROM sysprotects "
                "P INNER JOIN sysusers U ON P.uid = U.uid WHERE P.id = " +
                std::to_string(IdOf(name)) + " ORDER BY P.action, P.protecttype, U.name");
  }
  std::string LastTableName() {
    auto rs = engine_.GetLog();
    int32_t last = 0;
    for (; !rs.IsEOF(); rs.MoveNext()) last = std::max(last, rs.Field("LogID").ToLong());
    return engine_.GetLog(last).Field("TableName").ToText();
  }
  ENU_RESTORE_RESULT Restore(const std::string& name, ENU_OBJECT_TYPES type) {
    return engine_.RestoreObject(db_, IdOf(name), name, "dbo", type, vx::kFalse);
  }
};

TEST_F(EngineKeeps, ATriggerOnAViewIsEncryptedArchivedReadAndRestoredThroughItsView) {
  Run("CREATE VIEW v_keep AS SELECT id FROM Orders\nGO\nSET QUOTED_IDENTIFIER OFF\nGO\n"
      "CREATE TRIGGER tr_keep ON v_keep INSTEAD OF INSERT AS SELECT 2\nGO\n"
      "CREATE TRIGGER tr_plain ON v_keep INSTEAD OF DELETE AS SELECT 3\nGO\n");
  const Item trigger = Find("tr_keep");
  const UDT_OBJECT before = Read(trigger);
  EXPECT_EQ(before.strTableName, "v_keep");
  EXPECT_EQ(Encrypt(Find("tr_plain"), false), vx::kTrue);
  EXPECT_EQ(LastTableName(), "v_keep");
  ASSERT_EQ(Encrypt(trigger, true), vx::kTrue);
  EXPECT_EQ(LastTableName(), "v_keep");
  ASSERT_EQ(Restore("tr_keep", ENU_OBT_TRIGGER), ENU_RES_SUCCESSFUL);
  EXPECT_EQ(LastLog().first, "Restored succesfully");
  EXPECT_EQ(LastTableName(), "v_keep");
  EXPECT_EQ(Read(Find("tr_keep")).strScript, before.strScript);
}

TEST_F(EngineKeeps, RestoringAViewPutsItsTriggersBackAsTheyWereOrChangesNothing) {
  enum class Trigger { Readable, EncryptedArchived, EncryptedOnly };
  struct Row {
    const char* view;
    const char* trigger;
    Trigger state;
  };
  for (const Row& row : {Row{"v_a", "tr_a", Trigger::Readable}, Row{"v_b", "tr_b", Trigger::EncryptedArchived},
                         Row{"v_c", "tr_c", Trigger::EncryptedOnly}}) {
    SCOPED_TRACE(row.trigger);
    const std::string trigger = row.trigger;
    Run(std::string("CREATE VIEW ") + row.view + " AS SELECT id FROM Orders\nGO\nSET ANSI_NULLS OFF\nGO\n" +
        "CREATE TRIGGER " + trigger + " ON " + row.view + " INSTEAD OF INSERT AS SELECT 'kept'\nGO\n" +
        "SET ANSI_NULLS ON\nGO\n");
    const std::string text = Read(Find(trigger)).strScript;
    if (row.state != Trigger::Readable) {
      ASSERT_EQ(Encrypt(Find(trigger), row.state == Trigger::EncryptedArchived), vx::kTrue);
    }
    ASSERT_EQ(Encrypt(Find(row.view), true), vx::kTrue);
    const int32_t viewId = IdOf(row.view), triggerId = IdOf(trigger);

    const ENU_RESTORE_RESULT result = Restore(row.view, ENU_OBT_VIEW);
    const std::string message = LastLog().first;
    if (row.state == Trigger::EncryptedOnly) {
      // Nothing changes: the view stays encrypted under its id, with its row and its trigger.
      EXPECT_EQ(result, ENU_RES_FAILED);
      EXPECT_NE(message.find("dbo.tr_c"), std::string::npos) << message;
      EXPECT_EQ(IdOf(row.view), viewId);
      EXPECT_TRUE(Archived(viewId));
      EXPECT_EQ(IdOf(trigger), triggerId);
      continue;
    }
    ASSERT_EQ(message, "Restored succesfully");
    const int32_t back = Find(row.view).id;  // readable again
    if (row.state == Trigger::Readable) {
      EXPECT_EQ(Read(Find(trigger)).strScript, text);
      continue;
    }
    // Encrypted again, its archive row moved to the trigger's new id and new view.
    EXPECT_EQ(Rows("SELECT encrypted FROM syscomments WHERE id = " + std::to_string(IdOf(trigger))),
              std::vector<std::string>{"1"});
    EXPECT_FALSE(Archived(triggerId));
    vx::VbBool exists = vx::kFalse;
    EXPECT_EQ(engine_.GetArchivedObject(db_, IdOf(trigger), exists).lngTableID, back);
    ASSERT_EQ(Restore(trigger, ENU_OBT_TRIGGER), ENU_RES_SUCCESSFUL);
    EXPECT_EQ(Read(Find(trigger)).strScript, text);
  }
}

TEST_F(EngineKeeps, ARestoreAppliesThePermissionsAgainOrIsRolledBack) {
  Run("GRANT SELECT ON v_orders TO jo WITH GRANT OPTION\nGO\nDENY INSERT ON v_orders TO public\nGO\n"
      "GRANT UPDATE (id) ON v_orders TO jo\nGO\nDENY REFERENCES ON v_orders (id) TO public\nGO\n"
      "GRANT EXECUTE ON usp_orders TO jo\nGO\nGRANT EXECUTE ON fn_scalar TO public\nGO\n");
  for (const char* name : {"v_orders", "usp_orders", "fn_scalar"}) {
    SCOPED_TRACE(name);
    const Item item = Find(name);
    const std::vector<std::string> before = Permissions(name);
    ASSERT_FALSE(before.empty());
    ASSERT_EQ(Encrypt(item, true), vx::kTrue);
    EXPECT_EQ(Permissions(name), before);
    ASSERT_EQ(Restore(name, item.type), ENU_RES_SUCCESSFUL) << LastLog().first;
    EXPECT_NE(IdOf(name), item.id);
    EXPECT_EQ(Permissions(name), before);
  }

  // A permission the server refuses: the view is left encrypted, with its row and its permissions.
  ASSERT_EQ(Encrypt(Find("v_orders"), true), vx::kTrue);
  const int32_t id = IdOf("v_orders");
  const std::vector<std::string> before = Permissions("v_orders");
  InjectFault(BatchFault::Action::ServerError, "DENY INSERT");
  EXPECT_EQ(Restore("v_orders", ENU_OBT_VIEW), ENU_RES_FAILED);
  EXPECT_TRUE(Archived(id));
  EXPECT_EQ(Permissions("v_orders"), before);
}

TEST_F(EngineKeeps, AnIndexedViewIsNeitherEncryptedNorRestored) {
  Run("CREATE VIEW dbo.v_bound WITH SCHEMABINDING AS SELECT id FROM dbo.Orders\nGO\n"
      "CREATE VIEW dbo.v_later WITH SCHEMABINDING AS SELECT id FROM dbo.Orders\nGO\n"
      "SET ARITHABORT ON\nGO\nCREATE UNIQUE CLUSTERED INDEX ix_bound ON dbo.v_bound (id)\nGO\n");
  ASSERT_EQ(Encrypt(Find("v_later"), true), vx::kTrue);
  Run("SET ARITHABORT ON\nGO\nCREATE UNIQUE CLUSTERED INDEX ix_later ON dbo.v_later (id)\nGO\n"
      "CREATE INDEX ix_more ON dbo.v_later (id)\nGO\n");
  EXPECT_EQ(Encrypt(Find("v_bound"), true), vx::kFalse);
  EXPECT_NE(LastLog().first.find("(ix_bound)"), std::string::npos) << LastLog().first;
  const int32_t id = IdOf("v_later");
  EXPECT_EQ(Restore("v_later", ENU_OBT_VIEW), ENU_RES_FAILED);
  EXPECT_NE(LastLog().first.find("(ix_later, ix_more)"), std::string::npos) << LastLog().first;
  EXPECT_TRUE(Archived(id));  // and the view is there, encrypted, with all its indexes
  EXPECT_EQ(Rows("SELECT name FROM sysindexes WHERE indid BETWEEN 1 AND 254 ORDER BY name"),
            (std::vector<std::string>{"ix_bound", "ix_later", "ix_more"}));
}

}  // namespace
