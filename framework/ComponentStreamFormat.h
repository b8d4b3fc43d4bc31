// What the stream's reader and writer both know of its bytes. Not for callers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ComponentStream.h"

namespace ComponentStreamFormat {

inline constexpr char Signature[4] = {'T', 'P', 'F', '0'};
// An object's prefix byte: these high bits, with TFilerFlag bits below.
inline constexpr std::uint8_t PrefixMask = 0xF0;
inline constexpr std::uint8_t KnownFlags = ffInherited | ffChildPos | ffInline;

// The graphic classes a picture value may hold.
inline constexpr std::string_view JpegClass = "TJPEGImage";
inline constexpr std::string_view IconClass = "TIcon";

inline std::string Hex2(unsigned Value) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  return {'0', 'x', Digits[Value >> 4 & 0xF], Digits[Value & 0xF]};
}

}  // namespace ComponentStreamFormat
