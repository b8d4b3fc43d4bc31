#include "PackageLayout.h"

#include "Consts.h"
#include "SysUtils.h"

TPayloadExtent PayloadExtent(std::int64_t FileSize, std::int32_t N) {
  // A length of 0 would copy the whole installer, and one beyond the file
  // nothing useful: neither may reach (and empty) the target.
  if (N <= 0 || N > FileSize - 4)
    throw EReadError(Consts::SReadError);
  return {FileSize - 4 - N, N};
}

TPayloadExtent LocatePayload(TStream& Source) {
  const auto Size = Source.Size();
  if (Size < 4 || Source.Seek(-4, TSeekOrigin::soEnd) < 0)
    throw EReadError(Consts::SReadError);
  std::uint8_t Trailer[4];
  Source.ReadBuffer(Trailer, sizeof Trailer);
  auto N = static_cast<std::int32_t>(static_cast<std::uint32_t>(Trailer[0]) | static_cast<std::uint32_t>(Trailer[1]) << 8 |
                                     static_cast<std::uint32_t>(Trailer[2]) << 16 |
                                     static_cast<std::uint32_t>(Trailer[3]) << 24);
  return PayloadExtent(Size, N);
}

void CopyPayload(TStream& Source, TStream& Target) {
  auto Payload = LocatePayload(Source);
  if (Source.Seek(Payload.Offset, TSeekOrigin::soBeginning) != Payload.Offset)
    throw EReadError(Consts::SReadError);
  Target.CopyFrom(Source, Payload.Length);
}
