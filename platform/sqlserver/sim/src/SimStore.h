#pragma once
// The file of one simulated server: schema, system rows and the collation
// SQL_Latin1_General_CP1_CI_AS stands for (case-insensitive, trailing blanks ignored).
#include <cstdint>
#include <string>

#include "sqlite/Database.h"

namespace vx::sqlsim {

inline constexpr const char* kCollation = "SQLCI";

// How long a connection to a server file waits for another's write lock:
// $VEXILON_SIM_BUSY_MS (tests bound their waits so), else -1, as long as it takes
// (the server's default LOCK_TIMEOUT; a session's SET LOCK_TIMEOUT overrides both).
int BusyTimeoutMs();

// Opens a server file with the collation registered; with create true it makes a
// new file (which must not exist yet), readable and writable by its owner only. Raises ComError(err::kServerUnreachable) with a clear
// description when the file cannot be opened or is not a simulated server.
sqlite::Database OpenServerFile(const std::string& path, bool create);

// Writes the schema and the fixed rows of a new server.
void InitializeServer(sqlite::Database& db, const std::string& name, int versionMajor,
                      const std::string& productVersion, const std::string& saPassword);

// Adds the rows every new database holds (users, fixed roles, system objects).
void InitializeDatabaseRows(sqlite::Database& db, int32_t dbid, int64_t ownerSid, bool userDatabase);


// A new object id (server-wide counter).
int32_t NextObjectId(sqlite::Database& db);

// The current time as an automation date.
double NowOle();

// Splits text into syscomments rows of at most 4000 UTF-16 code units, as the
// server does (nvarchar(4000)); a cut may fall between the halves of a pair,
// which then stand in their rows as sqlserver/Utf16.h keeps lone halves.
inline constexpr size_t kCommentRowUnits = 4000;
std::vector<std::string> SplitCommentRows(const std::string& text);
// A row's ctext: its UTF-16LE bytes (at most 8000).
std::string CommentBytes(const std::string& row);

// Reversible obfuscation kept in ctext of encrypted objects (same length).
std::string Obfuscate(const std::string& text, int32_t id);

}  // namespace vx::sqlsim
