// Registry access: one key, opened or created, released on every path.
#pragma once

#include <string>

#include "WinHandles.h"

class TRegKey {
 public:
  // Opens SubKey under Root for all access, creating it when it is missing
  // (non-volatile, default security). Returns false when neither works.
  bool OpenOrCreate(HKEY Root, const char* SubKey);
  // Opens an existing key for reading only.
  bool OpenReadOnly(HKEY Root, const char* SubKey);
  // Writes a REG_SZ value with its terminating NUL; raises
  // "Failed to set data for '%s'" with the value name.
  void WriteString(const char* Name, const std::string& Value);
  void Close() { FKey.Reset(); }
  HKEY Handle() const { return FKey.Get(); }

 private:
  TRegKeyHandle FKey;
};
