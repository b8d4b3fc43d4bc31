#include "Files.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mkinstaller {
namespace {

std::string Why(int err) { return std::strerror(err); }

}  // namespace

TInputFile::TInputFile(const std::string& role, const std::string& path) : FName(Named(role, path)), FHandle(-1) {
    // Non-blocking: opening a FIFO for reading would wait for a writer.
    FHandle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (FHandle < 0) throw EFailure(FName + " cannot be opened: " + Why(errno));
    struct stat st{};
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
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) throw EFailure(FName + " cannot be read: " + Why(errno));
    }
}

bool ExistingFileId(const std::string& path, TFileId& id) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return false;
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
    FHandle = ::mkstemp(temp.data());
    if (FHandle < 0) throw EFailure(FName + " cannot be written: " + Why(errno));
    FTempPath = temp;
}

TOutputFile::~TOutputFile() {
    if (FHandle >= 0) ::close(FHandle);
    if (!FTempPath.empty()) ::unlink(FTempPath.c_str());
}

void TOutputFile::Write(const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(FHandle, bytes, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw EFailure(FName + " cannot be written: " + Why(errno));
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
}

void TOutputFile::Commit() {
    if (::fchmod(FHandle, 0755) != 0) throw EFailure(FName + " cannot be made executable: " + Why(errno));
    if (::fsync(FHandle) != 0) throw EFailure(FName + " cannot be flushed: " + Why(errno));
    const int fd = FHandle;
    FHandle = -1;
    if (::close(fd) != 0) throw EFailure(FName + " cannot be closed: " + Why(errno));
    if (::rename(FTempPath.c_str(), FPath.c_str()) != 0) throw EFailure(FName + " cannot be replaced: " + Why(errno));
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
