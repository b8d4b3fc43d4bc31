// A TStream over a POSIX file, so host tests run the package reader over real files.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

#include "Classes.h"

class TPosixFileStream : public TStream {
 public:
  TPosixFileStream(const std::string& Path, int Flags) : FFd(::open(Path.c_str(), Flags, 0644)) {
    if (FFd < 0)
      throw std::runtime_error("cannot open " + Path);
  }
  ~TPosixFileStream() override { ::close(FFd); }

  std::int32_t Read(void* Buffer, std::int32_t Count) override {
    auto N = ::read(FFd, Buffer, static_cast<size_t>(Count));
    return N < 0 ? 0 : static_cast<std::int32_t>(N);
  }
  std::int32_t Write(const void* Buffer, std::int32_t Count) override {
    auto N = ::write(FFd, Buffer, static_cast<size_t>(Count));
    return N < 0 ? 0 : static_cast<std::int32_t>(N);
  }
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override {
    static constexpr int Whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    return ::lseek(FFd, Offset, Whence[static_cast<int>(Origin)]);
  }

 private:
  int FFd;
};
