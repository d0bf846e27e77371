// Each rewritten definition, run on a simulated SQL Server 2000, is accepted
// and leaves its object encrypted.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "automation/ComError.h"
#include "sqlserver/Session.h"
#include "sqlserver_sim/SimServer.h"
#include "vexilon_lib/basParse.h"

namespace {

constexpr const char* kServer = "PARSESIM";
constexpr const char* kPassword = "Parse-Test-1";

struct Definition {
  std::string (*rewrite)(std::string_view, std::string_view);
  std::string name;
  std::string text;
};

std::vector<Definition> Definitions() {
  using namespace basParse;
  return {
      {GenerateStoredProcedureEncryptionScript, "p1", "CREATE PROCEDURE dbo.p1 AS SELECT 1"},
      {GenerateStoredProcedureEncryptionScript, "p2",
       "CREATE PROCEDURE dbo.p2 @a int, @b varchar(10) OUTPUT\r\nWITH RECOMPILE\r\nAS\r\n"
       "SELECT @b = CAST(@a AS varchar(10))\r\n"},
      {GenerateStoredProcedureEncryptionScript, "p3",
       "CREATE PROC p3\r\nFOR REPLICATION\r\nAS\r\nINSERT INTO dbo.t (a) VALUES (1)\r\n"},
      {GenerateStoredProcedureEncryptionScript, "usp_log",
       "create proc usp_log @msg varchar(200)\r\nas\r\n"
       "insert into dbo.Log (CreatedBy, ProcName, Msg) select suser_sname(), object_name(@@procid), @msg\r\n"},
      {GenerateStoredProcedureEncryptionScript, "usp Get Orders As Of",
       "-- header\r\n/* CREATE PROCEDURE old_version AS SELECT 0 */\r\n"
       "CREATE PROCEDURE [dbo].[usp Get Orders As Of]\r\n"
       "    @CustomerID nchar(5),\r\n"
       "    @AsOf DateTime = NULL,\r\n"
       "    @Note NVARCHAR(100) = N'CREATE PROC x AS' -- default text\r\n"
       "AS\r\n"
       "BEGIN\r\n"
       "    SET NOCOUNT ON\r\n"
       "    /* outer /* inner */ still comment */\r\n"
       "    SELECT o.OrderID, o.CreatedBy FROM dbo.Orders o WHERE o.CustomerID = @CustomerID\r\n"
       "    RETURN 0\r\n"
       "END\r\n"},
      {GenerateStoredProcedureEncryptionScript, "p4",
       "CREATE PROC p4 @v int = -2147483648 as insert t (a) values (@v)\r\n"},
      {GenerateStoredProcedureEncryptionScript, "p5",
       "CREATE PROC p5 @v int = -2147483648as insert t (a) values (@v)\r\n"},
      {GenerateTriggerEncryptionScript, "t1",
       "CREATE TRIGGER t1 ON dbo.x FOR INSERT AS\r\nUPDATE dbo.y SET n = n + 1\r\n"},
      {GenerateTriggerEncryptionScript, "trg Order Details On Insert",
       "-- runs ON every insert\r\n"
       "CREATE TRIGGER [dbo].[trg Order Details On Insert]\r\n"
       "ON [dbo].[Order Details]\r\n"
       "INSTEAD OF INSERT\r\n"
       "AS\r\n"
       "BEGIN\r\n"
       "    INSERT INTO [dbo].[Order Details] (OrderID, Quantity)\r\n"
       "    SELECT i.OrderID, i.Quantity FROM inserted i WHERE i.Quantity > 0\r\n"
       "END\r\n"},
      {GenerateTriggerEncryptionScript, "trg_audit",
       "create trigger trg_audit on dbo.Customers after update, delete as\r\n"
       "if @@rowcount = 0 return\r\n"
       "insert dbo.Log (CreatedBy, ProcName, Msg) select suser_sname(), 'trg', 'changed'\r\n"},
      {GenerateUserDefinedFunctionEncryptionScript, "fn_Add",
       "CREATE FUNCTION dbo.fn_Add (@a int, @b int)\r\nRETURNS int\r\nBEGIN\r\n    RETURN @a + @b\r\nEND\r\n"},
      {GenerateUserDefinedFunctionEncryptionScript, "fn_Add2",
       "CREATE FUNCTION dbo.fn_Add2 (@a int, @b int)\r\nRETURNS int\r\nAS\r\nBEGIN\r\n    RETURN @a + @b\r\nEND\r\n"},
      {GenerateUserDefinedFunctionEncryptionScript, "fn_Orders",
       "CREATE FUNCTION dbo.fn_Orders (@CustomerID nchar(5))\r\nRETURNS TABLE\r\nAS\r\n"
       "RETURN (SELECT OrderID FROM dbo.Orders WHERE CustomerID = @CustomerID)\r\n"},
      {GenerateUserDefinedFunctionEncryptionScript, "fn_Split",
       "/* splits a list */\r\n"
       "CREATE FUNCTION [dbo].[fn_Split] (@List NVARCHAR(4000))\r\n"
       "RETURNS @Items TABLE (Pos int IDENTITY(1,1) PRIMARY KEY, Item nvarchar(4000) NOT NULL)\r\n"
       "AS\r\nBEGIN\r\n    INSERT @Items (Item) VALUES (@List)\r\n    RETURN\r\nEND\r\n"},
      {GenerateUserDefinedFunctionEncryptionScript, "fn_Total",
       "CREATE FUNCTION dbo.fn_Total (@OrderID int)\r\nRETURNS int\r\nWITH SCHEMABINDING\r\nAS\r\nBEGIN\r\n"
       "    RETURN @OrderID\r\nEND\r\n"},
      {GenerateUserDefinedFunctionEncryptionScript, "fn_Active",
       "create function fn_Active()\r\nreturns table\r\nreturn select * from dbo.Customers\r\n"},
      {GenerateViewEncryptionScript, "vOrders",
       "CREATE VIEW dbo.vOrders\r\nAS -- open orders only\r\nSELECT o.OrderID, o.CustomerID\r\nFROM dbo.Orders o\r\n"},
      {GenerateViewEncryptionScript, "vTotals",
       "CREATE VIEW [dbo].[vTotals] WITH SCHEMABINDING\r\nAS\r\nSELECT OrderID, Quantity FROM dbo.[Order Details]\r\n"},
      {GenerateViewEncryptionScript, "vNames",
       "/* CREATE VIEW v AS */\r\ncreate view vNames (Name, Kind)\r\nas\r\nselect name, type from sysobjects\r\n"},
      {GenerateViewEncryptionScript, "vParen", "CREATE VIEW dbo.vParen AS (SELECT a FROM dbo.t)"},
  };
}

class ParseServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = std::getenv("TMPDIR");
    folder_ = std::string(tmp != nullptr ? tmp : "/tmp") + "/parse_server_test_" + std::to_string(getpid());
    std::filesystem::create_directories(folder_);
    vx::sqlsim::ServerOptions options;
    options.saPassword = kPassword;
    server_ = std::make_unique<vx::sqlsim::SimServer>(vx::sqlsim::SimServer::Create(kServer, options, folder_));
    server_->CreateDatabase("Shop");
    server_->RunScript(
        "CREATE TABLE dbo.t (a int)\r\nGO\r\n"
        "CREATE TABLE dbo.x (a int)\r\nGO\r\n"
        "CREATE TABLE dbo.y (n int)\r\nGO\r\n"
        "CREATE TABLE dbo.Log (CreatedBy sysname, ProcName sysname, Msg varchar(200))\r\nGO\r\n"
        "CREATE TABLE dbo.Customers (CustomerID nchar(5), Name varchar(40))\r\nGO\r\n"
        "CREATE TABLE dbo.Orders (OrderID int, CustomerID nchar(5), CreatedBy sysname)\r\nGO\r\n"
        "CREATE TABLE dbo.[Order Details] (OrderID int, Quantity int)\r\nGO\r\n",
        "Shop");
  }
  void TearDown() override {
    server_.reset();
    vx::sqlsim::SimServer::Remove(kServer, folder_);
    std::filesystem::remove_all(folder_);
  }

  // The encrypted flags of the object's text rows.
  std::vector<int64_t> EncryptedFlags(const std::string& name) {
    auto session = server_->OpenSession({false, "sa", kPassword}, "Shop");
    std::string quoted;
    for (char c : name) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    auto result = session->Execute(
        "SELECT c.encrypted FROM syscomments c JOIN sysobjects o ON o.id = c.id WHERE o.name = N'" + quoted + "'");
    std::vector<int64_t> flags;
    EXPECT_EQ(result.FirstError(), nullptr) << result.FirstError()->text;
    if (result.resultSets.empty()) return flags;
    for (const auto& row : result.resultSets[0].rows) flags.push_back(row[0].AsInt64());
    return flags;
  }

  std::string folder_;
  std::unique_ptr<vx::sqlsim::SimServer> server_;
};

}  // namespace

TEST_F(ParseServerTest, EveryRewrittenDefinitionRunsAndEncryptsItsObject) {
  for (const Definition& d : Definitions()) {
    SCOPED_TRACE(d.name);
    server_->RunScript(d.text, "Shop");
    ASSERT_EQ(EncryptedFlags(d.name), std::vector<int64_t>{0});
    const std::string script = "SET QUOTED_IDENTIFIER ON\r\nGO\r\nSET ANSI_NULLS ON\r\nGO\r\n" + d.rewrite(d.text, d.name);
    try {
      server_->RunScript(script, "Shop");
    } catch (const vx::ComError& e) {
      ADD_FAILURE() << e.Number() << " " << e.what() << "\n" << script;
      continue;
    }
    EXPECT_EQ(EncryptedFlags(d.name), std::vector<int64_t>{1}) << script;
  }
}
