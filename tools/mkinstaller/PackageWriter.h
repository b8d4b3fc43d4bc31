// Builds installer packages:
//   host program | zero padding | payload | payload length (4 bytes, little-endian)
// The padding (0-7 bytes) makes the package a multiple of 8 bytes long, so a code
// signer appends its certificate table right behind the length, where the installer
// looks for it. The host may first be branded with a distributor's artwork.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mkinstaller {

// The installer reads the length back as a signed 32-bit integer.
inline constexpr std::uint64_t MaxPayloadSize = 0x7FFFFFFF;

// Largest file taken for branding.
inline constexpr std::uint64_t MaxBrandFileSize = 64 * 1024 * 1024;

// Largest host, read whole to be checked: the largest program image, so that
// a host branded here before, whatever artwork it carries, is taken again.
inline constexpr std::uint64_t MaxHostSize = 0xFFFFFFFF;

// Empty if a payload of `Size` bytes may be packaged under `Limit`, else why not (naming `Payload`).
std::string CheckPayloadSize(const std::string& Payload, std::uint64_t Size, std::uint64_t Limit = MaxPayloadSize);

// Files of the distributor's for the host's artwork (see Branding.h); an
// empty path keeps the host's own. ButtonLabel, in UTF-8, names the Install
// button for screen readers when given.
struct TBranding {
  std::string Background, Button, Hover, Icon, Skin;
  std::string Background2x, Button2x, Hover2x;
  std::optional<std::string> ButtonLabel;
  // PO files of the distributor's own texts, one per language.
  std::vector<std::string> Texts;
};

// Writes the package to `Output` atomically (temporary file + rename, mode 0755 on POSIX).
// Returns an empty string on success, else a one-line message naming the offending file;
// every input is checked before anything is written, and a failed call leaves no
// temporary file and any existing `Output` untouched.
// `PayloadLimit` exists so tests can exercise the size refusal without huge files.
std::string MakePackage(const std::string& Host, const std::string& Payload, const std::string& Output,
                        const TBranding& Branding = {}, std::uint64_t PayloadLimit = MaxPayloadSize);

}  // namespace mkinstaller
