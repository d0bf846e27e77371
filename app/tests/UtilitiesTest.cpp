// The shared utilities: list sorting by value, text and screen helpers, and
// the build step that places the archive.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <QGuiApplication>
#include <QScreen>
#include <QTreeWidget>

#include "basScreen.h"
#include "basUtilities.h"
#include "support/ShellTestSupport.h"

namespace {

namespace fs = std::filesystem;

class UtilitiesTest : public shell_test::ShellTest {
 protected:
  QStringList Sorted(const QStringList& cells, int sortType, int sortOrder) {
    QTreeWidget list;
    list.setColumnCount(2);
    for (const QString& c : cells) new QTreeWidgetItem(&list, {QStringLiteral("x"), c});
    vx::app::SortListView(&list, 1, sortType, sortOrder);
    QStringList out;
    for (int i = 0; i < list.topLevelItemCount(); ++i) out << list.topLevelItem(i)->text(1);
    return out;
  }
};

TEST_F(UtilitiesTest, DateAndNumberColumnsSortByValue) {
  const QStringList dates = {"02/01/2026 10:00:00", "31/12/2025 23:59:59", "not a date", "01/02/2026 09:00:00",
                             "02/01/2026 10:00:00"};
  EXPECT_EQ(Sorted(dates, 0, 0), (QStringList{"not a date", "31/12/2025 23:59:59", "02/01/2026 10:00:00",
                                              "02/01/2026 10:00:00", "01/02/2026 09:00:00"}));
  EXPECT_EQ(Sorted(dates, 0, 1), (QStringList{"01/02/2026 09:00:00", "02/01/2026 10:00:00", "02/01/2026 10:00:00",
                                              "31/12/2025 23:59:59", "not a date"}));
  EXPECT_EQ(Sorted({"10", "9", "-1.5"}, 1, 0), (QStringList{"-1.5", "9", "10"}));
}

TEST_F(UtilitiesTest, SmallHelpers) {
  EXPECT_EQ(vx::app::TrimNull(QString("abc")), "abc");
  EXPECT_EQ(vx::app::TrimNull(QString(QChar(0)) + "abc"), "");
  EXPECT_EQ(vx::app::TrimNull(QString("ab") + QChar(0) + "c"), "ab");
  const double dpi = QGuiApplication::primaryScreen()->logicalDotsPerInchY();
  EXPECT_EQ(vx::app::TwipsToPixels(1440, true), qRound(dpi));
  vx::app::SetScreenMousePointer(vx::app::vbHourglass);
  vx::app::SetScreenMousePointer(vx::app::vbHourglass);
  vx::app::SetScreenMousePointer(vx::app::vbDefault);  // one reset undoes any number of sets
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  QWidget window;
  window.setObjectName("frmSQLServerExplorer");
  EXPECT_TRUE(vx::app::IsFormLoaded("frmsqlserverexplorer"));
  window.show();
  window.close();
  EXPECT_FALSE(vx::app::IsFormLoaded("frmsqlserverexplorer"));
}

TEST_F(UtilitiesTest, TheBuildPlacesAnArchiveOnlyWhereNoneIs) {
  const fs::path source = fs::path(VX_DEMO_DIR) / "../../../app/PlaceArchive.cmake";
  const std::string folder = ProgramFolder() + "bin";
  fs::create_directories(folder);
  const std::string place = "cmake -DTEMPLATE=" + std::string(VX_ARCHIVE_TEMPLATE_DIR) + "/Vexilon.dat -DFOLDER=" +
                            folder + " -P " + source.string() + " >/dev/null";
  ASSERT_EQ(std::system(place.c_str()), 0);
  EXPECT_EQ(Bytes(folder + "/Vexilon.dat"), Bytes(std::string(VX_ARCHIVE_TEMPLATE_DIR) + "/Vexilon.dat"));
  EXPECT_EQ(Mode(folder + "/Vexilon.dat"), 0600);
  std::ofstream(folder + "/Vexilon.dat", std::ios::trunc) << "the user's archive";
  ASSERT_EQ(std::system(place.c_str()), 0);
  EXPECT_EQ(Bytes(folder + "/Vexilon.dat"), "the user's archive");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

}  // namespace
