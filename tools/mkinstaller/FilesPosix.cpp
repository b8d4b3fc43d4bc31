#include "Files.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace mkinstaller {
namespace {

std::string Why(int Err) { return std::strerror(Err); }

// The temporary file of the open output, for the signal handler: set once
// the file exists, cleared before its name stops being ours.
volatile std::sig_atomic_t RemoveOnInterruption = 0;
const char* volatile TempToRemove = nullptr;
constexpr int InterruptingSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void RemoveTempAndDie(int Signal) {
  if (RemoveOnInterruption)
    ::unlink(TempToRemove);
  // Ended as the signal ends a program, so the caller sees what happened.
  std::signal(Signal, SIG_DFL);
  std::raise(Signal);
}

void WatchInterruptions(const char* TempPath) {
  TempToRemove = TempPath;
  RemoveOnInterruption = 1;
  struct sigaction Action {};
  Action.sa_handler = RemoveTempAndDie;
  sigemptyset(&Action.sa_mask);
  for (int Signal : InterruptingSignals)
    sigaddset(&Action.sa_mask, Signal);
  for (int Signal : InterruptingSignals) {
    // A signal ignored by whoever started us stays ignored.
    struct sigaction Old {};
    if (::sigaction(Signal, nullptr, &Old) == 0 && Old.sa_handler != SIG_IGN)
      ::sigaction(Signal, &Action, nullptr);
  }
}

void ForgetTemp() { RemoveOnInterruption = 0; }

}  // namespace

TInputFile::TInputFile(const std::string& Role, const std::string& Path) : FName(Named(Role, Path)), FHandle(-1) {
  // Non-blocking: opening a FIFO for reading would wait for a writer.
  FHandle = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (FHandle < 0)
    throw EFailure(FName + " cannot be opened: " + Why(errno));
  struct stat St {};
  std::string Error;
  if (::fstat(FHandle, &St) != 0)
    Error = FName + " cannot be examined: " + Why(errno);
  else if (!S_ISREG(St.st_mode))  // a directory, device or pipe has no size to check beforehand
    Error = FName + " is not a regular file";
  else if (int Flags = ::fcntl(FHandle, F_GETFL); Flags < 0 || ::fcntl(FHandle, F_SETFL, Flags & ~O_NONBLOCK) != 0)
    Error = FName + " cannot be opened: " + Why(errno);
  if (!Error.empty()) {
    ::close(FHandle);
    throw EFailure(Error);
  }
  FId = {static_cast<std::uint64_t>(St.st_dev), static_cast<std::uint64_t>(St.st_ino)};
  FReportedSize = static_cast<std::uint64_t>(St.st_size);
}

TInputFile::~TInputFile() { ::close(FHandle); }

std::size_t TInputFile::Read(void* Data, std::size_t Size) {
  for (;;) {
    const ssize_t N = ::read(FHandle, Data, Size);
    if (N >= 0)
      return static_cast<std::size_t>(N);
    if (errno != EINTR)
      throw EFailure(FName + " cannot be read: " + Why(errno));
  }
}

