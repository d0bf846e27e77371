#pragma once
// Submits an error report to the maker's error-report service over HTTPS: first
// CheckInstance (the service must answer 4), then SubmitErrorReport, which
// answers the report's reference. Each call is one POST of a JSON object to the
// service's address followed by the call's name, answered by {"result": n}.
#include <cstdint>

#include <QJsonObject>
#include <QString>
#include <QUrl>

class CErrorReports {
 public:
  // The error numbers of a failed submission.
  static constexpr int32_t kTimeout = static_cast<int32_t>(0x80072EE2u);
  static constexpr int32_t kNotReached = static_cast<int32_t>(0x80072EFDu);

  // The report's reference, or 0 when the service refused the call. Raises
  // vx::ComError when the service cannot be reached, answers an error or
  // nothing usable, or does not answer in time.
  int32_t SubmitErrorReport(const QString& strErrorMessage);

  // The service's address: the program's own, or $VEXILON_ERROR_REPORT_URL.
  static QUrl ServiceURL();

 private:
  int64_t Call(const QUrl& service, const QString& method, const QJsonObject& arguments);
};
