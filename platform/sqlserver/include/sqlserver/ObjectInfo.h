#pragma once
// What the object model knows of one catalogue object when it is looked up.
#include <cstdint>
#include <string>
#include <vector>

namespace vx::sqlserver {

struct ObjectInfo {
  int32_t databaseId = 0;
  std::string databaseName;
  int32_t id = 0;
  std::string name;
  std::string owner;
  std::string xtype;        // "P", "V", "TR", "FN", "IF", "TF", "U", trimmed
  std::string createDate;   // "YYYY-MM-DD HH:MM:SS"
  int32_t parentId = 0;     // a trigger's table
};

// The object kinds a collection holds.
enum class ObjectKind { StoredProcedure, View, Table, UserDefinedFunction, Trigger };

}  // namespace vx::sqlserver
