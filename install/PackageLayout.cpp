#include "PackageLayout.h"

#include "Consts.h"
#include "FileFormats.h"
#include "SysUtils.h"

using namespace FileFormats;

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

// Offsets as the signed positions streams take.
constexpr std::int64_t At(std::uint64_t Offset) { return static_cast<std::int64_t>(Offset); }
constexpr std::int64_t TrailerSize = At(PackageTrailer::Size);

}  // namespace

TPayloadExtent PayloadExtent(std::int64_t FileSize, std::int32_t N) {
  // A length of 0 would copy the whole installer, and one beyond the file
  // nothing useful: neither may reach (and empty) the target.
  if (N <= 0 || N > FileSize - TrailerSize)
    throw EReadError(Consts::SReadError);
  return {FileSize - TrailerSize - N, N};
}

TCertificateTable CertificateTable(TStream& Source) {
  std::uint8_t B[8]{};
  if (!ReadAt(Source, 0, B, 2) || B[0] != 'M' || B[1] != 'Z' || !ReadAt(Source, At(DosHeader::NewHeaderPointer), B, 4))
    return {};
  const std::int64_t Pe = Le(B, 4);
  if (!ReadAt(Source, Pe, B, 4) || Le(B, 4) != PeSignature ||
      !ReadAt(Source, Pe + At(PeSignatureSize + FileHeader::SizeOfOptionalHeader), B, 2))
    return {};
  const std::uint32_t OptionalSize = Le(B, 2);
  const std::int64_t Optional = Pe + At(OptionalHeader::Start);
  if (!ReadAt(Source, Optional, B, 2))
    return {};
  std::int64_t CountAt, TableAt;
  switch (Le(B, 2)) {
    case OptionalHeader::Pe32Magic:
      CountAt = At(OptionalHeader::Pe32NumberOfRvaAndSizes);
      TableAt = At(OptionalHeader::Pe32DataDirectories);
      break;
    case OptionalHeader::Pe32PlusMagic:
      CountAt = At(OptionalHeader::NumberOfRvaAndSizes);
      TableAt = At(OptionalHeader::DataDirectories);
      break;
    default:
      return {};
  }
  const std::int64_t EntryAt = TableAt + At(DataDirectory::Size * DataDirectory::Security);
  if (OptionalSize < EntryAt + At(DataDirectory::Size) || !ReadAt(Source, Optional + CountAt, B, 4) ||
      Le(B, 4) <= DataDirectory::Security || !ReadAt(Source, Optional + EntryAt, B, 8))
    return {};
  // The security directory holds a file offset, not an address.
  return {Le(B + DataDirectory::VirtualAddress, 4), Le(B + DataDirectory::DataSize, 4)};
}

std::int64_t PackageEnd(TStream& Source) {
  const auto Size = Source.Size();
  const TCertificateTable Table = CertificateTable(Source);
  return Table.Size > 0 && Table.Offset + Table.Size == Size ? Table.Offset : Size;
}

TPayloadExtent LocatePayload(TStream& Source) {
  const auto End = PackageEnd(Source);
  std::uint8_t Trailer[PackageTrailer::Size];
  if (End < TrailerSize || Source.Seek(End - TrailerSize, TSeekOrigin::soBeginning) != End - TrailerSize)
    throw EReadError(Consts::SReadError);
  Source.ReadBuffer(Trailer, sizeof Trailer);
  return PayloadExtent(End, static_cast<std::int32_t>(Le(Trailer, sizeof Trailer)));
}

void CopyPayload(TStream& Source, TStream& Target) {
  auto Payload = LocatePayload(Source);
  if (Source.Seek(Payload.Offset, TSeekOrigin::soBeginning) != Payload.Offset)
    throw EReadError(Consts::SReadError);
  Target.CopyFrom(Source, Payload.Length);
}
