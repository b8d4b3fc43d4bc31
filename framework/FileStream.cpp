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
  DWORD Low = SetFilePointer(FHandle, static_cast<LONG>(Offset & 0xFFFFFFFF), &High, Methods[static_cast<int>(Origin)]);
  if (Low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
    return -1;
  return (static_cast<std::int64_t>(High) << 32) | Low;
}

std::int64_t THandleStream::Size() {
  LARGE_INTEGER Result;
  return GetFileSizeEx(FHandle, &Result) ? Result.QuadPart : -1;
}

namespace {
constexpr DWORD Access(TFileMode Mode) {
  return Mode == TFileMode::fmCreate ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
}
constexpr DWORD Disposition(TFileMode Mode) { return Mode == TFileMode::fmCreate ? CREATE_ALWAYS : OPEN_EXISTING; }
}  // namespace

TFileStream::TFileStream(const std::string& FileName, TFileMode Mode)
    : THandleStream(INVALID_HANDLE_VALUE), FFileName(FileName) {
  Opened(CreateFileA(FileName.c_str(), Access(Mode), 0, nullptr, Disposition(Mode), FILE_ATTRIBUTE_NORMAL, nullptr),
         Mode);
}

TFileStream::TFileStream(const std::wstring& FileName, const std::string& Name, TFileMode Mode)
    : THandleStream(INVALID_HANDLE_VALUE), FFileName(Name) {
  Opened(CreateFileW(FileName.c_str(), Access(Mode), 0, nullptr, Disposition(Mode), FILE_ATTRIBUTE_NORMAL, nullptr),
         Mode);
}

void TFileStream::Opened(HANDLE File, TFileMode Mode) {
  FFile.Reset(File);
  if (!FFile) {
    if (Mode == TFileMode::fmCreate)
      throw EFCreateError(Format(Consts::SFCreateError, FFileName));
    throw EFOpenError(Format(Consts::SFOpenError, FFileName));
  }
  FHandle = FFile.Get();
}
