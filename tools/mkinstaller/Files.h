// The package maker's file handling, one implementation per platform (POSIX
// and Windows) behind one interface, so both builds run the same code path.
// Paths are UTF-8; the Windows side opens files by their wide names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace mkinstaller {

#ifdef _WIN32
using TNativeHandle = void*;  // a HANDLE; null when closed
#else
using TNativeHandle = int;  // a descriptor; -1 when closed
#endif

// A refusal: what() is one line naming the file and what is wrong.
class EFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "role 'path'", the way every message names a file.
std::string Named(const std::string& Role, const std::string& Path);

// Identity of a file whatever the spelling of its path: device and inode, or
// volume serial number and file index.
struct TFileId {
  std::uint64_t Volume = 0, Index = 0;
  bool operator==(const TFileId&) const = default;
};

// An input file, open for reading. Throws EFailure unless the path names a
// readable regular file; a FIFO or device is refused without blocking.
class TInputFile {
 public:
  TInputFile(const std::string& Role, const std::string& Path);
  ~TInputFile();
  TInputFile(const TInputFile&) = delete;
  TInputFile& operator=(const TInputFile&) = delete;

  const std::string& Name() const { return FName; }
  TFileId Id() const { return FId; }
  // What the file system says; the real length may differ (procfs, sysfs,
  // a file still being written).
  std::uint64_t ReportedSize() const { return FReportedSize; }
  // Up to `Size` bytes; 0 at the end of the file. Throws EFailure.
  std::size_t Read(void* Data, std::size_t Size);
  // Up to `Size` bytes from `Offset`, wherever the file position stands; 0
  // at or past the end. Throws EFailure.
  std::size_t ReadAt(std::uint64_t Offset, void* Data, std::size_t Size);
  // The rest of the file; EFailure when it is longer than `Limit`.
  std::vector<std::uint8_t> ReadAll(std::uint64_t Limit);

 private:
  std::string FName;
  TFileId FId;
  std::uint64_t FReportedSize = 0;
  TNativeHandle FHandle;
};

// Identity of the file at `Path`; false when there is none.
bool ExistingFileId(const std::string& Path, TFileId& Id);

// Something, even a dangling link, is at `Path`.
bool PathTaken(const std::string& Path);

// Removes the file at `Path`; false when it cannot.
bool RemoveFile(const std::string& Path);

// `Name` in folder `Dir`.
std::string InFolder(const std::string& Dir, const std::string& Name);

// Throws EFailure when `Path` names something that exists and is not a
// regular file (a device, a FIFO, a socket, a folder): the rename that puts
// a package in place would replace it.
void CheckReplaceable(const std::string& Role, const std::string& Path);

// This program's own file, as the system names it; empty when unknown.
std::string OwnProgramPath();

// The host installed with the program at `Self`: beside it on Windows, in
// share/installerwin beside its bin folder elsewhere; empty when `Self` is.
std::string InstalledHost(const std::string& Self);

// `Text` on one line of printable characters: control characters (line
// ends, escapes, ...) each become '?'; UTF-8 stays as it is.
std::string OneLine(const std::string& Text);

// The part of `Path` after its last separator (on Windows also after a drive
// "C:"); empty when the path ends in a separator.
std::string FileName(const std::string& Path);

// Whether Commit may replace a file already at the path.
enum class TPlacing { plReplace, plKeepExisting };

// A file written through a temporary file beside it (so the final rename
// cannot cross file systems), named ".NAME...": Commit renames it into place,
// replacing an existing file or, with plKeepExisting, never (a file that
// appears meanwhile is not lost either); without Commit the temporary file
// goes and `Path` is untouched. An interruption (Ctrl+C, SIGTERM, SIGHUP; a console
// control event on Windows) while one is open removes its temporary file
// before the program ends as the signal would end it.
class TOutputFile {
 public:
  // `Role` names the file in messages; a file that is no program is not
  // made executable.
  explicit TOutputFile(const std::string& Path, const std::string& Role = "output", bool Executable = true);
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  void Write(const void* Data, std::size_t Size);
  // Flushed, closed and renamed to `Path`. Throws EFailure, for plKeepExisting
  // also when something is at `Path` already.
  void Commit(TPlacing Placing = TPlacing::plReplace);

 private:
  std::string FPath, FName, FTempPath;
  bool FExecutable;
  TNativeHandle FHandle;
};

// Writes UTF-8 text to stdout or stderr; a Windows console gets it as wide text.
void WriteText(std::FILE* Stream, const std::string& Text);

#ifdef _WIN32
// A command-line argument as UTF-8; EFailure for one that is not valid UTF-16
// (a lone surrogate) or holds U+FFFD.
std::string Utf8FromWide(const wchar_t* Text);
#endif

}  // namespace mkinstaller
