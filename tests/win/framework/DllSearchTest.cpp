// Once the DLL search is confined, a DLL beside the program is no longer
// found by name, while system DLLs still are.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "SystemFiles.h"

namespace {

// The path of Name in this test program's folder.
std::string Beside(const char* Name) {
  char Own[MAX_PATH];
  const DWORD Len = GetModuleFileNameA(nullptr, Own, MAX_PATH);
  std::string Path(Own, Len);
  return Path.substr(0, Path.find_last_of('\\') + 1) + Name;
}

TEST(DllSearch, APlantedDllIsFoundOnlyUntilTheSearchIsConfined) {
  const auto Marker = Beside("planted.dll.loaded");
  DeleteFileA(Marker.c_str());
  // The planted DLL lies beside this test program, where the default search looks first.
  HMODULE Before = LoadLibraryA("planted.dll");
  ASSERT_NE(Before, nullptr) << "the planted DLL is not beside the test program";
  FreeLibrary(Before);
  // The end-to-end tests rely on this record of the DLL having run.
  EXPECT_NE(GetFileAttributesA(Marker.c_str()), INVALID_FILE_ATTRIBUTES) << "the planted DLL left no record";
  DeleteFileA(Marker.c_str());

  EXPECT_TRUE(RestrictDllSearch());

  SetLastError(0);
  HMODULE After = LoadLibraryA("planted.dll");
  EXPECT_EQ(After, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  if (After)
    FreeLibrary(After);

  // The system directory is still searched, and a full path still loads.
  HMODULE System = LoadLibraryA("version.dll");
  EXPECT_NE(System, nullptr);
  if (System)
    FreeLibrary(System);
  const auto Path = Beside("planted.dll");
  HMODULE Full = LoadLibraryA(Path.c_str());
  EXPECT_NE(Full, nullptr) << Path;
  if (Full)
    FreeLibrary(Full);
  DeleteFileA(Marker.c_str());
}

TEST(DllSearch, SafeSearchModeCannotBeTurnedOffAgain) {
  RestrictDllSearch();
  // The mode was set permanently: turning it off is refused.
  EXPECT_FALSE(SetSearchPathMode(BASE_SEARCH_PATH_DISABLE_SAFE_SEARCHMODE));
}

}  // namespace
