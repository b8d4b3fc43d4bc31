// A DLL that an attacker would plant beside a downloaded program. When loaded
// it leaves NAME.loaded beside itself, so a test can tell that it was, whatever
// name it was planted under.
#include <windows.h>

extern "C" __declspec(dllexport) int Planted() { return 42; }

BOOL WINAPI DllMain(HINSTANCE Instance, DWORD Reason, LPVOID) {
  if (Reason == DLL_PROCESS_ATTACH) {
    WCHAR Path[MAX_PATH + 8];
    const DWORD Len = GetModuleFileNameW(Instance, Path, MAX_PATH);
    if (Len > 0 && Len < MAX_PATH) {
      lstrcpyW(Path + Len, L".loaded");
      HANDLE Marker = CreateFileW(Path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (Marker != INVALID_HANDLE_VALUE)
        CloseHandle(Marker);
    }
  }
  return TRUE;
}
