// Odd and hostile input reaching the engine: credentials and server names that
// a connection string would read otherwise, names that would forge lines of
// the log export, and the files that hold protected source.
#include <sys/stat.h>

#include "EngineTestSupport.h"
#include "automation/OleDate.h"

namespace {

using engine_test::EngineTest;
using engine_test::ReadFile;

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

class EngineHostileInput : public EngineTest {};

TEST_F(EngineHostileInput, CredentialsAndServerNamesSurviveTheCatalogueConnectionString) {
  struct Case {
    const char* server;
    const char* login;
    const char* password;
  };
  for (const Case c : {Case{"VXSIM", "odd", "\tpw"}, Case{"VXSIM", "odd", "pw\t"}, Case{"VXSIM", "odd", "pw\n"},
                       Case{"VXSIM", " odd\r", " pw "}, Case{"X[INITIAL_CATALOG]", "odd", "secret"}}) {
    auto server = MakeServer(c.server);
    server.AddSqlLogin(c.login, c.password, "master", true);
    const int32_t db = server.CreateDatabase("Sales");
    server.RunScript("CREATE PROCEDURE p AS SELECT 1\nGO\n", "Sales");
    UDT_LOGIN_CREDENTIALS login{c.server, ENU_LAT_SQLSERVER, c.login, c.password};
    ASSERT_EQ(engine_.ConnectServer(login), ENU_SCR_SUCCESSFUL) << c.server << "/" << c.password;
    EXPECT_EQ(engine_.GetStoredProcedures(db, vx::kTrue).lngElements, 1) << c.server << "/" << c.password;
    engine_.DisconnectSQLServer();
    vx::sqlsim::SimServer::Remove(c.server, simFolder_);
  }
}

TEST_F(EngineHostileInput, EachLogItemIsOneLineOfTheExport) {
  const vx::OleDate when = vx::OleNow();
  engine_.AddLogItem(when, "SRV", "Sales\tQ1", "DOM\\user", ENU_OBT_STORED_PROCEDURE, "p\r\nforged\tline\rx\ny",
                     "Encryption error: a\r\nb", "script", "t\n");
  engine_.AddLogItem(when, "SRV", "Sales", "dbo", ENU_OBT_VIEW, "plain", "Encrypted successfully", "script");
  const std::string file = folder_ + "log.txt";
  ASSERT_EQ(engine_.ExportLog(file), vx::kTrue);
  const std::string text = ReadFile(file);
  EXPECT_EQ(Count(text, "\r\n"), 6u);
  EXPECT_EQ(Count(text, "\n"), 6u);
  EXPECT_EQ(Count(text, "\r"), 6u);
  EXPECT_EQ(Count(text, "\t"), 7u * 3);  // the titles and two items, eight columns each
  EXPECT_NE(text.find("\tSRV\tSales\\tQ1\tDOM\\\\user\tp\\r\\nforged\\tline\\rx\\ny\tStored Procedure\tt\\n\t"
                      "Encryption error: a\\r\\nb\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("\tSRV\tSales\tdbo\tplain\tView\t\tEncrypted successfully\r\n"), std::string::npos);
}

TEST_F(EngineHostileInput, ExportsAreOwnerOnlyAndReplaceTheEarlierFileWhole) {
  engine_.AddLogItem(vx::OleNow(), "SRV", "Sales", "dbo", ENU_OBT_VIEW, "v", "Encrypted successfully", "script");
  const std::string log = folder_ + "log.txt";
  const std::string script = folder_ + "restore.sql";
  for (const std::string& path : {log, script}) {
    std::ofstream(path) << std::string(100000, 'x');
    ::chmod(path.c_str(), 0644);
  }
  ASSERT_EQ(engine_.ExportLog(log), vx::kTrue);
  UDT_OBJECT_CONTAINER none;
  UDT_GENERATE_SCRIPT_OPTIONS all{vx::kTrue, vx::kTrue, vx::kTrue};
  MakeServer("VXSIM").CreateDatabase("Sales");
  Connect("VXSIM");
  ASSERT_EQ(engine_.ExportArchivedObjectRestoreScript(1, none, script, all), vx::kTrue);
  for (const std::string& path : {log, script}) {
    EXPECT_EQ(ModeOf(path), 0600u) << path;
    EXPECT_EQ(ReadFile(path).find("xxxx"), std::string::npos) << path;
  }
  // A write that fails at the last step (the name is a folder's) raises, and
  // leaves what was there and no temporary file.
  const std::string taken = folder_ + "taken";
  std::filesystem::create_directory(taken);
  std::ofstream(taken + "/inside") << "kept";
  EXPECT_NE(engine_test::ErrorOf([&] { engine_.ExportLog(taken); }), 0);
  EXPECT_EQ(ReadFile(taken + "/inside"), "kept");
  // Nothing but the two files and the folder is left.
  size_t others = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("log.txt", 0) == 0 || name.rfind("restore.sql", 0) == 0 || name.rfind("taken", 0) == 0) ++others;
  }
  EXPECT_EQ(others, 3u);
}

TEST_F(EngineHostileInput, AProcedureWithCarriageReturnLineEndsIsEncrypted) {
  auto server = MakeServer("VXSIM");
  const int32_t db = server.CreateDatabase("Sales");
  server.RunScript("CREATE PROCEDURE p -- note\rAS;/* c */ SELECT 1 -- x\rRETURN\nGO\n", "Sales");
  Connect("VXSIM");
  const int32_t id = engine_.GetStoredProcedures(db, vx::kTrue).arrObjects.at(0).lngID;
  ASSERT_EQ(engine_.EncryptStoredProcedure(db, id), vx::kTrue);
  EXPECT_EQ(engine_.GetEncryptedStoredProcedures(db, vx::kTrue).lngElements, 1);
}

}  // namespace
