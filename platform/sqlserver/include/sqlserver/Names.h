#pragma once
// Names compared as the server compares them (SQL_Latin1_General_CP1_CI_AS):
// whole, a NUL inside and all, without case for the letters of ASCII and
// Latin-1, with accents.
#include <string_view>

namespace vx::sqlserver {

bool SameName(std::string_view a, std::string_view b);

}  // namespace vx::sqlserver
