// Encryption with and without archiving, and restore, end to end on a simulated server.
#include "EngineEncryptFixture.h"
#include "automation/ErrorNumbers.h"
#include "sqlserver/SQLServer.h"
#include "sqlserver/ServerErrors.h"

namespace {

using engine_test::BatchFault;
using engine_test::EngineEncrypt;
using engine_test::ErrorOf;
using engine_test::Item;
using engine_test::kDatabase;

TEST_F(EngineEncrypt, EveryKindIsArchivedEncryptedAndRestoredWithItsTextOwnerAndSettings) {
  const std::vector<Item> items = Unencrypted();
  ASSERT_EQ(items.size(), 8u);  // 3 procedures, a trigger, 3 functions, a view
  for (const Item& item : items) {
    SCOPED_TRACE(item.name);
    const UDT_OBJECT before = Read(item);
    ASSERT_EQ(Encrypt(item, true), vx::kTrue);
    EXPECT_EQ(LastLog().first, "Archived and Encrypted successfully");
    // Its text is gone from the server; the archive has it.
    EXPECT_NE(ErrorOf([&] { Read(item); }), 0);
    vx::VbBool exists = vx::kFalse;
    const UDT_OBJECT archived = engine_.GetArchivedObject(db_, item.id, exists);
    ASSERT_EQ(exists, vx::kTrue);
    EXPECT_EQ(archived.strOwnerName, before.strOwnerName);
    EXPECT_EQ(archived.lngSchemaVersion, before.lngSchemaVersion + 16);
    EXPECT_EQ(archived.lngTableID, item.type == ENU_OBT_TRIGGER ? item.tableId : 0);
    if (item.name == "usp_fix") {
      // The archive keeps the fixed text, the one that went to the rewrite:
      // only the first occurrence is changed.
      EXPECT_NE(archived.strScript.find(
                    "SELECT -2147483648 as insert RTblVersions SELECT -2147483648as insert RTblVersions"),
                std::string::npos)
          << archived.strScript;
    } else if (item.type != ENU_OBT_USER_DEFINED_FUNCTION) {  // a function's reader gives its create script
      EXPECT_EQ(archived.strScript, before.strScript);
    }
    EXPECT_EQ(LastLog().second.rfind("USE [Sales]]Db]\r\nGO\r\nSET QUOTED_IDENTIFIER ", 0), 0u);
  }
  EXPECT_TRUE(Unencrypted().empty());
  EXPECT_EQ(EncryptedCount(), 8);
  EXPECT_EQ(engine_.GetErrorsExist(), vx::kFalse);

  for (const Item& item : items) {
    SCOPED_TRACE(item.name);
    const UDT_OBJECT archived = [&] {
      vx::VbBool exists = vx::kFalse;
      return engine_.GetArchivedObject(db_, item.id, exists);
    }();
    EXPECT_EQ(engine_.RestoreObject(db_, item.id, item.name, archived.strOwnerName, item.type, vx::kFalse),
              ENU_RES_SUCCESSFUL);
    EXPECT_EQ(engine_.GetErrorsExist(), vx::kFalse);
    EXPECT_EQ(LastLog().first, "Restored succesfully");
    EXPECT_FALSE(Archived(item.id));
  }
  EXPECT_EQ(EncryptedCount(), 0);
  // Back with the same text, owner and settings (ids change with DROP and CREATE).
  for (const Item& again : Unencrypted()) {
    const UDT_OBJECT now = Read(again);
    if (again.name == "usp_jo") {
      EXPECT_EQ(now.strOwnerName, "jo");
    }
    if (again.name == "usp_fix") {
      // Restored by its create script: the text as it was, with its settings.
      EXPECT_EQ(now.strScript.rfind("SET QUOTED_IDENTIFIER OFF\r\n", 0), 0u) << now.strScript;
      EXPECT_NE(now.strScript.find("SELECT -2147483648AS INSERT RTBLVERSIONS SELECT"), std::string::npos);
    }
    if (again.name == "usp_orders") {
      EXPECT_NE(now.strScript.find("-- caf\xC3\xA9 \xE2\x82\xAC"), std::string::npos);
    }
  }
}

TEST_F(EngineEncrypt, WithoutArchivingEachKindLogsItsOwnWordsAndKeepsNoRow) {
  for (const Item& item : Unencrypted()) {
    SCOPED_TRACE(item.name);
    ASSERT_EQ(Encrypt(item, false), vx::kTrue);
    EXPECT_EQ(LastLog().first,
              item.type == ENU_OBT_STORED_PROCEDURE ? "Encrypted succesfully" : "Encrypted successfully");
    EXPECT_FALSE(Archived(item.id));
  }
  EXPECT_EQ(EncryptedCount(), 8);
  // The trigger's item names its table; the whole alter script is logged.
  auto rs = engine_.GetLog();
  int found = 0;
  while (!rs.IsEOF()) {
    if (rs.Field("ObjectName").ToText() == "tr_orders") {
      EXPECT_EQ(rs.Field("TableName").ToText(), "Orders");
      ++found;
    }
    rs.MoveNext();
  }
  EXPECT_EQ(found, 1);
}

TEST_F(EngineEncrypt, AnOwnersObjectIsAlteredOnTheSecondAttemptAsItsOwner) {
  const Item jo = Find("usp_jo");
  ASSERT_EQ(Encrypt(jo, true), vx::kTrue);
  EXPECT_EQ(LastLog().first, "Archived and Encrypted successfully");
  // The connection is the login's own again: a dbo object is altered at once.
  ASSERT_EQ(Encrypt(Find("usp_orders"), false), vx::kTrue);
}

TEST_F(EngineEncrypt, AServerErrorIsLoggedNotRetriedAndTheArchiveRowTakenBack) {
  const Item proc = Find("usp_orders");
  const UDT_OBJECT before = Read(proc);
  auto fault = InjectFault(BatchFault::Action::ServerError, "ALTER PROCEDURE");
  EXPECT_EQ(Encrypt(proc, true), vx::kFalse);
  EXPECT_TRUE(fault->fired);
  EXPECT_EQ(fault->seen, 1);  // no second attempt for message 156
  EXPECT_EQ(engine_.GetErrorsExist(), vx::kTrue);
  const auto [message, script] = LastLog();
  EXPECT_EQ(message,
            "Encryption error:-2147221348 [Microsoft][ODBC SQL Server Driver][SQL Server]Incorrect syntax near the "
            "keyword 'WITH'.");
  EXPECT_NE(script.find("ALTER PROCEDURE"), std::string::npos);
  EXPECT_FALSE(Archived(proc.id));
  EXPECT_EQ(Read(proc).strScript, before.strScript);
}

TEST_F(EngineEncrypt, FailuresBeforeTheServerStepAreRaisedAndTouchNothing) {
  const Item proc = Find("usp_orders");
  // No such object: raised, no log item, flag untouched.
  EXPECT_EQ(ErrorOf([&] { engine_.EncryptArchiveStoredProcedure(db_, 999999); }), vx::err::kItemNotFound);
  EXPECT_EQ(LogCount(), 0);
  // No archive: raised before the server is touched.
  engine_.SetAppConnectionString(vx::archive::UserConnectionString(folder_ + "nowhere/"));
  EXPECT_NE(ErrorOf([&] { engine_.EncryptArchiveStoredProcedure(db_, proc.id); }), 0);
  engine_.SetAppConnectionString(AppConnectionString());
  EXPECT_EQ(engine_.GetErrorsExist(), vx::kFalse);
  EXPECT_EQ(LogCount(), 0);
  EXPECT_EQ(Unencrypted().size(), 8u);
  EXPECT_FALSE(Archived(proc.id));
  // No server object.
  CVexilon idle;
  EXPECT_EQ(ErrorOf([&] { idle.EncryptView(db_, 1); }), vx::err::kObjectNotSet);
}

TEST_F(EngineEncrypt, ALostConnectionDuringTheAlterKeepsTheSource) {
  const Item proc = Find("usp_orders");
  InjectFault(BatchFault::Action::LoseConnection, "ALTER PROCEDURE");
  EXPECT_EQ(Encrypt(proc, true), vx::kFalse);
  EXPECT_EQ(engine_.GetErrorsExist(), vx::kTrue);
  EXPECT_EQ(LastLog().first, "Encryption error:-2147221504 The connection to the server was lost.");
  Connect("VXSIM");
  EXPECT_FALSE(Archived(proc.id));
  EXPECT_EQ(Unencrypted().size(), 8u);
}

TEST_F(EngineEncrypt, RestoreRefusesAnOlderArchiveAndReportsAMissingRow) {
  const Item proc = Find("usp_orders");
  ASSERT_EQ(Encrypt(proc, true), vx::kTrue);
  // Equal versions are not older.
  EXPECT_EQ(engine_.RestoreObject(db_, proc.id, "usp_orders", "dbo", ENU_OBT_STORED_PROCEDURE, vx::kFalse),
            ENU_RES_SUCCESSFUL);
  const Item again = Find("usp_orders");
  ASSERT_EQ(Encrypt(again, true), vx::kTrue);
  // Altered twice more on the server since: the archive is older.
  auto sim = vx::sqlsim::SimServer::Open("VXSIM");
  sim.RunScript("ALTER PROCEDURE usp_orders WITH ENCRYPTION AS SELECT 2\nGO\n"
                "ALTER PROCEDURE usp_orders WITH ENCRYPTION AS SELECT 3\nGO\n",
                kDatabase);
  EXPECT_EQ(engine_.RestoreObject(db_, again.id, "usp_orders", "dbo", ENU_OBT_STORED_PROCEDURE, vx::kFalse),
            ENU_RES_ARCHIVE_VERSION_OLDER);
  EXPECT_EQ(LastLog(), std::make_pair(std::string("Restore Warning"),
                                      std::string("Archive database object is older than current database object")));
  EXPECT_TRUE(Archived(again.id));
  EXPECT_EQ(engine_.GetErrorsExist(), vx::kFalse);
  EXPECT_EQ(engine_.RestoreObject(db_, again.id, "usp_orders", "dbo", ENU_OBT_STORED_PROCEDURE, vx::kTrue),
            ENU_RES_SUCCESSFUL);
  EXPECT_EQ(Read(Find("usp_orders")).strScript.find("SELECT 3"), std::string::npos);

  // No row: result 1, the flag, and the "no row" item.
  EXPECT_EQ(engine_.RestoreObject(db_, 424242, "gone", "dbo", ENU_OBT_TRIGGER, vx::kFalse), ENU_RES_FAILED);
  EXPECT_EQ(engine_.GetErrorsExist(), vx::kTrue);
  EXPECT_EQ(LastLog(), std::make_pair(std::string("Restore error"),
                                      std::string("Restore script does not exist in archive")));
}

TEST_F(EngineEncrypt, ARestoreWhoseServerCommitFailsKeepsTheArchiveRow) {
  const Item proc = Find("usp_orders");
  ASSERT_EQ(Encrypt(proc, true), vx::kTrue);
  for (auto action : {BatchFault::Action::ServerError, BatchFault::Action::LoseConnection}) {
    for (const char* point : {"BEGIN TRAN", "drop procedure", "CREATE PROCEDURE", "COMMIT TRAN"}) {
      SCOPED_TRACE(point);
      Connect("VXSIM");
      InjectFault(action, point);
      engine_.SetErrorsExist(vx::kFalse);
      int32_t result = -1;
      const int32_t error = ErrorOf([&] {
        result = engine_.RestoreObject(db_, proc.id, "usp_orders", "dbo", ENU_OBT_STORED_PROCEDURE, vx::kFalse);
      });
      EXPECT_EQ(error, 0);  // nothing is raised once the server step began
      EXPECT_EQ(result, 0);
      EXPECT_EQ(engine_.GetErrorsExist(), vx::kTrue);
      Connect("VXSIM");
      EXPECT_TRUE(Archived(proc.id));
      EXPECT_EQ(EncryptedCount(), 1);
    }
  }
  EXPECT_EQ(engine_.RestoreObject(db_, proc.id, "usp_orders", "dbo", ENU_OBT_STORED_PROCEDURE, vx::kFalse),
            ENU_RES_SUCCESSFUL);
  EXPECT_EQ(EncryptedCount(), 0);
}

}  // namespace

