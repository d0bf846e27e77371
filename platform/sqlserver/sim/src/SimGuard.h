#pragma once
// The simulator's SQL functions run inside SQLite's C code, which no C++
// exception may cross: each is registered through a guard that turns an
// exception into the function's error (out of memory: SQLite's own), so the
// statement fails with a server error and SQLite's state stays whole.
#include <sqlcipher/sqlite3.h>

namespace vx::sqlsim {

using SqlFunction = void (*)(sqlite3_context*, int, sqlite3_value**);

// Registers `fn` as `name` with `argc` arguments; `session` is what GuardedSession gives it back.
int CreateGuardedFunction(sqlite3* h, const char* name, int argc, void* session, SqlFunction fn);
// The session a guarded function was registered with.
void* GuardedSession(sqlite3_context* ctx);

}  // namespace vx::sqlsim
