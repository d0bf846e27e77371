#pragma once
// An input parameter of a stored query: name, type, declared size and value,
// appended in the query's order.
#include <cstdint>
#include <string>
#include <string_view>

#include "archive/Value.h"
#include "automation/OleDate.h"

namespace vx::archive {

// The data-type numbers that the stored queries declare.
enum class ParamType : int32_t {
  Integer = 3,          // 32-bit integer
  Date = 7,             // date/time
  Boolean = 11,         // -1 / 0
  UnsignedTinyInt = 17, // 0 .. 255
  VarWChar = 202,       // text of a declared size
  LongVarWChar = 203,   // long text
};

struct Parameter {
  std::string name;  // "@Name"
  ParamType type = ParamType::Integer;
  int32_t size = 0;  // characters for text, 0 for the fixed-size types
  Value value;

  static Parameter Long(std::string name, int32_t v);
  static Parameter Byte(std::string name, int32_t v);
  static Parameter Date(std::string name, OleDate v);
  static Parameter Bool(std::string name, bool v);
  // Text with a fixed declared size.
  static Parameter Text(std::string name, std::string v, int32_t size, ParamType type = ParamType::VarWChar);
  // Text whose declared size is its own length in characters (0 for "").
  static Parameter TextLength(std::string name, std::string v, ParamType type = ParamType::VarWChar);
  // A Null of the given type and size.
  static Parameter NullOf(std::string name, ParamType type, int32_t size);
};

// Number of characters (UTF-8 code points) of a text.
int32_t CharacterCount(std::string_view utf8);

}  // namespace vx::archive
