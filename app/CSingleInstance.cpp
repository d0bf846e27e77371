#include "CSingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include "archive/ArchiveFiles.h"

namespace {

QString RuntimeFolder() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty() || !QDir().mkpath(folder)) folder = QDir::tempPath();
  return folder;
}

QString BaseName(const QByteArray& id) {
  return QStringLiteral("vexilon-") +
         QString::fromLatin1(QCryptographicHash::hash(id, QCryptographicHash::Sha1).toHex().left(16));
}

}  // namespace

CSingleInstance::CSingleInstance(const QString& programFolder, QObject* parent) : QObject(parent) {
  QString folder = QFileInfo(programFolder).canonicalFilePath();
  if (folder.isEmpty()) folder = QDir::cleanPath(programFolder);
  archivePath_ = QFile::encodeName(QDir::cleanPath(programFolder) + QLatin1Char('/') +
                                   QString::fromLatin1(vx::archive::kArchiveFileName))
                     .toStdString();
  const QString runtime = RuntimeFolder() + QLatin1Char('/');
  const QByteArray user = QString::number(::getuid()).toUtf8() + ':';
  lockPath_ = runtime + BaseName(user + folder.toUtf8()) + QStringLiteral(".lock");
  // The socket is named after the archive file when there is one, so that every
  // path to it finds the same socket.
  const std::string archive = vx::archive::FileIdentity(archivePath_);
  const QString name = archive.empty() ? BaseName(user + folder.toUtf8())
                                       : BaseName(user + "archive:" + QByteArray::fromStdString(archive));
  serverPath_ = runtime + name + QStringLiteral(".socket");
}

void CSingleInstance::HoldAlso(const std::string& file) {
  vx::archive::RunLock::Outcome outcome{};
  if (auto lock = vx::archive::RunLock::Take(file, outcome)) runLocks_.push_back(std::move(lock));
}

CSingleInstance::~CSingleInstance() {
  if (server_) {
    server_->close();  // removes the socket file
    delete server_;
  }
  if (lockFd_ >= 0) ::close(lockFd_);
  runLocks_.clear();
}

bool CSingleInstance::Acquire() {
  if (lockFd_ >= 0 || !runLocks_.empty()) return true;
  vx::archive::RunLock::Outcome outcome{};
  if (auto lock = vx::archive::RunLock::Take(archivePath_, outcome)) {
    runLocks_.push_back(std::move(lock));
  } else if (outcome == vx::archive::RunLock::Outcome::Held) {
    AskOtherToActivate();
    return false;
  } else {
    // No archive file this process may lock, a missing or a read-only one
    // (start-up then says why it cannot start): the program folder stands in.
    const QByteArray path = QFile::encodeName(lockPath_);
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return true;  // no place for a lock: run unguarded rather than not at all
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);
      AskOtherToActivate();
      return false;
    }
    lockFd_ = fd;
  }
  // A socket file left by a killed instance is stale: the lock proves no one listens.
  QLocalServer::removeServer(serverPath_);
  server_ = new QLocalServer;
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      socket->disconnectFromServer();
      emit activationRequested();
    }
  });
  server_->listen(serverPath_);
  return true;
}

void CSingleInstance::AskOtherToActivate() {
  // The first instance may still be between taking the lock and listening.
  const QDeadlineTimer deadline(3000);
  while (!deadline.hasExpired()) {
    QLocalSocket socket;
    socket.connectToServer(serverPath_);
    if (socket.waitForConnected(500)) {
      socket.write("activate\n");
      socket.waitForBytesWritten(1000);
      socket.disconnectFromServer();
      return;
    }
    QThread::msleep(100);
  }
}
