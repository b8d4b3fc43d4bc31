// Windows icon files (.ico) and the icon-group resources made from them.
#pragma once

#include <cstdint>
#include <vector>

#include "PeImage.h"

namespace mkinstaller {

// One image of an icon file, as its directory entry describes it.
struct IconImage {
    std::uint8_t width = 0, height = 0;  // 0 means 256
    std::uint8_t colourCount = 0;
    std::uint16_t planes = 0, bitCount = 0;
    std::vector<std::uint8_t> data;  // the image's bytes (DIB or PNG)
};

// Throws PeError naming what is wrong with the file ("not an icon file", ...).
std::vector<IconImage> ParseIconFile(const std::vector<std::uint8_t>& file);
// An icon file holding exactly these images.
std::vector<std::uint8_t> MakeIconFile(const std::vector<IconImage>& images);
// Replaces the icon group `group` (and drops every RT_ICON image it used,
// and no other: an image another group also lists stays) with `images`,
// numbered from the lowest free RT_ICON id and stored in the group's
// language. PeError if the image has no such group or its directory is
// malformed, or for no images or more than 65535.
void ReplaceIconGroup(PeImage& image, const ResourceId& group, const std::vector<IconImage>& images);

}  // namespace mkinstaller
