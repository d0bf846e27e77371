#include "sqlserver/Table.h"

#include "sqlserver/Trigger.h"

namespace vx::sqlserver {

Table::Table(std::weak_ptr<detail::ServerLink> link, ObjectInfo info) : link_(std::move(link)), info_(std::move(info)) {}

Table::~Table() = default;

ObjectCollection<Trigger>& Table::Triggers() {
  if (!triggers_)
    triggers_ = std::make_unique<ObjectCollection<Trigger>>(link_, info_.databaseId, info_.databaseName,
                                                            ObjectKind::Trigger, info_.id);
  return *triggers_;
}

}  // namespace vx::sqlserver
