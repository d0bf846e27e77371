#pragma once
// Root key of every CRegistry call; each value is the predefined root key's handle value.
#include <cstdint>

enum RegistrySection : int32_t {
  ClassesRoot = static_cast<int32_t>(0x80000000u),
  CurrentConfig = static_cast<int32_t>(0x80000005u),
  CurrentUser = static_cast<int32_t>(0x80000001u),
  DynamicData = static_cast<int32_t>(0x80000006u),
  LocalMachine = static_cast<int32_t>(0x80000002u),
  PerformaceData = static_cast<int32_t>(0x80000004u),
  Users = static_cast<int32_t>(0x80000003u),
};
