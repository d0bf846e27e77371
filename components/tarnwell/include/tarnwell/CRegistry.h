#pragma once
// Registry access: holds at most one open key and reads, writes and deletes
// text values in it. Every error it raises has the number 0x80040002 and the
// source "CRegistry:" + the member's name.
#include <cstdint>
#include <string>

#include "automation/OleDate.h"
#include "automation/VbBool.h"
#include "tarnwell/RegistrySection.h"

class CRegistry {
 public:
  CRegistry() = default;
  ~CRegistry();
  CRegistry(const CRegistry&) = delete;
  CRegistry& operator=(const CRegistry&) = delete;

  void OpenKey(RegistrySection Section, const std::string& strKey, vx::VbBool blnCreateNew = vx::kFalse);
  vx::VbBool CheckKeyExists(RegistrySection Section, const std::string& strKey);
  vx::VbBool CheckKeyValueExists(RegistrySection Section, const std::string& strKey,
                                 const std::string& strValueName);
  void DeleteKey();
  void CloseKey();
  std::string ReadValue(const std::string& strValueName = std::string());
  void WriteValue(const std::string& strValueName, const std::string& strNewValue);
  void DeleteValue(const std::string& strValueName);

  std::string CurrentKey() const { return current_path_; }
  std::string KeyClass();
  vx::OleDate LastWriteTime();
  int32_t NumOfSubKeys();
  int32_t MaxSubkeyNameLength();
  int32_t MaxClassNameLength();
  int32_t NumOfValues();
  int32_t MaxValueNameLength();
  int32_t MaxValueLength();
  int32_t SecurityDescriptor();

 private:
  void RefreshKeyInfo();

  vx::VbBool open_ = vx::kFalse;
  uint64_t key_ = 0;
  RegistrySection root_ = static_cast<RegistrySection>(0);
  std::string current_path_;
  std::string key_class_;
  int32_t sub_keys_ = 0, max_sub_key_len_ = 0, max_class_len_ = 0, values_ = 0, max_value_name_len_ = 0,
          max_value_len_ = 0, security_descriptor_ = 0;
  uint64_t last_write_time_ = 0;
};
