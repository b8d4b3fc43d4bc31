#include "Registry.h"

#include "Consts.h"
#include "SysUtils.h"

bool TRegKey::OpenOrCreate(HKEY Root, const char* SubKey) {
  HKEY Key = nullptr;
  FKey.Reset();
  if (RegCreateKeyExA(Root, SubKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &Key, nullptr) !=
      ERROR_SUCCESS)
    return false;
  FKey.Reset(Key);
  return true;
}

bool TRegKey::OpenReadOnly(HKEY Root, const char* SubKey) {
  HKEY Key = nullptr;
  FKey.Reset();
  if (RegOpenKeyExA(Root, SubKey, 0, KEY_READ, &Key) != ERROR_SUCCESS)
    return false;
  FKey.Reset(Key);
  return true;
}

void TRegKey::WriteString(const char* Name, const std::string& Value) {
  if (RegSetValueExA(FKey.Get(), Name, 0, REG_SZ, reinterpret_cast<const BYTE*>(Value.c_str()),
                     static_cast<DWORD>(Value.size() + 1)) != ERROR_SUCCESS)
    throw ERegistryException(Format(Consts::SRegSetDataFailed, Name));
}
