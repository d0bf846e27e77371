#pragma once
// The archive's encrypted pages. Archives are written with SQLCipher's pages of
// 1 KB, except the copy that compaction writes, whose pages are of 4 KB: a
// quarter of the pages to decrypt, check and write for the same rows. Every
// open finds the size of the file it opens, so archives of both sizes open.
#include <memory>
#include <string>

#include "sqlite/Database.h"

namespace vx::archive::detail {

// The page size of the copy that compaction writes.
inline constexpr int kCompactedPageSize = 4096;

// The page size of the archive file alone: kCompactedPageSize when its first
// page decrypts with it (also when the file is then found too short: it is of
// that size, and damaged), otherwise 0 (SQLCipher's default of 1 KB, that of
// every archive before). Writes nothing, takes no lock and reads no log or
// journal beside it.
int FilePageSize(const std::string& path, const std::string& key);

// The page size to open the archive with: that of its write-ahead log when one
// with a sound header lies beside it, else FilePageSize. A fold of the log cut
// short may have left the file's first page ahead of the rest of the file, so
// that the file alone does not open; the log, which then still holds every
// page of the fold, gives the size the file was written with.
int ArchivePageSize(const std::string& path, const std::string& key);

// Opens the archive file with its own page size.
std::unique_ptr<vx::sqlite::Database> OpenArchiveFile(const std::string& path, vx::sqlite::OpenMode mode,
                                                      const std::string& key, int busyTimeoutMs);

}  // namespace vx::archive::detail
