// The main job on the demo server: every object of every demo database is
// encrypted (half of them archived first) and every archived one restored.
#include <map>

#include "EngineTestSupport.h"

namespace {

using engine_test::EngineTest;
using engine_test::ErrorOf;
using engine_test::ReadFile;

struct Object {
  int32_t db;
  ENU_OBJECT_TYPES type;
  UDT_OBJECT listed;
};

class EngineDemoData : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    auto server = MakeServer("VEXDEMO");
    const std::string demo = VX_DEMO_DIR;
    server.RunScript(ReadFile(demo + "/00-server.sql"), "master");
    server.RunScript(ReadFile(demo + "/10-ledger.sql"), "Ledger");
    server.RunScript(ReadFile(demo + "/20-harbour.sql"), "Harbour");
    server.RunScript(ReadFile(demo + "/30-atelier.sql"), "Atelier");
    Connect("VEXDEMO");
  }

  std::vector<Object> Objects(bool encrypted) {
    std::vector<Object> all;
    for (const auto& d : engine_.GetDatabases(vx::kTrue).arrDatabases) {
      auto add = [&](const UDT_OBJECT_CONTAINER& c, ENU_OBJECT_TYPES type) {
        for (const auto& o : c.arrObjects) all.push_back({d.lngDatabaseID, type, o});
      };
      const int32_t db = d.lngDatabaseID;
      add(encrypted ? engine_.GetEncryptedStoredProcedures(db, vx::kTrue) : engine_.GetStoredProcedures(db, vx::kTrue),
          ENU_OBT_STORED_PROCEDURE);
      add(encrypted ? engine_.GetEncryptedTriggers(db, vx::kTrue) : engine_.GetTriggers(db, vx::kTrue), ENU_OBT_TRIGGER);
      add(encrypted ? engine_.GetEncryptedUserDefinedFunctions(db, vx::kTrue)
                    : engine_.GetUserDefinedFunctions(db, vx::kTrue),
          ENU_OBT_USER_DEFINED_FUNCTION);
      add(encrypted ? engine_.GetEncryptedViews(db, vx::kTrue) : engine_.GetViews(db, vx::kTrue), ENU_OBT_VIEW);
    }
    return all;
  }
  static std::string Key(const Object& o) {
    return std::to_string(o.db) + "/" + o.listed.strOwnerName + "." + o.listed.strObjectName;
  }
  UDT_OBJECT Read(const Object& o) {
    return engine_.GetSQLServerObject(o.db, o.listed.lngID, o.type, o.listed.lngTableID);
  }
};

TEST_F(EngineDemoData, EveryObjectIsEncryptedAndEveryArchivedOneComesBackAsItWas) {
  const std::vector<Object> plain = Objects(false);
  const size_t alreadyEncrypted = Objects(true).size();
  ASSERT_GE(plain.size(), 35u);  // the readable ones of the demo's objects
  std::map<std::string, UDT_OBJECT> before;
  std::map<std::string, bool> archived;
  bool archive = true;
  for (const Object& o : plain) {
    SCOPED_TRACE(Key(o));
    before[Key(o)] = Read(o);
    archived[Key(o)] = archive;
    const int32_t id = o.listed.lngID;
    vx::VbBool done = vx::kFalse;
    switch (o.type) {
      case ENU_OBT_STORED_PROCEDURE:
        done = archive ? engine_.EncryptArchiveStoredProcedure(o.db, id) : engine_.EncryptStoredProcedure(o.db, id);
        break;
      case ENU_OBT_TRIGGER:
        done = archive ? engine_.EncryptArchiveTrigger(o.db, id, o.listed.lngTableID)
                       : engine_.EncryptTrigger(o.db, id, o.listed.lngTableID);
        break;
      case ENU_OBT_USER_DEFINED_FUNCTION:
        done = archive ? engine_.EncryptArchiveUserDefinedFunction(o.db, id)
                       : engine_.EncryptUserDefinedFunction(o.db, id);
        break;
      case ENU_OBT_VIEW:
        done = archive ? engine_.EncryptArchiveView(o.db, id) : engine_.EncryptView(o.db, id);
        break;
    }
    EXPECT_EQ(done, vx::kTrue);
    // Its text can no longer be read from the server.
    EXPECT_NE(ErrorOf([&] { Read(o); }), 0);
    vx::VbBool exists = vx::kFalse;
    engine_.GetArchivedObject(o.db, id, exists);
    EXPECT_EQ(exists, archive ? vx::kTrue : vx::kFalse);
    archive = !archive;
  }
  EXPECT_EQ(engine_.GetErrorsExist(), vx::kFalse);
  EXPECT_TRUE(Objects(false).empty());
  EXPECT_EQ(Objects(true).size(), plain.size() + alreadyEncrypted);

  for (const Object& o : Objects(true)) {
    if (!archived.count(Key(o)) || !archived[Key(o)]) continue;
    SCOPED_TRACE(Key(o));
    EXPECT_EQ(engine_.RestoreObject(o.db, o.listed.lngID, o.listed.strObjectName, o.listed.strOwnerName, o.type,
                                    vx::kFalse),
              ENU_RES_SUCCESSFUL);
  }
  EXPECT_EQ(engine_.GetErrorsExist(), vx::kFalse);
  size_t back = 0;
  for (const Object& o : Objects(false)) {
    SCOPED_TRACE(Key(o));
    ASSERT_TRUE(archived[Key(o)]);
    const UDT_OBJECT now = Read(o);
    const UDT_OBJECT& was = before[Key(o)];
    EXPECT_EQ(now.strScript, was.strScript);  // text headed by its SET options
    EXPECT_EQ(now.strOwnerName, was.strOwnerName);
    EXPECT_EQ(now.strTableName, was.strTableName);
    ++back;
  }
  EXPECT_EQ(back, (plain.size() + 1) / 2);
}

}  // namespace
