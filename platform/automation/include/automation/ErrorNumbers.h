#pragma once
// Every error number the system raises or tests for, in one place.
#include <cstdint>

namespace vx::err {

// Base of object-defined errors (0x80040000).
inline constexpr int32_t kObjectError = static_cast<int32_t>(0x80040000u);
// CRegistry's own errors: object error + 2.
inline constexpr int32_t kRegistry = static_cast<int32_t>(0x80040002u);
// Unspecified failure, as the archive provider reports a database held elsewhere.
inline constexpr int32_t kUnspecified = static_cast<int32_t>(0x80004005u);
// Server management errors: a refused login or a lost connection.
inline constexpr int32_t kServerConnection = kObjectError;
// A server's own message n reaches callers as object error + n (208 gives -2147221296).
inline constexpr int32_t ServerMessage(int32_t messageNumber) { return kObjectError + messageNumber; }

// Run-time errors of the language.
inline constexpr int32_t kOverflow = 6;
inline constexpr int32_t kSubscriptOutOfRange = 9;
inline constexpr int32_t kTypeMismatch = 13;
inline constexpr int32_t kInvalidProcedureCall = 5;
inline constexpr int32_t kFileNotFound = 53;
inline constexpr int32_t kPermissionDenied = 70;
inline constexpr int32_t kPathNotFound = 76;

}  // namespace vx::err
