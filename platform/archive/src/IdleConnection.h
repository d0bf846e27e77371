#pragma once
// Each call opens and closes its own archive connection. As a connection pool
// does, the connection a call closes is kept open, idle, and handed to the next
// call on the same file: the file is not opened, keyed and read into memory
// again for every call of a run. Keeping it open matters for the write-ahead
// log too: SQLite folds the log into the file whenever the last connection to
// the file closes, which would cost every call two more syncs.
//
// The idle connection holds nothing of the file for this process: another
// process may open, read and write the archive while no call runs. It is let
// go kIdleSeconds after the call that handed it back, unless a call takes it
// again before: closing it, the last connection to the file, folds the log
// into the file and removes the log and its index, so that the file alone
// holds every committed row whenever the archive rests.
#include <sys/types.h>

#include <memory>
#include <string>

namespace vx::sqlite {
class Database;
}

namespace vx::archive::detail {

class ArchiveDescriptor;

// How long an idle connection is kept after its call ended.
inline constexpr double kIdleSeconds = 1.0;

// The idle connection, when one is kept on this very file (path, device and
// inode as now) and was opened with `key`; null otherwise. An idle connection
// kept on another file, or on a file since replaced at this path, is closed.
// Waits while the idle connection is being let go.
std::unique_ptr<vx::sqlite::Database> TakeIdleConnection(const std::string& path, const std::string& key);

// Hands back a call's connection, opened on the file `path` named then
// (`device`, `inode`), when the call ends: kept idle when it has no transaction
// open, the path still names that file and none is kept yet; closed otherwise.
// `file` is kept with it and let go only after it is closed: the process's
// descriptor of the file, which must stay open while the connection's locks
// are held (ArchiveDescriptor.h).
void ReturnIdleConnection(const std::string& path, dev_t device, ino_t inode, const std::string& key,
                          std::unique_ptr<vx::sqlite::Database> db, std::shared_ptr<ArchiveDescriptor> file);

// Closes the idle connection kept on `path`, if any, at once. When no call has
// the file open, closing it folds the log into the file and removes the log
// (before the file is checked, copied or compacted).
void CloseIdleConnection(const std::string& path);

}  // namespace vx::archive::detail
