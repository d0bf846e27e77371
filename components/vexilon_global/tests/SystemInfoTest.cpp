#include <gtest/gtest.h>

#include <map>
#include <string>

#include "vexilon_global/basSystemInfo.h"
#include "vexilon_global/basSystemLocaleInfo.h"

TEST(SystemInfo, VolumeSerialsAndLabels) {
  EXPECT_EQ(FormatVolumeSerial(0x0A1B00FF), "0A1B-00FF");
  EXPECT_EQ(FormatVolumeSerial(0xFFFFABCD), "FFFF-ABCD");
  EXPECT_EQ(FormatVolumeSerial(0x80000001), "8000-0001");
  EXPECT_EQ(FormatVolumeSerial(0), "0000-0000");
  EXPECT_EQ(HiWord(static_cast<int32_t>(0xFFFF0001u)), -1);
  EXPECT_EQ(LoWord(static_cast<int32_t>(0xFFFF0001u)), 1);
  EXPECT_EQ(FormatVolumeLabel(""), "(no label)");
  EXPECT_EQ(FormatVolumeLabel("   "), "(no label)");
  EXPECT_EQ(FormatVolumeLabel(std::string("DATA\0junk", 9)), "DATA");
}

TEST(SystemInfo, TextsHaveTheirShapes) {
  const std::string volume = GetSystemVolumeInfo();
  ASSERT_EQ(volume.rfind("Volume Label=", 0), 0u) << volume;
  const size_t serialAt = volume.find(";Volume Serial No:");
  ASSERT_NE(serialAt, std::string::npos);
  const std::string serial = volume.substr(serialAt + 18);
  EXPECT_EQ(serial.size(), 9u) << volume;
  EXPECT_EQ(serial[4], '-');

  std::string label, untouched = "untouched";
  GetDriveVolumeInfo("/no/such/mount", label, untouched);
  EXPECT_EQ(label, std::string(14, ' '));
  EXPECT_EQ(untouched, "untouched");

  OSVersionRecord r;
  r.OSName = "Linux";
  r.Version = "6.1";
  r.Build = "112";
  r.CSDVersion = "Debian GNU/Linux 12 (bookworm)";
  EXPECT_EQ(FormatOSVersionText(r), "Linux 6.1 build 112 (Debian GNU/Linux 12 (bookworm))");
  EXPECT_EQ(FormatOSVersionText(OSVersionRecord{}), "  build  ()");
  EXPECT_EQ(GetOSVersionText().rfind("Linux ", 0), 0u);
  EXPECT_EQ(MountPointOf("/"), "/");
}

TEST(SystemInfo, LocaleReportLinesAndMeasure) {
  auto report = [](const std::string& measure) {
    return BuildLocaleReport([&](int32_t item) -> std::string {
      if (item == 0xD) return measure;
      if (item == 0x5) return "49";
      return std::string();
    });
  };
  auto lines = [](const std::string& text) {
    int n = 1;
    for (size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p + 2)) ++n;
    return n;
  };
  const std::string metric = report("0");
  EXPECT_EQ(lines(metric), 21);
  EXPECT_EQ(lines(report("1")), 21);
  EXPECT_EQ(lines(report("2")), 20);
  EXPECT_EQ(lines(report("")), 20);
  EXPECT_NE(metric.find("\r\nLOCALE_ILANGUAGE:\r\nLOCALE_IMEASURE:0 - Metric\r\nLOCALE_SCOUNTRY:\r\n"),
            std::string::npos);
  EXPECT_NE(report("1").find("LOCALE_IMEASURE:1 - US"), std::string::npos);
  EXPECT_EQ(metric.rfind("LOCALE_ICOUNTRY:49\r\n", 0), 0u);
  EXPECT_NE(metric.find("LOCALE_IDEFAULTLANGUAGE:\r\nLOCALE_IDEFAULTLANGUAGE:\r\n"), std::string::npos);
  EXPECT_EQ(metric.substr(metric.size() - 19), "\r\nLOCALE_SSORTNAME:");
  // The real report has the same shape, whatever the machine's locale.
  const std::string real = GetSystemLocaleInfo();
  EXPECT_EQ(real.rfind("LOCALE_ICOUNTRY:", 0), 0u);
  EXPECT_NE(real.substr(real.size() - 2), "\r\n");
  EXPECT_EQ(GetLocaleItem("no_SUCH.locale", 0x1), "");
}
