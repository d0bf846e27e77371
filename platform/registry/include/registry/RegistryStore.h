#pragma once
// The registry, kept on disk: one SQLite store per root key under
// $XDG_CONFIG_HOME/vexilon/registry (default ~/.config). The operations keep the
// shape of the Windows registry calls: 0 is success, anything else a refusal
// code. Every write is its own durable transaction, so several processes may
// use one store at once. A store that cannot be created or is not a store at all
// raises a vx::ComError with a clear description instead of a refusal code.
#include <cstdint>
#include <string>
#include <vector>

namespace vx::registry {

using HKey = uint64_t;  // 0 is never a valid handle

inline constexpr long kSuccess = 0;
inline constexpr long kFileNotFound = 2;
inline constexpr long kAccessDenied = 5;
inline constexpr long kInvalidHandle = 6;
inline constexpr long kInvalidParameter = 87;
inline constexpr long kBadPathname = 161;
inline constexpr long kMoreData = 234;
inline constexpr long kBadKey = 1010;
inline constexpr long kKeyDeleted = 1018;

inline constexpr uint32_t kRegSz = 1;

struct KeyInfo {
  int32_t subKeys = 0;
  int32_t maxSubKeyLen = 0;
  int32_t maxClassLen = 0;
  int32_t values = 0;
  int32_t maxValueNameLen = 0;
  int32_t maxValueLen = 0;
  int32_t securityDescriptor = 0;
  uint64_t lastWriteTime = 0;  // 100 ns units since 1601-01-01 UTC
};

// Names of keys and values never hold a NUL: a path with one is kBadPathname,
// a value name with one kInvalidParameter.

// The folder that holds the stores.
std::string StoreFolder();

// A store that SQLite finds damaged is renamed aside (its name, ".damaged-" and
// the date and time) and a new, empty one takes its place. Returns, once each,
// the notices of the stores set aside so far: what was damaged, where it went.
std::vector<std::string> TakeSetAsideNotices();

// Opens an existing key. A trailing "\" (and one leading "\") names the same
// key as without it; an empty path opens the root itself.
long RegOpenKeyEx(int32_t root, const std::string& path, HKey* result);
// Opens a key, creating it and any missing parents.
long RegCreateKeyEx(int32_t root, const std::string& path, HKey* result);
long RegCloseKey(HKey key);
// size: capacity in, bytes written (terminator included) out. kMoreData when the
// value does not fit; kFileNotFound when it does not exist.
long RegQueryValueEx(HKey key, const std::string& name, uint32_t* type, uint8_t* data, uint32_t* size);
long RegSetValueEx(HKey key, const std::string& name, uint32_t type, const uint8_t* data, uint32_t size);
// Refuses an empty path, the root, and a key that still has subkeys.
long RegDeleteKey(int32_t root, const std::string& path);
long RegDeleteValue(HKey key, const std::string& name);
// className receives the class (its length is className->size()).
long RegQueryInfoKey(HKey key, std::string* className, KeyInfo* info);

}  // namespace vx::registry
