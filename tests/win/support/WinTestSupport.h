// Helpers for tests that run under Wine: scratch folders, files, registry
// snapshots, a watcher that reads and answers message boxes, hooked system
// calls, and objects whose memory shows any use after they were freed.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace WinTest {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the temp directory, removed with everything in it.
class TScratchDir {
 public:
  TScratchDir();
  ~TScratchDir();
  TScratchDir(const TScratchDir&) = delete;
  TScratchDir& operator=(const TScratchDir&) = delete;
  // The folder's path ending in "\".
  const std::string& Path() const { return FPath; }
  std::string operator/(const std::string& Name) const { return FPath + Name; }

 private:
  std::string FPath;
};

void RemoveTree(const std::string& Path);
bool FileExists(const std::string& Path);
bool DirectoryExists(const std::string& Path);
Bytes ReadFileBytes(const std::string& Path);
void WriteFileBytes(const std::string& Path, const Bytes& Data);
Bytes RandomBytes(std::size_t Count, std::uint32_t Seed);

// A Unix path as Wine sees it (Z:\...), ending in "\" for folders.
std::string WindowsPathFromUnix(std::string UnixPath, bool Folder);

// The string value and its stored size in bytes; Size is -1 when missing.
struct TRegString {
  std::string Text;
  long Size = -1;
  DWORD Type = 0;
};
TRegString ReadRegString(HKEY Root, const char* SubKey, const char* Name);

// One message box as the watcher found it.
struct TBoxSeen {
  std::string Caption;
  std::string Text;
  int Buttons = 0;
  bool HasIcon = false;
  // The window the box belongs to, and whether the box had disabled it.
  HWND Owner = nullptr;
  bool OwnerDisabled = false;
};

// A thread running Body, joined at the latest when destroyed. (This MinGW's
// Win32 thread model has no std::thread.)
class TThread {
 public:
  explicit TThread(std::function<void()> Body);
  ~TThread() { Join(); }
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;
  void Join();

 private:
  std::function<void()> FBody;
  HANDLE FHandle = nullptr;
};

// Watches for a dialog box of this thread's process with the given caption,
// records it and answers it by pressing Answer (IDOK, IDYES, IDNO, ...).
class TMessageBoxWatcher {
 public:
  TMessageBoxWatcher(std::string Caption, int Answer);
  ~TMessageBoxWatcher();
  // Waits for the watcher to finish; false when no box came within the timeout.
  bool Wait();
  // Whether a box has come and been answered so far.
  bool Found() const { return FFound; }
  const TBoxSeen& Seen() const { return FSeen; }

 private:
  void Run();
  std::string FCaption;
  int FAnswer;
  TBoxSeen FSeen;
  std::atomic<bool> FFound{false}, FStop{false};
  TThread FThread;
};

// While it lives, this program's import of Function from Dll calls Hook
// instead: a system call made to fail in a way Wine never does.
class TImportHook {
 public:
  TImportHook(const char* Dll, const char* Function, void* Hook);
  ~TImportHook();
  TImportHook(const TImportHook&) = delete;
  TImportHook& operator=(const TImportHook&) = delete;
  // The function the import called before.
  template <typename F>
  F Original() const {
    return reinterpret_cast<F>(FOriginal);
  }

 private:
  void** FSlot = nullptr;
  void* FOriginal = nullptr;
};

// While it lives, GetProcAddress called by this program for Name gives
// Function instead: a system function the code looks up at run time, played.
// Several may live at once, for different names.
class TProcHook {
 public:
  TProcHook(const char* Name, void* Function);
  ~TProcHook();
  TProcHook(const TProcHook&) = delete;
  TProcHook& operator=(const TProcHook&) = delete;

 private:
  const char* FName;
};

// While it lives, the terminal services name User in Domain as the user of
// this program's session, in place of Wine's one account.
class TSessionUserHook {
 public:
  TSessionUserHook(const wchar_t* Domain, const wchar_t* User);
  ~TSessionUserHook();

 private:
  TProcHook FQuery, FFree;
};

// ---------------------------------------------------------------- use after free

// MinGW has no address sanitizer, so objects under test are kept instead:
// their memory is never given back, and freeing it fills it with a pattern
// and points its virtual table at traps. A write after the free then shows
// as a changed byte and a virtual call as a trap that counts itself, where
// the heap would have let both pass or crashed somewhere later.
void* KeptAllocate(std::size_t Size);
void KeptFree(void* Block, std::size_t Size);
// What touched a freed block since it was freed or last looked at; "" when
// nothing did.
std::string UseAfterFree();

// A T made by new and freed by delete through KeptAllocate and KeptFree.
template <typename T>
class TKeptAfterFree : public T {
 public:
  using T::T;
  static void* operator new(std::size_t Size) { return KeptAllocate(Size); }
  static void operator delete(void* Block, std::size_t Size) { KeptFree(Block, Size); }
};

}  // namespace WinTest
