#include "FileStream.h"

#include "Consts.h"
#include "SysUtils.h"

std::int32_t THandleStream::Read(void* Buffer, std::int32_t Count) {
  DWORD Done = 0;
  if (Count <= 0 || !ReadFile(FHandle, Buffer, static_cast<DWORD>(Count), &Done, nullptr))
    return 0;
  return static_cast<std::int32_t>(Done);
}

std::int32_t THandleStream::Write(const void* Buffer, std::int32_t Count) {
  DWORD Done = 0;
  if (Count <= 0 || !WriteFile(FHandle, Buffer, static_cast<DWORD>(Count), &Done, nullptr))
    return 0;
  return static_cast<std::int32_t>(Done);
}

std::int64_t THandleStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  static constexpr DWORD Methods[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
  LONG High = static_cast<LONG>(Offset >> 32);
  SetLastError(NO_ERROR);
  DWORD Low = SetFilePointer(FHandle, static_cast<LONG>(Offset & 0xFFFFFFFF), &High,
                             Methods[static_cast<int>(Origin)]);
  if (Low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
    return -1;
  return (static_cast<std::int64_t>(High) << 32) | Low;
}

std::int64_t THandleStream::Size() {
  LARGE_INTEGER Result;
  return GetFileSizeEx(FHandle, &Result) ? Result.QuadPart : -1;
}

TFileStream::TFileStream(const std::string& FileName, TFileMode Mode)
    : THandleStream(INVALID_HANDLE_VALUE), FFileName(FileName) {
  if (Mode == TFileMode::fmCreate) {
    FFile.Reset(CreateFileA(FileName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!FFile)
      throw EFCreateError(Format(Consts::SFCreateError, FileName));
  } else {
    FFile.Reset(CreateFileA(FileName.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr));
    if (!FFile)
      throw EFOpenError(Format(Consts::SFOpenError, FileName));
  }
  FHandle = FFile.Get();
}
