#include "CErrorReports.h"

#include <cstdlib>
#include <memory>

#include <QDateTime>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include "automation/ComError.h"
#include "basAppTexts.h"
#include "vexilon_global/CGlobal.h"

namespace {

constexpr const char* kSource = "CErrorReports";

int TimeoutMs() {
  const char* env = std::getenv("VEXILON_ERROR_REPORT_TIMEOUT_MS");
  const int ms = env ? std::atoi(env) : 0;
  return ms > 0 ? ms : vx::app::kErrorReportTimeoutMs;
}

QString Text(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

QUrl CErrorReports::ServiceURL() {
  const char* env = std::getenv("VEXILON_ERROR_REPORT_URL");
  const bool overridden = env && *env;
  const QUrl url(QString::fromUtf8(overridden ? env : vx::app::kErrorReportServiceURL));
  const QString scheme = url.scheme().toLower();
  // Reports travel encrypted; plain HTTP only to a service named by the override.
  if (!url.isValid() || !(scheme == QLatin1String("https") || (overridden && scheme == QLatin1String("http"))))
    throw vx::ComError(kNotReached, kSource, "The error-report service's address '" + url.toString().toStdString() +
                                                 "' is not an HTTPS address.");
  return url;
}

int32_t CErrorReports::SubmitErrorReport(const QString& strErrorMessage) {
  const QDateTime now = QDateTime::currentDateTime();
  CGlobal& global = CGlobal::Instance();
  const QUrl service = ServiceURL();
  if (Call(service, QStringLiteral("CheckInstance"), QJsonObject{{"intMajor", 2}, {"intMinor", 2}}) != 4) return 0;
  const QJsonObject report{
      {"strProduct", QStringLiteral("Vexilon")},
      {"dteDateTime", now.toString(Qt::ISODate)},
      {"strReportFormat", QStringLiteral("1")},
      {"strErrorMessage", strErrorMessage},
      {"strSystemInfo", Text(global.SystemInfo())},
      {"strSystemLocaleInfo", Text(global.SystemLocaleInfo())},
      {"strSystemVolumeInfo", Text(global.SystemVolumeInfo())},
      {"strApplicationInfo", Text(global.ApplicationInfo())},
      {"strVersionInfo", Text(global.VersionInfo())},
      {"strApplicationPath", Text(global.ApplicationPath())},
      {"strWindowsPath", Text(global.WindowsPath())},
  };
  return static_cast<int32_t>(Call(service, QStringLiteral("SubmitErrorReport"), report));
}

int64_t CErrorReports::Call(const QUrl& service, const QString& method, const QJsonObject& arguments) {
  QUrl url = service;
  url.setPath(url.path() + QLatin1Char('/') + method);
  QNetworkRequest request(url);
  request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
  request.setTransferTimeout(TimeoutMs());
  QNetworkAccessManager manager;
  std::unique_ptr<QNetworkReply> reply(manager.post(request, QJsonDocument(arguments).toJson(QJsonDocument::Compact)));
  QEventLoop loop;
  QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
  // A second guard in case the transfer timer never starts (no connection attempt).
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, reply.get(), &QNetworkReply::abort);
  guard.start(TimeoutMs() + 1000);
  if (!reply->isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
  const auto error = reply->error();
  if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
    throw vx::ComError(kTimeout, kSource,
                       "The error-report service did not answer within " +
                           QString::number(TimeoutMs() / 1000.0).toStdString() + " seconds.");
  if (error != QNetworkReply::NoError)
    throw vx::ComError(kNotReached, kSource, "The error-report service could not be reached: " +
                                                 reply->errorString().toStdString());
  const QJsonDocument answer = QJsonDocument::fromJson(reply->readAll());
  if (!answer.isObject() || !answer.object().value(QLatin1String("result")).isDouble())
    throw vx::ComError(kNotReached, kSource, "The error-report service gave no usable answer to " + method.toStdString() + ".");
  return static_cast<int64_t>(answer.object().value(QLatin1String("result")).toDouble());
}
