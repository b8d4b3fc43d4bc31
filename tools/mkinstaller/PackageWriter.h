// Builds installer packages: host program | payload | payload length (4 bytes, little-endian).
#pragma once

#include <cstdint>
#include <string>

namespace mkinstaller {

// The installer reads the length back as a signed 32-bit integer.
inline constexpr std::uint64_t kMaxPayloadSize = 0x7FFFFFFF;

// Empty if a payload of `size` bytes may be packaged under `limit`, else why not (naming `payload`).
std::string CheckPayloadSize(const std::string& payload, std::uint64_t size,
                             std::uint64_t limit = kMaxPayloadSize);

// Writes the package to `output` atomically (temporary file + rename, mode 0755).
// Returns an empty string on success, else a one-line message naming the offending file;
// a failed call leaves no temporary file and any existing `output` untouched.
// `payloadLimit` exists so tests can exercise the size refusal without huge files.
std::string MakePackage(const std::string& host, const std::string& payload, const std::string& output,
                        std::uint64_t payloadLimit = kMaxPayloadSize);

}  // namespace mkinstaller
