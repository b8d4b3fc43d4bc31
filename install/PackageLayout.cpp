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

namespace {

std::uint32_t Le(const std::uint8_t* P, int Bytes) {
  std::uint32_t V = 0;
  for (int I = Bytes - 1; I >= 0; --I)
    V = V << 8 | P[I];
  return V;
}

// Reads Count bytes at Pos; false if the stream has fewer.
bool ReadAt(TStream& Source, std::int64_t Pos, void* Buffer, std::int32_t Count) {
  return Source.Seek(Pos, TSeekOrigin::soBeginning) == Pos && Source.Read(Buffer, Count) == Count;
}

constexpr std::int64_t NewHeaderPointer = 0x3C;   // e_lfanew in the DOS header
constexpr std::int64_t OptionalHeaderStart = 24;  // after "PE\0\0" and the file header
constexpr std::uint16_t Pe32Magic = 0x10B, Pe32PlusMagic = 0x20B;
constexpr std::uint32_t SecurityDirectory = 4;

}  // namespace

TCertificateTable CertificateTable(TStream& Source) {
  std::uint8_t B[8]{};
  if (!ReadAt(Source, 0, B, 2) || B[0] != 'M' || B[1] != 'Z' || !ReadAt(Source, NewHeaderPointer, B, 4))
    return {};
  const std::int64_t Pe = Le(B, 4);
  if (!ReadAt(Source, Pe, B, 4) || Le(B, 4) != 0x00004550 || !ReadAt(Source, Pe + 20, B, 2))
    return {};
  const std::uint32_t OptionalSize = Le(B, 2);
  const std::int64_t Optional = Pe + OptionalHeaderStart;
  if (!ReadAt(Source, Optional, B, 2))
    return {};
  std::int64_t CountAt;
  switch (Le(B, 2)) {
    case Pe32Magic:
      CountAt = 92;
      break;
    case Pe32PlusMagic:
      CountAt = 108;
      break;
    default:
      return {};
  }
  const std::int64_t EntryAt = CountAt + 4 + 8 * SecurityDirectory;
  if (OptionalSize < EntryAt + 8 || !ReadAt(Source, Optional + CountAt, B, 4) || Le(B, 4) <= SecurityDirectory ||
      !ReadAt(Source, Optional + EntryAt, B, 8))
    return {};
  // The security directory holds a file offset, not an address.
  return {Le(B, 4), Le(B + 4, 4)};
}

std::int64_t PackageEnd(TStream& Source) {
  const auto Size = Source.Size();
  const TCertificateTable Table = CertificateTable(Source);
  return Table.Size > 0 && Table.Offset + Table.Size == Size ? Table.Offset : Size;
}

TPayloadExtent LocatePayload(TStream& Source) {
  const auto End = PackageEnd(Source);
  std::uint8_t Trailer[4];
  if (End < 4 || Source.Seek(End - 4, TSeekOrigin::soBeginning) != End - 4)
    throw EReadError(Consts::SReadError);
  Source.ReadBuffer(Trailer, sizeof Trailer);
  return PayloadExtent(End, static_cast<std::int32_t>(Le(Trailer, 4)));
}

void CopyPayload(TStream& Source, TStream& Target) {
  auto Payload = LocatePayload(Source);
  if (Source.Seek(Payload.Offset, TSeekOrigin::soBeginning) != Payload.Offset)
    throw EReadError(Consts::SReadError);
  Target.CopyFrom(Source, Payload.Length);
}
