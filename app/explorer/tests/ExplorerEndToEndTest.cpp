// A copy of the demo server, through the explorer's commands only: a whole
// database encrypted with archiving, then restored, every text back byte for
// byte. With VX_SCREENSHOT_DIR set, the progress half-way and the closing
// message are saved there as PNG files.
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "explorer/frmSQLServerExplorer.h"
#include "frmApplication.h"
#include "sqlserver_sim/SimServer.h"
#include "support/ExplorerTestSupport.h"
#include "vexilon_lib/CVexilon.h"

namespace {

constexpr ENU_OBJECT_TYPES kKinds[] = {ENU_OBT_STORED_PROCEDURE, ENU_OBT_TRIGGER, ENU_OBT_USER_DEFINED_FUNCTION,
                                       ENU_OBT_VIEW};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

QString ShotFolder() { return QString::fromLocal8Bit(std::getenv("VX_SCREENSHOT_DIR")); }

// The explorer with the main window's status band below it.
void SaveProgressShot(QWidget& explorer, const ui_test::ProgressStep& step, const QString& file) {
  if (ShotFolder().isEmpty()) return;
  QWidget frame;
  auto* layout = new QVBoxLayout(&frame);
  auto* view = new QLabel(&frame);
  view->setPixmap(explorer.grab());
  layout->addWidget(view);
  auto* band = new QHBoxLayout;
  band->addWidget(new QLabel(step.status, &frame), 1);
  auto* bar = new QProgressBar(&frame);
  bar->setRange(0, step.max);
  bar->setValue(step.value);
  band->addWidget(bar, 1);
  layout->addLayout(band);
  frame.resize(900, 520);
  frame.grab().save(ShotFolder() + "/" + file);
}

void SaveMessageShot(const ui_test::AskedMessage& m, const QString& file) {
  if (ShotFolder().isEmpty()) return;
  QMessageBox box((m.style & 0x70) == 48 ? QMessageBox::Warning : QMessageBox::Information, "Vexilon", m.prompt,
                  QMessageBox::Ok);
  box.adjustSize();
  box.grab().save(ShotFolder() + "/" + file);
}

class ExplorerEndToEndTest : public ui_test::ExplorerTest {
 protected:
  // Every object's text on the server, by kind and name.
  std::map<std::string, std::string> Texts(int32_t db) {
    std::map<std::string, std::string> texts;
    CVexilon& e = Check("VEXDEMO");
    auto add = [&](const char* kind, const UDT_OBJECT_CONTAINER& list, auto read) {
      for (const auto& o : list.arrObjects) texts[std::string(kind) + o.strOwnerName + "." + o.strObjectName] = read(o);
    };
    add("P", e.GetStoredProcedures(db, vx::kTrue), [&](const UDT_OBJECT& o) { return e.GetStoredProcedure(db, o.lngID).strScript; });
    add("T", e.GetTriggers(db, vx::kTrue), [&](const UDT_OBJECT& o) { return e.GetTrigger(db, o.lngID).strScript; });
    add("F", e.GetUserDefinedFunctions(db, vx::kTrue), [&](const UDT_OBJECT& o) { return e.GetUserDefinedFunction(db, o.lngID).strScript; });
    add("V", e.GetViews(db, vx::kTrue), [&](const UDT_OBJECT& o) { return e.GetView(db, o.lngID).strScript; });
    return texts;
  }
};

TEST_F(ExplorerEndToEndTest, DemoDatabaseEncryptedAndRestoredThroughTheCommands) {
  vx::sqlsim::ServerOptions options;
  options.saPassword = "demo";
  auto demo = vx::sqlsim::SimServer::Create("VEXDEMO", options, SimFolder());
  const std::string dir = VX_DEMO_DIR;
  demo.RunScript(ReadFile(dir + "/00-server.sql"), "master");
  demo.RunScript(ReadFile(dir + "/10-ledger.sql"), "Ledger");
  demo.RunScript(ReadFile(dir + "/20-harbour.sql"), "Harbour");
  demo.RunScript(ReadFile(dir + "/30-atelier.sql"), "Atelier");
  RegisterServer("VEXDEMO", "demo");
  checkPassword = "demo";

  int32_t ledger = 0;
  for (const auto& d : Check("VEXDEMO").GetDatabases(vx::kTrue).arrDatabases)
    if (d.strDatabaseName == "Ledger") ledger = d.lngDatabaseID;
  ASSERT_NE(ledger, 0);
  const auto before = Texts(ledger);
  int plainBefore = 0, encryptedBefore = 0;
  for (auto kind : kKinds) plainBefore += PlainCount(ledger, kind), encryptedBefore += EncryptedCount(ledger, kind);
  ASSERT_GT(plainBefore, 10);

  OpenExplorer();
  Explorer().resize(860, 460);
  SelectDatabase(ledger, "VEXDEMO");
  answers = {vx::app::vbYes};
  onStep = [&](const ui_test::ProgressStep& s) {
    if (s.value == s.max / 2 && s.value > 0 && s.max > 0) SaveProgressShot(Explorer(), s, "progress-half-way.png");
  };
  Tool("miDbEncryptAll");
  onStep = nullptr;
  ASSERT_TRUE(errorReports.empty()) << errorReports.front().toStdString();
  EXPECT_EQ(steps.back().value, plainBefore);
  EXPECT_EQ(messages.back().prompt, "All database objects have been encrypted.");
  SaveMessageShot(messages.back(), "closing-message.png");

  // Every folder now lists its objects as encrypted, each with its archive copy.
  int listed = 0;
  for (auto kind : kKinds) {
    ClickFolder(kind, ledger, "VEXDEMO");
    EXPECT_EQ(Explorer().lvwObjects()->topLevelItemCount(), 0) << kind;
    listed += Explorer().lvwEncryptedObjects()->topLevelItemCount();
  }
  EXPECT_EQ(listed, plainBefore + encryptedBefore);
  EXPECT_EQ(ArchivedCount(ledger), plainBefore);

  SelectDatabase(ledger, "VEXDEMO");
  messages.clear();
  answers = {vx::app::vbYes};
  Tool("miDbRestoreAll");
  ASSERT_TRUE(errorReports.empty());
  // The one procedure that was encrypted before Vexilon has no archive copy.
  EXPECT_EQ(messages.back().prompt,
            encryptedBefore ? "Errors occured during the restore, however some database objects were restored. Please "
                              "view the Vexilon log for details."
                            : "All database objects have been restored.");
  EXPECT_EQ(ArchivedCount(ledger), 0);
  const auto after = Texts(ledger);
  EXPECT_EQ(after.size(), before.size());
  for (const auto& [name, text] : before) EXPECT_EQ(after.count(name) ? after.at(name) : "<missing>", text) << name;
}

}  // namespace
