#pragma once
// A local stand-in for the error-report service.
#include <vector>

#include <QByteArray>
#include <QTcpServer>

namespace shell_test {

// The error-report service on 127.0.0.1 over plain HTTP, answering
// {"result": n} to each POST.
class FakeReportService : public QTcpServer {
 public:
  enum class Mode { Accept, Refuse, Silent };
  explicit FakeReportService(Mode mode, int reference = 4711);
  QString Url() const;
  struct Request {
    QByteArray path, body;
  };
  std::vector<Request> requests;

 private:
  void Serve(QTcpSocket* socket);
  Mode mode_;
  int reference_;
};

}  // namespace shell_test
