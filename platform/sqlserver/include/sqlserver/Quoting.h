#pragma once
// Names and texts put into T-SQL: a name between brackets with "]" doubled, a
// Unicode literal with "'" doubled, so neither can end early or inject SQL.
#include <string>

namespace vx::sqlserver {

std::string Bracket(const std::string& name);
std::string NLiteral(const std::string& text);

}  // namespace vx::sqlserver
