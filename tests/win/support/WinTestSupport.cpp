#include "WinTestSupport.h"

#include <process.h>

#include <chrono>
#include <cstring>
#include <random>
#include <stdexcept>

namespace WinTest {

TScratchDir::TScratchDir() {
  char Temp[MAX_PATH + 1];
  GetTempPathA(sizeof Temp, Temp);
  static int Counter = 0;
  FPath = std::string(Temp) + "iwtest-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++Counter) +
          "-" + std::to_string(GetTickCount()) + "\\";
  if (!CreateDirectoryA(FPath.c_str(), nullptr))
    throw std::runtime_error("cannot create " + FPath);
}

TScratchDir::~TScratchDir() { RemoveTree(FPath); }

void RemoveTree(const std::string& Path) {
  std::string Dir = Path;
  if (!Dir.empty() && Dir.back() == '\\')
    Dir.pop_back();
  WIN32_FIND_DATAA Data;
  HANDLE Find = FindFirstFileA((Dir + "\\*").c_str(), &Data);
  if (Find != INVALID_HANDLE_VALUE) {
    do {
      std::string Name = Data.cFileName;
      if (Name == "." || Name == "..")
        continue;
      std::string Child = Dir + "\\" + Name;
      if (Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(Child);
      else {
        SetFileAttributesA(Child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(Child.c_str());
      }
    } while (FindNextFileA(Find, &Data));
    FindClose(Find);
  }
  RemoveDirectoryA(Dir.c_str());
}

bool FileExists(const std::string& Path) {
  DWORD A = GetFileAttributesA(Path.c_str());
  return A != INVALID_FILE_ATTRIBUTES && !(A & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& Path) {
  DWORD A = GetFileAttributesA(Path.c_str());
  return A != INVALID_FILE_ATTRIBUTES && (A & FILE_ATTRIBUTE_DIRECTORY);
}

Bytes ReadFileBytes(const std::string& Path) {
  HANDLE File = CreateFileA(Path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (File == INVALID_HANDLE_VALUE)
    throw std::runtime_error("cannot read " + Path);
  Bytes Result(GetFileSize(File, nullptr));
  DWORD Done = 0;
  if (!Result.empty())
    ReadFile(File, Result.data(), static_cast<DWORD>(Result.size()), &Done, nullptr);
  CloseHandle(File);
  Result.resize(Done);
  return Result;
}

void WriteFileBytes(const std::string& Path, const Bytes& Data) {
  HANDLE File = CreateFileA(Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (File == INVALID_HANDLE_VALUE)
    throw std::runtime_error("cannot write " + Path);
  DWORD Done = 0;
  if (!Data.empty())
    WriteFile(File, Data.data(), static_cast<DWORD>(Data.size()), &Done, nullptr);
  CloseHandle(File);
  if (Done != Data.size())
    throw std::runtime_error("short write to " + Path);
}

Bytes RandomBytes(std::size_t Count, std::uint32_t Seed) {
  std::mt19937 Rng(Seed);
  Bytes Result(Count);
  for (auto& B : Result)
    B = static_cast<std::uint8_t>(Rng());
  return Result;
}

std::string WindowsPathFromUnix(std::string UnixPath, bool Folder) {
  std::string Result = "Z:" + UnixPath;
  for (auto& C : Result)
    if (C == '/')
      C = '\\';
  if (Folder && Result.back() != '\\')
    Result += '\\';
  return Result;
}

TRegString ReadRegString(HKEY Root, const char* SubKey, const char* Name) {
  TRegString Result;
  HKEY Key;
  if (RegOpenKeyExA(Root, SubKey, 0, KEY_READ, &Key) != ERROR_SUCCESS)
    return Result;
  char Data[4096];
  DWORD Size = sizeof Data;
  if (RegQueryValueExA(Key, Name, nullptr, &Result.Type, reinterpret_cast<BYTE*>(Data), &Size) == ERROR_SUCCESS) {
    Result.Size = static_cast<long>(Size);
    Result.Text.assign(Data, strnlen(Data, Size));
  }
  RegCloseKey(Key);
  return Result;
}

TThread::TThread(std::function<void()> Body) : FBody(std::move(Body)) {
  FHandle = reinterpret_cast<HANDLE>(_beginthreadex(
      nullptr, 0,
      [](void* Self) -> unsigned {
        static_cast<TThread*>(Self)->FBody();
        return 0;
      },
      this, 0, nullptr));
  if (!FHandle)
    throw std::runtime_error("cannot start a thread");
}

void TThread::Join() {
  if (!FHandle)
    return;
  WaitForSingleObject(FHandle, INFINITE);
  CloseHandle(FHandle);
  FHandle = nullptr;
}

TMessageBoxWatcher::TMessageBoxWatcher(std::string Caption, int Answer)
    : FCaption(std::move(Caption)), FAnswer(Answer), FThread([this] { Run(); }) {}

TMessageBoxWatcher::~TMessageBoxWatcher() {
  FStop = true;
  FThread.Join();
}

bool TMessageBoxWatcher::Wait() {
  FThread.Join();
  return FFound;
}

void TMessageBoxWatcher::Run() {
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (!FStop && std::chrono::steady_clock::now() < Deadline) {
    HWND Box = FindWindowA("#32770", FCaption.c_str());
    DWORD Pid = 0;
    if (Box && GetWindowThreadProcessId(Box, &Pid) && Pid == GetCurrentProcessId() && IsWindowVisible(Box)) {
      FSeen.Caption = FCaption;
      FSeen.Owner = GetWindow(Box, GW_OWNER);
      FSeen.OwnerDisabled = FSeen.Owner && !IsWindowEnabled(FSeen.Owner);
      EnumChildWindows(
          Box,
          [](HWND Child, LPARAM Param) -> BOOL {
            auto& Seen = *reinterpret_cast<TBoxSeen*>(Param);
            char Class[32] = {}, Text[1024] = {};
            GetClassNameA(Child, Class, sizeof Class);
            GetWindowTextA(Child, Text, sizeof Text);
            LONG Style = GetWindowLongA(Child, GWL_STYLE);
            if (lstrcmpiA(Class, "Button") == 0 && (Style & WS_VISIBLE))
              ++Seen.Buttons;
            else if (lstrcmpiA(Class, "Static") == 0 && (Style & SS_TYPEMASK) == SS_ICON && (Style & WS_VISIBLE))
              Seen.HasIcon = true;
            else if (lstrcmpiA(Class, "Static") == 0 && Text[0])
              Seen.Text = Text;
            return TRUE;
          },
          reinterpret_cast<LPARAM>(&FSeen));
      FFound = true;
      PostMessageA(Box, WM_COMMAND, MAKEWPARAM(FAnswer, BN_CLICKED), 0);
      return;
    }
    Sleep(20);
  }
}

TImportHook::TImportHook(const char* Dll, const char* Function, void* Hook) {
  auto* Base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
  const auto* Nt =
      reinterpret_cast<const IMAGE_NT_HEADERS*>(Base + reinterpret_cast<IMAGE_DOS_HEADER*>(Base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& Imports = Nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* Desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(Base + Imports.VirtualAddress);
       Imports.VirtualAddress && Desc->Name && !FSlot; ++Desc) {
    if (lstrcmpiA(reinterpret_cast<const char*>(Base + Desc->Name), Dll) != 0)
      continue;
    // The names stay in the lookup table; the address table holds what the loader bound.
    auto* Name = reinterpret_cast<IMAGE_THUNK_DATA*>(Base + Desc->OriginalFirstThunk);
    auto* Bound = reinterpret_cast<IMAGE_THUNK_DATA*>(Base + Desc->FirstThunk);
    for (; Name->u1.AddressOfData; ++Name, ++Bound)
      if (!IMAGE_SNAP_BY_ORDINAL(Name->u1.Ordinal) &&
          lstrcmpA(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(Base + Name->u1.AddressOfData)->Name, Function) == 0) {
        FSlot = reinterpret_cast<void**>(&Bound->u1.Function);
        break;
      }
  }
  if (!FSlot)
    throw std::runtime_error(std::string("no import of ") + Function + " from " + Dll);
  DWORD Protection;
  VirtualProtect(FSlot, sizeof *FSlot, PAGE_READWRITE, &Protection);
  FOriginal = *FSlot;
  *FSlot = Hook;
  VirtualProtect(FSlot, sizeof *FSlot, Protection, &Protection);
}

TImportHook::~TImportHook() {
  DWORD Protection;
  VirtualProtect(FSlot, sizeof *FSlot, PAGE_READWRITE, &Protection);
  *FSlot = FOriginal;
  VirtualProtect(FSlot, sizeof *FSlot, Protection, &Protection);
}

namespace {

std::vector<std::pair<std::string, void*>> ProcHooks;
TImportHook* ProcImport = nullptr;

FARPROC WINAPI HookedGetProcAddress(HMODULE Module, LPCSTR Name) {
  if (reinterpret_cast<ULONG_PTR>(Name) > 0xFFFF)
    for (const auto& [Hooked, Function] : ProcHooks)
      if (Hooked == Name)
        return reinterpret_cast<FARPROC>(Function);
  return ProcImport->Original<decltype(&GetProcAddress)>()(Module, Name);
}

const wchar_t *SessionDomain = L"", *SessionUser = L"";

BOOL WINAPI QuerySessionAs(HANDLE, DWORD, int Info, LPWSTR* Buffer, DWORD* Bytes) {
  // WTSUserName 5, WTSDomainName 7.
  const wchar_t* Text = Info == 5 ? SessionUser : Info == 7 ? SessionDomain : L"";
  const std::size_t Size = (wcslen(Text) + 1) * sizeof(wchar_t);
  *Buffer = static_cast<LPWSTR>(LocalAlloc(LPTR, Size));
  std::memcpy(*Buffer, Text, Size);
  *Bytes = static_cast<DWORD>(Size);
  return TRUE;
}

void WINAPI FreeSessionMemory(PVOID Memory) { LocalFree(Memory); }

}  // namespace

TProcHook::TProcHook(const char* Name, void* Function) : FName(Name) {
  if (ProcHooks.empty())
    ProcImport = new TImportHook("kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(&HookedGetProcAddress));
  ProcHooks.emplace_back(Name, Function);
}

TProcHook::~TProcHook() {
  for (auto It = ProcHooks.begin(); It != ProcHooks.end(); ++It)
    if (It->first == FName) {
      ProcHooks.erase(It);
      break;
    }
  if (ProcHooks.empty()) {
    delete ProcImport;
    ProcImport = nullptr;
  }
}

TSessionUserHook::TSessionUserHook(const wchar_t* Domain, const wchar_t* User)
    : FQuery("WTSQuerySessionInformationW", reinterpret_cast<void*>(&QuerySessionAs)),
      FFree("WTSFreeMemory", reinterpret_cast<void*>(&FreeSessionMemory)) {
  SessionDomain = Domain;
  SessionUser = User;
}

TSessionUserHook::~TSessionUserHook() { SessionDomain = SessionUser = L""; }

// ---------------------------------------------------------------- use after free

namespace {

constexpr unsigned char Poison = 0xDD;

struct TKeptBlock {
  unsigned char* Start;
  std::size_t Size;
  bool Freed;
};
std::vector<TKeptBlock> KeptBlocks;
int TrapCalls = 0;

// Stands for every virtual function of a freed object. The object's class
// decides what is passed; under the x64 convention the caller cleans up, so
// returning is safe whatever it was.
void VirtualCallAfterFree() { ++TrapCalls; }

// A virtual table of traps, laid out as the compiler's: the offset to the
// top and the type information before the first function.
struct TTrapTable {
  std::ptrdiff_t OffsetToTop = 0;
  const void* TypeInfo = nullptr;
  void (*Functions[512])();
  TTrapTable() {
    for (auto& F : Functions)
      F = VirtualCallAfterFree;
  }
};
TTrapTable TrapTable;

void PoisonFreed(unsigned char* Start, std::size_t Size) {
  std::memset(Start, Poison, Size);
  void* Table = TrapTable.Functions;
  std::memcpy(Start, &Table, sizeof Table);
}

}  // namespace

void* KeptAllocate(std::size_t Size) {
  auto* Start = static_cast<unsigned char*>(::operator new(Size));
  KeptBlocks.push_back({Start, Size, false});
  return Start;
}

void KeptFree(void* Block, std::size_t Size) {
  auto* Start = static_cast<unsigned char*>(Block);
  for (auto& Kept : KeptBlocks)
    if (Kept.Start == Start) {
      PoisonFreed(Start, Size);
      Kept.Freed = true;
    }
}

std::string UseAfterFree() {
  std::string Found;
  for (const auto& Kept : KeptBlocks) {
    if (!Kept.Freed)
      continue;
    void* Table = nullptr;
    std::memcpy(&Table, Kept.Start, sizeof Table);
    std::size_t Changed = Table == TrapTable.Functions ? 0 : sizeof Table;
    for (std::size_t I = sizeof Table; I < Kept.Size; ++I)
      Changed += Kept.Start[I] != Poison;
    if (Changed) {
      Found += std::to_string(Changed) + " bytes written after the free into an object of " +
               std::to_string(Kept.Size) + " bytes; ";
      PoisonFreed(Kept.Start, Kept.Size);
    }
  }
  if (TrapCalls)
    Found += std::to_string(TrapCalls) + " virtual calls on a freed object";
  TrapCalls = 0;
  return Found;
}

}  // namespace WinTest
