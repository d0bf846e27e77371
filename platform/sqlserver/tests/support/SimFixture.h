#pragma once
// A simulated server in a fresh temporary folder, with the logins of the
// access matrix and a database "Sales":
//   sa / sa-pw          sysadmin
//   owner_login / pw    user "owner_user", db_owner of Sales
//   ddl_login / pw      user "ddl_user", db_ddladmin of Sales
//   plain_login / pw    user "plain_user" of Sales, no role
//   nouser_login / pw   no user in Sales
//   bob_login / pw      user "bob" of Sales, db_ddladmin (owns objects)
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "sqlserver/Session.h"
#include "sqlserver_sim/SimServer.h"

class SimFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs a script as sa in a database; fails the test on error.
  void Run(const std::string& script, const std::string& database = "Sales");
  // One batch on a fresh session of the login; returns the result.
  vx::sqlserver::BatchResult Batch(const std::string& batch, const std::string& login = "sa",
                                   const std::string& database = "Sales");
  // First error number of a batch run as the login, 0 when none.
  int ErrorOf(const std::string& batch, const std::string& login = "sa", const std::string& database = "Sales");
  vx::sqlserver::Credentials Login(const std::string& login) const;
  int32_t ObjectId(const std::string& name, const std::string& database = "Sales");

  std::string folder_;
  std::string serverName_ = "SIMTEST";
  std::unique_ptr<vx::sqlsim::SimServer> server_;
};
