#include "Files.h"

#include <windows.h>

#include <atomic>

#include "WinHandles.h"

namespace mkinstaller {
namespace {

std::string Utf8(const wchar_t* text, int length, DWORD flags) {
  const int size = WideCharToMultiByte(CP_UTF8, flags, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0)
    return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, flags, text, length, out.data(), size, nullptr, nullptr);
  return out;
}

// Paths arrive as UTF-8 made from the wide command line, so this cannot fail
// for them; an empty result makes the open fail with its own message.
std::wstring Wide(const std::string& text) {
  if (text.empty())
    return {};
  const int length = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
  if (size <= 0)
    return {};
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, out.data(), size);
  return out;
}

// The system's text for an error code, without its closing full stop.
std::string Why(DWORD err) {
  wchar_t* buffer = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, err, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = length > 0 ? Utf8(buffer, static_cast<int>(length), 0) : std::string();
  LocalFree(buffer);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == '.' || text.back() == ' '))
    text.pop_back();
  return (text.empty() ? "error" : text) + " (" + std::to_string(err) + ")";
}

TFileId IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return {info.dwVolumeSerialNumber, std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow};
}

// The temporary file of the open output, for the console control handler,
// which runs on a thread of its own: marked for deletion there, it goes when
// the process ends and its handles close.
std::atomic<HANDLE> gTempHandle{nullptr};

BOOL WINAPI RemoveTempOnInterruption(DWORD) {
  if (HANDLE temp = gTempHandle.exchange(nullptr)) {
    FILE_DISPOSITION_INFO gone{};
    gone.DeleteFile = TRUE;
    SetFileInformationByHandle(temp, FileDispositionInfo, &gone, sizeof gone);
  }
  return FALSE;  // and the default handling ends the process
}

std::size_t LastSeparator(const std::string& path) {
  const std::size_t sep = path.find_last_of("\\/");
  if (sep != std::string::npos)
    return sep;
  // "C:name" names a file in the current folder of drive C.
  return path.size() >= 2 && path[1] == ':' ? 1 : std::string::npos;
}

}  // namespace

TInputFile::TInputFile(const std::string& role, const std::string& path) : FName(Named(role, path)), FHandle(nullptr) {
  const std::wstring wide = Wide(path);
  // A folder cannot be opened as a file at all; say what it is.
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    throw EFailure(FName + " is not a regular file");
  // Others may read it meanwhile, nobody may change it.
  TFileHandle file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file)
    throw EFailure(FName + " cannot be opened: " + Why(GetLastError()));
  // A pipe or a device (CON, NUL, \\.\pipe\...) is never read: it has no size to check beforehand.
  if (GetFileType(file.Get()) != FILE_TYPE_DISK)
    throw EFailure(FName + " is not a regular file");
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file.Get(), &info))
    throw EFailure(FName + " cannot be examined: " + Why(GetLastError()));
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
    throw EFailure(FName + " is not a regular file");
  FId = IdOf(info);
  FReportedSize = std::uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
  FHandle = file.Release();
}

TInputFile::~TInputFile() {
  if (FHandle)
    CloseHandle(FHandle);
}

std::size_t TInputFile::Read(void* data, std::size_t size) {
  DWORD got = 0;
  const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
  if (!ReadFile(FHandle, data, want, &got, nullptr))
    throw EFailure(FName + " cannot be read: " + Why(GetLastError()));
  return got;
}

bool ExistingFileId(const std::string& path, TFileId& id) {
  // No access asked and every sharing allowed: this must not disturb anyone.
  TFileHandle file(CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file || !GetFileInformationByHandle(file.Get(), &info))
    return false;
  id = IdOf(info);
  return true;
}

