// Branding: a distributor's pictures, icon and skin in place of the host
// program's own. Only the installer window's pictures (and their double-size
// versions for dense screens), the application icon and the skin resource
// change; the host must be an unpackaged, unsigned InstallerWin program
// (branded before or not, whatever its artwork's size).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mkinstaller {

// Sizes the installer window is laid out for.
inline constexpr int BackgroundWidth = 450, BackgroundHeight = 304;
inline constexpr int ButtonWidth = 28, ButtonHeight = 9;
inline constexpr int IconSize = 32;
// The longest name of the Install button, in characters.
inline constexpr std::size_t MaxButtonLabel = 100;

// One file of the distributor's: `Name` says which ("background 'bg.jpg'"),
// for messages; `Data` empty with `Given` false keeps the host's.
struct TBrandFile {
  bool Given = false;
  std::string Name;
  std::vector<std::uint8_t> Data;
};

// The double-size pictures (Background2x, ...) are exactly twice the size of
// the single-size ones, each an option of its own.
struct TBrandFiles {
  TBrandFile Background, Button, Hover, Icon, Skin;
  TBrandFile Background2x, Button2x, Hover2x;
  // The Install button's hint, which screen readers read as its name (UTF-8).
  std::optional<std::string> ButtonLabel;
  // The distributor's texts: PO files, one per language.
  std::vector<TBrandFile> Texts;
  bool Any() const {
    return Background.Given || Button.Given || Hover.Given || Icon.Given || Skin.Given || Background2x.Given ||
           Button2x.Given || Hover2x.Given || ButtonLabel || !Texts.empty();
  }
};

class TPeImage;

// The image of `Host` when it is an InstallerWin program as built: an x86-64
// program (not a DLL) carrying the installer's version information, window
// description and skin, with no payload and no signature of its own. Throws
// EFailure naming the host otherwise.
TPeImage CheckHost(std::vector<std::uint8_t> Host, const std::string& HostName);

// Throws EFailure (naming the file) unless `File` holds a JPEG of exactly
// `Width` x `Height` that the installer's own decoder draws cleanly: 8-bit,
// baseline or progressive (Huffman coded), grey or colour.
void CheckPicture(const TBrandFile& File, int Width, int Height);

// Throws EFailure unless `Label` is UTF-8 text of 1 to MaxButtonLabel
// characters that TextProblem takes and some Windows can show: every
// character spelt in one ANSI code page of the languages. Returns the label
// in UTF-16, so that it is decoded once.
std::u16string CheckButtonLabel(const std::string& Label);

// The host image with the files given in place of the host's own; throws
// EFailure naming the file that is not acceptable, the host included. A
// single-size picture given without its double drops the host's double, so
// that dense screens do not show the host's art instead of the distributor's.
std::vector<std::uint8_t> BrandHost(std::vector<std::uint8_t> Host, const std::string& HostName,
                                    const TBrandFiles& Files);

}  // namespace mkinstaller
