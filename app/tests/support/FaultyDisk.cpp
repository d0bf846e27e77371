#include "support/FaultyDisk.h"

#include <sqlcipher/sqlite3.h>
#include <signal.h>

#include <atomic>
#include <cstring>
#include <mutex>

namespace shell_test {
namespace {

struct Faults {
  std::mutex mutex;
  std::string failPath;
  int failCode = SQLITE_OK;
  std::atomic<int> killAt{0};
  std::atomic<int> syncs{0};
  std::string killWritePath;
  int killAtWrite = 0;
  int writes = 0;
};
Faults g_faults;
sqlite3_vfs* g_real = nullptr;
sqlite3_vfs g_vfs;

// Our file: its methods first, then the real layer's file.
struct File {
  sqlite3_file base;
  std::string* path;
  sqlite3_file* Real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
};
File* Of(sqlite3_file* f) { return reinterpret_cast<File*>(f); }
const sqlite3_io_methods* RealMethods(sqlite3_file* f) { return Of(f)->Real()->pMethods; }

int Close(sqlite3_file* f) {
  const int rc = RealMethods(f)->xClose(Of(f)->Real());
  delete Of(f)->path;
  return rc;
}
int Read(sqlite3_file* f, void* b, int n, sqlite3_int64 o) { return RealMethods(f)->xRead(Of(f)->Real(), b, n, o); }
int Write(sqlite3_file* f, const void* b, int n, sqlite3_int64 o) {
  {
    std::lock_guard<std::mutex> guard(g_faults.mutex);
    if (g_faults.failCode != SQLITE_OK && *Of(f)->path == g_faults.failPath) return g_faults.failCode;
    if (g_faults.killAtWrite > 0 && *Of(f)->path == g_faults.killWritePath && ++g_faults.writes == g_faults.killAtWrite)
      ::raise(SIGKILL);
  }
  return RealMethods(f)->xWrite(Of(f)->Real(), b, n, o);
}
int Truncate(sqlite3_file* f, sqlite3_int64 size) { return RealMethods(f)->xTruncate(Of(f)->Real(), size); }
int Sync(sqlite3_file* f, int flags) {
  const int at = g_faults.killAt.load();
  if (at > 0 && ++g_faults.syncs == at) ::raise(SIGKILL);
  return RealMethods(f)->xSync(Of(f)->Real(), flags);
}
int FileSize(sqlite3_file* f, sqlite3_int64* size) { return RealMethods(f)->xFileSize(Of(f)->Real(), size); }
int Lock(sqlite3_file* f, int l) { return RealMethods(f)->xLock(Of(f)->Real(), l); }
int Unlock(sqlite3_file* f, int l) { return RealMethods(f)->xUnlock(Of(f)->Real(), l); }
int CheckReserved(sqlite3_file* f, int* out) { return RealMethods(f)->xCheckReservedLock(Of(f)->Real(), out); }
int FileControl(sqlite3_file* f, int op, void* arg) { return RealMethods(f)->xFileControl(Of(f)->Real(), op, arg); }
int SectorSize(sqlite3_file* f) { return RealMethods(f)->xSectorSize(Of(f)->Real()); }
int Device(sqlite3_file* f) { return RealMethods(f)->xDeviceCharacteristics(Of(f)->Real()); }
int ShmMap(sqlite3_file* f, int page, int size, int extend, void volatile** out) {
  return RealMethods(f)->xShmMap(Of(f)->Real(), page, size, extend, out);
}
int ShmLock(sqlite3_file* f, int offset, int n, int flags) { return RealMethods(f)->xShmLock(Of(f)->Real(), offset, n, flags); }
void ShmBarrier(sqlite3_file* f) { RealMethods(f)->xShmBarrier(Of(f)->Real()); }
int ShmUnmap(sqlite3_file* f, int remove) { return RealMethods(f)->xShmUnmap(Of(f)->Real(), remove); }
int Fetch(sqlite3_file* f, sqlite3_int64 o, int n, void** out) { return RealMethods(f)->xFetch(Of(f)->Real(), o, n, out); }
int Unfetch(sqlite3_file* f, sqlite3_int64 o, void* p) { return RealMethods(f)->xUnfetch(Of(f)->Real(), o, p); }

const sqlite3_io_methods kMethods = {3,        Close,         Read,        Write,    Truncate,   Sync,
                                     FileSize, Lock,          Unlock,      CheckReserved, FileControl, SectorSize,
                                     Device,   ShmMap,        ShmLock,     ShmBarrier, ShmUnmap,  Fetch,
                                     Unfetch};

int Open(sqlite3_vfs*, const char* name, sqlite3_file* f, int flags, int* outFlags) {
  File* file = Of(f);
  file->base.pMethods = nullptr;
  const int rc = g_real->xOpen(g_real, name, file->Real(), flags, outFlags);
  if (rc != SQLITE_OK) return rc;
  file->path = new std::string(name ? name : "");
  file->base.pMethods = file->Real()->pMethods ? &kMethods : nullptr;
  return SQLITE_OK;
}

}  // namespace

FaultyDisk::FaultyDisk() {
  g_real = sqlite3_vfs_find(nullptr);
  g_vfs = *g_real;
  g_vfs.zName = "faulty-disk";
  g_vfs.szOsFile = static_cast<int>(sizeof(File)) + g_real->szOsFile;
  g_vfs.xOpen = Open;
  g_vfs.pAppData = nullptr;
  sqlite3_vfs_register(&g_vfs, 1);
}

FaultyDisk::~FaultyDisk() {
  g_faults.killAt = 0;
  KillAtWriteTo("", 0);
  FailWritesTo("", SQLITE_OK);
  sqlite3_vfs_register(g_real, 1);
  sqlite3_vfs_unregister(&g_vfs);
}

void FaultyDisk::FailWritesTo(const std::string& path, int code) {
  std::lock_guard<std::mutex> guard(g_faults.mutex);
  g_faults.failPath = path;
  g_faults.failCode = code;
}

void FaultyDisk::KillAtSync(int n) {
  g_faults.syncs = 0;
  g_faults.killAt = n;
}

void FaultyDisk::KillAtWriteTo(const std::string& path, int n) {
  std::lock_guard<std::mutex> guard(g_faults.mutex);
  g_faults.killWritePath = path;
  g_faults.writes = 0;
  g_faults.killAtWrite = n;
}

}  // namespace shell_test
