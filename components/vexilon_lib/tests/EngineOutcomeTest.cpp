// Encryption and restore judge their outcome by what the server holds: replies
// lost after a batch ran, rows left by interrupted runs, numbered procedures,
// the connection's identity and log items that cannot be written at once.
#include <unistd.h>

#include <map>

#include "../src/AlterHeader.h"
#include "../src/ArchiveCalls.h"
#include "EngineEncryptFixture.h"
#include "archive/Connection.h"
#include "automation/ErrorNumbers.h"

namespace {

using engine_test::BatchFault;
using engine_test::EngineEncrypt;
using engine_test::Item;
using engine_test::kDatabase;
using A = BatchFault::Action;
namespace calls = vexilon::archive_calls;

class EngineOutcome : public EngineEncrypt {
 protected:
  // The text of usp_orders as the reader gives it, before anything ran.
  void SetUp() override {
    EngineEncrypt::SetUp();
    proc_ = Find("usp_orders");
    original_ = Read(proc_).strScript;
  }
  bool Readable(const std::string& name) {
    for (const auto& o : engine_.GetStoredProcedures(db_, vx::kTrue).arrObjects)
      if (o.strObjectName == name) return true;
    return false;
  }
  int32_t EncryptedId(const std::string& name) {
    for (const auto& o : engine_.GetEncryptedStoredProcedures(db_, vx::kTrue).arrObjects)
      if (o.strObjectName == name) return o.lngID;
    return 0;
  }
  ENU_RESTORE_RESULT Restore(int32_t id, const std::string& name = "usp_orders", const std::string& owner = "dbo") {
    return engine_.RestoreObject(db_, id, name, owner, ENU_OBT_STORED_PROCEDURE, vx::kTrue);
  }
  // Runs `run` in a child process on a server object that ends the child at `point`.
  void CrashChild(A action, const std::string& point, const std::function<void(CVexilon&)>& run) {
    engine_.DisconnectSQLServer();
    engine_test::RunInChild([&] {
      CVexilon child;
      child.SetAppConnectionString(AppConnectionString());
      UDT_LOGIN_CREDENTIALS c{"VXSIM", ENU_LAT_SQLSERVER, "vx", "secret"};
      child.ConnectServer(c);
      auto fault = std::make_shared<BatchFault>();
      fault->action = action;
      fault->match = point;
      auto server = std::make_shared<vx::sqlserver::SQLServer>(std::make_shared<engine_test::FaultyFactory>(fault));
      server->Connect("VXSIM", std::string("vx"), std::string("secret"));
      child.SetSQLServer(server);
      run(child);
    });
    Connect("VXSIM");
  }
  void Edit(const std::string& body) {
    vx::sqlsim::SimServer::Open("VXSIM").RunScript("ALTER PROCEDURE usp_orders @id int AS " + body + "\nGO\n",
                                                    kDatabase);
  }

