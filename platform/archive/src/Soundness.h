#pragma once
// Whether an archive file can be trusted as the source of a copy.
#include <string>

namespace vx::sqlite {
class Database;
}

namespace vx::archive::detail {

// Opens the file with the key and checks it: a Vexilon archive, SQLite's
// integrity check passes, and every row of every table reads. Raises
// kArchiveNotADatabase naming the file and the cause (0x80004005 when another
// process holds it). A damaged file is left as it is; a sound one takes in
// what its write-ahead log holds and the log is removed.
void CheckSound(const std::string& path, const std::string& key);

// Lets the connection keep every page it has read (up to 512 MB of them): a
// check that reads a page again then finds it in memory instead of reading it
// from the disk and decrypting it anew. Memory is taken only as pages are read.
void KeepPagesRead(vx::sqlite::Database& db);

}  // namespace vx::archive::detail
