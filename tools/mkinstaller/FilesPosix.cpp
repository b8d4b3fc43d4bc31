#include "Files.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mkinstaller {
namespace {

std::string Why(int err) { return std::strerror(err); }

// The temporary file of the open output, for the signal handler: set once
// the file exists, cleared before its name stops being ours.
volatile std::sig_atomic_t gTempSet = 0;
const char* volatile gTempPath = nullptr;
constexpr int kInterruptions[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void RemoveTempAndDie(int signal) {
  if (gTempSet)
    ::unlink(gTempPath);
  // Ended as the signal ends a program, so the caller sees what happened.
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void WatchInterruptions(const char* tempPath) {
  gTempPath = tempPath;
  gTempSet = 1;
  struct sigaction action {};
  action.sa_handler = RemoveTempAndDie;
  sigemptyset(&action.sa_mask);
  for (int signal : kInterruptions)
    sigaddset(&action.sa_mask, signal);
  for (int signal : kInterruptions) {
    // A signal ignored by whoever started us stays ignored.
    struct sigaction old {};
    if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler != SIG_IGN)
      ::sigaction(signal, &action, nullptr);
  }
}

void ForgetTemp() { gTempSet = 0; }

}  // namespace

TInputFile::TInputFile(const std::string& role, const std::string& path) : FName(Named(role, path)), FHandle(-1) {
  // Non-blocking: opening a FIFO for reading would wait for a writer.
  FHandle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (FHandle < 0)
    throw EFailure(FName + " cannot be opened: " + Why(errno));
  struct stat st {};
  std::string error;
  if (::fstat(FHandle, &st) != 0)
    error = FName + " cannot be examined: " + Why(errno);
  else if (!S_ISREG(st.st_mode))  // a directory, device or pipe has no size to check beforehand
    error = FName + " is not a regular file";
  else if (int flags = ::fcntl(FHandle, F_GETFL); flags < 0 || ::fcntl(FHandle, F_SETFL, flags & ~O_NONBLOCK) != 0)
    error = FName + " cannot be opened: " + Why(errno);
  if (!error.empty()) {
    ::close(FHandle);
    throw EFailure(error);
  }
  FId = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  FReportedSize = static_cast<std::uint64_t>(st.st_size);
}

TInputFile::~TInputFile() { ::close(FHandle); }

std::size_t TInputFile::Read(void* data, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(FHandle, data, size);
    if (n >= 0)
      return static_cast<std::size_t>(n);
    if (errno != EINTR)
      throw EFailure(FName + " cannot be read: " + Why(errno));
  }
}

void CheckReplaceable(const std::string& role, const std::string& path) {
  struct stat st {};
  // Through links: a link to /dev/null is as bad as /dev/null.
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
    throw EFailure(Named(role, path) + " exists and is not a regular file (" +
                   (S_ISDIR(st.st_mode)                          ? "a folder"
                    : S_ISFIFO(st.st_mode)                       ? "a FIFO"
                    : S_ISSOCK(st.st_mode)                       ? "a socket"
                    : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "a device"
                                                                 : "not a file") +
                   "); only a regular file is replaced");
}

std::string OwnProgramPath() {
  std::string path(PATH_MAX, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= path.size())
    return {};
  path.resize(static_cast<std::size_t>(n));
  return path;
}

bool ExistingFileId(const std::string& path, TFileId& id) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    return false;
  id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  return true;
}

std::string FileName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

namespace {

// The output's directory, where the temporary file goes.
std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

TOutputFile::TOutputFile(const std::string& path) : FPath(path), FName(Named("output", path)), FHandle(-1) {
  const std::string dir = DirectoryOf(path);
  std::string temp = (dir == "/" ? "/" : dir + "/") + "." + FileName(path) + ".XXXXXX";
  // An interruption between the file's creation and the handler's would
  // leave the file: it waits until the handler is in place.
  sigset_t interruptions, old;
  sigemptyset(&interruptions);
  for (int signal : kInterruptions)
    sigaddset(&interruptions, signal);
  ::sigprocmask(SIG_BLOCK, &interruptions, &old);
  FHandle = ::mkstemp(temp.data());
  const int err = errno;
  if (FHandle >= 0) {
    FTempPath = temp;
    WatchInterruptions(FTempPath.c_str());
  }
  ::sigprocmask(SIG_SETMASK, &old, nullptr);
  if (FHandle < 0)
    throw EFailure(FName + " cannot be written: " + Why(err));
}

TOutputFile::~TOutputFile() {
  if (FHandle >= 0)
    ::close(FHandle);
  if (!FTempPath.empty()) {
    ForgetTemp();
    ::unlink(FTempPath.c_str());
  }
}

void TOutputFile::Write(const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(FHandle, bytes, size);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      throw EFailure(FName + " cannot be written: " + Why(errno));
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
}

void TOutputFile::Commit() {
  if (::fchmod(FHandle, 0755) != 0)
    throw EFailure(FName + " cannot be made executable: " + Why(errno));
  if (::fsync(FHandle) != 0)
    throw EFailure(FName + " cannot be flushed: " + Why(errno));
  const int fd = FHandle;
  FHandle = -1;
  if (::close(fd) != 0)
    throw EFailure(FName + " cannot be closed: " + Why(errno));
  if (::rename(FTempPath.c_str(), FPath.c_str()) != 0)
    throw EFailure(FName + " cannot be replaced: " + Why(errno));
  ForgetTemp();
  FTempPath.clear();

  // Best effort: makes the rename itself durable; the package is complete either way.
  if (int dirFd = ::open(DirectoryOf(FPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}

void WriteText(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace mkinstaller
