#pragma once
#include <memory>

#include "sqlserver/ObjectCollection.h"
#include "sqlserver/ProgrammableObject.h"

namespace vx::sqlserver {

class Trigger;

class View : public ProgrammableObject {
 public:
  View(std::weak_ptr<detail::ServerLink> link, ObjectInfo info);
  ~View() override;

  // The view's INSTEAD OF triggers.
  ObjectCollection<Trigger>& Triggers();

 protected:
  const char* HeaderKind() const override { return "View"; }
  std::string DropCondition() const override;
  const char* DropKeyword() const override { return "view"; }

 private:
  std::unique_ptr<ObjectCollection<Trigger>> triggers_;
};

}  // namespace vx::sqlserver