std::size_t TInputFile::ReadAt(std::uint64_t Offset, void* Data, std::size_t Size) {
  if (Offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
    return 0;
  for (;;) {
    const ssize_t N = ::pread(FHandle, Data, Size, static_cast<off_t>(Offset));
    if (N >= 0)
      return static_cast<std::size_t>(N);
    if (errno != EINTR)
      throw EFailure(FName + " cannot be read: " + Why(errno));
  }
}

bool PathTaken(const std::string& Path) {
  struct stat St {};
  return ::lstat(Path.c_str(), &St) == 0;
}

bool RemoveFile(const std::string& Path) { return ::unlink(Path.c_str()) == 0; }

std::string InFolder(const std::string& Dir, const std::string& Name) {
  return Dir.empty() || Dir.back() == '/' ? Dir + Name : Dir + "/" + Name;
}

void CheckReplaceable(const std::string& Role, const std::string& Path) {
  struct stat St {};
  // Through links: a link to /dev/null is as bad as /dev/null.
  if (::stat(Path.c_str(), &St) == 0 && !S_ISREG(St.st_mode))
    throw EFailure(Named(Role, Path) + " exists and is not a regular file (" +
                   (S_ISDIR(St.st_mode)                          ? "a folder"
                    : S_ISFIFO(St.st_mode)                       ? "a FIFO"
                    : S_ISSOCK(St.st_mode)                       ? "a socket"
                    : S_ISCHR(St.st_mode) || S_ISBLK(St.st_mode) ? "a device"
                                                                 : "not a file") +
                   "); only a regular file is replaced");
}

std::string OwnProgramPath() {
  std::string Path(PATH_MAX, '\0');
  const ssize_t N = ::readlink("/proc/self/exe", Path.data(), Path.size());
  if (N <= 0 || static_cast<std::size_t>(N) >= Path.size())
    return {};
  Path.resize(static_cast<std::size_t>(N));
  return Path;
}

bool ExistingFileId(const std::string& Path, TFileId& Id) {
  struct stat St {};
  if (::stat(Path.c_str(), &St) != 0)
    return false;
  Id = {static_cast<std::uint64_t>(St.st_dev), static_cast<std::uint64_t>(St.st_ino)};
  return true;
}

std::string FileName(const std::string& Path) {
  const std::size_t Slash = Path.find_last_of('/');
  return Slash == std::string::npos ? Path : Path.substr(Slash + 1);
}

namespace {

// The output's directory, where the temporary file goes.
std::string DirectoryOf(const std::string& Path) {
  const std::size_t Slash = Path.find_last_of('/');
  return Slash == std::string::npos ? "." : Slash == 0 ? "/" : Path.substr(0, Slash);
}

}  // namespace

TOutputFile::TOutputFile(const std::string& Path, const std::string& Role, bool Executable)
    : FPath(Path), FName(Named(Role, Path)), FExecutable(Executable), FHandle(-1) {
  const std::string Dir = DirectoryOf(Path);
  std::string Temp = (Dir == "/" ? "/" : Dir + "/") + "." + FileName(Path) + ".XXXXXX";
  // An interruption between the file's creation and the handler's would
  // leave the file: it waits until the handler is in place.
  sigset_t Interruptions, Old;
  sigemptyset(&Interruptions);
  for (int Signal : InterruptingSignals)
    sigaddset(&Interruptions, Signal);
  ::sigprocmask(SIG_BLOCK, &Interruptions, &Old);
  FHandle = ::mkstemp(Temp.data());
  const int Err = errno;
  if (FHandle >= 0) {
    FTempPath = Temp;
    WatchInterruptions(FTempPath.c_str());
  }
  ::sigprocmask(SIG_SETMASK, &Old, nullptr);
  if (FHandle < 0)
    throw EFailure(FName + " cannot be written: " + Why(Err));
}

TOutputFile::~TOutputFile() {
  if (FHandle >= 0)
    ::close(FHandle);
  if (!FTempPath.empty()) {
    ForgetTemp();
    ::unlink(FTempPath.c_str());
  }
}

void TOutputFile::Write(const void* Data, std::size_t Size) {
  const char* Bytes = static_cast<const char*>(Data);
  while (Size > 0) {
    const ssize_t N = ::write(FHandle, Bytes, Size);
    if (N < 0) {
      if (errno == EINTR)
        continue;
      throw EFailure(FName + " cannot be written: " + Why(errno));
    }
    Bytes += N;
    Size -= static_cast<std::size_t>(N);
  }
}

namespace {

// Renames `From` to `To` unless something is at `To`; EEXIST when it is.
bool RenameKeepingExisting(const char* From, const char* To) {
  if (::renameat2(AT_FDCWD, From, AT_FDCWD, To, RENAME_NOREPLACE) == 0)
    return true;
  if (errno != EINVAL && errno != ENOSYS)
    return false;
  // A file system without the flag: a hard link refuses a taken name as well.
  if (::link(From, To) != 0)
    return false;
  ::unlink(From);
  return true;
}

}  // namespace

void TOutputFile::Commit(TPlacing Placing) {
  if (::fchmod(FHandle, FExecutable ? 0755 : 0644) != 0)
    throw EFailure(FName + " cannot be given its permissions: " + Why(errno));
  if (::fsync(FHandle) != 0)
    throw EFailure(FName + " cannot be flushed: " + Why(errno));
  const int Fd = FHandle;
  FHandle = -1;
  if (::close(Fd) != 0)
    throw EFailure(FName + " cannot be closed: " + Why(errno));
  if (Placing == TPlacing::plKeepExisting) {
    if (!RenameKeepingExisting(FTempPath.c_str(), FPath.c_str()))
      throw EFailure(FName +
                     (errno == EEXIST ? " already exists; it is not replaced" : " cannot be written: " + Why(errno)));
  } else if (::rename(FTempPath.c_str(), FPath.c_str()) != 0) {
    throw EFailure(FName + " cannot be replaced: " + Why(errno));
  }
  ForgetTemp();
  FTempPath.clear();

  // Best effort: makes the rename itself durable; the package is complete either way.
  if (int DirFd = ::open(DirectoryOf(FPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); DirFd >= 0) {
    ::fsync(DirFd);
    ::close(DirFd);
  }
}

void WriteText(std::FILE* Stream, const std::string& Text) {
  std::fwrite(Text.data(), 1, Text.size(), Stream);
  std::fflush(Stream);
}

}  // namespace mkinstaller
