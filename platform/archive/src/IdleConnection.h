#pragma once
// Each call opens and closes its own archive connection. As a connection pool
// does, the connection a call closes is kept open, idle, and handed to the next
// call on the same file: the file is not opened, keyed and read into memory
// again for every call. Keeping it open matters for the write-ahead log too:
// SQLite folds the log into the file whenever the last connection to the file
// closes, which would cost every call two more syncs. The idle connection holds
// the file to this process, as an open call does.
#include <sys/types.h>

#include <memory>
#include <string>

namespace vx::sqlite {
class Database;
}

namespace vx::archive::detail {

class ProcessLock;

// The idle connection, when one is kept on this very file (path, device and
// inode as now) and was opened with `key`; null otherwise. An idle connection
// kept on another file, or on a file since replaced at this path, is closed.
std::unique_ptr<vx::sqlite::Database> TakeIdleConnection(const std::string& path, const std::string& key);

// Hands back a call's connection, opened on the file `path` named then
// (`device`, `inode`), when the call ends: kept idle when it has no transaction
// open, the path still names that file and none is kept yet; closed otherwise.
void ReturnIdleConnection(const std::string& path, dev_t device, ino_t inode, const std::string& key,
                          std::unique_ptr<vx::sqlite::Database> db, std::shared_ptr<ProcessLock> lock);

// Closes the idle connection kept on `path`, if any. When no call has the file
// open, closing it folds the log into the file and removes the log, so that
// the file alone holds every committed row (before it is checked, copied or
// compacted).
void CloseIdleConnection(const std::string& path);

}  // namespace vx::archive::detail
