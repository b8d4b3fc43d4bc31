// Types shared by the flat controls and the routines that draw the flat
// button's face. Range- and overflow-checked (see Checked.h).
#pragma once

#include <cstdint>
#include <string>

#include "Checked.h"
#include "Colors.h"

enum TTransparentMode : std::uint8_t { tmAlways = 0, tmNotFocused = 1, tmNone = 2 };
using TNumGlyphs = TSubrange<1, 4>;
using TAdvColors = TSubrange<0, 100>;
enum TProgressBarOrientation : std::uint8_t { pbHorizontal = 0, pbVertical = 1 };
enum TButtonLayout : std::uint8_t { blGlyphLeft = 0, blGlyphRight = 1, blGlyphTop = 2, blGlyphBottom = 3 };

struct TPoint {
  std::int32_t X = 0, Y = 0;
  bool operator==(const TPoint&) const = default;
};
struct TRect {
  std::int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool operator==(const TRect&) const = default;
};

// A colour lighter or darker than ParentColor by Percent points of lightness
// (after adding 10; lighter ones capped at 100 of 240); OwnColor when Percent is 0.
TColor DeriveAdvColor(TColor ParentColor, TColor OwnColor, TAdvColors Percent, bool Darker);

// Where glyph and caption go in Client: GlyphSize and TextSize are measured
// by the caller (0 x 0 for none). Sets GlyphOrigin and CaptionRect.
void LayoutGlyphAndCaption(const TRect& Client, TPoint Offset, TButtonLayout Layout, std::int32_t Spacing,
                           std::int32_t Margin, TPoint GlyphSize, TPoint TextSize, TPoint& GlyphOrigin,
                           TRect& CaptionRect);

#ifdef _WIN32
#include "Controls.h"
#include "Pictures.h"

// A bevel Width rings deep: TopColor on the left and top, BottomColor on the
// right and bottom (corners included). Rect is not changed.
void DrawBevelFrame(TCanvas& Canvas, RECT Rect, TColor TopColor, TColor BottomColor, int Width);

// Paints Control's parent (background and windowless children) into Canvas
// as it lies under the control.
void PaintParentBackground(TControl& Control, TCanvas& Canvas);

// A new bitmap (the caller's) of Source's size: Source's pixels of MaskColor
// as a ShadowColor shape, with a HighlightColor edge one pixel down and right
// when WithHighlight; everything else BackColor.
TBitmap* MakeEmbossedGlyph(TBitmap& Source, TColor MaskColor, TColor BackColor, TColor HighlightColor,
                           TColor ShadowColor, bool WithHighlight);

// Measures Caption with Canvas's font (one line) and Glyph's frame, then lays
// them out as above.
void LayoutGlyphAndCaption(TCanvas& Canvas, const RECT& Client, POINT Offset, TButtonLayout Layout, int Spacing,
                           int Margin, TBitmap* Glyph, TNumGlyphs NumGlyphs, const std::string& Caption,
                           POINT& GlyphOrigin, RECT& CaptionRect);
#endif
