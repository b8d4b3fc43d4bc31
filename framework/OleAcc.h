// Active Accessibility's library and the few COM calls it needs, loaded the
// first time a screen reader asks: start-up pays nothing for it.
#pragma once

#include <windows.h>

#include <oleacc.h>

class TOleAcc {
 public:
  // The library, loaded on the first call. Called on the GUI thread, which it
  // puts in a single-threaded apartment and whose process's COM security it
  // sets. Null when it cannot be loaded, and also where screen readers are to
  // get the system's standard objects, which their own process makes: where
  // COM's security could not be set to admit the user at the desk and that
  // user is not the program's, or where the thread is in another apartment.
  static const TOleAcc* Get();

  HRESULT(WINAPI* CreateStdAccessibleObject)(HWND, LONG, REFIID, void**) = nullptr;
  LRESULT(WINAPI* LresultFromObject)(REFIID, WPARAM, LPUNKNOWN) = nullptr;
  HRESULT(WINAPI* AccessibleObjectFromWindow)(HWND, DWORD, REFIID, void**) = nullptr;
  BSTR(WINAPI* SysAllocStringLen)(const OLECHAR*, UINT) = nullptr;
  HRESULT(WINAPI* LoadRegTypeLib)(REFGUID, WORD, WORD, LCID, ITypeLib**) = nullptr;
  HRESULT(WINAPI* DispGetIDsOfNames)(ITypeInfo*, OLECHAR**, UINT, DISPID*) = nullptr;
  HRESULT(WINAPI* DispInvoke)(void*, ITypeInfo*, DISPID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) = nullptr;
  HRESULT(WINAPI* CoDisconnectObject)(LPUNKNOWN, DWORD) = nullptr;

 private:
  constexpr TOleAcc() = default;
  bool Load();
};

// Who may call the program's objects from another process: interactive
// users, SYSTEM and administrators, with local call rights. An absolute
// descriptor with owner and group and no SACL, as CoInitializeSecurity takes
// it; constant, for the process's life.
PSECURITY_DESCRIPTOR ComAccessDescriptor();
