#pragma once
// A simulated server behind `sqlsim serve`, with ODBC configured in the test's
// own folder only. For the test programs that are given VX_SQLSIM.
#include <memory>

#include "support/ServedServer.h"
#include "support/SimFixture.h"

class ServedFixture : public SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    tds_test::IsolateOdbcConfig(folder_);
    BeforeServing();
    served_ = std::make_unique<tds_test::ServedServer>(VX_SQLSIM, serverName_, folder_);
  }
  void TearDown() override {
    served_.reset();
    SimFixture::TearDown();
  }
  // What the server file holds before `sqlsim serve` opens it.
  virtual void BeforeServing() {}

  std::unique_ptr<tds_test::ServedServer> served_;
};
