#include "sqlserver/View.h"

#include "sqlserver/Trigger.h"

namespace vx::sqlserver {

View::View(std::weak_ptr<detail::ServerLink> link, ObjectInfo info)
    : ProgrammableObject(std::move(link), std::move(info)) {}

View::~View() = default;

ObjectCollection<Trigger>& View::Triggers() {
  if (!triggers_)
    triggers_ = std::make_unique<ObjectCollection<Trigger>>(link_, info_.databaseId, info_.databaseName,
                                                            ObjectKind::Trigger, info_.id);
  return *triggers_;
}

}  // namespace vx::sqlserver
