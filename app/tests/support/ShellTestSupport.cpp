#include "support/ShellTestSupport.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QThread>

#include "basMain.h"

namespace shell_test {

void ShellTest::SetUp() {
  UiTest::SetUp();
  const std::string runtime = ProgramFolder() + "../runtime";
  std::filesystem::create_directories(runtime);
  ::chmod(runtime.c_str(), 0700);
  ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  vx::app::SetEndProcess([this](int code) { endCodes.push_back(code); });
}

void ShellTest::TearDown() {
  vx::app::ReleaseProgram();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  vx::app::SetEndProcess(nullptr);
  UiTest::TearDown();
}

QByteArray ShellTest::Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(in), {}));
}

int ShellTest::Mode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

bool ShellTest::WaitFor(const std::function<bool()>& done, int ms) {
  QDeadlineTimer deadline(ms);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QThread::msleep(5);
  }
  return true;
}

int ShellTest::HoldFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

FakeReportService::FakeReportService(Mode mode, int reference) : mode_(mode), reference_(reference) {
  listen(QHostAddress::LocalHost, 0);
  connect(this, &QTcpServer::newConnection, this, [this] {
    while (QTcpSocket* socket = nextPendingConnection()) {
      connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Serve(socket); });
    }
  });
}

QString FakeReportService::Url() const {
  return QStringLiteral("http://127.0.0.1:%1/ErrorReports.CErrorReports").arg(serverPort());
}

void FakeReportService::Serve(QTcpSocket* socket) {
  QByteArray data = socket->property("data").toByteArray() + socket->readAll();
  socket->setProperty("data", data);
  const qsizetype end = data.indexOf("\r\n\r\n");
  if (end < 0) return;
  qsizetype length = 0;
  for (const QByteArray& line : data.left(end).split('\n'))
    if (line.toLower().startsWith("content-length:")) length = line.mid(15).trimmed().toLongLong();
  if (data.size() < end + 4 + length) return;
  const QByteArray path = data.left(data.indexOf("\r\n")).split(' ').value(1);
  requests.push_back({path, data.mid(end + 4, length)});
  socket->setProperty("data", QByteArray());
  if (mode_ == Mode::Silent) return;
  int result = reference_;
  if (path.endsWith("/CheckInstance")) result = mode_ == Mode::Accept ? 4 : 3;
  const QByteArray body = "{\"result\": " + QByteArray::number(result) + "}";
  socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: " +
                QByteArray::number(body.size()) + "\r\n\r\n" + body);
  socket->disconnectFromHost();
}

}  // namespace shell_test
