#include "OleAcc.h"

#include "SystemFiles.h"
#include "WinHandles.h"

namespace {

template <typename F>
bool Find(HMODULE Module, const char* Name, F& Function) {
  Function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(Module, Name)));
  return Function != nullptr;
}

}  // namespace

const TOleAcc* TOleAcc::Get() {
  // Constant-initialised; asked from the GUI thread alone.
  static TOleAcc Library;
  static int Loaded = 0;
  if (Loaded == 0)
    Loaded = Library.Load() ? 1 : -1;
  return Loaded > 0 ? &Library : nullptr;
}

bool TOleAcc::Load() {
  HRESULT(WINAPI * Initialize)(LPVOID, DWORD) = nullptr;
  // oleacc is not a KnownDLL, so it goes by its full path. The libraries are
  // never freed: a screen reader may hold objects made by them until the
  // process ends, and their code must be there when it lets go.
  TModuleHandle OleAcc(LoadSystemLibrary("oleacc.dll"));
  TModuleHandle OleAut(LoadSystemLibrary("oleaut32.dll"));
  TModuleHandle Ole(LoadSystemLibrary("ole32.dll"));
  if (!OleAcc || !OleAut || !Ole)
    return false;
  if (!Find(OleAcc.Get(), "CreateStdAccessibleObject", CreateStdAccessibleObject) ||
      !Find(OleAcc.Get(), "LresultFromObject", LresultFromObject) ||
      !Find(OleAcc.Get(), "AccessibleObjectFromWindow", AccessibleObjectFromWindow) ||
      !Find(OleAut.Get(), "SysAllocStringLen", SysAllocStringLen) ||
      !Find(Ole.Get(), "CoDisconnectObject", CoDisconnectObject) || !Find(Ole.Get(), "CoInitializeEx", Initialize))
    return false;
  // Objects go to other processes from an apartment: the thread that answers
  // screen readers, the GUI thread, joins a single-threaded one for good. One
  // already joined (by the shell, say) stays as it is.
  const HRESULT Joined = Initialize(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(Joined) && Joined != RPC_E_CHANGED_MODE)
    return false;
  OleAcc.Release();
  OleAut.Release();
  Ole.Release();
  return true;
}
