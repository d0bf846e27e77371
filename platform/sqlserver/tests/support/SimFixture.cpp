#include "support/SimFixture.h"

#include <cstdlib>
#include <filesystem>
#include <random>

#include "automation/ComError.h"
#include "sqlserver/BatchSplitter.h"

namespace fs = std::filesystem;

void SimFixture::SetUp() {
  std::random_device rd;
  folder_ = (fs::temp_directory_path() / ("vxsim-" + std::to_string(rd()) + std::to_string(rd()))).string();
  fs::create_directories(folder_);
  setenv("VEXILON_SIM_DIR", folder_.c_str(), 1);
  setenv("VEXILON_SIM_DOMAIN", "TESTDOM", 1);
  vx::sqlserver::SetDefaultSessionFactory(std::make_shared<vx::sqlsim::SimSessionFactory>());
  vx::sqlsim::ServerOptions options;
  options.saPassword = "sa-pw";
  server_ = std::make_unique<vx::sqlsim::SimServer>(vx::sqlsim::SimServer::Create(serverName_, options));
  server_->CreateDatabase("Sales");
  for (const char* l : {"owner_login", "ddl_login", "plain_login", "nouser_login", "bob_login"})
    server_->AddSqlLogin(l, "pw");
  server_->AddUser("Sales", "owner_user", "owner_login");
  server_->AddUser("Sales", "ddl_user", "ddl_login");
  server_->AddUser("Sales", "plain_user", "plain_login");
  server_->AddUser("Sales", "bob", "bob_login");
  server_->AddRoleMember("Sales", "db_owner", "owner_user");
  server_->AddRoleMember("Sales", "db_ddladmin", "ddl_user");
  server_->AddRoleMember("Sales", "db_ddladmin", "bob");
}

void SimFixture::TearDown() {
  server_.reset();
  std::error_code ec;
  fs::remove_all(folder_, ec);
}

void SimFixture::Run(const std::string& script, const std::string& database) {
  try {
    server_->RunScript(script, database);
  } catch (const vx::ComError& e) {
    FAIL() << e.Number() << " " << e.Description() << "\nscript:\n" << script;
  }
}

vx::sqlserver::Credentials SimFixture::Login(const std::string& login) const {
  vx::sqlserver::Credentials c;
  if (login == "trusted") {
    c.trusted = true;
    return c;
  }
  c.login = login;
  c.password = login == "sa" ? "sa-pw" : "pw";
  return c;
}

vx::sqlserver::BatchResult SimFixture::Batch(const std::string& batch, const std::string& login,
                                             const std::string& database) {
  auto s = server_->OpenSession(Login(login), database);
  return s->Execute(batch);
}

int SimFixture::ErrorOf(const std::string& batch, const std::string& login, const std::string& database) {
  auto r = Batch(batch, login, database);
  auto e = r.FirstError();
  return e ? e->number : 0;
}

int32_t SimFixture::ObjectId(const std::string& name, const std::string& database) {
  auto r = Batch("SELECT OBJECT_ID(N'" + name + "')", "sa", database);
  if (r.FirstError() || r.resultSets.empty() || r.resultSets[0].rows.empty() || r.resultSets[0].rows[0][0].IsNull())
    return 0;
  return r.resultSets[0].rows[0][0].AsInt32();
}
