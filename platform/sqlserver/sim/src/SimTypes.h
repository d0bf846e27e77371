#pragma once
// Types of the server that SQLite does not keep: see SimTypes.cpp.
#include <string>
#include <string_view>

struct sqlite3;

namespace vx::sqlsim {

// The server's type of a column of the server file's tables ("objects", "crdate"
// -> "datetime"), "" for a column the catalogue views do not show.
std::string CatalogColumnType(std::string_view table, std::string_view column);
// A date as the server reads it from text ("2024-05-01 13:45:10.500",
// "20240501", "05/01/2024 13:45"); false when the text is no date, with
// `outOfRange` set when it is written as one but names no day or time there is.
bool TextToServerDate(std::string_view text, double& ole, bool* outOfRange = nullptr);

std::string Lower(std::string_view s);
// The server's operators, conversions and string functions (SimScalars.cpp,
// SimStrings.cpp) on a session's connection.
void RegisterScalars(sqlite3* h, void* session);
void RegisterStrings(sqlite3* h, void* session);

// The number of the error that refuses what the simulator does not do ("... is
// not supported by the simulated server.").
inline constexpr int kUnsupportedNumber = 50000;
// True for "binary(n)", "varbinary(n)" and "image".
bool IsBinaryType(std::string_view type);

}  // namespace vx::sqlsim
