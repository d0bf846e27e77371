#pragma once
// The file layer archive connections open through: the system's own, except
// that a connection opening the archive's write-ahead log, when that log file
// already exists with its folder entry known to be on the disk, opens it as an
// existing file. SQLite otherwise syncs the folder on the first commit of every
// connection that may have made the log, which with a connection per call is
// one more sync per call.
#include <string>

namespace vx::archive::detail {

// The registered name of the layer (registered on first use).
const char* LogFileLayer();

// Unless recorded already, syncs the folder of `logPath` and records that this log file (by device and
// inode) is on the disk with its folder entry. Returns false when it cannot.
bool MarkLogOnDisk(const std::string& logPath);
// Forgets every log recorded by MarkLogOnDisk.
void ForgetLogsOnDisk();

}  // namespace vx::archive::detail
