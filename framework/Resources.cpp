#include "Resources.h"

std::optional<TResourceBytes> TResourceBytes::Find(HMODULE Module, const char* Type, const char* Name) {
  HRSRC Info = FindResourceA(Module, Name, Type);
  if (!Info)
    return std::nullopt;
  TResourceBytes Result;
  Result.FGlobal.Reset(LoadResource(Module, Info));
  if (!Result.FGlobal)
    return std::nullopt;
  Result.FData = LockResource(Result.FGlobal.Get());
  Result.FSize = SizeofResource(Module, Info);
  if (!Result.FData && Result.FSize != 0)
    return std::nullopt;
  return Result;
}
