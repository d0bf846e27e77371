#pragma once
// What the UI tests share: a QApplication (offscreen), a temporary program folder
// holding a fresh archive from the build's template, temporary settings and
// simulated-server folders (every writable path redirected), scripted dialogs
// and a sink for error reports.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QRect>
#include <QString>
#include <gtest/gtest.h>

#include "basMessages.h"

namespace ui_test {

// One message box the code under test asked for.
struct AskedMessage {
  QString prompt;
  int style = 0;
};

// Where a message box or modal window was put before it was answered.
struct Placement {
  QString window;     // its class name
  QRect geometry;     // its own
  QWidget* opener;    // the window it opened over (nullptr: the screen)
};

class UiTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();  // makes the QApplication once
  void SetUp() override;
  void TearDown() override;

  // The folders of this test (each ends in "/").
  const std::string& ProgramFolder() const { return programFolder_; }
  const std::string& SimFolder() const { return simFolder_; }
  const std::string& ConfigFolder() const { return configFolder_; }

  // Creates an empty simulated server in the sim folder (login sa with that
  // password); RunOnSimServer runs a GO-split script on it as sa.
  void CreateSimServer(const std::string& name, const std::string& saPassword = "sa");
  void RunOnSimServer(const std::string& name, const std::string& database, const std::string& tsql);

  // Message boxes: every request is recorded; answers come from the queue, then
  // from the style's default button.
  std::vector<AskedMessage> messages;
  std::vector<int> answers;
  // Save As: answered from this queue ("" = cancelled).
  std::vector<QString> saveAsAnswers;
  // Modal windows: each shown dialog is handed to the next handler (or left
  // unshown when the queue is empty).
  std::vector<std::function<int(QDialog&)>> modalHandlers;
  // Every message box and modal window, as placed.
  std::vector<Placement> placements;
  // Error reports that would have ended the program.
  std::vector<QString> errorReports;
  // Ends of the process the code under test asked for, with their exit codes.
  std::vector<int> processEnds;

 private:
  vx::app::DialogScript script_;
  std::string root_, programFolder_, simFolder_, configFolder_;
};

}  // namespace ui_test
