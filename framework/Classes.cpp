#include "Classes.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "Consts.h"
#include "SysUtils.h"

std::int64_t TStream::Size() {
  auto Pos = Position();
  auto Result = Seek(0, TSeekOrigin::soEnd);
  Seek(Pos, TSeekOrigin::soBeginning);
  return Result;
}

void TStream::ReadBuffer(void* Buffer, std::int32_t Count) {
  if (Count != 0 && Read(Buffer, Count) != Count)
    throw EReadError(Consts::SReadError);
}

void TStream::WriteBuffer(const void* Buffer, std::int32_t Count) {
  if (Count != 0 && Write(Buffer, Count) != Count)
    throw EWriteError(Consts::SWriteError);
}

std::int64_t TStream::CopyFrom(TStream& Source, std::int64_t Count) {
  if (Count == 0) {
    Source.SetPosition(0);
    Count = Source.Size();
  }
  // A negative count reads nothing and so fails at once.
  if (Count < 0)
    throw EReadError(Consts::SReadError);
  const auto Result = Count;
  const auto BufSize = static_cast<std::int32_t>(std::clamp<std::int64_t>(Count, 1, MaxBufSize));
  auto Buffer = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(BufSize));
  while (Count != 0) {
    auto N = static_cast<std::int32_t>(std::min<std::int64_t>(Count, BufSize));
    Source.ReadBuffer(Buffer.get(), N);
    WriteBuffer(Buffer.get(), N);
    Count -= N;
  }
  return Result;
}

std::int32_t TMemoryStream::Read(void* Buffer, std::int32_t Count) {
  if (Count <= 0 || FPosition >= Size())
    return 0;
  auto N = static_cast<std::int32_t>(std::min<std::int64_t>(Count, Size() - FPosition));
  std::memcpy(Buffer, FData.data() + FPosition, static_cast<std::size_t>(N));
  FPosition += N;
  return N;
}

std::int32_t TMemoryStream::Write(const void* Buffer, std::int32_t Count) {
  if (Count <= 0)
    return 0;
  auto End = FPosition + Count;
  if (End > Size())
    FData.resize(static_cast<std::size_t>(End));
  std::memcpy(FData.data() + FPosition, Buffer, static_cast<std::size_t>(Count));
  FPosition = End;
  return Count;
}

std::int64_t TMemoryStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  std::int64_t Base = Origin == TSeekOrigin::soBeginning ? 0 : Origin == TSeekOrigin::soCurrent ? FPosition : Size();
  if (Offset < -Base)
    return -1;
  FPosition = Base + Offset;
  return FPosition;
}
