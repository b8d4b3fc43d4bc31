#include "PackageWriter.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace mkinstaller {
namespace {

constexpr std::size_t kBlockSize = 64 * 1024;

std::string Quote(const std::string& path) { return "'" + path + "'"; }

std::string Why(int err) { return std::strerror(err); }

// Owns a descriptor so every early return closes it.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { if (fd_ >= 0) ::close(fd_); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }
    void Reset(int fd) { if (fd_ >= 0) ::close(fd_); fd_ = fd; }
    // Hands the descriptor over so its close() result can be checked.
    int Release() { int fd = fd_; fd_ = -1; return fd; }
private:
    int fd_;
};

// Removes the temporary file unless the package was renamed into place.
class TempGuard {
public:
    explicit TempGuard(std::string path) : path_(std::move(path)) {}
    ~TempGuard() { if (!path_.empty()) ::unlink(path_.c_str()); }
    TempGuard(const TempGuard&) = delete;
    TempGuard& operator=(const TempGuard&) = delete;
    void Commit() { path_.clear(); }
private:
    std::string path_;
};

struct Input {
    Fd fd;
    struct stat st{};
};

// Opens an input that must be a regular file; empty string on success.
std::string OpenInput(const char* role, const std::string& path, Input& in) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::string(role) + " " + Quote(path) + " cannot be opened: " + Why(errno);
    in.fd.Reset(fd);
    if (::fstat(fd, &in.st) != 0) return std::string(role) + " " + Quote(path) + " cannot be examined: " + Why(errno);
    // Anything else (directory, device, pipe) has no size to check beforehand.
    if (!S_ISREG(in.st.st_mode)) return std::string(role) + " " + Quote(path) + " is not a regular file";
    return {};
}

void SplitPath(const std::string& path, std::string& dir, std::string& base) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) { dir = "."; base = path; return; }
    dir = slash == 0 ? "/" : path.substr(0, slash);
    base = path.substr(slash + 1);
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Copies `from` to `to` until end of file; empty string on success, the failing side otherwise.
std::string CopyAll(int from, const std::string& fromName, int to, const std::string& toName,
                    std::vector<char>& buffer, std::uint64_t& copied) {
    copied = 0;
    for (;;) {
        ssize_t n = ::read(from, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return fromName + " cannot be read: " + Why(errno);
        }
        if (n == 0) return {};
        if (!WriteAll(to, buffer.data(), static_cast<std::size_t>(n)))
            return toName + " cannot be written: " + Why(errno);
        copied += static_cast<std::uint64_t>(n);
    }
}

}  // namespace

std::size_t PaddingBeforePayload(std::uint64_t hostSize, std::uint64_t payloadSize) {
    return static_cast<std::size_t>((8 - (hostSize + payloadSize + 4) % 8) % 8);
}

std::string CheckPayloadSize(const std::string& payload, std::uint64_t size, std::uint64_t limit) {
    if (size == 0) return "payload " + Quote(payload) + " is empty";
    if (size > limit)
        return "payload " + Quote(payload) + " is too large (" + std::to_string(size) + " bytes; at most " +
               std::to_string(limit) + ", as the installer reads the length as a signed 32-bit integer)";
    return {};
}

std::string MakePackage(const std::string& host, const std::string& payload, const std::string& output,
                        std::uint64_t payloadLimit) {
    Input hostIn, payloadIn;
    if (std::string err = OpenInput("host", host, hostIn); !err.empty()) return err;
    if (std::string err = OpenInput("payload", payload, payloadIn); !err.empty()) return err;
    const std::uint64_t payloadSize = static_cast<std::uint64_t>(payloadIn.st.st_size);
    if (std::string err = CheckPayloadSize(payload, payloadSize, payloadLimit); !err.empty()) return err;

    std::string dir, base;
    SplitPath(output, dir, base);
    if (base.empty() || base == "." || base == "..") return "output " + Quote(output) + " does not name a file";

    // Renaming over an input would destroy it. Inode identity catches links and any
    // spelling of an existing output; an output that does not exist is no input.
    struct stat outSt{};
    if (::stat(output.c_str(), &outSt) == 0) {
        for (const Input* in : {&hostIn, &payloadIn}) {
            if (outSt.st_dev == in->st.st_dev && outSt.st_ino == in->st.st_ino)
                return "output " + Quote(output) + " is the same file as the " +
                       (in == &hostIn ? "host " + Quote(host) : "payload " + Quote(payload));
        }
    }

    // Same directory as the output so the final rename cannot cross file systems.
    std::string tempPath = (dir == "/" ? "/" : dir + "/") + "." + base + ".XXXXXX";
    int rawFd = ::mkstemp(tempPath.data());
    if (rawFd < 0) return "output " + Quote(output) + " cannot be written: " + Why(errno);
    Fd tempFd(rawFd);
    TempGuard guard(tempPath);
    const std::string outName = "output " + Quote(output);

    std::vector<char> buffer(kBlockSize);
    std::uint64_t hostCopied = 0, copied = 0;
    if (std::string err = CopyAll(hostIn.fd.Get(), "host " + Quote(host), tempFd.Get(), outName, buffer, hostCopied);
        !err.empty())
        return err;
    const std::size_t padding = PaddingBeforePayload(hostCopied, payloadSize);
    if (!WriteAll(tempFd.Get(), std::string(padding, '\0').data(), padding))
        return outName + " cannot be written: " + Why(errno);
    if (std::string err =
            CopyAll(payloadIn.fd.Get(), "payload " + Quote(payload), tempFd.Get(), outName, buffer, copied);
        !err.empty())
        return err;
    // The trailer must describe exactly the bytes written, not what fstat saw earlier.
    if (copied != payloadSize) return "payload " + Quote(payload) + " changed size while being read";

    const auto n = static_cast<std::uint32_t>(copied);
    const char trailer[4] = {static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                             static_cast<char>((n >> 16) & 0xFF), static_cast<char>((n >> 24) & 0xFF)};
    if (!WriteAll(tempFd.Get(), trailer, sizeof trailer)) return outName + " cannot be written: " + Why(errno);
    if (::fchmod(tempFd.Get(), 0755) != 0) return outName + " cannot be made executable: " + Why(errno);
    if (::fsync(tempFd.Get()) != 0) return outName + " cannot be flushed: " + Why(errno);
    if (::close(tempFd.Release()) != 0) return outName + " cannot be closed: " + Why(errno);
    if (::rename(tempPath.c_str(), output.c_str()) != 0) return outName + " cannot be replaced: " + Why(errno);
    guard.Commit();

    // Best effort: makes the rename itself durable; the package is complete either way.
    if (int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return {};
}

}  // namespace mkinstaller
