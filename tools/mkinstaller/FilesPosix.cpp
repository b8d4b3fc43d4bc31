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

InputFile::InputFile(const std::string& role, const std::string& path) : name_(Named(role, path)), handle_(-1) {
    // Non-blocking: opening a FIFO for reading would wait for a writer.
    handle_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (handle_ < 0) throw Failure(name_ + " cannot be opened: " + Why(errno));
    struct stat st{};
    std::string error;
    if (::fstat(handle_, &st) != 0)
        error = name_ + " cannot be examined: " + Why(errno);
    else if (!S_ISREG(st.st_mode))  // a directory, device or pipe has no size to check beforehand
        error = name_ + " is not a regular file";
    else if (int flags = ::fcntl(handle_, F_GETFL); flags < 0 || ::fcntl(handle_, F_SETFL, flags & ~O_NONBLOCK) != 0)
        error = name_ + " cannot be opened: " + Why(errno);
    if (!error.empty()) {
        ::close(handle_);
        throw Failure(error);
    }
    id_ = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    reportedSize_ = static_cast<std::uint64_t>(st.st_size);
}

InputFile::~InputFile() { ::close(handle_); }

std::size_t InputFile::Read(void* data, std::size_t size) {
    for (;;) {
        const ssize_t n = ::read(handle_, data, size);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) throw Failure(name_ + " cannot be read: " + Why(errno));
    }
}

bool ExistingFileId(const std::string& path, FileId& id) {
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

OutputFile::OutputFile(const std::string& path) : path_(path), name_(Named("output", path)), handle_(-1) {
    const std::string dir = DirectoryOf(path);
    std::string temp = (dir == "/" ? "/" : dir + "/") + "." + FileName(path) + ".XXXXXX";
    handle_ = ::mkstemp(temp.data());
    if (handle_ < 0) throw Failure(name_ + " cannot be written: " + Why(errno));
    tempPath_ = temp;
}

OutputFile::~OutputFile() {
    if (handle_ >= 0) ::close(handle_);
    if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
}

void OutputFile::Write(const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(handle_, bytes, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw Failure(name_ + " cannot be written: " + Why(errno));
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
}

void OutputFile::Commit() {
    if (::fchmod(handle_, 0755) != 0) throw Failure(name_ + " cannot be made executable: " + Why(errno));
    if (::fsync(handle_) != 0) throw Failure(name_ + " cannot be flushed: " + Why(errno));
    const int fd = handle_;
    handle_ = -1;
    if (::close(fd) != 0) throw Failure(name_ + " cannot be closed: " + Why(errno));
    if (::rename(tempPath_.c_str(), path_.c_str()) != 0) throw Failure(name_ + " cannot be replaced: " + Why(errno));
    tempPath_.clear();

    // Best effort: makes the rename itself durable; the package is complete either way.
    if (int dirFd = ::open(DirectoryOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

void WriteText(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

}  // namespace mkinstaller
