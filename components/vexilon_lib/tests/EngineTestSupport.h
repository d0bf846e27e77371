#pragma once
// What the engine tests share: a temp folder with an empty archive and its
// workgroup file, simulated servers living in that folder, and small helpers.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "archive/ArchiveFiles.h"
#include "automation/ComError.h"
#include "sqlserver_sim/SimFolder.h"
#include "sqlserver_sim/SimServer.h"
#include "vexilon_lib/CVexilon.h"

namespace engine_test {

inline std::string MakeTempFolder(const std::string& tag) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vx-" + tag + "-XXXXXX";
  char* made = ::mkdtemp(pattern.data());
  return std::string(made ? made : pattern.c_str()) + "/";
}

// The error number a call raises, 0 when it raises nothing.
inline int32_t ErrorOf(const std::function<void()>& f, std::string* description = nullptr) {
  try {
    f();
  } catch (const vx::ComError& e) {
    if (description) *description = e.Description();
    return e.Number();
  }
  return 0;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A fresh archive; simulated servers are created in the same folder.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = MakeTempFolder("engine");
    simFolder_ = folder_ + "servers";
    std::filesystem::create_directories(simFolder_);
    ::setenv("VEXILON_SIM_DIR", simFolder_.c_str(), 1);
    vx::archive::CreateArchive(folder_ + vx::archive::kArchiveFileName);
    vx::archive::CreateWorkgroup(folder_ + vx::archive::kWorkgroupFileName);
    engine_.SetAppConnectionString(AppConnectionString());
    // Simulated servers only: an unknown name must not reach the network.
    engine_.SetSessionFactory(std::make_shared<vx::sqlsim::SimSessionFactory>());
  }
  void TearDown() override {
    engine_.SetSQLServer(nullptr);
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  std::string AppConnectionString() const { return vx::archive::UserConnectionString(folder_); }

  // A SQL Server 2000 named `name` with the login "vx"/"secret" (sysadmin) and
  // the current user's Windows login.
  vx::sqlsim::SimServer MakeServer(const std::string& name, int versionMajor = 8) {
    vx::sqlsim::ServerOptions options;
    options.versionMajor = versionMajor;
    options.saPassword = "sa-pw";
    auto server = vx::sqlsim::SimServer::Create(name, options, simFolder_);
    server.AddSqlLogin("vx", "secret", "master", true);
    server.AddWindowsLogin(vx::sqlsim::CurrentWindowsLogin(), true);
    return server;
  }

  // Connects the engine with the SQL login "vx".
  void Connect(const std::string& serverName) {
    UDT_LOGIN_CREDENTIALS c{serverName, ENU_LAT_SQLSERVER, "vx", "secret"};
    ASSERT_EQ(engine_.ConnectServer(c), ENU_SCR_SUCCESSFUL);
  }

  std::string folder_;
  std::string simFolder_;
  CVexilon engine_;
};

}  // namespace engine_test
