// The error report every handler builds, and the one way it ends the program:
// the error window, then ExitApp.
#include "basErrorReports.h"

#include <exception>

#include "automation/ComError.h"
#include "automation/DateText.h"
#include "basMain.h"
#include "basScreen.h"
#include "frmErrorWarning.h"
#include "basMessages.h"

namespace vx::app {
namespace {
std::function<void(const QString&)> g_sink;
bool g_reporting = false;

QString DateTimeText(const QDateTime& when) {
  const QDate d = when.date();
  const QTime t = when.time();
  vx::DateParts parts{d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
  vx::OleDate date = 0;
  if (!vx::DatePartsToOle(parts, date)) return when.toString(Qt::TextDate);
  return QString::fromStdString(vx::DateToText(date));
}
}  // namespace

ErrorInfo CurrentErrorInfo() {
  try {
    throw;
  } catch (const vx::ComError& e) {
    return {e.Number(), QString::fromStdString(e.Description()), QString::fromStdString(e.Source())};
  } catch (const std::exception& e) {
    return {440, QString::fromLocal8Bit(e.what()), QString::fromLatin1(kAppTitle)};
  } catch (...) {
    return {440, QStringLiteral("Unknown error"), QString::fromLatin1(kAppTitle)};
  }
}

QString BuildErrorReport(const QDateTime& when, const ErrorInfo& error, const QString& object,
                         const QString& procedure, int line) {
  const QString crlf = QStringLiteral("\r\n");
  return QStringLiteral("Error") + crlf + QStringLiteral("Date/Time:") + DateTimeText(when) + crlf +
         QStringLiteral("Number: ") + QString::number(error.number) + crlf + QStringLiteral("Description:") +
         error.description + crlf + QStringLiteral("Object:") + object + crlf + QStringLiteral("Procedure:") +
         procedure + crlf + QStringLiteral("Line:") + QString::number(line) + crlf + QStringLiteral("Source:") +
         error.source;
}

void ReportError(const char* object, const char* procedure, int line, bool normalPointer) {
  const QString report = BuildErrorReport(QDateTime::currentDateTime(), CurrentErrorInfo(),
                                          QString::fromLatin1(object), QString::fromLatin1(procedure), line);
  if (normalPointer) SetScreenMousePointer(vbDefault);
  if (g_sink) {
    g_sink(report);
    return;
  }
  if (!g_reporting) {
    g_reporting = true;
    frmErrorWarning window;
    window.SetErrorMessage(report);
    ShowModal(window);
    g_reporting = false;
  }
  // Every way out of the error window ends the program.
  ExitApp(1);
}

void SetErrorReportSink(std::function<void(const QString&)> sink) { g_sink = std::move(sink); }

}  // namespace vx::app
