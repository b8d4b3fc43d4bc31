#include "Files.h"

#include <windows.h>

#include <atomic>
#include <cwchar>

#include "WinHandles.h"

namespace mkinstaller {
namespace {

std::string Utf8(const wchar_t* Text, int Length, DWORD Flags) {
  const int Size = WideCharToMultiByte(CP_UTF8, Flags, Text, Length, nullptr, 0, nullptr, nullptr);
  if (Size <= 0)
    return {};
  std::string Out(static_cast<std::size_t>(Size), '\0');
  WideCharToMultiByte(CP_UTF8, Flags, Text, Length, Out.data(), Size, nullptr, nullptr);
  return Out;
}

// Paths arrive as UTF-8 made from the wide command line, so this cannot fail
// for them; an empty result makes the open fail with its own message.
std::wstring Wide(const std::string& Text) {
  if (Text.empty())
    return {};
  const int Length = static_cast<int>(Text.size());
  const int Size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, Text.data(), Length, nullptr, 0);
  if (Size <= 0)
    return {};
  std::wstring Out(static_cast<std::size_t>(Size), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, Text.data(), Length, Out.data(), Size);
  return Out;
}

// The system's text for an error code, without its closing full stop.
std::string Why(DWORD Err) {
  wchar_t* Buffer = nullptr;
  const DWORD Length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, Err, 0, reinterpret_cast<wchar_t*>(&Buffer), 0, nullptr);
  std::string Text = Length > 0 ? Utf8(Buffer, static_cast<int>(Length), 0) : std::string();
  LocalFree(Buffer);
  while (!Text.empty() && (Text.back() == '\r' || Text.back() == '\n' || Text.back() == '.' || Text.back() == ' '))
    Text.pop_back();
  return (Text.empty() ? "error" : Text) + " (" + std::to_string(Err) + ")";
}

TFileId IdOf(const BY_HANDLE_FILE_INFORMATION& Info) {
  return {Info.dwVolumeSerialNumber, std::uint64_t{Info.nFileIndexHigh} << 32 | Info.nFileIndexLow};
}

// The temporary file of the open output, for the console control handler,
// which runs on a thread of its own: marked for deletion there, it goes when
// the process ends and its handles close. While the file is being created,
// an interruption waits until its handle is known (the POSIX side blocks
// signals then); the creating thread then ends the process itself.
std::atomic<HANDLE> TempToRemove{nullptr};
std::atomic<bool> Creating{false}, Interrupted{false};

void MarkTempForDeletion() {
  if (HANDLE Temp = TempToRemove.exchange(nullptr)) {
    FILE_DISPOSITION_INFO Gone{};
    Gone.DeleteFile = TRUE;
    SetFileInformationByHandle(Temp, FileDispositionInfo, &Gone, sizeof Gone);
  }
}

// Ended as Windows ends a program on Ctrl+C, whatever the console host does
// (Wine's default handling reports success).
[[noreturn]] void EndInterrupted() { ExitProcess(STATUS_CONTROL_C_EXIT); }

BOOL WINAPI RemoveTempOnInterruption(DWORD) {
  Interrupted = true;
  if (Creating)
    return TRUE;
  MarkTempForDeletion();
  EndInterrupted();
}

// A name the system takes for a device (CON, NUL, COM1, in any folder the
// system still maps them), whether or not the device opens now: without a
// console, CON does not.
bool IsDeviceName(const std::wstring& Path) {
  const DWORD Size = GetFullPathNameW(Path.c_str(), 0, nullptr, nullptr);
  if (Size == 0)
    return false;
  std::wstring Full(Size, L'\0');
  const DWORD Length = GetFullPathNameW(Path.c_str(), Size, Full.data(), nullptr);
  return Length > 0 && Length < Size && Full.compare(0, 4, L"\\\\.\\") == 0;
}

std::size_t LastSeparator(const std::string& Path) {
  const std::size_t Sep = Path.find_last_of("\\/");
  if (Sep != std::string::npos)
    return Sep;
  // "C:name" names a file in the current folder of drive C.
  return Path.size() >= 2 && Path[1] == ':' ? 1 : std::string::npos;
}

}  // namespace

