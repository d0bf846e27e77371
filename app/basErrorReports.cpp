// Placeholder until error reporting is built.
#include "basErrorReports.h"

#include <cstdlib>
#include <iostream>

namespace vx::app {
namespace {
std::function<void(const QString&)> g_sink;
}
ErrorInfo CurrentErrorInfo() { return {440, QStringLiteral("Unknown error"), QString()}; }
QString BuildErrorReport(const QDateTime&, const ErrorInfo& e, const QString& o, const QString& p, int line) {
  return QStringLiteral("Error\r\nNumber: %1\r\nDescription:%2\r\nObject:%3\r\nProcedure:%4\r\nLine:%5")
      .arg(e.number).arg(e.description, o, p).arg(line);
}
void ReportError(const char* object, const char* procedure, int line, bool) {
  const QString report = BuildErrorReport(QDateTime::currentDateTime(), CurrentErrorInfo(), object, procedure, line);
  if (g_sink) return g_sink(report);
  std::cerr << report.toStdString() << std::endl;
  std::exit(1);
}
void SetErrorReportSink(std::function<void(const QString&)> sink) { g_sink = std::move(sink); }
}  // namespace vx::app
