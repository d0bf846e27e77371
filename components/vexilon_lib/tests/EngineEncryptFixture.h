#pragma once
// The encryption tests' fixture: a simulated server with one database holding
// an object of every kind, an owner's procedure, and the engine connected.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "EngineFaults.h"
#include "EngineTestSupport.h"
#include "sqlserver/SQLServer.h"

namespace engine_test {

// The database's name holds "]" so every script must escape it.
inline constexpr const char* kDatabase = "Sales]Db";

inline constexpr const char* kSchema =
    "CREATE TABLE Orders (id int)\n"
    "GO\n"
    "/* kept before the header */\n"
    "CREATE PROCEDURE usp_orders @id int AS SELECT id FROM Orders WHERE id = @id -- caf\xC3\xA9 \xE2\x82\xAC\n"
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
    "CREATE PROCEDURE usp_fix AS SELECT -2147483648AS INSERT RTBLVERSIONS SELECT -2147483648as insert RTblVersions\n"
    "GO\n"
    "SET QUOTED_IDENTIFIER ON\n"
    "GO\n";

struct Item {
  ENU_OBJECT_TYPES type;
  int32_t id;
  int32_t tableId;
  std::string name;
};

class EngineEncrypt : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    auto server = MakeServer("VXSIM");
    db_ = server.CreateDatabase(kDatabase);
    server.AddUser(kDatabase, "jo", "");
    server.AddRoleMember(kDatabase, "db_ddladmin", "jo");
    server.RunScript(kSchema, kDatabase);
    server.RunScript("SETUSER 'jo'\nGO\nCREATE PROCEDURE usp_jo AS SELECT 7\nGO\nSETUSER\nGO\n", kDatabase);
    Connect("VXSIM");
  }

  // Every object of the database that is not encrypted, of every kind.
  std::vector<Item> Unencrypted() {
    std::vector<Item> items;
    auto add = [&](const UDT_OBJECT_CONTAINER& c, ENU_OBJECT_TYPES type) {
      for (const auto& o : c.arrObjects) items.push_back({type, o.lngID, o.lngTableID, o.strObjectName});
    };
    add(engine_.GetStoredProcedures(db_, vx::kTrue), ENU_OBT_STORED_PROCEDURE);
    add(engine_.GetTriggers(db_, vx::kTrue), ENU_OBT_TRIGGER);
    add(engine_.GetUserDefinedFunctions(db_, vx::kTrue), ENU_OBT_USER_DEFINED_FUNCTION);
    add(engine_.GetViews(db_, vx::kTrue), ENU_OBT_VIEW);
    return items;
  }
  int32_t EncryptedCount() {
    return engine_.GetEncryptedStoredProcedures(db_, vx::kTrue).lngElements +
           engine_.GetEncryptedTriggers(db_, vx::kTrue).lngElements +
           engine_.GetEncryptedUserDefinedFunctions(db_, vx::kTrue).lngElements +
           engine_.GetEncryptedViews(db_, vx::kTrue).lngElements;
  }
  Item Find(const std::string& name) {
    for (const auto& i : Unencrypted())
      if (i.name == name) return i;
    ADD_FAILURE() << "no unencrypted " << name;
    return {};
  }
  UDT_OBJECT Read(const Item& i) {
    switch (i.type) {
      case ENU_OBT_STORED_PROCEDURE: return engine_.GetStoredProcedure(db_, i.id);
      case ENU_OBT_TRIGGER: return engine_.GetTrigger(db_, i.id);
      case ENU_OBT_USER_DEFINED_FUNCTION: return engine_.GetUserDefinedFunction(db_, i.id);
      case ENU_OBT_VIEW: return engine_.GetView(db_, i.id);
    }
    return {};
  }
  vx::VbBool Encrypt(const Item& i, bool archive) {
    switch (i.type) {
      case ENU_OBT_STORED_PROCEDURE:
        return archive ? engine_.EncryptArchiveStoredProcedure(db_, i.id) : engine_.EncryptStoredProcedure(db_, i.id);
      case ENU_OBT_TRIGGER:
        return archive ? engine_.EncryptArchiveTrigger(db_, i.id, i.tableId)
                       : engine_.EncryptTrigger(db_, i.id, i.tableId);
      case ENU_OBT_USER_DEFINED_FUNCTION:
        return archive ? engine_.EncryptArchiveUserDefinedFunction(db_, i.id)
                       : engine_.EncryptUserDefinedFunction(db_, i.id);
      case ENU_OBT_VIEW: return archive ? engine_.EncryptArchiveView(db_, i.id) : engine_.EncryptView(db_, i.id);
    }
    return vx::kFalse;
  }
  bool Archived(int32_t id) {
    return engine_.IsArchivedObjectExist("VXSIM", db_, id) == vx::kTrue;
  }
  // The newest log item: its message and script.
  std::pair<std::string, std::string> LastLog() {
    auto rs = engine_.GetLog();
    int32_t last = 0;
    while (!rs.IsEOF()) {
      last = std::max(last, rs.Field("LogID").ToLong());
      rs.MoveNext();
    }
    auto item = engine_.GetLog(last);
    return {item.Field("Message").ToText(), item.Field("Script").ToText()};
  }
  int32_t LogCount() { return engine_.GetLog().RecordCount(); }

  // Hands the engine a server object whose sessions fail as `fault` says.
  std::shared_ptr<BatchFault> InjectFault(BatchFault::Action action, const std::string& match, int occurrence = 1) {
    auto fault = std::make_shared<BatchFault>();
    fault->action = action;
    fault->match = match;
    fault->occurrence = occurrence;
    auto server = std::make_shared<vx::sqlserver::SQLServer>(std::make_shared<engine_test::FaultyFactory>(fault));
    server->Connect("VXSIM", std::string("vx"), std::string("secret"));
    engine_.SetSQLServer(server);
    return fault;
  }

  int32_t db_ = 0;
};
}  // namespace engine_test
