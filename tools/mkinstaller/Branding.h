// Branding: a distributor's pictures, icon and skin in place of the host
// program's own. Only the installer window's pictures, the application icon
// and the skin resource change; the host must be an unpackaged, unsigned
// InstallerWin program (branded before or not).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mkinstaller {

// Sizes the installer window is laid out for.
inline constexpr int kBackgroundWidth = 450, kBackgroundHeight = 304;
inline constexpr int kButtonWidth = 28, kButtonHeight = 9;
inline constexpr int kIconSize = 32;

// One file of the distributor's: `name` says which ("background 'bg.jpg'"),
// for messages; `data` empty with `given` false keeps the host's.
struct BrandFile {
    bool given = false;
    std::string name;
    std::vector<std::uint8_t> data;
};

struct BrandFiles {
    BrandFile background, button, hover, icon, skin;
    bool Any() const { return background.given || button.given || hover.given || icon.given || skin.given; }
};

// Throws Failure (naming the file) unless `jpeg` is a JPEG of exactly
// width x height that the installer's own decoder draws cleanly: 8-bit,
// baseline or progressive (Huffman coded), grey or colour.
void CheckPicture(const BrandFile& file, int width, int height);

// The host image with the files given in place of the host's own; throws
// Failure naming the file that is not acceptable, the host included.
std::vector<std::uint8_t> BrandHost(std::vector<std::uint8_t> host, const std::string& hostName,
                                    const BrandFiles& files);

}  // namespace mkinstaller
