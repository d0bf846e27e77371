#pragma once
// Whether an archive file can be trusted as the source of a copy.
#include <string>

namespace vx::archive::detail {

// Opens the file with the key and checks it: a Vexilon archive, SQLite's
// integrity check passes, and every row of every table reads. Raises
// kArchiveNotADatabase naming the file and the cause (0x80004005 when another
// process holds it). A damaged file is left as it is; a sound one takes in
// what its write-ahead log holds and the log is removed.
void CheckSound(const std::string& path, const std::string& key);

}  // namespace vx::archive::detail
