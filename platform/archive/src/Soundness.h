#pragma once
// Whether an archive file can be trusted as the source of a copy.
#include <string>

namespace vx::sqlite {
class Database;
}

namespace vx::archive::detail {

// Opens the file with the key and checks it: a Vexilon archive, SQLite's
// integrity check passes, and every row of every table reads. A journal left by
// a write cut short is rolled back first, as SQLite must before the file can be
// judged. Raises, naming the file and the cause: kArchiveNotADatabase only for a
// damaged file (it opens with the key and fails the integrity check or the
// reading of its rows), kArchiveNotAnArchive for one that does not open with the
// key or holds no archive, 0x80004005 when another process holds it,
// kPermissionDenied, kDiskFull, kDeviceIO or kArchiveQuery when the file system
// refuses. A damaged file is left as it is; a sound one takes in what its
// write-ahead log holds and the log is removed.
// A copy (the backup) is judged as it stands: read alone, with nothing rolled
// back, taken in or made beside it.
enum class SoundnessOf { Archive, Copy };
void CheckSound(const std::string& path, const std::string& key, SoundnessOf of = SoundnessOf::Archive);

// Brings a file that is not in the OS cache into it with one sequential read:
// a check reads pages in the order of its trees, which on a cold file costs a
// seek for many of them. A file already cached is not read; anything but a
// regular file is left alone. Never raises.
void ReadAhead(const std::string& path);

// Gives a checking connection a page cache of 32 MB: enough for the pages the
// integrity check reads again soon (the upper levels of the trees, the
// indexes), while a check of a large archive keeps the program's memory small.
void BoundPageCache(vx::sqlite::Database& db);

}  // namespace vx::archive::detail
