#include "tarnwell/CRegistry.h"

#include <ctime>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"
#include "registry/RegistryStore.h"

namespace reg = vx::registry;

namespace {

// Values are limited to 255 bytes, terminator included.
constexpr uint32_t kValueBuffer = 255;

[[noreturn]] void Raise(const char* member, const std::string& description) {
  throw vx::ComError(vx::err::kRegistry, std::string("CRegistry:") + member, description);
}

// A leading "\" is dropped (one only) and every "/" becomes "\"; a trailing "\" stays.
std::string NormalisePath(const std::string& key) {
  std::string path = (!key.empty() && key.front() == '\\') ? key.substr(1) : key;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

}  // namespace

CRegistry::~CRegistry() { CloseKey(); }

void CRegistry::OpenKey(RegistrySection Section, const std::string& strKey, vx::VbBool blnCreateNew) {
  CloseKey();
  const std::string path = NormalisePath(strKey);
  reg::HKey handle = 0;
  if (reg::RegOpenKeyEx(Section, path, &handle) != reg::kSuccess) {
    if (!vx::FromVb(blnCreateNew)) Raise("OpenKey", "Failed to open key " + path + ".");
    if (reg::RegCreateKeyEx(Section, path, &handle) != reg::kSuccess)
      Raise("OpenKey", "Failed to create key " + path + ".");
  }
  key_ = handle;
  open_ = vx::kTrue;
  current_path_ = path;
  root_ = Section;
}

vx::VbBool CRegistry::CheckKeyExists(RegistrySection Section, const std::string& strKey) {
  CloseKey();
  reg::HKey handle = 0;
  if (reg::RegOpenKeyEx(Section, NormalisePath(strKey), &handle) != reg::kSuccess) return vx::kFalse;
  reg::RegCloseKey(handle);
  return vx::kTrue;
}

vx::VbBool CRegistry::CheckKeyValueExists(RegistrySection Section, const std::string& strKey,
                                          const std::string& strValueName) {
  CloseKey();
  reg::HKey handle = 0;
  if (reg::RegOpenKeyEx(Section, NormalisePath(strKey), &handle) != reg::kSuccess) return vx::kFalse;
  uint8_t buffer[kValueBuffer];
  uint32_t size = kValueBuffer;
  uint32_t type = 0;
  const long rc = reg::RegQueryValueEx(handle, strValueName, &type, buffer, &size);
  reg::RegCloseKey(handle);
  return vx::ToVb(rc == reg::kSuccess);
}

void CRegistry::DeleteKey() {
  const std::string path = current_path_;
  const RegistrySection root = root_;
  CloseKey();
  // With no key open the path is empty, which the store never deletes.
  if (reg::RegDeleteKey(root, path) != reg::kSuccess) Raise("DeleteKey", "Failed to delete key " + path + ".");
}

void CRegistry::CloseKey() {
  if (!vx::FromVb(open_)) return;
  reg::RegCloseKey(key_);
  key_ = 0;
  open_ = vx::kFalse;
  current_path_.clear();
}

std::string CRegistry::ReadValue(const std::string& strValueName) {
  if (!vx::FromVb(open_)) Raise("ReadValue", "No key is currently open.");
  uint8_t buffer[kValueBuffer];
  uint32_t size = kValueBuffer;
  uint32_t type = 0;
  if (reg::RegQueryValueEx(key_, strValueName, &type, buffer, &size) != reg::kSuccess)
    Raise("ReadValue", "Failed to read value " + strValueName + " from Registry.");
  if (size == 0) return std::string();
  std::string text(reinterpret_cast<const char*>(buffer), size);
  // The stored text ends at its terminator.
  const size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  return text == " " ? std::string() : text;
}

void CRegistry::WriteValue(const std::string& strValueName, const std::string& strNewValue) {
  if (!vx::FromVb(open_)) Raise("WriteValue", "No key is currently open.");
  const std::string value = strNewValue.empty() ? std::string(" ") : strNewValue;
  // What could not be read back as written is not stored at all.
  const char* refusal = nullptr;
  if (strValueName.find('\0') != std::string::npos) refusal = " A name cannot hold a NUL character.";
  else if (value.find('\0') != std::string::npos) refusal = " A value cannot hold a NUL character.";
  else if (value.size() + 1 > kValueBuffer) refusal = " A value holds at most 254 bytes.";
  if (refusal)
    Raise("WriteValue", "Failed to write new value to " + strValueName + " from Registry." + refusal);
  const auto* bytes = reinterpret_cast<const uint8_t*>(value.c_str());
  if (reg::RegSetValueEx(key_, strValueName, reg::kRegSz, bytes, static_cast<uint32_t>(value.size() + 1)) !=
      reg::kSuccess)
    Raise("WriteValue", "Failed to write new value to " + strValueName + " from Registry.");
}

void CRegistry::DeleteValue(const std::string& strValueName) {
  if (!vx::FromVb(open_)) Raise("DeleteValue", "No key is currently open.");
  if (reg::RegDeleteValue(key_, strValueName) != reg::kSuccess)
    Raise("DeleteValue", "Failed to delete value " + strValueName + " from Registry.");
}

void CRegistry::RefreshKeyInfo() {
  reg::KeyInfo info;
  std::string cls;
  if (!vx::FromVb(open_) || reg::RegQueryInfoKey(key_, &cls, &info) != reg::kSuccess)
    Raise("RefreshKeyInfo", "Failed to retrieve key information.");
  // The class buffer holds 255 characters.
  key_class_ = cls.substr(0, 255);
  sub_keys_ = info.subKeys;
  max_sub_key_len_ = info.maxSubKeyLen;
  max_class_len_ = info.maxClassLen;
  values_ = info.values;
  max_value_name_len_ = info.maxValueNameLen;
  max_value_len_ = info.maxValueLen;
  security_descriptor_ = info.securityDescriptor;
  last_write_time_ = info.lastWriteTime;
}

std::string CRegistry::KeyClass() {
  RefreshKeyInfo();
  return key_class_;
}
int32_t CRegistry::NumOfSubKeys() {
  RefreshKeyInfo();
  return sub_keys_;
}
int32_t CRegistry::MaxSubkeyNameLength() {
  RefreshKeyInfo();
  return max_sub_key_len_;
}
int32_t CRegistry::MaxClassNameLength() {
  RefreshKeyInfo();
  return max_class_len_;
}
int32_t CRegistry::NumOfValues() {
  RefreshKeyInfo();
  return values_;
}
int32_t CRegistry::MaxValueNameLength() {
  RefreshKeyInfo();
  return max_value_name_len_;
}
int32_t CRegistry::MaxValueLength() {
  RefreshKeyInfo();
  return max_value_len_;
}
int32_t CRegistry::SecurityDescriptor() {
  RefreshKeyInfo();
  return security_descriptor_;
}

vx::OleDate CRegistry::LastWriteTime() {
  try {
    RefreshKeyInfo();
  } catch (...) {
    // The time of the last successful refresh is used instead.
  }
  // File time (UTC) -> local calendar fields, milliseconds dropped.
  constexpr uint64_t kUnixEpochFileTime = 116444736000000000ULL;
  if (last_write_time_ < kUnixEpochFileTime) {
    vx::OleDate zero = 0;
    return zero;
  }
  const std::time_t t = static_cast<std::time_t>((last_write_time_ - kUnixEpochFileTime) / 10000000ULL);
  return vx::OleFromUnixLocal(t);
}
