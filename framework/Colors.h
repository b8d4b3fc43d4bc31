// The framework's colour: 0x00BBGGRR for RGB values, 0x80000000 + index for
// the system colours, which ColorToRGB resolves.
#pragma once

#include <cstdint>

using TColor = std::int32_t;

inline constexpr TColor SystemColor(int Index) {
  return static_cast<TColor>(0x80000000u | static_cast<unsigned>(Index));
}
inline constexpr TColor RGBColor(int R, int G, int B) { return R | G << 8 | B << 16; }
inline constexpr int RedOf(TColor C) { return C & 0xFF; }
inline constexpr int GreenOf(TColor C) { return (C >> 8) & 0xFF; }
inline constexpr int BlueOf(TColor C) { return (C >> 16) & 0xFF; }

inline constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
                        clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
                        clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                        clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF;
inline constexpr TColor clNone = 0x1FFFFFFF;
// System colour indices as the platform numbers them.
inline constexpr TColor clScrollBar = SystemColor(0), clBackground = SystemColor(1), clWindow = SystemColor(5),
                        clWindowText = SystemColor(8), clBtnFace = SystemColor(15), clBtnShadow = SystemColor(16),
                        clGrayText = SystemColor(17), clBtnText = SystemColor(18), clBtnHighlight = SystemColor(20),
                        clHighlight = SystemColor(13), clHighlightText = SystemColor(14),
                        cl3DDkShadow = SystemColor(21), cl3DLight = SystemColor(22), clInfoBk = SystemColor(24);

// The RGB value of a colour; system colours are looked up now (on the host,
// the platform's default scheme).
std::uint32_t ColorToRGB(TColor Color);
