// The program's own file and the system's: where they are, and which DLLs
// may be loaded from where.
#pragma once

#include <windows.h>

#include <string>

// The running program's own module file name, however long, as the ANSI calls
// spell it: outside the ANSI code page best fit or "?".
std::string ModuleFileName(HMODULE Module = nullptr);
// The same name as it truly is.
std::wstring WideModuleFileName(HMODULE Module = nullptr);

// The Windows system directory, however long; empty when the system gives none.
std::string SystemDirectory();

// Loads Name (a DLL that is not a KnownDLL) by its full path in the system
// directory, never by a search; null when it cannot.
HMODULE LoadSystemLibrary(const char* Name);

// Confines the DLL search of this process to the system directory, so a DLL
// planted beside the program (in Downloads, say) is never loaded, and turns on
// safe search mode for the current directory. Call it first thing in WinMain.
// False where the system cannot restrict the search (Windows 7 without
// KB2533623); the current directory is then at least dropped from it.
bool RestrictDllSearch();
