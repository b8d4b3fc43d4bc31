// File streams over Win32 file handles.
#pragma once

#include <string>

#include "Classes.h"
#include "WinHandles.h"

// Open modes: read only with no sharing, or created afresh for reading and
// writing with no sharing (an existing file is emptied).
enum class TFileMode { fmOpenReadExclusive, fmCreate };

class THandleStream : public TStream {
 public:
  explicit THandleStream(HANDLE Handle) : FHandle(Handle) {}

  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  std::int64_t Size() override;

  HANDLE Handle() const { return FHandle; }

 protected:
  HANDLE FHandle;
};

class TFileStream : public THandleStream {
 public:
  // Raises "Cannot open file %s" or "Cannot create file %s".
  TFileStream(const std::string& FileName, TFileMode Mode);
  // Opens the file by its true path, which the ANSI calls may not be able to
  // spell; Name is the name FileName() and the messages give it.
  TFileStream(const std::wstring& FileName, const std::string& Name, TFileMode Mode);
  ~TFileStream() override = default;

  const std::string& FileName() const { return FFileName; }
  // Closes the file now; the stream is unusable afterwards.
  void Close() {
    FFile.Reset();
    FHandle = INVALID_HANDLE_VALUE;
  }

 private:
  void Opened(HANDLE File, TFileMode Mode);
  std::string FFileName;
  TFileHandle FFile;
};
