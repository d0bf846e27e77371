#pragma once
#include "sqlserver/ProgrammableObject.h"

namespace vx::sqlserver {

class StoredProcedure : public ProgrammableObject {
 public:
  using ProgrammableObject::ProgrammableObject;

 protected:
  const char* HeaderKind() const override { return "Stored Procedure"; }
  std::string DropCondition() const override;
  const char* DropKeyword() const override { return "procedure"; }
};

}  // namespace vx::sqlserver
