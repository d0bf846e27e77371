#include "sqlserver_sim/SimServer.h"

#include "sqlserver/Quoting.h"

#include <filesystem>

#include "SimRegistry.h"
#include "SimSession.h"
#include "SimStore.h"
#include "automation/ComError.h"
#include "sqlserver/BatchSplitter.h"
#include "sqlserver/ServerErrors.h"
#include "sqlserver_sim/SimFolder.h"

namespace vx::sqlsim {

namespace fs = std::filesystem;
using sqlserver::Bracket;
using sqlserver::NLiteral;

namespace {
constexpr const char* kSource = "SimServer";
}  // namespace

SimServer::SimServer(std::string name, std::string folder, std::string path)
    : name_(std::move(name)), folder_(std::move(folder)), path_(std::move(path)) {}

SimServer SimServer::Create(const std::string& name, const ServerOptions& options, const std::string& folderIn) {
  std::string folder = folderIn.empty() ? SimulatorFolder() : folderIn;
  if (name.empty() || name.size() > 128)
    throw ComError(err::kInvalidProcedureCall, kSource, "A server name must have 1 to 128 characters.");
  std::string path = ServerFilePath(name, folder);
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (fs::exists(path))
    throw ComError(err::kInvalidProcedureCall, kSource, "A simulated server named '" + name + "' already exists.");
  std::string version = options.productVersion;
  if (version.empty())
    version = (options.versionMajor < 10 ? "" : "") + std::to_string(options.versionMajor) + ".00.2039";
  try {
    auto db = OpenServerFile(path, true);
    InitializeServer(db, name, options.versionMajor, version, options.saPassword);
  } catch (...) {
    fs::remove(path, ec);
    throw;
  }
  return SimServer(name, folder, path);
}

SimServer SimServer::Open(const std::string& name, const std::string& folderIn) {
  std::string folder = folderIn.empty() ? SimulatorFolder() : folderIn;
  std::string path = ServerFilePath(name, folder);
  auto db = OpenServerFile(path, false);  // raises for a missing or foreign file
  auto st = db.Prepare("SELECT value FROM server_info WHERE key = 'name'");
  st.Step();
  return SimServer(st.Text(0), folder, path);
}

void SimServer::Remove(const std::string& name, const std::string& folder) {
  std::string path = ServerFilePath(name, folder);
  std::error_code ec;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) fs::remove(path + suffix, ec);
}

static void RunAsAdmin(const SimServer& server, const std::string& database, const std::string& script) {
  SimSession session(server.Name(), server.FilePath(), {}, "", true);
  if (!database.empty() && database != "master") {
    auto r = session.Execute("USE " + Bracket(database));
    sqlserver::RaiseFirstError(r, kSource);
  }
  for (const auto& batch : sqlserver::SplitBatches(script)) {
    auto r = session.Execute(batch);
    sqlserver::RaiseFirstError(r, kSource);
  }
}

void SimServer::AddSqlLogin(const std::string& login, const std::string& password, const std::string& defaultDatabase,
                            bool sysadmin) {
  std::string sql = "EXEC sp_addlogin " + NLiteral(login) + ", " + NLiteral(password) + ", " + NLiteral(defaultDatabase);
  if (sysadmin) sql += "\nEXEC sp_addsrvrolemember " + NLiteral(login) + ", N'sysadmin'";
  RunAsAdmin(*this, "master", sql);
}

void SimServer::AddWindowsLogin(const std::string& login, bool sysadmin, const std::string& defaultDatabase) {
  std::string sql = "EXEC sp_grantlogin " + NLiteral(login) + "\nEXEC sp_defaultdb " + NLiteral(login) + ", " +
                    NLiteral(defaultDatabase);
  if (sysadmin) sql += "\nEXEC sp_addsrvrolemember " + NLiteral(login) + ", N'sysadmin'";
  RunAsAdmin(*this, "master", sql);
}

void SimServer::SetSysadmin(const std::string& login, bool sysadmin) {
  RunAsAdmin(*this, "master",
             std::string(sysadmin ? "EXEC sp_addsrvrolemember " : "EXEC sp_dropsrvrolemember ") + NLiteral(login) +
                 ", N'sysadmin'");
}

int32_t SimServer::CreateDatabase(const std::string& name) {
  RunAsAdmin(*this, "master", "CREATE DATABASE " + Bracket(name));
  SimSession session(name_, path_, {}, "", true);
  auto id = session.DatabaseId(name);
  return id ? *id : 0;
}

void SimServer::AddUser(const std::string& database, const std::string& userName, const std::string& loginName) {
  RunAsAdmin(*this, database,
             "EXEC sp_adduser " + (loginName.empty() ? std::string("NULL") : NLiteral(loginName)) + ", " +
                 NLiteral(userName));
}

void SimServer::SetGuestAccess(const std::string& database, bool enabled) {
  RunAsAdmin(*this, database, enabled ? "EXEC sp_grantdbaccess N'guest'" : "EXEC sp_revokedbaccess N'guest'");
}

void SimServer::AddRole(const std::string& database, const std::string& roleName) {
  RunAsAdmin(*this, database, "EXEC sp_addrole " + NLiteral(roleName));
}

void SimServer::AddRoleMember(const std::string& database, const std::string& roleName, const std::string& userName) {
  RunAsAdmin(*this, database, "EXEC sp_addrolemember " + NLiteral(roleName) + ", " + NLiteral(userName));
}

void SimServer::RunScript(const std::string& script, const std::string& database) {
  RunAsAdmin(*this, database, script);
}

std::unique_ptr<sqlserver::Session> SimServer::OpenSession(const sqlserver::Credentials& credentials,
                                                           const std::string& database) const {
  return std::make_unique<SimSession>(name_, path_, credentials, database);
}

void SimServer::BreakSessions() const { SessionRegistry::BreakAll(name_); }

void SimServer::BreakSessions(const std::string& name) { SessionRegistry::BreakAll(name); }

SimSessionFactory::SimSessionFactory(std::string folder) : folder_(std::move(folder)) {}

bool SimSessionFactory::HasServer(const std::string& serverName) const { return ServerExists(serverName, folder_); }

std::unique_ptr<sqlserver::Session> SimSessionFactory::Open(const std::string& serverName,
                                                            const sqlserver::Credentials& credentials,
                                                            const std::string& database) {
  if (!ServerExists(serverName, folder_))
    throw ComError(err::kServerUnreachable, "SQLServer",
                   "[Microsoft][ODBC SQL Server Driver][DBNETLIB]SQL Server does not exist or access denied.");
  return std::make_unique<SimSession>(serverName, ServerFilePath(serverName, folder_), credentials, database);
}

std::vector<std::string> SimSessionFactory::ServerNames() const { return sqlsim::ServerNames(folder_); }

}  // namespace vx::sqlsim