namespace {

// The server keeps the ALTER text it ran, which is not the archived text: the
// row stays, since only a readable object equal to it may end its life.
TEST_F(EngineEncrypt, AnAlterThatLeavesTheObjectReadableIsReportedAndKeepsItsRow) {
  const Item view = Find("v_orders");
  const UDT_OBJECT before = Read(view);
  InjectFault(BatchFault::Action::StripEncryption, "ALTER VIEW");
  EXPECT_EQ(Encrypt(view, true), vx::kFalse);
  EXPECT_EQ(engine_.GetErrorsExist(), vx::kTrue);
  const auto [message, script] = LastLog();
  EXPECT_EQ(message.rfind("Encryption error: failed to generate encryption script", 0), 0u) << message;
  EXPECT_NE(script.find("WITH ENCRYPTION"), std::string::npos);  // the script as built
  EXPECT_TRUE(Archived(view.id));
  EXPECT_NE(Read(view).strScript.find("SELECT id FROM Orders"), std::string::npos);  // still readable
  EXPECT_EQ(LogCount(), 1);
}

// A process that dies at any point of an encryption or a restore never leaves
// an encrypted object without its source in the archive.
TEST_F(EngineEncrypt, ACrashAtAnyStepNeverLosesASource) {
  const Item proc = Find("usp_orders");
  const UDT_OBJECT original = Read(proc);
  auto sourceIsSafe = [&](const char* when) {
    SCOPED_TRACE(when);
    Connect("VXSIM");
    if (engine_.GetEncryptedStoredProcedures(db_, vx::kTrue).lngElements == 0) {
      // Readable on the server, with its text.
      EXPECT_EQ(Read(Find("usp_orders")).strScript, original.strScript);
      return;
    }
    const int32_t id = engine_.GetEncryptedStoredProcedures(db_, vx::kTrue).arrObjects[0].lngID;
    vx::VbBool exists = vx::kFalse;
    const UDT_OBJECT archived = engine_.GetArchivedObject(db_, id, exists);
    ASSERT_EQ(exists, vx::kTrue);
    EXPECT_EQ(archived.strScript, original.strScript);
  };
  using A = BatchFault::Action;
  for (A action : {A::CrashBefore, A::CrashAfter}) {
    for (const char* point : {"ALTER PROCEDURE", "SET ANSI_NULLS"}) {
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
        child.EncryptArchiveStoredProcedure(db_, proc.id);
      });
      sourceIsSafe(point);
    }
  }
  // Encrypted now (a run that crashed after its ALTER): restore, crashing at each step.
  Connect("VXSIM");
  ASSERT_EQ(engine_.GetEncryptedStoredProcedures(db_, vx::kTrue).lngElements, 1);
  const int32_t id = engine_.GetEncryptedStoredProcedures(db_, vx::kTrue).arrObjects[0].lngID;
  for (A action : {A::CrashBefore, A::CrashAfter}) {
    for (const char* point : {"BEGIN TRAN", "drop procedure", "CREATE PROCEDURE", "COMMIT TRAN"}) {
      engine_.DisconnectSQLServer();
      engine_test::RunInChild([&] {
        CVexilon child;
        child.SetAppConnectionString(AppConnectionString());
        auto fault = std::make_shared<BatchFault>();
        fault->action = action;
        fault->match = point;
        auto server = std::make_shared<vx::sqlserver::SQLServer>(std::make_shared<engine_test::FaultyFactory>(fault));
        server->Connect("VXSIM", std::string("vx"), std::string("secret"));
        child.SetSQLServer(server);
        child.RestoreObject(db_, id, "usp_orders", "dbo", ENU_OBT_STORED_PROCEDURE, vx::kTrue);
      });
      sourceIsSafe(point);
      // A crash after the server's commit leaves the object restored (and its
      // row, whose deletion never committed): encrypt it again for the next round.
      Connect("VXSIM");
      if (engine_.GetEncryptedStoredProcedures(db_, vx::kTrue).lngElements == 0) {
        SUCCEED() << "restored by the run that crashed at " << point;
        return;
      }
    }
  }
}

}  // namespace

