// The installer package: host image, payload, then the payload's length N as
// four little-endian bytes, read as a signed 32-bit integer. Bytes between the
// host and the payload are allowed (the package maker pads to a multiple of 8).
// A signed package carries the signer's certificate table behind the trailer.
#pragma once

#include <cstdint>

#include "Classes.h"

struct TPayloadExtent {
  std::int64_t Offset;  // first payload byte
  std::int32_t Length;  // N
};

// Where the payload of a file of FileSize bytes with trailer value N lies.
// Raises "Stream read error" unless 0 < N <= FileSize - 4.
TPayloadExtent PayloadExtent(std::int64_t FileSize, std::int32_t N);

// The certificate table that the image's security directory in Source names
// (its offset is a file offset); a size of 0 when there is none. Never raises;
// an unreadable or malformed header counts as unsigned.
struct TCertificateTable {
  std::int64_t Offset = 0, Size = 0;
};
TCertificateTable CertificateTable(TStream& Source);

// Where the package proper ends in Source: at the start of a certificate table
// that the image's security directory places exactly at the end of the file,
// otherwise at the end of the file. Never raises.
std::int64_t PackageEnd(TStream& Source);

// Reads the trailer of Source (just before PackageEnd) and returns the payload's place; raises
// "Stream read error" when the trailer is missing or does not fit the file.
TPayloadExtent LocatePayload(TStream& Source);

// Copies the payload of Source into Target (open for writing, empty, at its
// start). Raises "Stream read error" or "Stream write error"; a trailer that
// does not fit is refused before anything is written. Closes nothing.
void CopyPayload(TStream& Source, TStream& Target);
