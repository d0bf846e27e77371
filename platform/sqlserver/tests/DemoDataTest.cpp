// The demo server's scripts: they load, hold the variety of objects the demo
// promises, and every readable object re-creates itself from its own scripts.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "automation/ComError.h"
#include "sqlserver/Database.h"
#include "sqlserver/Databases.h"
#include "sqlserver/SQLServer.h"
#include "sqlserver/StoredProcedure.h"
#include "sqlserver/Table.h"
#include "sqlserver/Trigger.h"
#include "sqlserver/UserDefinedFunction.h"
#include "sqlserver/View.h"
#include "support/SimFixture.h"

using namespace vx::sqlserver;

namespace {

std::string ReadDemo(const std::string& file) {
  std::ifstream in(std::string(VX_DEMO_DIR) + "/" + file, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class DemoData : public SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    Run(ReadDemo("00-server.sql"), "master");
    Run(ReadDemo("10-ledger.sql"), "Ledger");
    Run(ReadDemo("20-harbour.sql"), "Harbour");
    Run(ReadDemo("30-atelier.sql"), "Atelier");
  }
};

}  // namespace

TEST_F(DemoData, HoldsTheVarietyOfObjects) {
  std::map<std::string, int> kinds;
  int total = 0, long8000 = 0, otherOwner = 0, quotedOff = 0, ansiOff = 0, encrypted = 0, commented = 0;
  for (const char* db : {"Ledger", "Harbour", "Atelier"}) {
    auto r = Batch(
        "SELECT o.xtype, u.name, OBJECTPROPERTY(o.id, 'IsQuotedIdentOn'), OBJECTPROPERTY(o.id, 'ExecIsAnsiNullsOn'), "
        "(SELECT COUNT(*) FROM syscomments c WHERE c.id = o.id), (SELECT MAX(CAST(encrypted AS int)) FROM syscomments c WHERE "
        "c.id = o.id), (SELECT text FROM syscomments c WHERE c.id = o.id AND c.colid = 1) "
        "FROM sysobjects o INNER JOIN sysusers u ON u.uid = o.uid "
        "WHERE o.xtype IN ('P', 'V', 'TR', 'FN', 'IF', 'TF') AND OBJECTPROPERTY(o.id, 'IsMSShipped') = 0",
        "sa", db);
    ASSERT_EQ(r.FirstError(), nullptr) << r.FirstError()->text;
    for (const auto& row : r.resultSets[0].rows) {
      ++total;
      std::string xtype = row[0].AsText();  // char(2): 'P '
      xtype.erase(xtype.find_last_not_of(' ') + 1);
      ++kinds[xtype];
      if (row[1].AsText() != "dbo") ++otherOwner;
      if (row[2].AsInt32() == 0) ++quotedOff;
      if (row[3].AsInt32() == 0) ++ansiOff;
      if (row[4].AsInt32() >= 3) ++long8000;
      if (row[5].AsInt32() == 1) ++encrypted;
      else if (row[6].AsText().rfind("CREATE", 0) != 0) ++commented;
    }
  }
  EXPECT_GE(total, 40);
  for (const char* k : {"P", "V", "TR", "FN", "IF", "TF"}) EXPECT_GE(kinds[k], 2) << k;
  EXPECT_GE(long8000, 1);
  EXPECT_GE(otherOwner, 4);
  EXPECT_GE(quotedOff, 1);
  EXPECT_GE(ansiOff, 1);
  EXPECT_GE(encrypted, 3);
  EXPECT_GE(commented, 3);
  // The demo logins reach what the README says.
  EXPECT_EQ(Batch("SELECT IS_MEMBER('db_owner')", "sa", "Ledger").resultSets[0].rows[0][0].AsInt32(), 1);
  auto clerk = server_->OpenSession({false, "clerk", "clerk"}, "Ledger");
  EXPECT_EQ(clerk->Execute("SELECT IS_MEMBER('db_owner')").resultSets[0].rows[0][0].AsInt32(), 1);
  auto builder = server_->OpenSession({false, "builder", "builder"}, "Harbour");
  EXPECT_EQ(builder->Execute("SELECT IS_MEMBER('db_ddladmin')").resultSets[0].rows[0][0].AsInt32(), 1);
  EXPECT_THROW(server_->OpenSession({false, "reader", "wrong"}, "Atelier"), vx::ComError);
}

TEST_F(DemoData, EveryReadableObjectRecreatesItself) {
  SQLServer s;
  s.Connect(serverName_, std::string("sa"), std::string("sa-pw"));
  int checked = 0;
  for (const char* dbName : {"Ledger", "Harbour", "Atelier"}) {
    auto db = s.GetDatabases().Item(dbName);
    std::vector<std::shared_ptr<ProgrammableObject>> objects;
    for (auto& p : db->StoredProcedures().Items()) objects.push_back(p);
    for (auto& v : db->Views().Items()) objects.push_back(v);
    for (auto& f : db->UserDefinedFunctions().Items()) objects.push_back(f);
    for (auto& t : db->Tables().Items())
      for (auto& tr : t->Triggers().Items()) objects.push_back(tr);
    for (const auto& o : objects) {
      if (o->Encrypted() == vx::kTrue || o->Name().rfind("dt_", 0) == 0) continue;
      const std::string text = o->Text();
      const vx::VbBool qi = o->QuotedIdentifierStatus(), an = o->AnsiNullsStatus();
      // The restore: drop and create scripts run as one command in the object's database.
      s.ExecuteImmediate("USE [" + std::string(dbName) + "]\r\nGO\r\n\r\n" + o->Script(1) + o->Script(4));
      std::shared_ptr<ProgrammableObject> again;
      std::string qualified = "[" + o->Owner() + "].[" + o->Name() + "]";
      int32_t id = ObjectId(qualified, dbName);
      ASSERT_NE(id, 0) << qualified;
      if (o->Info().xtype == "P") again = db->StoredProcedures().ItemByID(id);
      else if (o->Info().xtype == "V") again = db->Views().ItemByID(id);
      else if (o->Info().xtype == "TR") again = db->Tables().ItemByID(o->Info().parentId)->Triggers().ItemByID(id);
      else again = db->UserDefinedFunctions().ItemByID(id);
      EXPECT_EQ(again->Text(), text) << qualified;
      EXPECT_EQ(again->Owner(), o->Owner()) << qualified;
      EXPECT_EQ(again->QuotedIdentifierStatus(), qi) << qualified;
      EXPECT_EQ(again->AnsiNullsStatus(), an) << qualified;
      ++checked;
    }
  }
  EXPECT_GE(checked, 35);
}
