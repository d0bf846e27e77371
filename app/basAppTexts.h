#pragma once
// The program's fixed texts and addresses.
namespace vx::app {

// The application description: also the main window's caption.
inline constexpr const char* kApplicationInfo = "Morvane Vexilon 1.0 (for SQL Server 2000)";
// Major, minor and revision.
inline constexpr const char* kVersionInfo = "1.0.1";
// The help file in the program folder.
inline constexpr const char* kHelpFileName = "VexilonSQL2K.chm";
// The maker's support web page and e-mail address.
inline constexpr const char* kSupportOnlineURL = "https://www.morvane.com/vexilon/support";
inline constexpr const char* kSupportEmail = "support@morvane.com";
// The error-report service (HTTPS only); $VEXILON_ERROR_REPORT_URL replaces it
// (there plain http:// is accepted too, for a local test service).
inline constexpr const char* kErrorReportServiceURL = "https://errorreports.morvane.com/ErrorReports.CErrorReports";
// How long one call of the error-report service may take, in milliseconds;
// $VEXILON_ERROR_REPORT_TIMEOUT_MS replaces it.
inline constexpr int kErrorReportTimeoutMs = 20000;

}  // namespace vx::app
