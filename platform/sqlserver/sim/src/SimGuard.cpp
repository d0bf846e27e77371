#include "SimGuard.h"

#include <new>
#include <string>

#include "SimTypes.h"

#include <sqlcipher/sqlite3.h>

namespace vx::sqlsim {

namespace {

struct Guarded {
  SqlFunction fn;
  void* session;
};

void Call(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  try {
    static_cast<Guarded*>(sqlite3_user_data(ctx))->fn(ctx, argc, argv);
  } catch (const std::bad_alloc&) {
    sqlite3_result_error_nomem(ctx);
  } catch (...) {
    static const std::string refused =
        "vx:" + std::to_string(kUnsupportedNumber) + ":This statement is not supported by the simulated server.";
    sqlite3_result_error(ctx, refused.c_str(), static_cast<int>(refused.size()));
  }
}

void Forget(void* guarded) { delete static_cast<Guarded*>(guarded); }

}  // namespace

int CreateGuardedFunction(sqlite3* h, const char* name, int argc, void* session, SqlFunction fn) {
  return sqlite3_create_function_v2(h, name, argc, SQLITE_UTF8, new Guarded{fn, session}, Call, nullptr, nullptr,
                                    Forget);
}

void* GuardedSession(sqlite3_context* ctx) { return static_cast<Guarded*>(sqlite3_user_data(ctx))->session; }

}  // namespace vx::sqlsim
