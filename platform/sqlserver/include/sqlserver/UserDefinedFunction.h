#pragma once
#include "sqlserver/ProgrammableObject.h"

namespace vx::sqlserver {

class UserDefinedFunction : public ProgrammableObject {
 public:
  using ProgrammableObject::ProgrammableObject;
  // "FN" scalar, "IF" inline table-valued, "TF" multi-statement table-valued.
  const std::string& FunctionType() const { return info_.xtype; }

 protected:
  const char* HeaderKind() const override { return "User Defined Function"; }
  std::string DropCondition() const override;
  const char* DropKeyword() const override { return "function"; }
};

}  // namespace vx::sqlserver
