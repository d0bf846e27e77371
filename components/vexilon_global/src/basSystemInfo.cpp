#include "vexilon_global/basSystemInfo.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/utsname.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr const char* kSystemFolder = "/usr";

// /dev/disk/by-* names escape blanks and other characters as \xNN.
std::string UnescapeDeviceName(const std::string& name) {
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
      out += static_cast<char>(std::stoi(name.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      out += name[i];
    }
  }
  return out;
}

// The name under /dev/disk/<folder> of the block device dev, or empty.
std::string DiskName(const char* folder, dev_t dev) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(std::string("/dev/disk/") + folder, ec)) {
    struct stat st {};
    if (stat(entry.path().c_str(), &st) == 0 && S_ISBLK(st.st_mode) && st.st_rdev == dev)
      return UnescapeDeviceName(entry.path().filename().string());
  }
  return std::string();
}

// The first eight hexadecimal digits of a filesystem UUID as a 32-bit serial.
bool SerialFromUuid(const std::string& uuid, uint32_t& serial) {
  std::string hex;
  for (char c : uuid)
    if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
  if (hex.size() < 8) return false;
  serial = static_cast<uint32_t>(std::stoul(hex.substr(0, 8), nullptr, 16));
  return true;
}

}  // namespace

int16_t HiWord(int32_t value) { return static_cast<int16_t>((static_cast<uint32_t>(value) >> 16) & 0xFFFF); }
int16_t LoWord(int32_t value) { return static_cast<int16_t>(static_cast<uint32_t>(value) & 0xFFFF); }

std::string FormatVolumeSerial(uint32_t serial) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04X-%04X", static_cast<unsigned>(static_cast<uint16_t>(HiWord(static_cast<int32_t>(serial)))),
                static_cast<unsigned>(static_cast<uint16_t>(LoWord(static_cast<int32_t>(serial)))));
  return buf;
}

std::string FormatVolumeLabel(const std::string& rawLabel) {
  std::string label = rawLabel.substr(0, rawLabel.find('\0'));
  if (label.find_first_not_of(' ') == std::string::npos) return "(no label)";
  return label;
}

std::string MountPointOf(const std::string& path) {
  std::ifstream mounts("/proc/self/mounts");
  std::string best = "/";
  std::string line;
  while (std::getline(mounts, line)) {
    std::istringstream fields(line);
    std::string device, mountPoint;
    fields >> device >> mountPoint;
    // Blanks in mount points are written as \040.
    std::string decoded;
    for (size_t i = 0; i < mountPoint.size(); ++i) {
      if (mountPoint[i] == '\\' && i + 3 < mountPoint.size()) {
        decoded += static_cast<char>(std::stoi(mountPoint.substr(i + 1, 3), nullptr, 8));
        i += 3;
      } else {
        decoded += mountPoint[i];
      }
    }
    const bool under = path == decoded || (path.rfind(decoded, 0) == 0 &&
                                           (decoded.back() == '/' || path[decoded.size()] == '/'));
    if (under && decoded.size() > best.size()) best = decoded;
  }
  return best;
}

std::string GetWindowsPath() { return kSystemFolder; }

void GetDriveVolumeInfo(const std::string& root, std::string& label, std::string& serial) {
  label = std::string(14, ' ');
  struct stat st {};
  struct statvfs vfs {};
  if (stat(root.c_str(), &st) != 0 || statvfs(root.c_str(), &vfs) != 0) return;
  label = FormatVolumeLabel(DiskName("by-label", st.st_dev));
  uint32_t number = 0;
  if (!SerialFromUuid(DiskName("by-uuid", st.st_dev), number)) {
    // Filesystems without a UUID (overlays, tmpfs) have an id of their own.
    number = static_cast<uint32_t>(vfs.f_fsid ? vfs.f_fsid : st.st_dev);
  }
  serial = FormatVolumeSerial(number);
}

std::string GetSystemVolumeInfo() {
  std::string label, serial;
  GetDriveVolumeInfo(MountPointOf(GetWindowsPath()), label, serial);
  return "Volume Label=" + label + ";Volume Serial No:" + serial;
}

void GetOSVersion(OSVersionRecord& record) {
  struct utsname name {};
  if (uname(&name) != 0) return;
  record.PlatformId = kPlatformLinux;
  record.OSName = name.sysname;
  unsigned major = 0, minor = 0, patch = 0;
  std::sscanf(name.release, "%u.%u.%u", &major, &minor, &patch);
  record.Version = std::to_string(major) + "." + std::to_string(minor);
  record.Build = std::to_string(patch & 0xFFFF);
  std::ifstream osRelease("/etc/os-release");
  std::string line;
  while (std::getline(osRelease, line)) {
    if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
    std::string value = line.substr(12);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    record.CSDVersion = value;
  }
}

std::string FormatOSVersionText(const OSVersionRecord& r) {
  return r.OSName + " " + r.Version + " build " + r.Build + " (" + r.CSDVersion + ")";
}

std::string GetOSVersionText() {
  OSVersionRecord record;
  GetOSVersion(record);
  return FormatOSVersionText(record);
}
