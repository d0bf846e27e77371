#pragma once
// A disk that fails on cue, under SQLite: a file layer over the real one, made
// the default layer while it lives, so every database the process opens goes
// through it. Writes to one file can fail as a full disk or a failing disk
// does, and the process can be killed at its n-th sync of any file, as a power
// cut or a kill would stop it there, or at its n-th write to one file.
#include <string>

namespace shell_test {

class FaultyDisk {
 public:
  FaultyDisk();
  ~FaultyDisk();
  FaultyDisk(const FaultyDisk&) = delete;
  FaultyDisk& operator=(const FaultyDisk&) = delete;

  // Every later write to the file at `path` fails with SQLite's `code`
  // (SQLITE_FULL, SQLITE_IOERR_WRITE), having written nothing.
  void FailWritesTo(const std::string& path, int code);
  // The process kills itself (SIGKILL) when it is about to make its n-th sync.
  void KillAtSync(int n);
  // The process kills itself when it is about to make its n-th write to the
  // file at `path`.
  void KillAtWriteTo(const std::string& path, int n);
};

}  // namespace shell_test
