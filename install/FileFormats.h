// Where the fields of the file formats the installer and the package maker
// read and write lie: byte offsets from the start of their record, and each
// record's size. Named once here, for the installer and the host tools alike
// (so no <windows.h>), that the reader, the writer and the tests cannot
// disagree; all little-endian.
#pragma once

#include <cstdint>

namespace FileFormats {

// The installer package: the host image, padding, the payload, then the
// trailer, the payload's length N, read as a signed 32-bit integer. A signed
// package carries the certificate table behind the trailer.
namespace PackageTrailer {
inline constexpr std::uint64_t Size = 4;
// The package maker pads so that host, padding, payload and trailer together
// are a multiple of this.
inline constexpr std::uint64_t Alignment = 8;
constexpr std::uint64_t PaddingBefore(std::uint64_t HostSize, std::uint64_t PayloadSize) {
  return (Alignment - (HostSize + PayloadSize + Size) % Alignment) % Alignment;
}
}  // namespace PackageTrailer

// The MS-DOS stub header every program image starts with.
namespace DosHeader {
inline constexpr std::uint64_t NewHeaderPointer = 0x3C;  // file offset of the "PE\0\0" signature
inline constexpr std::uint64_t Size = 0x40;
}  // namespace DosHeader

inline constexpr std::uint32_t PeSignature = 0x00004550;  // "PE\0\0"
inline constexpr std::uint64_t PeSignatureSize = 4;

// The COFF file header, right after the signature.
namespace FileHeader {
inline constexpr std::uint64_t Machine = 0, NumberOfSections = 2, SizeOfOptionalHeader = 16, Characteristics = 18;
inline constexpr std::uint16_t MachineAmd64 = 0x8664;  // x86-64
inline constexpr std::uint16_t Dll = 0x2000;           // a characteristic: the image is a DLL
inline constexpr std::uint64_t Size = 20;
}  // namespace FileHeader

// The PE32+ optional header, right after the file header.
namespace OptionalHeader {
inline constexpr std::uint64_t Start = PeSignatureSize + FileHeader::Size;  // from the signature
inline constexpr std::uint64_t Magic = 0, SizeOfInitializedData = 8, AddressOfEntryPoint = 16, SectionAlignment = 32,
                               FileAlignment = 36, SizeOfImage = 56, SizeOfHeaders = 60, CheckSum = 64,
                               NumberOfRvaAndSizes = 108, DataDirectories = 112;
inline constexpr std::uint16_t Pe32PlusMagic = 0x20B;
// A PE32 (32-bit) image's header is shorter: its directory table lies here.
inline constexpr std::uint64_t Pe32NumberOfRvaAndSizes = 92, Pe32DataDirectories = 96;
inline constexpr std::uint16_t Pe32Magic = 0x10B;
}  // namespace OptionalHeader

// One entry of the optional header's data directory table.
namespace DataDirectory {
inline constexpr std::uint64_t VirtualAddress = 0, DataSize = 4;
inline constexpr std::uint64_t Size = 8;
inline constexpr unsigned Resource = 2, Security = 4, BaseRelocation = 5;
inline constexpr unsigned MaxCount = 16;
}  // namespace DataDirectory

// One entry of the section table, which follows the optional header.
namespace SectionHeader {
inline constexpr std::uint64_t Name = 0, VirtualSize = 8, VirtualAddress = 12, SizeOfRawData = 16,
                               PointerToRawData = 20, Characteristics = 36;
inline constexpr std::uint64_t NameSize = 8;
inline constexpr std::uint64_t Size = 40;
// Characteristics bits.
inline constexpr std::uint32_t Code = 0x20, InitializedData = 0x40, Discardable = 0x02000000, Execute = 0x20000000;
}  // namespace SectionHeader

// A directory of the resource tree; its entries follow it, the named ones first.
namespace ResourceDirectory {
inline constexpr std::uint64_t NumberOfNamedEntries = 12, NumberOfIdEntries = 14;
inline constexpr std::uint64_t Size = 16;
}  // namespace ResourceDirectory

// An entry of a resource directory. The high bit of Name marks the offset of
// a counted UTF-16 string, that of OffsetToData a subdirectory (else a data
// entry); both offsets from the start of the tree.
namespace ResourceDirectoryEntry {
inline constexpr std::uint64_t Name = 0, OffsetToData = 4;
inline constexpr std::uint64_t Size = 8;
inline constexpr std::uint32_t HighBit = 0x80000000;
}  // namespace ResourceDirectoryEntry

// A resource type's or name's string: a count of UTF-16 code units, then
// that many units, unterminated.
namespace ResourceString {
inline constexpr std::uint64_t Length = 0, Units = 2;
}  // namespace ResourceString

// A leaf of the resource tree: where its data lies (an RVA), how long it is.
namespace ResourceDataEntry {
inline constexpr std::uint64_t DataRva = 0, DataSize = 4, CodePage = 8;
inline constexpr std::uint64_t Size = 16;
}  // namespace ResourceDataEntry

// A block of a version resource: its header, a terminated UTF-16 key, then
// (4-byte aligned) its value and its child blocks.
namespace VersionBlock {
inline constexpr std::uint64_t Length = 0, ValueLength = 2, Type = 4, Key = 6;
inline constexpr std::uint16_t TextType = 1;  // the value's length counts UTF-16 units, not bytes
}  // namespace VersionBlock

// The header of an icon file and of an icon-group resource alike.
namespace IconDirectory {
inline constexpr std::uint64_t Reserved = 0, Type = 2, Count = 4;
inline constexpr std::uint64_t Size = 6;
inline constexpr std::uint16_t IconType = 1;
}  // namespace IconDirectory

// An icon file's entry for one image, which lies elsewhere in the file.
namespace IconFileEntry {
inline constexpr std::uint64_t Width = 0, Height = 1, ColourCount = 2, Planes = 4, BitCount = 6, DataSize = 8,
                               DataOffset = 12;
inline constexpr std::uint64_t Size = 16;
}  // namespace IconFileEntry

// An icon group's entry for one image, which is an RT_ICON resource.
namespace GroupIconEntry {
inline constexpr std::uint64_t Width = 0, Height = 1, ColourCount = 2, Planes = 4, BitCount = 6, DataSize = 8, Id = 12;
inline constexpr std::uint64_t Size = 14;
}  // namespace GroupIconEntry

// The header a device-independent bitmap starts with (BITMAPINFOHEADER and
// its later, longer versions).
namespace BitmapInfoHeader {
inline constexpr std::uint64_t HeaderSize = 0, Width = 4, Height = 8, Planes = 12, BitCount = 14;
inline constexpr std::uint32_t Size = 40, V4Size = 108, V5Size = 124;
}  // namespace BitmapInfoHeader

}  // namespace FileFormats
