#pragma once
// Error reporting: every handler of the program catches what its work raised and
// hands it to ReportError, which builds the eight-line report and shows the
// error window; the program then ends through ExitApp (see basMain.h).
//
//   void frmX::cmdOK_Click() {
//     VX_TRY
//       ...
//     VX_CATCH("frmX", "cmdOK_Click")
//   }
#include <cstdint>
#include <functional>

#include <QDateTime>
#include <QString>

namespace vx::app {

// What a caught error says of itself.
struct ErrorInfo {
  int32_t number = 0;
  QString description;
  QString source;
};
// The error being handled: call only inside a catch block. A vx::ComError gives
// its number, source and description; any other exception number 440 with its
// what() text; anything else number 440 "Unknown error".
ErrorInfo CurrentErrorInfo();

// The report: eight lines joined by CR LF ("Error", "Date/Time:", "Number: ",
// "Description:", "Object:", "Procedure:", "Line:", "Source:").
QString BuildErrorReport(const QDateTime& when, const ErrorInfo& error, const QString& object,
                         const QString& procedure, int line);

// Call inside a catch block: reports the current error and ends the program.
// With `normalPointer` the mouse pointer is set to normal first (start-up and
// the exit steps do so).
void ReportError(const char* object, const char* procedure, int line = 0, bool normalPointer = false);

// For tests: when a sink is set, ReportError hands it the report text instead
// of showing the error window, and the program goes on.
void SetErrorReportSink(std::function<void(const QString& report)> sink);

}  // namespace vx::app

#define VX_TRY try {
#define VX_CATCH(object, procedure)                           \
  }                                                           \
  catch (...) {                                               \
    ::vx::app::ReportError(object, procedure, __LINE__);      \
  }
