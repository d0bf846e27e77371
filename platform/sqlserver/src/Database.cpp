#include "sqlserver/Database.h"

#include <cctype>

#include "ServerLink.h"
#include "automation/ComError.h"
#include "sqlserver/Names.h"
#include "sqlserver/ServerErrors.h"
#include "sqlserver/StoredProcedure.h"
#include "sqlserver/Table.h"
#include "sqlserver/UserDefinedFunction.h"
#include "sqlserver/View.h"

namespace vx::sqlserver {

Database::Database(std::weak_ptr<detail::ServerLink> link, int32_t id, std::string name)
    : link_(std::move(link)), id_(id), name_(std::move(name)) {}

Database::~Database() = default;

VbBool Database::IsDbOwner() const {
  auto rs = detail::Lock(link_)->Query(name_, "SELECT IS_MEMBER('db_owner')");
  return ToVb(!rs.rows.empty() && !rs.rows[0][0].IsNull() && rs.rows[0][0].AsInt64() != 0);
}

VbBool Database::IsDdlAdmin() const {
  auto rs = detail::Lock(link_)->Query(name_, "SELECT IS_MEMBER('db_ddladmin')");
  return ToVb(!rs.rows.empty() && !rs.rows[0][0].IsNull() && rs.rows[0][0].AsInt64() != 0);
}

void Database::SetUser(const std::string& userName) {
  auto link = detail::Lock(link_);
  const bool revert = userName.empty() || SameName(userName, link->login);
  if (revert && !link->impersonating) return;  // already acting as the login
  std::string batch = revert ? "SETUSER" : "USE " + detail::Bracket(name_) + "\r\nSETUSER " + detail::NLiteral(userName);
  RaiseFirstError(link->RunMain(batch), "Database");
  link->impersonating = !revert;
}

ObjectCollection<StoredProcedure>& Database::StoredProcedures() {
  if (!procedures_)
    procedures_ = std::make_unique<ObjectCollection<StoredProcedure>>(link_, id_, name_, ObjectKind::StoredProcedure);
  return *procedures_;
}

ObjectCollection<View>& Database::Views() {
  if (!views_) views_ = std::make_unique<ObjectCollection<View>>(link_, id_, name_, ObjectKind::View);
  return *views_;
}

ObjectCollection<Table>& Database::Tables() {
  if (!tables_) tables_ = std::make_unique<ObjectCollection<Table>>(link_, id_, name_, ObjectKind::Table);
  return *tables_;
}

ObjectCollection<UserDefinedFunction>& Database::UserDefinedFunctions() {
  if (!functions_)
    functions_ = std::make_unique<ObjectCollection<UserDefinedFunction>>(link_, id_, name_,
                                                                          ObjectKind::UserDefinedFunction);
  return *functions_;
}

}  // namespace vx::sqlserver
