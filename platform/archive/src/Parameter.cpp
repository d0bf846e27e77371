#include "archive/Parameter.h"

namespace vx::archive {

int32_t CharacterCount(std::string_view utf8) {
  int32_t n = 0;
  for (unsigned char c : utf8)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

Parameter Parameter::Long(std::string name, int32_t v) {
  return {std::move(name), ParamType::Integer, 0, Value::Integer(v)};
}
Parameter Parameter::Byte(std::string name, int32_t v) {
  return {std::move(name), ParamType::UnsignedTinyInt, 0, Value::Integer(v)};
}
Parameter Parameter::Date(std::string name, OleDate v) {
  return {std::move(name), ParamType::Date, 0, Value::Date(v)};
}
Parameter Parameter::Bool(std::string name, bool v) {
  return {std::move(name), ParamType::Boolean, 0, Value::Boolean(v)};
}
Parameter Parameter::Text(std::string name, std::string v, int32_t size, ParamType type) {
  return {std::move(name), type, size, Value::Text(std::move(v))};
}
Parameter Parameter::TextLength(std::string name, std::string v, ParamType type) {
  const int32_t size = CharacterCount(v);
  return {std::move(name), type, size, Value::Text(std::move(v))};
}
Parameter Parameter::NullOf(std::string name, ParamType type, int32_t size) {
  return {std::move(name), type, size, Value::Null()};
}

}  // namespace vx::archive