TInputFile::TInputFile(const std::string& Role, const std::string& Path) : FName(Named(Role, Path)), FHandle(nullptr) {
  const std::wstring WidePath = Wide(Path);
  // A folder cannot be opened as a file at all; say what it is.
  const DWORD Attributes = GetFileAttributesW(WidePath.c_str());
  if (Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY))
    throw EFailure(FName + " is not a regular file");
  // Others may read it meanwhile, nobody may change it.
  TFileHandle File(CreateFileW(WidePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!File)
    throw EFailure(FName + " cannot be opened: " + Why(GetLastError()));
  // A pipe or a device (CON, NUL, \\.\pipe\...) is never read: it has no size to check beforehand.
  if (GetFileType(File.Get()) != FILE_TYPE_DISK)
    throw EFailure(FName + " is not a regular file");
  BY_HANDLE_FILE_INFORMATION Info{};
  if (!GetFileInformationByHandle(File.Get(), &Info))
    throw EFailure(FName + " cannot be examined: " + Why(GetLastError()));
  if (Info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
    throw EFailure(FName + " is not a regular file");
  FId = IdOf(Info);
  FReportedSize = std::uint64_t{Info.nFileSizeHigh} << 32 | Info.nFileSizeLow;
  FHandle = File.Release();
}

TInputFile::~TInputFile() {
  if (FHandle)
    CloseHandle(FHandle);
}

std::size_t TInputFile::Read(void* Data, std::size_t Size) {
  DWORD Got = 0;
  const DWORD Want = Size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(Size);
  if (!ReadFile(FHandle, Data, Want, &Got, nullptr))
    throw EFailure(FName + " cannot be read: " + Why(GetLastError()));
  return Got;
}

std::size_t TInputFile::ReadAt(std::uint64_t Offset, void* Data, std::size_t Size) {
  OVERLAPPED At{};
  At.Offset = static_cast<DWORD>(Offset);
  At.OffsetHigh = static_cast<DWORD>(Offset >> 32);
  DWORD Got = 0;
  const DWORD Want = Size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(Size);
  if (!ReadFile(FHandle, Data, Want, &Got, &At)) {
    if (const DWORD Err = GetLastError(); Err != ERROR_HANDLE_EOF)
      throw EFailure(FName + " cannot be read: " + Why(Err));
    return 0;
  }
  return Got;
}

bool PathTaken(const std::string& Path) { return GetFileAttributesW(Wide(Path).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool RemoveFile(const std::string& Path) { return DeleteFileW(Wide(Path).c_str()); }

std::string InFolder(const std::string& Dir, const std::string& Name) {
  const bool Ends = Dir.empty() || Dir.back() == '\\' || Dir.back() == '/' || (Dir.size() == 2 && Dir[1] == ':');
  return Ends ? Dir + Name : Dir + "\\" + Name;
}

bool ExistingFileId(const std::string& Path, TFileId& Id) {
  // No access asked and every sharing allowed: this must not disturb anyone.
  TFileHandle File(CreateFileW(Wide(Path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION Info{};
  if (!File || !GetFileInformationByHandle(File.Get(), &Info))
    return false;
  Id = IdOf(Info);
  return true;
}

void CheckReplaceable(const std::string& Role, const std::string& Path) {
  const std::wstring WidePath = Wide(Path);
  const DWORD Attributes = GetFileAttributesW(WidePath.c_str());
  const bool Folder = Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY);
  TFileHandle File(CreateFileW(WidePath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (Folder || IsDeviceName(WidePath) || (File && GetFileType(File.Get()) != FILE_TYPE_DISK))
    throw EFailure(Named(Role, Path) + " exists and is not a regular file (" + (Folder ? "a folder" : "a device") +
                   "); only a regular file is replaced");
}

std::string OwnProgramPath() {
  std::wstring Path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD N = GetModuleFileNameW(nullptr, Path.data(), static_cast<DWORD>(Path.size()));
    if (N == 0)
      return {};
    if (N < Path.size())
      return Utf8(Path.data(), static_cast<int>(N), 0);
    if (Path.size() >= 32768)
      return {};
    Path.resize(Path.size() * 2);
  }
}

std::string FileName(const std::string& Path) {
  const std::size_t Sep = LastSeparator(Path);
  return Sep == std::string::npos ? Path : Path.substr(Sep + 1);
}

TOutputFile::TOutputFile(const std::string& Path, const std::string& Role, bool Executable)
    : FPath(Path), FName(Named(Role, Path)), FExecutable(Executable), FHandle(nullptr) {
  const std::size_t Sep = LastSeparator(Path);
  const std::string Dir = Sep == std::string::npos ? std::string() : Path.substr(0, Sep + 1);
  static const bool Watching = SetConsoleCtrlHandler(RemoveTempOnInterruption, TRUE);
  (void)Watching;
  Creating = true;
  DWORD Err = ERROR_SUCCESS;
  // CREATE_NEW never opens someone else's file; a name taken is tried again.
  // Hidden, and named after the output, a leftover of a killed run stays out
  // of sight and can be told for what it is.
  for (unsigned Attempt = 0; !FHandle && !Interrupted; ++Attempt) {
    const std::string Temp = Dir + "." + FileName(Path) + "." + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(GetTickCount() + Attempt) + ".tmp";
    // DELETE: an interruption marks it for deletion through this handle.
    HANDLE File =
        CreateFileW(Wide(Temp).c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (File != INVALID_HANDLE_VALUE) {
      FHandle = File;
      FTempPath = Temp;
      TempToRemove = File;
    } else if (Err = GetLastError(); Err != ERROR_FILE_EXISTS || Attempt == 100) {
      break;
    }
  }
  Creating = false;
  if (Interrupted) {
    MarkTempForDeletion();
    EndInterrupted();
  }
  if (!FHandle)
    throw EFailure(FName + " cannot be written: " + Why(Err));
}

TOutputFile::~TOutputFile() {
  TempToRemove = nullptr;
  if (FHandle)
    CloseHandle(FHandle);
  if (!FTempPath.empty())
    DeleteFileW(Wide(FTempPath).c_str());
}

void TOutputFile::Write(const void* Data, std::size_t Size) {
  const char* Bytes = static_cast<const char*>(Data);
  while (Size > 0) {
    const DWORD Want = Size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(Size);
    DWORD Written = 0;
    if (!WriteFile(FHandle, Bytes, Want, &Written, nullptr) || Written == 0)
      throw EFailure(FName + " cannot be written: " + Why(GetLastError()));
    Bytes += Written;
    Size -= Written;
  }
}

void TOutputFile::Commit(TPlacing Placing) {
  // Windows has no executable bit: the .exe name is what makes it a program.
  (void)FExecutable;
  if (!FlushFileBuffers(FHandle))
    throw EFailure(FName + " cannot be flushed: " + Why(GetLastError()));
  // The rename keeps the attributes: the output must not stay hidden.
  FILE_BASIC_INFO Visible{};
  Visible.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  if (!SetFileInformationByHandle(FHandle, FileBasicInfo, &Visible, sizeof Visible))
    throw EFailure(FName + " cannot be made visible: " + Why(GetLastError()));
  HANDLE File = FHandle;
  FHandle = nullptr;
  // From here an interruption may leave the temporary file: the rename needs it.
  TempToRemove = nullptr;
  if (!CloseHandle(File))
    throw EFailure(FName + " cannot be closed: " + Why(GetLastError()));
  // A virus scanner or the shell reading the old file's icon may hold it
  // for a moment: that is waited out, for two seconds at most.
  const std::wstring From = Wide(FTempPath), To = Wide(FPath);
  const DWORD Flags = MOVEFILE_WRITE_THROUGH | (Placing == TPlacing::plReplace ? MOVEFILE_REPLACE_EXISTING : DWORD{0});
  for (unsigned Attempt = 0;; ++Attempt) {
    if (MoveFileExW(From.c_str(), To.c_str(), Flags))
      break;
    const DWORD Err = GetLastError();
    if (Placing == TPlacing::plKeepExisting && (Err == ERROR_ALREADY_EXISTS || Err == ERROR_FILE_EXISTS))
      throw EFailure(FName + " already exists; it is not replaced");
    const bool Held = Err == ERROR_ACCESS_DENIED || Err == ERROR_SHARING_VIOLATION || Err == ERROR_LOCK_VIOLATION;
    if (!Held || Attempt == 20)
      throw EFailure(FName + " cannot be replaced: " + Why(Err));
    Sleep(100);
  }
  FTempPath.clear();
}

void WriteText(std::FILE* Stream, const std::string& Text) {
  // UTF-8 bytes would show as the console code page's characters.
  HANDLE Console = GetStdHandle(Stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD Mode = 0;
  if (Console && Console != INVALID_HANDLE_VALUE && GetConsoleMode(Console, &Mode)) {
    std::fflush(Stream);
    const std::wstring WideText = Wide(Text);
    DWORD Written = 0;
    WriteConsoleW(Console, WideText.data(), static_cast<DWORD>(WideText.size()), &Written, nullptr);
    return;
  }
  std::fwrite(Text.data(), 1, Text.size(), Stream);
  std::fflush(Stream);
}

std::string Utf8FromWide(const wchar_t* Text) {
  if (*Text == L'\0')
    return {};
  // What a console or a caller made of bytes it could not read: a name or
  // text with it is not the one meant.
  if (std::wcschr(Text, L'\uFFFD'))
    throw EFailure("a command-line argument holds U+FFFD, the mark of characters that could not be read");
  std::string Out = Utf8(Text, -1, WC_ERR_INVALID_CHARS);
  if (Out.empty())
    throw EFailure("a command-line argument is not valid Unicode");
  Out.pop_back();  // the terminator
  return Out;
}

}  // namespace mkinstaller
