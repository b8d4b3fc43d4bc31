// Little-endian fields of Windows file formats. Reads are bounds-checked and
// throw EPeError with the caller's message; writes go into buffers the caller
// has sized.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "PeImage.h"

namespace mkinstaller {

using TByteView = std::span<const std::uint8_t>;

inline bool Fits(TByteView Bytes, std::uint64_t At, std::uint64_t Count) {
  return At <= Bytes.size() && Count <= Bytes.size() - At;
}

inline std::uint16_t Get16(TByteView Bytes, std::uint64_t At, const char* What) {
  if (!Fits(Bytes, At, 2))
    throw EPeError(What);
  return static_cast<std::uint16_t>(Bytes[At] | Bytes[At + 1] << 8);
}

inline std::uint32_t Get32(TByteView Bytes, std::uint64_t At, const char* What) {
  if (!Fits(Bytes, At, 4))
    throw EPeError(What);
  return static_cast<std::uint32_t>(Bytes[At]) | static_cast<std::uint32_t>(Bytes[At + 1]) << 8 |
         static_cast<std::uint32_t>(Bytes[At + 2]) << 16 | static_cast<std::uint32_t>(Bytes[At + 3]) << 24;
}

inline void Put16(std::vector<std::uint8_t>& Bytes, std::uint64_t At, std::uint64_t Value) {
  for (int I = 0; I < 2; ++I)
    Bytes.at(At + I) = static_cast<std::uint8_t>(Value >> (8 * I));
}

inline void Put32(std::vector<std::uint8_t>& Bytes, std::uint64_t At, std::uint64_t Value) {
  for (int I = 0; I < 4; ++I)
    Bytes.at(At + I) = static_cast<std::uint8_t>(Value >> (8 * I));
}

inline std::uint64_t AlignUp(std::uint64_t Value, std::uint64_t Alignment) {
  return (Value + Alignment - 1) / Alignment * Alignment;
}

}  // namespace mkinstaller
