// Opens the log window on a log of N items (default 20,000), each with a script
// of a few kilobytes as an encryption run writes them, and prints how long the
// fill took and the process's peak memory, then how long the item window takes
// to open on an item. Run with QT_QPA_PLATFORM=offscreen. With a third argument
// it also saves pictures of the log window and of its first item there.
//   vx_bench_log_window [items [picture folder]]
#include <stdlib.h>
#include <sys/resource.h>
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
  // The items go in as AddLogItem writes them, in one transaction.
  const auto t0 = std::chrono::steady_clock::now();
  {
    using vx::archive::Parameter;
    using vx::archive::ParamType;
    vx::archive::Connection c(vx::app::strDbConnectionString());
    c.BeginTrans();
    for (int i = 0; i < items; ++i)
      c.Execute("qryAddLogItem",
                {Parameter::Date("@DateTime", vx::OleDate(45000.0 + i / 86400.0)),
                 Parameter::TextLength("@SQLServerName", "VEXDEMO"), Parameter::TextLength("@DatabaseName", "Ledger"),
                 Parameter::NullOf("@TableName", ParamType::VarWChar, 128), Parameter::TextLength("@OwnerName", "dbo"),
                 Parameter::Long("@ObjectType", ENU_OBT_STORED_PROCEDURE),
                 Parameter::TextLength("@ObjectName", "usp_Object" + std::to_string(i)),
                 Parameter::TextLength("@Message", "Encrypted and archived.", ParamType::LongVarWChar),
                 Parameter::TextLength("@Script", script, ParamType::LongVarWChar)});
    c.CommitTrans();
  }
  const auto t1 = std::chrono::steady_clock::now();
  struct rusage before {};
  ::getrusage(RUSAGE_SELF, &before);

  frmLog log;
  log.FillfrmLog();
  const auto t2 = std::chrono::steady_clock::now();
  auto ms = [](auto a, auto b) { return std::chrono::duration<double, std::milli>(b - a).count(); };
  std::printf("log items written: %d in %.0f ms\n", items, ms(t0, t1));
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  std::printf("log window filled: %d rows in %.0f ms, peak memory %.0f MB, %.0f MB before the fill (limit 2 s and "
              "150 MB at 100,000)\n",
              log.lvwLog()->topLevelItemCount(), ms(t1, t2), usage.ru_maxrss / 1024.0, before.ru_maxrss / 1024.0);
  {
    const auto t3 = std::chrono::steady_clock::now();
    frmLogItem item(&log);
    item.SetLogList(log.lvwLog());
    item.SetLogID(items / 2);
    item.FillfrmLogItem();
    std::printf("log item window filled in %.1f ms\n", ms(t3, std::chrono::steady_clock::now()));
  }
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
