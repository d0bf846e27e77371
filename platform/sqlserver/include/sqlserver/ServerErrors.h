#pragma once
// Error numbers of the server access layer beyond those of automation/ErrorNumbers.h.
#include <cstdint>

#include "automation/ErrorNumbers.h"

namespace vx::err {

// A collection has no item with that id or name.
inline constexpr int32_t kItemNotFound = static_cast<int32_t>(0x80045510u);
// The text of an encrypted object was asked for.
inline constexpr int32_t kObjectEncrypted = static_cast<int32_t>(0x80045511u);
// No server of that name / the server cannot be reached (DBNETLIB 17).
inline constexpr int32_t kServerUnreachable = ServerMessage(17);
// A member needing the server was called while no server object is held.
inline constexpr int32_t kNoServerObject = 91;

}  // namespace vx::err
