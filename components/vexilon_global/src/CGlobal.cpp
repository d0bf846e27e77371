#include "vexilon_global/CGlobal.h"

#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <strings.h>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "tarnwell/CRegistry.h"
#include "vexilon_global/basSystemInfo.h"
#include "vexilon_global/basSystemLocaleInfo.h"

namespace {

constexpr const char* kKey = "SOFTWARE\\Morvane\\Vexilon";
constexpr const char* kKeySlash = "SOFTWARE\\Morvane\\Vexilon\\";

// Reads a text setting when it exists; it stays empty otherwise.
void LoadText(CRegistry& reg, const char* valueName, std::string& cached) {
  if (vx::FromVb(reg.CheckKeyValueExists(CurrentUser, kKeySlash, valueName))) {
    reg.OpenKey(CurrentUser, kKey, vx::kFalse);
    cached = reg.ReadValue(valueName);
  }
  reg.CloseKey();
}

void LoadOption(CRegistry& reg, const char* valueName, vx::VbBool defaultValue, vx::VbBool& cached) {
  const bool exists = vx::FromVb(reg.CheckKeyValueExists(CurrentUser, kKeySlash, valueName));
  reg.OpenKey(CurrentUser, kKey, vx::kFalse);
  if (exists) {
    // A value that is no Boolean keeps the default; the next save of the
    // settings writes a readable one over it.
    try {
      cached = SettingToBoolean(reg.ReadValue(valueName));
    } catch (const vx::ComError& e) {
      if (e.Number() != vx::err::kTypeMismatch) throw;
      cached = defaultValue;
    }
  } else {
    reg.WriteValue(valueName, std::to_string(defaultValue));
    cached = defaultValue;
  }
  reg.CloseKey();
}

// A plain decimal number: sign, digits with an optional fraction, an optional
// exponent (no "nan", "inf" or hexadecimal forms).
bool IsDecimalNumber(const std::string& t) {
  size_t i = 0;
  const auto digits = [&] {
    const size_t start = i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
    return i - start;
  };
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  size_t mantissa = digits();
  if (i < t.size() && t[i] == '.') {
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    if (digits() == 0) return false;
  }
  return i == t.size();
}

}  // namespace

vx::VbBool SettingToBoolean(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  const size_t last = text.find_last_not_of(" \t");
  const std::string t = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
  if (strcasecmp(t.c_str(), "True") == 0) return vx::kTrue;
  if (strcasecmp(t.c_str(), "False") == 0) return vx::kFalse;
  if (IsDecimalNumber(t)) {
    const double number = std::strtod(t.c_str(), nullptr);
    if (std::isfinite(number)) return vx::ToVb(number != 0.0);
  }
  throw vx::ComError(vx::err::kTypeMismatch, "VexilonGlobal", "Type mismatch");
}

CGlobal& CGlobal::Instance() {
  static std::mutex mutex;
  static std::unique_ptr<CGlobal> instance;
  std::lock_guard lock(mutex);
  if (!instance) instance = std::make_unique<CGlobal>();
  return *instance;
}

CGlobal::CGlobal() {
  CRegistry reg;
  LoadText(reg, "ApplicationPath", application_path_);
  windows_path_ = GetWindowsPath();
  LoadText(reg, "ApplicationInfo", application_info_);
  LoadText(reg, "VersionInfo", version_info_);
  system_info_ = GetOSVersionText();
  system_locale_info_ = GetSystemLocaleInfo();
  system_volume_info_ = GetSystemVolumeInfo();
  LoadOption(reg, "ShowSystemDatabases", vx::kFalse, show_system_databases_);
  LoadOption(reg, "ShowSystemObjects", vx::kFalse, show_system_objects_);
  LoadOption(reg, "GenerateCreateCommands", vx::kTrue, generate_create_commands_);
  LoadOption(reg, "GenerateDropCommands", vx::kTrue, generate_drop_commands_);
  LoadOption(reg, "IncludeHeaders", vx::kTrue, include_headers_);
  LoadOption(reg, "ArchiveEncryptedDatabaseObjects", vx::kTrue, archive_encrypted_database_objects_);
}

void CGlobal::WriteSetting(const char* valueName, const std::string& value) {
  CRegistry reg;  // a fresh one for every let
  reg.OpenKey(CurrentUser, kKeySlash, vx::kFalse);
  reg.WriteValue(valueName, value);
  reg.CloseKey();
}

void CGlobal::LetBoolean(const char* valueName, vx::VbBool value, vx::VbBool& cached) {
  const vx::VbBool normalised = vx::ToVb(value != 0);
  WriteSetting(valueName, std::to_string(normalised));
  cached = normalised;
}

void CGlobal::ApplicationInfo(const std::string& strSetting) {
  WriteSetting("ApplicationInfo", strSetting);
  application_info_ = strSetting;
}

void CGlobal::VersionInfo(const std::string& strSetting) {
  WriteSetting("VersionInfo", strSetting);
  version_info_ = strSetting;
}

void CGlobal::ShowSystemDatabases(vx::VbBool b) { LetBoolean("ShowSystemDatabases", b, show_system_databases_); }
void CGlobal::ShowSystemObjects(vx::VbBool b) { LetBoolean("ShowSystemObjects", b, show_system_objects_); }
void CGlobal::GenerateCreateCommands(vx::VbBool b) {
  LetBoolean("GenerateCreateCommands", b, generate_create_commands_);
}
void CGlobal::GenerateDropCommands(vx::VbBool b) { LetBoolean("GenerateDropCommands", b, generate_drop_commands_); }
void CGlobal::IncludeHeaders(vx::VbBool b) { LetBoolean("IncludeHeaders", b, include_headers_); }
void CGlobal::ArchiveEncryptedDatabaseObjects(vx::VbBool b) {
  LetBoolean("ArchiveEncryptedDatabaseObjects", b, archive_encrypted_database_objects_);
}
