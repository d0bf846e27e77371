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

namespace {

QString RuntimeFolder() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty() || !QDir().mkpath(folder)) folder = QDir::tempPath();
  return folder;
}

}  // namespace

CSingleInstance::CSingleInstance(const QString& programFolder, QObject* parent) : QObject(parent) {
  QString folder = QFileInfo(programFolder).canonicalFilePath();
  if (folder.isEmpty()) folder = QDir::cleanPath(programFolder);
  const QByteArray id = QString::number(::getuid()).toUtf8() + ':' + folder.toUtf8();
  const QString name =
      QStringLiteral("vexilon-") + QString::fromLatin1(QCryptographicHash::hash(id, QCryptographicHash::Sha1).toHex().left(16));
  const QString base = RuntimeFolder() + QLatin1Char('/') + name;
  lockPath_ = base + QStringLiteral(".lock");
  serverPath_ = base + QStringLiteral(".socket");
}

CSingleInstance::~CSingleInstance() {
  if (server_) {
    server_->close();  // removes the socket file
    delete server_;
  }
  if (lockFd_ >= 0) ::close(lockFd_);
}

bool CSingleInstance::Acquire() {
  if (lockFd_ >= 0) return true;
  const QByteArray path = QFile::encodeName(lockPath_);
  const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return true;  // no place for a lock: run unguarded rather than not at all
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    AskOtherToActivate();
    return false;
  }
  lockFd_ = fd;
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
