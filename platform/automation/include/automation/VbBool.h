#pragma once
// 16-bit Booleans as they cross every interface of the system: True is -1.
#include <cstdint>

namespace vx {

using VbBool = int16_t;
inline constexpr VbBool kTrue = -1;
inline constexpr VbBool kFalse = 0;

inline constexpr VbBool ToVb(bool b) { return b ? kTrue : kFalse; }
inline constexpr bool FromVb(VbBool b) { return b != 0; }

}  // namespace vx
