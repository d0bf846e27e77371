#include "support/FakeReportService.h"

#include <QTcpSocket>

namespace shell_test {

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
