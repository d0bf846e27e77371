#pragma once
// The archive's files: creating an empty archive and its workgroup file (the
// build's template), and compaction into a checked, encrypted copy.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace vx::archive {
namespace detail {
struct AheadCopy;
}

// The file names of the archive in the program folder.
inline constexpr const char* kArchiveFileName = "Vexilon.dat";
inline constexpr const char* kWorkgroupFileName = "Vexilon.sec";
inline constexpr const char* kBackupFileName = "Vexilon.bak";
inline constexpr const char* kCompactFileName = "Vexilon.tmp";
// What the name of a copy being written has after the name it is to take (and
// six random characters): a file so named is never more than a left-over.
inline constexpr const char* kPartialCopyMarker = ".vexilon-partial-copy-";

// Writes an empty archive (tables, cascade trigger and the seventeen stored
// queries), encrypted with the archive key, owner-only. Fails when it exists.
void CreateArchive(const std::string& path);
// Writes the workgroup file (the two accounts and the archive key), owner-only.
// An existing file is replaced.
void CreateWorkgroup(const std::string& path);

// Checks that the archive file may be used and copied: it opens with the
// archive key, holds a Vexilon archive, passes SQLite's integrity check, and
// every row of every table reads. Needs no workgroup file. A journal left by a
// write cut short is rolled back first. Raises with a description that names
// the file and the cause: kArchiveNotADatabase only for a damaged file ("The
// archive database '...' is damaged: ..."), kArchiveNotAnArchive for a file that
// does not open with the key or holds no archive, 0x80004005 when another
// process holds it, kArchiveFileNotFound when it is missing, kPermissionDenied
// when it or the files beside it may not be read and written, kDiskFull or
// kDeviceIO when the disk fails. A damaged file is left as it is; a sound one
// takes in what its write-ahead log holds, so the file alone holds the archive
// afterwards.
void CheckArchiveSound(const std::string& path);
// Brings the archive file into the system's cache with one sequential read when
// it is not there (after a reboot), so that a check that follows reads it from
// memory. Reads nothing else, writes nothing, takes no lock, never raises.
void CacheArchiveFile(const std::string& path);
// Reads the archive file `path` from its start, block by block into `block`
// (false stops it), through this process's own descriptor of the file. That
// descriptor stays open: closing any descriptor of the file would drop the
// locks this process's connections hold on it. Returns 0, or the errno of the
// failure to open or read it.
int ReadArchiveFile(const std::string& path, const std::function<bool(const char* data, std::size_t size)>& block);
// The same check of a copy of the archive (its backup), read as it stands:
// nothing is written to it or made beside it.
void CheckCopySound(const std::string& path);

// For about a second after a call this process keeps its connection to the
// archive open, idle, with the write-ahead log beside the file; then it lets it
// go. Closing it now folds the log into the file and removes it when no other
// connection has the file open: afterwards the file alone holds the archive.
// Raises 0x80004005 when another process holds the file.
void CloseArchive(const std::string& path);

// Compacts the archive named by the source connection string (an administrator
// account) into the file named by the destination string, encrypted, and checks
// the copy (integrity and row counts of every table). A source that fails
// CheckArchiveSound leaves no copy: its failure is raised, before any failure
// of the copying (a resting source is checked while it is copied). The
// destination must not
// exist; on any failure it is removed again and the source stays as it was.
// The copy has encrypted pages of 4 KB (the archives of earlier versions and
// the one CreateArchive writes have pages of 1 KB; both open) and is marked for
// the write-ahead log, so that its first use changes nothing in it.
void CompactDatabase(const std::string& sourceConnectionString, const std::string& destinationConnectionString);
// The same, and then `replace` runs (it moves the copy over the archive) while
// this process still holds the archive: no other process writes to it between
// the check of the copy and its taking the archive's place.
void CompactDatabase(const std::string& sourceConnectionString, const std::string& destinationConnectionString,
                     const std::function<void()>& replace);

// Begins the compacted copy that CompactDatabase with the same connection
// strings would write, on a thread of its own, while the caller checks and
// backs up the archive. CompactDatabase takes it when it is whole and the
// archive has rested unchanged since it was begun; otherwise it copies the
// archive itself. Only an archive at rest (no log or journal beside it, not
// written in the last two seconds) that no other process holds, on a disk with
// room for it and a backup beside it, is copied ahead, into an owner-only file
// named after the destination with kPartialCopyMarker; the object's end waits
// for it and removes it unless compaction took it. Never raises: whatever
// fails, compaction does all.
class CompactionAhead {
 public:
  CompactionAhead(const std::string& sourceConnectionString, const std::string& destinationConnectionString);
  ~CompactionAhead();
  CompactionAhead(const CompactionAhead&) = delete;
  CompactionAhead& operator=(const CompactionAhead&) = delete;

 private:
  std::unique_ptr<detail::AheadCopy> work_;
};

// Runs `work` while this process holds the archive `path` (the lock every call
// takes): no other process's call reads or writes it meanwhile. Raises as a
// call does when another process holds it.
void WhileArchiveHeld(const std::string& path, const std::function<void()>& work);

// The connection strings of an archive folder, in the program's forms.
std::string UserConnectionString(const std::string& folderWithSlash);
std::string AdminConnectionString(const std::string& folderWithSlash);
std::string CompactTargetConnectionString(const std::string& folderWithSlash);

}  // namespace vx::archive
