#pragma once
// Texts that describe the machine: the system folder, the operating system and
// the volume that holds the system folder. On this platform the system folder
// is "/usr", the operating system is the kernel with the distribution's name,
// and the volume is the filesystem mounted where the system folder lives.
#include <cstdint>
#include <string>

struct OSVersionRecord {
  int32_t PlatformId = 0;
  std::string OSName;
  std::string Version;
  std::string CSDVersion;
  std::string Build;
};

// Platform number reported for Linux kernels (the Windows families use 0 to 2).
inline constexpr int32_t kPlatformLinux = 3;

std::string GetWindowsPath();
std::string GetSystemVolumeInfo();
// Queries the filesystem mounted at root. On failure the label is 14 blanks and
// the serial is left as it was.
void GetDriveVolumeInfo(const std::string& root, std::string& label, std::string& serial);
int16_t HiWord(int32_t value);
int16_t LoWord(int32_t value);
std::string GetOSVersionText();
void GetOSVersion(OSVersionRecord& record);

// The pieces the texts are made of, for callers that have their own data.
std::string FormatVolumeSerial(uint32_t serial);            // "0A1B-00FF"
std::string FormatVolumeLabel(const std::string& rawLabel);  // cut at NUL, "(no label)" when blank
std::string FormatOSVersionText(const OSVersionRecord& record);
// The mount point of the filesystem that holds path (the longest mounted prefix).
std::string MountPointOf(const std::string& path);
