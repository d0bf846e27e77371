#pragma once
// The archive keeps a write-ahead log: a commit is one write of the log and one
// sync of it, and is on the disk when it returns. SQLite folds the log into the
// file whenever the last connection to the file closes, which would cost every
// call (each opens and closes its own connection) a fold of two more syncs. So,
// as a connection pool keeps a closed connection for its next user, one idle
// connection per process stays open on the archive between calls. It holds the
// file to this process, as an open call does.
#include <memory>
#include <string>

namespace vx::archive::detail {

class ProcessLock;

// Keeps an idle connection open on `path` (opened with `key`), in write-ahead
// mode, unless one is kept on that very file already. An idle connection kept
// on another file, or on a file that has since been replaced at this path, is
// closed first. Never raises: without it the archive works as before, only
// with more syncs.
void KeepIdleConnection(const std::string& path, const std::string& key, const std::shared_ptr<ProcessLock>& lock);

// Closes the idle connection kept on `path`, if any. When no call has the file
// open, closing it folds the log into the file and removes the log, so that
// the file alone holds every committed row (before it is checked, copied or
// compacted).
void CloseIdleConnection(const std::string& path);

}  // namespace vx::archive::detail
