#pragma once
// The archive's write-ahead log and its index, read as they lie on the disk,
// without SQLite and without its key: what the log's header says, how many of
// its pages SQLite's recovery will take as committed, and whether the log held
// committed pages that it can no longer give.
//
// SQLite takes a log whose header fails its checksum for an empty log, and of a
// log whose pages fail their checksums only the committed pages before the
// first failure; the rest is dropped without a word. That is right for pages of
// a transaction that never committed, and for pages of an earlier round of the
// log (already in the file), but not for a log damaged after the fact: the rows
// of its lost pages are then in no file. This reader tells the cases apart.
#include <cstdint>
#include <optional>
#include <string>

namespace vx::archive::detail {

// The page size the log's header gives, or 0 when there is no log or its header
// fails its checks. Reads the 32 bytes of the header only.
int LogPageSize(const std::string& logPath);

// Why the log beside the archive `path` ("-wal") holds committed pages that are
// not in the archive file and cannot be read back from the log: its header is
// damaged, it is shorter than its index ("-shm") says, or one of its pages is
// damaged with committed pages after it. Nothing when the log is absent, holds
// no such pages, or is in use by another process (its index is then live and
// SQLite's to keep). Must be called while no connection of this process has
// the archive open: it reads the index through a descriptor of its own.
std::optional<std::string> LostLogPages(const std::string& path);

}  // namespace vx::archive::detail
