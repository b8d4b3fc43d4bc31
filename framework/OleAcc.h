// Active Accessibility's library and the few COM calls it needs, loaded the
// first time a screen reader asks: start-up pays nothing for it.
#pragma once

#include <windows.h>

#include <oleacc.h>

class TOleAcc {
 public:
  // The library, loaded on the first call; nullptr when it cannot be loaded.
  // Called on the GUI thread, which it puts in a single-threaded apartment.
  static const TOleAcc* Get();

  HRESULT(WINAPI* CreateStdAccessibleObject)(HWND, LONG, REFIID, void**) = nullptr;
  LRESULT(WINAPI* LresultFromObject)(REFIID, WPARAM, LPUNKNOWN) = nullptr;
  HRESULT(WINAPI* AccessibleObjectFromWindow)(HWND, DWORD, REFIID, void**) = nullptr;
  BSTR(WINAPI* SysAllocStringLen)(const OLECHAR*, UINT) = nullptr;
  HRESULT(WINAPI* CoDisconnectObject)(LPUNKNOWN, DWORD) = nullptr;

 private:
  constexpr TOleAcc() = default;
  bool Load();
};
