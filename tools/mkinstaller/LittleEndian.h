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

inline bool Fits(TByteView bytes, std::uint64_t at, std::uint64_t count) {
  return at <= bytes.size() && count <= bytes.size() - at;
}

inline std::uint16_t Get16(TByteView bytes, std::uint64_t at, const char* what) {
  if (!Fits(bytes, at, 2))
    throw EPeError(what);
  return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

inline std::uint32_t Get32(TByteView bytes, std::uint64_t at, const char* what) {
  if (!Fits(bytes, at, 4))
    throw EPeError(what);
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

inline void Put16(std::vector<std::uint8_t>& bytes, std::uint64_t at, std::uint64_t value) {
  for (int i = 0; i < 2; ++i)
    bytes.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void Put32(std::vector<std::uint8_t>& bytes, std::uint64_t at, std::uint64_t value) {
  for (int i = 0; i < 4; ++i)
    bytes.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

inline std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

}  // namespace mkinstaller
