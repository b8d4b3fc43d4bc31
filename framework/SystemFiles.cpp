#include "SystemFiles.h"

#include <vector>

namespace {

template <typename Char>
std::basic_string<Char> GrownModuleFileName(HMODULE Module, DWORD(WINAPI* Get)(HMODULE, Char*, DWORD)) {
  // Grow the buffer until the name fits: a path longer than MAX_PATH is legal.
  std::vector<Char> Buffer(MAX_PATH + 1);
  for (;;) {
    DWORD Len = Get(Module, Buffer.data(), static_cast<DWORD>(Buffer.size()));
    if (Len == 0)
      return {};
    if (Len < Buffer.size() || Buffer.size() > 0x10000)
      return std::basic_string<Char>(Buffer.data(), Len);
    Buffer.resize(Buffer.size() * 2);
  }
}

}  // namespace

std::string ModuleFileName(HMODULE Module) { return GrownModuleFileName<char>(Module, GetModuleFileNameA); }

std::wstring WideModuleFileName(HMODULE Module) { return GrownModuleFileName<wchar_t>(Module, GetModuleFileNameW); }

std::string SystemDirectory() {
  std::vector<char> Buffer(256);
  UINT Len = GetSystemDirectoryA(Buffer.data(), 255);
  if (Len >= 255) {
    // Too long for the usual buffer: the answer is the size it needs.
    Buffer.assign(Len + 1, '\0');
    Len = GetSystemDirectoryA(Buffer.data(), static_cast<UINT>(Buffer.size()));
    if (Len >= Buffer.size())
      Len = 0;
  }
  return std::string(Buffer.data(), Len);
}

HMODULE LoadSystemLibrary(const char* Name) {
  // The full path matters: on an unpatched Windows 7 the search is never
  // confined, and the program's own folder comes first in it.
  const std::string Directory = SystemDirectory();
  return Directory.empty() ? nullptr : LoadLibraryA((Directory + "\\" + Name).c_str());
}

bool RestrictDllSearch() {
  // Looked up, not imported: an import missing on an unpatched Windows 7
  // would stop the program from loading at all.
  using TSetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
  auto SetDefaultDirectories = reinterpret_cast<TSetDefaultDllDirectories>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
  const bool Restricted = SetDefaultDirectories && SetDefaultDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  SetSearchPathMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);
  if (!Restricted)
    SetDllDirectoryA("");
  return Restricted;
}
