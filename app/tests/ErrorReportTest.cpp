// The error report: its text, the error window, and its submission to a local
// stand-in for the error-report service.
#include <stdlib.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <stdexcept>

#include "CErrorReports.h"
#include "automation/ComError.h"
#include "automation/DateText.h"
#include "basErrorReports.h"
#include "basMain.h"
#include "frmErrorMessage.h"
#include "frmErrorWarning.h"
#include "support/FakeReportService.h"
#include "support/ShellTestSupport.h"

namespace {

using shell_test::FakeReportService;

class ErrorReportTest : public shell_test::ShellTest {
 protected:
  void TearDown() override {
    ::unsetenv("VEXILON_ERROR_REPORT_URL");
    ::unsetenv("VEXILON_ERROR_REPORT_TIMEOUT_MS");
    ShellTest::TearDown();
  }
  void UseService(const QString& url, int timeoutMs = 2000) {
    ::setenv("VEXILON_ERROR_REPORT_URL", url.toUtf8().constData(), 1);
    ::setenv("VEXILON_ERROR_REPORT_TIMEOUT_MS", std::to_string(timeoutMs).c_str(), 1);
  }
};

TEST_F(ErrorReportTest, TheReportHasItsEightLinesAndKeepsBreaksInTheDescription) {
  const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7));
  vx::DateParts parts{2026, 3, 4, 5, 6, 7};
  vx::OleDate date = 0;
  vx::DatePartsToOle(parts, date);
  const vx::app::ErrorInfo error{-2147467259, "first\r\nsecond", "Archive"};
  EXPECT_EQ(vx::app::BuildErrorReport(when, error, "basMain", "CompactDb", 12),
            "Error\r\nDate/Time:" + QString::fromStdString(vx::DateToText(date)) +
                "\r\nNumber: -2147467259\r\nDescription:first\r\nsecond\r\nObject:basMain\r\nProcedure:CompactDb"
                "\r\nLine:12\r\nSource:Archive");
  try {
    throw vx::ComError(5, "CRegistry:OpenKey", "Failed");
  } catch (...) {
    const auto info = vx::app::CurrentErrorInfo();
    EXPECT_EQ(info.number, 5);
    EXPECT_EQ(info.source, "CRegistry:OpenKey");
  }
  try {
    throw std::runtime_error("plain");
  } catch (...) {
    EXPECT_EQ(vx::app::CurrentErrorInfo().number, 440);
  }
}

struct Submission {
  const char* name;
  FakeReportService::Mode mode;
  int expected;      // reference returned, or -1 when it must fail
  size_t requests;   // calls the service saw
};
void PrintTo(const Submission& row, std::ostream* os) { *os << row.name; }

class SubmissionTest : public ErrorReportTest, public ::testing::WithParamInterface<Submission> {};

TEST_P(SubmissionTest, AnswersOrFailsWithinTheTimeout) {
  const Submission& s = GetParam();
  FakeReportService service(s.mode);
  UseService(service.Url(), 400);
  CErrorReports reports;
  QElapsedTimer clock;
  clock.start();
  int32_t reference = -1;
  try {
    reference = reports.SubmitErrorReport("Error\r\nNumber: 5");
  } catch (const vx::ComError& e) {
    EXPECT_EQ(e.Number(), CErrorReports::kTimeout);
  }
  EXPECT_LT(clock.elapsed(), 3000);
  EXPECT_EQ(reference, s.expected);
  ASSERT_EQ(service.requests.size(), s.requests);
  EXPECT_TRUE(service.requests[0].path.endsWith("/CheckInstance"));
  if (s.requests == 2) {
    EXPECT_TRUE(service.requests[1].path.endsWith("/SubmitErrorReport"));
    const auto body = QJsonDocument::fromJson(service.requests[1].body).object();
    EXPECT_EQ(body.value("strErrorMessage").toString(), "Error\r\nNumber: 5");
    EXPECT_EQ(body.size(), 11);  // the eleven arguments of the service call
  }
}

INSTANTIATE_TEST_SUITE_P(Service, SubmissionTest,
                         ::testing::Values(Submission{"Accepted", FakeReportService::Mode::Accept, 4711, 2},
                                           Submission{"Refused", FakeReportService::Mode::Refuse, 0, 1},
                                           Submission{"Timeout", FakeReportService::Mode::Silent, -1, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ErrorReportTest, NoServiceMeansAFailureAndOnlyHttpsByDefault) {
  UseService("http://127.0.0.1:1/ErrorReports.CErrorReports");
  EXPECT_THROW(CErrorReports().SubmitErrorReport("x"), vx::ComError);
  UseService("ftp://127.0.0.1/x");
  EXPECT_THROW(CErrorReports::ServiceURL(), vx::ComError);
  ::unsetenv("VEXILON_ERROR_REPORT_URL");
  EXPECT_EQ(CErrorReports::ServiceURL().scheme(), "https");
}

TEST_F(ErrorReportTest, NotifyGivesTheReferenceOrKeepsTheWindowOpenOnFailure) {
  FakeReportService service(FakeReportService::Mode::Accept, 90210);
  UseService(service.Url());
  frmErrorWarning window;
  window.SetErrorMessage("Error");
  window.cmdNotify_Click();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].prompt.endsWith("Please take a note of your error report reference: 90210"));
  EXPECT_EQ(messages[0].style, 64);
  EXPECT_EQ(window.result(), QDialog::Accepted);

  UseService("http://127.0.0.1:1/x");
  frmErrorWarning again;
  again.cmdNotify_Click();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_TRUE(messages[1].prompt.startsWith(
      "Unable to notify Morvane.\n\nPlease make sure you are connected to the Internet before clicking notify. "));
  EXPECT_EQ(messages[1].style, 48);
  EXPECT_EQ(again.result(), 0);  // still the error window
}

TEST_F(ErrorReportTest, ViewErrorShowsTheTextReadOnlyAndCopiesItExactly) {
  const QString report = "Error\r\nDate/Time:x\r\nNumber: 1\r\nDescription:d\r\nObject:o\r\nProcedure:p\r\nLine:0\r\nSource:s";
  frmErrorWarning window;
  window.SetErrorMessage(report);
  bool readOnly = false;
  modalHandlers.push_back([&](QDialog& d) {
    auto& message = dynamic_cast<frmErrorMessage&>(d);
    readOnly = message.txtErrorMessage()->isReadOnly();
    message.cmdCopy_Click();
    return 0;
  });
  window.cmdViewError_Click();
  EXPECT_TRUE(readOnly);
  EXPECT_EQ(QApplication::clipboard()->text(), report);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].prompt, "The error message was copied to the clipboard.");
}

TEST_F(ErrorReportTest, AfterTheErrorWindowTheProgramEndsThroughTheExitSteps) {
  vx::app::SetErrorReportSink(nullptr);
  QString shown;
  modalHandlers.push_back([&](QDialog& d) {
    shown = dynamic_cast<frmErrorWarning&>(d).ErrorMessage();
    d.findChild<QPushButton*>("cmdAbort")->click();
    return 0;
  });
  try {
    throw vx::ComError(-2147467259, "Archive", "broken");
  } catch (...) {
    vx::app::ReportError("frmApplication", "acbApplication_ToolClick");
  }
  EXPECT_TRUE(shown.contains("Procedure:acbApplication_ToolClick"));
  EXPECT_EQ(endCodes, std::vector<int>{1});
  EXPECT_TRUE(Bytes(File("Vexilon.bak")).size() > 0);
  EXPECT_EQ(Mode(File("Vexilon.sec")), -1);
}

}  // namespace