#include "archive/FaultHook.h"

namespace {

// The archive failing at each of its operations in turn, during an encryption
// with archiving and during a restore: the object is always either readable on
// the server or encrypted with its source in the archive.
TEST_F(EngineEncrypt, AnArchiveFailingAtAnyStepNeverLosesASource) {
  const Item proc = Find("usp_orders");
  const UDT_OBJECT original = Read(proc);
  int32_t encryptedId = 0;
  auto sourceIsSafe = [&] {
    vx::archive::SetFaultHook(nullptr);
    const auto encrypted = engine_.GetEncryptedStoredProcedures(db_, vx::kTrue);
    const auto plain = engine_.GetStoredProcedures(db_, vx::kTrue);
    bool readable = false;
    for (const auto& o : plain.arrObjects) readable |= o.strObjectName == "usp_orders";
    encryptedId = 0;
    for (const auto& o : encrypted.arrObjects)
      if (o.strObjectName == "usp_orders") encryptedId = o.lngID;
    ASSERT_NE(readable, encryptedId != 0);
    if (readable) {
      EXPECT_EQ(Read(Find("usp_orders")).strScript, original.strScript);
    } else {
      vx::VbBool exists = vx::kFalse;
      EXPECT_EQ(engine_.GetArchivedObject(db_, encryptedId, exists).strScript, original.strScript);
      EXPECT_EQ(exists, vx::kTrue);
    }
  };
  // Fails the n-th archive operation; reports whether it got that far.
  auto failAt = [](int n, bool& fired) {
    fired = false;
    auto count = std::make_shared<int>(0);
    vx::archive::SetFaultHook([n, count, &fired](const std::string& operation) {
      if (++*count == n) {
        fired = true;
        throw vx::ComError(vx::err::kUnspecified, "Archive", "Disk full while running " + operation + ".");
      }
    });
  };
  for (bool restoring : {false, true}) {
    for (int n = 1;; ++n) {
      SCOPED_TRACE((restoring ? "restore, archive operation " : "encryption, archive operation ") +
                   std::to_string(n));
      // Start each round from the state the step needs.
      sourceIsSafe();
      if (restoring && encryptedId == 0) {
        ASSERT_EQ(Encrypt(Find("usp_orders"), true), vx::kTrue);
        sourceIsSafe();
      }
      if (!restoring && encryptedId != 0) {
        ASSERT_EQ(engine_.RestoreObject(db_, encryptedId, "usp_orders", "dbo", ENU_OBT_STORED_PROCEDURE, vx::kTrue),
                  ENU_RES_SUCCESSFUL);
        sourceIsSafe();
      }
      bool fired = false;
      failAt(n, fired);
      try {
        if (restoring) {
          engine_.RestoreObject(db_, encryptedId, "usp_orders", "dbo", ENU_OBT_STORED_PROCEDURE, vx::kTrue);
        } else {
          Encrypt(Find("usp_orders"), true);
        }
      } catch (const vx::ComError&) {
      }
      vx::archive::SetFaultHook(nullptr);
      sourceIsSafe();
      if (!fired) break;  // a run with no failure: every operation has had its turn
    }
  }
}

// The restore's drop script drops a trigger by its name, on whatever table it
// is: a readable trigger of that name on another table, spelt in other case,
// is what the restore finds, and it is left alone with the row kept.
TEST_F(EngineEncrypt, ARestoreFindsAReadableTriggerOfItsNameOnAnotherTable) {
  const Item trigger = Find("tr_orders");
  ASSERT_EQ(Encrypt(trigger, true), vx::kTrue);
  vx::sqlsim::SimServer::Open("VXSIM").RunScript(
      "DROP TRIGGER tr_orders\nGO\nCREATE TABLE Invoices (id int)\nGO\n"
      "CREATE TRIGGER TR_ORDERS ON Invoices FOR INSERT AS SELECT 2\nGO\n",
      kDatabase);
  engine_.SetErrorsExist(vx::kFalse);
  EXPECT_EQ(engine_.RestoreObject(db_, trigger.id, "tr_orders", "dbo", ENU_OBT_TRIGGER, vx::kTrue),
            static_cast<ENU_RESTORE_RESULT>(0));
  EXPECT_EQ(engine_.GetErrorsExist(), vx::kTrue);
  EXPECT_NE(Read(Find("TR_ORDERS")).strScript.find("ON Invoices FOR INSERT AS SELECT 2"), std::string::npos);
  EXPECT_TRUE(Archived(trigger.id));
}

}  // namespace
