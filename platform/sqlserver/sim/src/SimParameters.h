#pragma once
// Parameters of a procedure call converted to their declared types (SimParameters.cpp).
#include <optional>
#include <string>

#include "sqlserver/Session.h"

struct sqlite3;

namespace vx::sqlsim {

// A declared type in the form the simulator names types ("varchar(2)"; "varchar"
// alone is one character long), "" for one it does not take.
std::string DeclaredType(const std::string& declared);

// Converts a parameter sent as another type (sentType) to its declared type
// (sqlType) on the session's connection; the server's error when its value does
// not convert, or the refusal of a conversion the simulator does not make.
std::optional<sqlserver::ServerMessage> ConvertParameter(sqlite3* h, sqlserver::Parameter& p);

}  // namespace vx::sqlsim