void CheckReplaceable(const std::string& role, const std::string& path) {
  const std::wstring wide = Wide(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  TFileHandle file(CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (folder || (file && GetFileType(file.Get()) != FILE_TYPE_DISK))
    throw EFailure(Named(role, path) + " exists and is not a regular file (" + (folder ? "a folder" : "a device") +
                   "); only a regular file is replaced");
}

std::string OwnProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0)
      return {};
    if (n < path.size())
      return Utf8(path.data(), static_cast<int>(n), 0);
    if (path.size() >= 32768)
      return {};
    path.resize(path.size() * 2);
  }
}

std::string FileName(const std::string& path) {
  const std::size_t sep = LastSeparator(path);
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

TOutputFile::TOutputFile(const std::string& path) : FPath(path), FName(Named("output", path)), FHandle(nullptr) {
  const std::size_t sep = LastSeparator(path);
  const std::string dir = sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
  // CREATE_NEW never opens someone else's file; a name taken is tried again.
  // Hidden, and named after the output, a leftover of a killed run stays out
  // of sight and can be told for what it is.
  for (unsigned attempt = 0;; ++attempt) {
    const std::string temp = dir + "." + FileName(path) + "." + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(GetTickCount() + attempt) + ".tmp";
    // DELETE: an interruption marks it for deletion through this handle.
    HANDLE file =
        CreateFileW(Wide(temp).c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      FHandle = file;
      FTempPath = temp;
      gTempHandle = file;
      SetConsoleCtrlHandler(RemoveTempOnInterruption, TRUE);
      return;
    }
    const DWORD err = GetLastError();
    if (err != ERROR_FILE_EXISTS || attempt == 100)
      throw EFailure(FName + " cannot be written: " + Why(err));
  }
}

TOutputFile::~TOutputFile() {
  gTempHandle = nullptr;
  if (FHandle)
    CloseHandle(FHandle);
  if (!FTempPath.empty())
    DeleteFileW(Wide(FTempPath).c_str());
}

void TOutputFile::Write(const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(FHandle, bytes, want, &written, nullptr) || written == 0)
      throw EFailure(FName + " cannot be written: " + Why(GetLastError()));
    bytes += written;
    size -= written;
  }
}

void TOutputFile::Commit() {
  // Windows has no executable bit: the .exe name is what makes it a program.
  if (!FlushFileBuffers(FHandle))
    throw EFailure(FName + " cannot be flushed: " + Why(GetLastError()));
  // The rename keeps the attributes: the output must not stay hidden.
  FILE_BASIC_INFO visible{};
  visible.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  if (!SetFileInformationByHandle(FHandle, FileBasicInfo, &visible, sizeof visible))
    throw EFailure(FName + " cannot be made visible: " + Why(GetLastError()));
  HANDLE file = FHandle;
  FHandle = nullptr;
  // From here an interruption may leave the temporary file: the rename needs it.
  gTempHandle = nullptr;
  if (!CloseHandle(file))
    throw EFailure(FName + " cannot be closed: " + Why(GetLastError()));
  // A virus scanner or the shell reading the old file's icon may hold it
  // for a moment: that is waited out, for two seconds at most.
  const std::wstring from = Wide(FTempPath), to = Wide(FPath);
  for (unsigned attempt = 0;; ++attempt) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      break;
    const DWORD err = GetLastError();
    const bool held = err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION;
    if (!held || attempt == 20)
      throw EFailure(FName + " cannot be replaced: " + Why(err));
    Sleep(100);
  }
  FTempPath.clear();
}

void WriteText(std::FILE* stream, const std::string& text) {
  // UTF-8 bytes would show as the console code page's characters.
  HANDLE console = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (console && console != INVALID_HANDLE_VALUE && GetConsoleMode(console, &mode)) {
    std::fflush(stream);
    const std::wstring wide = Wide(text);
    DWORD written = 0;
    WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

std::string Utf8FromWide(const wchar_t* text) {
  if (*text == L'\0')
    return {};
  std::string out = Utf8(text, -1, WC_ERR_INVALID_CHARS);
  if (out.empty())
    throw EFailure("a command-line argument is not valid Unicode");
  out.pop_back();  // the terminator
  return out;
}

}  // namespace mkinstaller
