#pragma once
#include "sqlserver/ProgrammableObject.h"

namespace vx::sqlserver {

class View : public ProgrammableObject {
 public:
  using ProgrammableObject::ProgrammableObject;

 protected:
  const char* HeaderKind() const override { return "View"; }
  std::string DropCondition() const override;
  const char* DropKeyword() const override { return "view"; }
};

}  // namespace vx::sqlserver
