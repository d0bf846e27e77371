// Opens the log window on a log of N items (default 20,000), each with a script
// of a few kilobytes as an encryption run writes them, and prints how long the
// fill took. Run with QT_QPA_PLATFORM=offscreen. With a third argument it also
// saves pictures of the log window and of its first item there.
//   vx_bench_log_window [items [picture folder]]
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include <QApplication>
#include <QTreeWidget>

#include "archive/Connection.h"
#include "basMain.h"
#include "dialogs/frmLog.h"
#include "dialogs/frmLogItem.h"
#include "vexilon_lib/CVexilon.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  const int items = argc > 1 ? std::atoi(argv[1]) : 20000;
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  char pattern[] = "/tmp/vx-bench-log-XXXXXX";
  const std::string folder = std::string(::mkdtemp(pattern)) + "/";
  fs::copy_file(std::string(VX_ARCHIVE_TEMPLATE_DIR) + "/Vexilon.dat", folder + "Vexilon.dat");
  fs::copy_file(std::string(VX_ARCHIVE_TEMPLATE_DIR) + "/Vexilon.sec", folder + "Vexilon.sec");
  vx::app::SetProgramFolder(folder);

  std::string script = "ALTER PROCEDURE dbo.p WITH ENCRYPTION AS\r\n";
  while (script.size() < 3000) script += "  SELECT name, id, xtype FROM sysobjects WHERE xtype = 'P'\r\n";
  auto engine = vx::app::NewEngine();
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < items; ++i)
    engine->AddLogItem(vx::OleDate(45000.0 + i / 86400.0), "VEXDEMO", "Ledger", "dbo", ENU_OBT_STORED_PROCEDURE,
                       "usp_Object" + std::to_string(i), "Encrypted and archived.", script);
  const auto t1 = std::chrono::steady_clock::now();

  frmLog log;
  log.FillfrmLog();
  const auto t2 = std::chrono::steady_clock::now();
  auto ms = [](auto a, auto b) { return std::chrono::duration<double, std::milli>(b - a).count(); };
  std::printf("log items written: %d in %.0f ms\n", items, ms(t0, t1));
  std::printf("log window filled: %d rows in %.0f ms\n", log.lvwLog()->topLevelItemCount(), ms(t1, t2));
  if (argc > 2) {
    const QString pictures = QString::fromLocal8Bit(argv[2]);
    log.show();
    log.grab().save(pictures + "/log-window.png");
    frmLogItem item(&log);
    item.SetLogList(log.lvwLog());
    item.SetLogID(1);
    item.FillfrmLogItem();
    item.show();
    item.grab().save(pictures + "/log-item.png");
  }
  fs::remove_all(folder);
  return 0;
}
