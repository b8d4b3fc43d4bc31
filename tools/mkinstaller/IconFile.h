// Windows icon files (.ico) and the icon-group resources made from them.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "PeImage.h"

namespace mkinstaller {

// One image of an icon file, as its directory entry describes it.
struct TIconImage {
  std::uint8_t Width = 0, Height = 0;  // 0 means 256
  std::uint8_t ColourCount = 0;
  std::uint16_t Planes = 0, BitCount = 0;
  std::vector<std::uint8_t> Data;  // the image's bytes (DIB or PNG)
};

// One entry of an icon group's directory: an image the group lists.
struct TGroupEntry {
  std::uint8_t Width = 0, Height = 0;  // 0 means 256
  std::uint16_t Id = 0;                // of the RT_ICON resource
};
// The entries of icon group `Group`, or nothing if its directory is malformed.
std::optional<std::vector<TGroupEntry>> GroupEntries(const TResource& Group);

// Throws EPeError naming what is wrong with the file ("not an icon file", ...).
std::vector<TIconImage> ParseIconFile(const std::vector<std::uint8_t>& File);
// An icon file holding exactly these images.
std::vector<std::uint8_t> MakeIconFile(const std::vector<TIconImage>& Images);
// Replaces the icon group `Group` (and drops every RT_ICON image it used,
// and no other: an image another group also lists stays) with `Images`,
// numbered from the lowest free RT_ICON id and stored in the group's
// language. EPeError if the image has no such group or its directory is
// malformed, or for no images or more than 65535.
void ReplaceIconGroup(TPeImage& Image, const TResourceId& Group, const std::vector<TIconImage>& Images);

}  // namespace mkinstaller
