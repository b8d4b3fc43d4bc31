// Read access to a resource of a module; the resource is freed with the object.
#pragma once

#include <optional>

#include "WinHandles.h"

class TResourceBytes {
 public:
  // Finds the resource by string type and name, naming no language.
  // Empty when it is missing or cannot be loaded.
  static std::optional<TResourceBytes> Find(HMODULE Module, const char* Type, const char* Name);

  const void* Data() const { return FData; }
  DWORD Size() const { return FSize; }

 private:
  TResourceBytes() = default;
  TResourceHandle FGlobal;
  const void* FData = nullptr;
  DWORD FSize = 0;
};
