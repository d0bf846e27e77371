#pragma once
#include "sqlserver/ProgrammableObject.h"

namespace vx::sqlserver {

class Trigger : public ProgrammableObject {
 public:
  using ProgrammableObject::ProgrammableObject;
  // Object id of the table (or, for an INSTEAD OF trigger, the view) the trigger belongs to.
  int32_t ParentID() const { return info_.parentId; }

 protected:
  const char* HeaderKind() const override { return "Trigger"; }
  std::string DropCondition() const override;
  const char* DropKeyword() const override { return "trigger"; }
};

}  // namespace vx::sqlserver
