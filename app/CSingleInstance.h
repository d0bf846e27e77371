#pragma once
// One running instance per archive: the first instance holds the archive
// file's run lock (archive/RunLock.h: the file itself, however its path reaches
// it) and listens on a local socket named after the file; a later start finds
// the lock held, asks the first one through the socket to come to the front,
// and ends. Without an archive file to lock, a lock file named after the
// program folder stands in. The lock dies with its process, so a killed
// instance blocks nothing.
#include <memory>
#include <string>
#include <vector>

#include <QObject>
#include <QString>

#include "archive/RunLock.h"

class QLocalServer;

class CSingleInstance : public QObject {
  Q_OBJECT

 public:
  // The guard of that program folder's archive; socket (and the stand-in lock
  // file) in $XDG_RUNTIME_DIR, else the temporary folder.
  explicit CSingleInstance(const QString& programFolder, QObject* parent = nullptr);
  ~CSingleInstance() override;

  // True for the first instance (it now holds the lock and listens). False when
  // another instance holds it; that one has been asked to come to the front.
  bool Acquire();
  QString LockPath() const { return lockPath_; }
  QString ServerPath() const { return serverPath_; }
  // Holds `file` too, for the rest of the run: the compacted copy that takes
  // the archive's place at exit, so that no start slips in before the end.
  void HoldAlso(const std::string& file);

 signals:
  // Another start of the same program asked this one to come to the front.
  void activationRequested();

 private:
  void AskOtherToActivate();

  std::string archivePath_;
  QString lockPath_;
  QString serverPath_;
  std::vector<std::unique_ptr<vx::archive::RunLock>> runLocks_;
  int lockFd_ = -1;
  QLocalServer* server_ = nullptr;
};
