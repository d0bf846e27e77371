#pragma once
// One running instance per user and program folder: the first instance holds a
// lock file and listens on a local socket; a later start finds the lock held,
// asks the first one through the socket to come to the front, and ends. The
// lock dies with its process, so a killed instance blocks nothing.
#include <QObject>
#include <QString>

class QLocalServer;

class CSingleInstance : public QObject {
  Q_OBJECT

 public:
  // The guard of that program folder; files in $XDG_RUNTIME_DIR (else the
  // temporary folder).
  explicit CSingleInstance(const QString& programFolder, QObject* parent = nullptr);
  ~CSingleInstance() override;

  // True for the first instance (it now holds the lock and listens). False when
  // another instance holds it; that one has been asked to come to the front.
  bool Acquire();
  QString LockPath() const { return lockPath_; }
  QString ServerPath() const { return serverPath_; }

 signals:
  // Another start of the same program asked this one to come to the front.
  void activationRequested();

 private:
  void AskOtherToActivate();

  QString lockPath_;
  QString serverPath_;
  int lockFd_ = -1;
  QLocalServer* server_ = nullptr;
};
