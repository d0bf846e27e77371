#pragma once
// The archive's fixed secrets: the raw key of every archive database, the key
// of the workgroup file and the two accounts' passwords. They never appear in
// an error text or any output.
namespace vx::archive::detail {

// Raw 256-bit keys in SQLCipher's blob-literal form.
inline constexpr const char* kArchiveKey =
    "x'38cdc046654e3d5564c51ddef3d9c9f7b855a10c3b80d6815b33c1bace9f1492'";
inline constexpr const char* kWorkgroupKey =
    "x'f71c75b5da6e871f4eae242e68df5660985a5cdcb835bcb46ea62ba0fd8fc97c'";

inline constexpr const char* kUserAccount = "User";
inline constexpr const char* kUserPassword = "kp8415QM";
inline constexpr const char* kAdminAccount = "Administrator";
inline constexpr const char* kAdminPassword = "HT27wb9k";

}  // namespace vx::archive::detail
