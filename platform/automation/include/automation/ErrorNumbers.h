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
inline constexpr int32_t kDiskFull = 61;
inline constexpr int32_t kDeviceIO = 57;
// A regular expression that does not compile.
inline constexpr int32_t kRegExpSyntax = 5017;
inline constexpr int32_t kFileAlreadyExists = 58;

// Run-time errors of the language used by the engine and the archive.
inline constexpr int32_t kObjectNotSet = 91;        // object variable not set
inline constexpr int32_t kInvalidUseOfNull = 94;    // a Null read as a number or text

// Archive (database provider) errors. A database held by another process is kUnspecified.
inline constexpr int32_t kArchiveFileNotFound = static_cast<int32_t>(0x80030002u);   // a file is missing
inline constexpr int32_t kArchiveNotADatabase = static_cast<int32_t>(0x800300FBu);   // corrupt, foreign or wrongly keyed
// The archive check's word for a file that does not open with the archive's key
// or holds no archive (kArchiveNotADatabase there means damaged).
inline constexpr int32_t kArchiveNotAnArchive = static_cast<int32_t>(0x800300FAu);
// The archive check's word for a log beside the archive that lost committed
// pages, or whose pages are not the archive's.
inline constexpr int32_t kArchiveLogUnreadable = static_cast<int32_t>(0x800300F9u);
inline constexpr int32_t kArchiveAuthentication = static_cast<int32_t>(0x80040E4Du); // account or password refused
inline constexpr int32_t kArchiveQuery = static_cast<int32_t>(0x80040E14u);          // a stored query failed
inline constexpr int32_t kArchiveNoQuery = static_cast<int32_t>(0x80040E37u);        // no stored query of that name
inline constexpr int32_t kArchiveParameter = static_cast<int32_t>(0x80040E10u);      // parameters do not match the query
inline constexpr int32_t kArchiveDataOverflow = static_cast<int32_t>(0x80040E57u);   // a value longer than its size
inline constexpr int32_t kArchiveConnectionString = static_cast<int32_t>(0x800A0BB9u); // bad connection string
inline constexpr int32_t kRecordsetClosed = static_cast<int32_t>(0x800A0E78u);       // row set used after Close
inline constexpr int32_t kRecordsetEof = static_cast<int32_t>(0x800A0BCDu);          // no current row
inline constexpr int32_t kRecordsetNoField = static_cast<int32_t>(0x800A0CC1u);      // no field of that name

}  // namespace vx::err