  Item proc_;
  std::string original_;
};

TEST_F(EngineOutcome, AReplyLostAfterABatchOfAnEncryptionIsJudgedByTheServer) {
  struct Row {
    const char* name;
    const char* point;
    int occurrence;
    bool encrypted;  // the ALTER ran before the reply was lost
  };
  const std::map<std::string, std::string> originals{{"usp_orders", original_},
                                                     {"usp_jo", Read(Find("usp_jo")).strScript}};
  for (A action : {A::RunThenDropReply, A::RunThenTimeout}) {
    for (const Row& row : {Row{"usp_orders", "ALTER PROCEDURE", 1, true},
                           Row{"usp_orders", "SET QUOTED_IDENTIFIER", 1, false},
                           Row{"usp_orders", "SET ANSI_NULLS", 1, false},
                           // the owner's object: its second attempt, as its owner
                           Row{"usp_jo", "ALTER PROCEDURE", 2, true}}) {
      SCOPED_TRACE(std::string(row.name) + " at " + row.point +
                   (action == A::RunThenTimeout ? ", session kept" : ", session closed"));
      Connect("VXSIM");
      if (const int32_t id = EncryptedId(row.name)) {
        ASSERT_EQ(Restore(id, row.name, row.name == std::string("usp_jo") ? "jo" : "dbo"), ENU_RES_SUCCESSFUL);
      }
      const Item item = Find(row.name);
      auto fault = InjectFault(action, row.point, row.occurrence);
      engine_.SetErrorsExist(vx::kFalse);
      EXPECT_EQ(Encrypt(item, true), row.encrypted ? vx::kTrue : vx::kFalse);
      EXPECT_TRUE(fault->fired);
      EXPECT_EQ(engine_.GetErrorsExist(), row.encrypted ? vx::kFalse : vx::kTrue);
      EXPECT_EQ(Archived(item.id), row.encrypted);  // the row goes only with the object readable as it was
      const std::string message = LastLog().first;
      EXPECT_EQ(message.rfind(row.encrypted ? "Archived and Encrypted successfully" : "Encryption error:-", 0), 0u)
          << message;
      Connect("VXSIM");
      if (!row.encrypted) {
        EXPECT_EQ(Read(item).strScript, originals.at(row.name));
      }
    }
  }
}

TEST_F(EngineOutcome, AnEncryptionWhoseOutcomeCannotBeToldKeepsTheRow) {
  // The server cannot be reached again after the reply was lost.
  auto fault = InjectFault(A::RunThenDropReply, "ALTER PROCEDURE");
  fault->refuseAfterFire = true;
  EXPECT_EQ(Encrypt(proc_, true), vx::kFalse);
  EXPECT_NE(LastLog().first.find("outcome unknown"), std::string::npos) << LastLog().first;
  EXPECT_TRUE(Archived(proc_.id));
  Connect("VXSIM");  // the next fill shows the truth: encrypted, with its source
  EXPECT_EQ(EncryptedId("usp_orders"), proc_.id);
  ASSERT_EQ(Restore(proc_.id), ENU_RES_SUCCESSFUL);
  EXPECT_EQ(Read(Find("usp_orders")).strScript, original_);

  // Someone else changed the object before it could be looked at.
  const Item again = Find("usp_orders");
  fault = InjectFault(A::RunThenTimeout, "ALTER PROCEDURE");
  fault->then = [&] { Edit("SELECT 99"); };
  EXPECT_EQ(Encrypt(again, true), vx::kFalse);
  EXPECT_NE(LastLog().first.find("outcome unknown: the object's text has changed"), std::string::npos);
  EXPECT_TRUE(Archived(again.id));
}

TEST_F(EngineOutcome, AReplyLostAfterABatchOfARestoreIsJudgedByTheServer) {
  for (A action : {A::RunThenDropReply, A::RunThenTimeout}) {
    for (const char* point : {"BEGIN TRAN", "drop procedure", "CREATE PROCEDURE", "COMMIT TRAN"}) {
      SCOPED_TRACE(std::string(point) + (action == A::RunThenTimeout ? ", session kept" : ", session closed"));
      Connect("VXSIM");
      if (!EncryptedId("usp_orders")) { ASSERT_EQ(Encrypt(Find("usp_orders"), true), vx::kTrue); }
      const int32_t id = EncryptedId("usp_orders");
      const bool committed = std::string(point) == "COMMIT TRAN";
      InjectFault(action, point);
      engine_.SetErrorsExist(vx::kFalse);
      EXPECT_EQ(Restore(id), committed ? ENU_RES_SUCCESSFUL : static_cast<ENU_RESTORE_RESULT>(0));
      EXPECT_EQ(engine_.GetErrorsExist(), committed ? vx::kFalse : vx::kTrue);
      Connect("VXSIM");
      EXPECT_EQ(Archived(id), !committed);
      EXPECT_EQ(Readable("usp_orders"), committed);
      if (committed) { EXPECT_EQ(Read(Find("usp_orders")).strScript, original_); }
    }
  }
}

// A run that died between committing its row and its ALTER leaves a stale row;
// the user edits the procedure and encrypts it again: the newer text counts.
TEST_F(EngineOutcome, AStaleRowNeverComesBackInPlaceOfANewerOne) {
  CrashChild(A::CrashBefore, "ALTER PROCEDURE", [&](CVexilon& c) { c.EncryptArchiveStoredProcedure(db_, proc_.id); });
  ASSERT_TRUE(Archived(proc_.id));
  ASSERT_TRUE(Readable("usp_orders"));
  Edit("SELECT 2 AS edited");
  const std::string edited = Read(proc_).strScript;
  ASSERT_EQ(Encrypt(proc_, true), vx::kTrue);
  vx::VbBool exists = vx::kFalse;
  EXPECT_EQ(engine_.GetArchivedObject(db_, proc_.id, exists).strScript, edited);
  EXPECT_EQ(engine_.GetArchivedObjects(db_).lngElements, 1);  // the stale row is superseded
  ASSERT_EQ(Restore(proc_.id), ENU_RES_SUCCESSFUL);
  EXPECT_EQ(Read(Find("usp_orders")).strScript, edited);
  EXPECT_FALSE(Archived(proc_.id));
}

// A restore that died after the server committed leaves its row under the old
// id; the object lives on under a new one.
TEST_F(EngineOutcome, AnOrphanRowNeverDropsAReadableObject) {
  ASSERT_EQ(Encrypt(proc_, true), vx::kTrue);
  CrashChild(A::CrashAfter, "COMMIT TRAN",
             [&](CVexilon& c) { c.RestoreObject(db_, proc_.id, "usp_orders", "dbo", ENU_OBT_STORED_PROCEDURE, vx::kTrue); });
  ASSERT_TRUE(Archived(proc_.id));
  const Item live = Find("usp_orders");
  ASSERT_NE(live.id, proc_.id);

  // Edited since: left alone, reported, the row kept.
  Edit("SELECT 3 AS edited");
  const std::string edited = Read(live).strScript;
  engine_.SetErrorsExist(vx::kFalse);
  EXPECT_EQ(Restore(proc_.id), static_cast<ENU_RESTORE_RESULT>(0));
  EXPECT_EQ(engine_.GetErrorsExist(), vx::kTrue);
  EXPECT_EQ(Find("usp_orders").id, live.id);
  EXPECT_EQ(Read(live).strScript, edited);
  EXPECT_TRUE(Archived(proc_.id));

  // Equal to the row: the earlier restore finished; the row's life ends, the object stays.
  vx::sqlsim::SimServer::Open("VXSIM").RunScript(
      "DROP PROCEDURE usp_orders\nGO\n/* kept before the header */\n"
      "CREATE PROCEDURE usp_orders @id int AS SELECT id FROM Orders WHERE id = @id -- caf\xC3\xA9 \xE2\x82\xAC\nGO\n",
      kDatabase);
  const Item recreated = Find("usp_orders");
  ASSERT_EQ(Read(recreated).strScript, original_);
  EXPECT_EQ(Restore(proc_.id), ENU_RES_SUCCESSFUL);
  EXPECT_FALSE(Archived(proc_.id));
  EXPECT_EQ(Find("usp_orders").id, recreated.id);  // not dropped
}

// The same orphan row after the object was edited and encrypted again with
// archiving: found by name, the newer encrypted object is not the row's own and
// is never dropped for the old text; the archived list shows the object once.
TEST_F(EngineOutcome, AnOrphanRowNeverDropsANewerEncryptedObject) {
  ASSERT_EQ(Encrypt(proc_, true), vx::kTrue);
  CrashChild(A::CrashAfter, "COMMIT TRAN",
             [&](CVexilon& c) { c.RestoreObject(db_, proc_.id, "usp_orders", "dbo", ENU_OBT_STORED_PROCEDURE, vx::kTrue); });
  ASSERT_TRUE(Archived(proc_.id));
  const Item live = Find("usp_orders");
  ASSERT_NE(live.id, proc_.id);
  Edit("SELECT 4 AS newer");
  const std::string newer = Read(live).strScript;
  ASSERT_EQ(Encrypt(live, true), vx::kTrue);

  const UDT_OBJECT_CONTAINER listed = engine_.GetArchivedObjects(db_);
  EXPECT_EQ(listed.lngElements, 1);
  EXPECT_EQ(listed.arrObjects.at(0).lngID, live.id);

  engine_.SetErrorsExist(vx::kFalse);
  EXPECT_EQ(Restore(proc_.id), static_cast<ENU_RESTORE_RESULT>(0));
  EXPECT_EQ(engine_.GetErrorsExist(), vx::kTrue);
  EXPECT_EQ(EncryptedId("usp_orders"), live.id);
  EXPECT_TRUE(Archived(proc_.id));
  EXPECT_EQ(Restore(live.id), ENU_RES_SUCCESSFUL);
  EXPECT_EQ(Read(Find("usp_orders")).strScript, newer);
}

TEST_F(EngineOutcome, NumberedProceduresAreLeftAloneWithAClearMessage) {
  vx::sqlsim::SimServer::Open("VXSIM").RunScript(
      "CREATE PROCEDURE p_num;1 AS SELECT 1\nGO\nCREATE PROCEDURE p_num;2 AS SELECT 2\nGO\n", kDatabase);
  const Item numbered = Find("p_num");
  const std::string before = Read(numbered).strScript;
  for (bool archive : {true, false}) {
    engine_.SetErrorsExist(vx::kFalse);
    EXPECT_EQ(Encrypt(numbered, archive), vx::kFalse);
    EXPECT_EQ(engine_.GetErrorsExist(), vx::kTrue);
    EXPECT_NE(LastLog().first.find("numbered procedures"), std::string::npos);
    EXPECT_FALSE(Archived(numbered.id));
    EXPECT_EQ(Read(numbered).strScript, before);  // both numbers, untouched
  }
  // A row that an earlier version archived, with both texts joined: restoring
  // it would leave one number holding both bodies. Refused, nothing changed.
  calls::ArchivedObjectValues v;
  v.id = numbered.id;
  v.serverName = "VXSIM";
  v.databaseId = db_;
  v.ownerName = "dbo";
  v.objectType = ENU_OBT_STORED_PROCEDURE;
  v.objectName = "p_num";
  v.script = "CREATE PROCEDURE p_num;1 AS SELECT 1CREATE PROCEDURE p_num;2 AS SELECT 2";
  v.dropScript = "drop procedure [dbo].[p_num]\r\nGO\r\n";
  v.createScript = v.script + "\r\nGO\r\n";
  {
    vx::archive::Connection c(AppConnectionString());
    c.Execute(calls::kAddArchivedObject, calls::AddArchivedObject(v));
  }
  EXPECT_EQ(Restore(numbered.id, "p_num"), static_cast<ENU_RESTORE_RESULT>(0));
  EXPECT_NE(LastLog().first.find("numbered procedures"), std::string::npos);
  EXPECT_EQ(Read(numbered).strScript, before);
  EXPECT_TRUE(Archived(numbered.id));
}

TEST_F(EngineOutcome, AFailedRestoreGivesTheConnectionItsOwnIdentityBack) {
  const Item jo = Find("usp_jo");
  ASSERT_EQ(Encrypt(jo, true), vx::kTrue);
  InjectFault(A::ServerError, "CREATE PROCEDURE usp_jo");  // fails right after the script's SETUSER
  EXPECT_EQ(Restore(jo.id, "usp_jo", "jo"), static_cast<ENU_RESTORE_RESULT>(0));
  // An unqualified object made on the same connection belongs to the login (dbo), not to jo.
  engine_.GetSQLServer()->ExecuteImmediate("USE [Sales]]Db]\r\nGO\r\nCREATE PROCEDURE probe AS SELECT 1\r\n");
  EXPECT_EQ(engine_.GetStoredProcedure(db_, Find("probe").id).strOwnerName, "dbo");
  EXPECT_EQ(Restore(jo.id, "usp_jo", "jo"), ENU_RES_SUCCESSFUL);
}

TEST_F(EngineOutcome, TheLogItemNeverTurnsAnEncryptionIntoAFailure) {
  // The longest database name a server allows, longer than the log fields once were.
  const std::string longName(128, 'd');
  auto sim = vx::sqlsim::SimServer::Open("VXSIM");
  const int32_t longDb = sim.CreateDatabase(longName);
  sim.RunScript("CREATE PROCEDURE p AS SELECT 1\nGO\n", longName);
  const int32_t id = engine_.GetStoredProcedures(longDb, vx::kTrue).arrObjects.at(0).lngID;
  EXPECT_EQ(engine_.EncryptArchiveStoredProcedure(longDb, id), vx::kTrue);
  auto item = engine_.GetLog();
  EXPECT_EQ(item.Field("DatabaseName").ToText(), longName);

  // The archive held by another process while the ALTER runs: waited for.
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t holder = -1;
  auto fault = InjectFault(A::Hook, "ALTER PROCEDURE");
  fault->then = [&] {
    holder = ::fork();
    if (holder == 0) {
      vx::archive::Connection held(AppConnectionString());
      char c = 1;
      (void)!::write(ready[1], &c, 1);
      ::usleep(700 * 1000);
      ::_exit(0);
    }
    char c = 0;
    (void)!::read(ready[0], &c, 1);
  };
  EXPECT_EQ(Encrypt(proc_, true), vx::kTrue);
  int status = 0;
  ::waitpid(holder, &status, 0);
  EXPECT_EQ(LastLog().first, "Archived and Encrypted successfully");
  EXPECT_TRUE(Archived(proc_.id));
}

TEST(AlterHeader, TheOptionMustStandInTheHeader) {
  struct Row {
    const char* script;
    bool carries;
  };
  for (const Row& row : {
           Row{"ALTER PROCEDURE p WITH ENCRYPTION\r\nAS SELECT 1", true},
           Row{"alter proc p @a int = 1 with encryption, recompile as select 1", true},
           Row{"ALTER TRIGGER t ON x\r\nWITH ENCRYPTION\r\nFOR INSERT AS SELECT 1", true},
           Row{"ALTER FUNCTION f(@a int) RETURNS int\r\nWITH ENCRYPTION\r\nBEGIN RETURN 1 END", true},
           Row{"ALTER VIEW v (a) WITH ENCRYPTION, SCHEMABINDING AS SELECT 1 AS a", true},
           Row{"ALTER PROCEDURE p AS SELECT 'WITH ENCRYPTION'", false},
           Row{"ALTER PROCEDURE p /* WITH ENCRYPTION */ AS SELECT 1", false},
           Row{"ALTER PROCEDURE p -- WITH ENCRYPTION\r\nAS SELECT 1", false},
           Row{"ALTER PROCEDURE [with encryption] AS SELECT 1", false},
           Row{"ALTER PROCEDURE p WITH RECOMPILE AS SELECT 1 WITH ENCRYPTION", false},
           Row{"ALTER FUNCTION f() RETURNS @t TABLE (c AS 1) AS BEGIN RETURN END", false},
           Row{"CREATE PROCEDURE p WITH ENCRYPTION AS SELECT 1", false},
           Row{"", false},
       }) {
    EXPECT_EQ(vexilon::HeaderCarriesEncryption(row.script), row.carries) << row.script;
  }
}

// The last check of a procedure's script: everything from the AS that ends its
// header on is the text the archive keeps.
TEST(AlterHeader, TheBodyMustBeTheArchivedBody) {
  struct Row {
    const char* script;
    const char* original;
    bool kept;
  };
  for (const Row& row : {
           Row{"ALTER PROCEDURE p WITH ENCRYPTION\r\nAS SELECT '\\par'", "CREATE PROCEDURE p AS SELECT '\\par'", true},
           Row{"ALTER PROC p (@a int = 1) WITH ENCRYPTION, RECOMPILE AS BEGIN SELECT 1 END",
               "/* as */ create proc p (@a int = 1) WITH RECOMPILE AS BEGIN SELECT 1 END", true},
           Row{"ALTER PROCEDURE p WITH ENCRYPTION\r\nAS SELECT 'p', '\\par'",
               "CREATE PROCEDURE p AS SELECT '__________objectname', '__________par'", false},
           Row{"ALTER PROCEDURE p WITH ENCRYPTION AS SELECT 1\r\nALTER PROC q AS SELECT 2",
               "CREATE PROCEDURE p AS SELECT 1\r\nCREATE PROC q AS SELECT 2", false},
           Row{"ALTER PROCEDURE p WITH ENCRYPTION", "CREATE PROCEDURE p AS SELECT 1", false},
           Row{"ALTER PROCEDURE p WITH ENCRYPTION", "CREATE PROCEDURE p", true},
       }) {
    EXPECT_EQ(vexilon::BodyUnchanged(row.script, row.original), row.kept) << row.original;
  }
}

}  // namespace
