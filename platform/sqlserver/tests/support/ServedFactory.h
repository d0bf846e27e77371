#pragma once
// A session factory that reaches one served server over ODBC under its simulated name.
#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "sqlserver/Session.h"
#include "sqlserver_odbc/OdbcSessionFactory.h"

namespace tds_test {

// Reaches `name` (any case) at a TDS address over ODBC; other names are unknown.
class ServedFactory : public vx::sqlserver::SessionFactory {
 public:
  ServedFactory(std::string name, std::string address, vx::sqlserver::OdbcOptions options = {})
      : name_(Lower(std::move(name))), address_(std::move(address)), odbc_(std::move(options)) {}
  bool HasServer(const std::string& n) const override { return Lower(n) == name_; }
  std::unique_ptr<vx::sqlserver::Session> Open(const std::string& n, const vx::sqlserver::Credentials& c,
                                               const std::string& database) override {
    return odbc_.Open(HasServer(n) ? address_ : "127.0.0.1,1", c, database);
  }
  std::vector<std::string> ServerNames() const override { return {name_}; }

 private:
  static std::string Lower(std::string s) {
    for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
  }
  std::string name_, address_;
  vx::sqlserver::OdbcSessionFactory odbc_;
};

}  // namespace tds_test
