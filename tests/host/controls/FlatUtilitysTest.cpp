#include "FlatUtilitys.h"

#include <gtest/gtest.h>

#include <climits>

#include "HSLUtils.h"

namespace {

struct Hsl {
  std::int32_t H, S, L;
  bool operator==(const Hsl&) const = default;
};

Hsl Scaled(TColor C) {
  Hsl R{};
  ColorToScaledHsl(C, R.H, R.S, R.L);
  return R;
}

void PrintTo(const Hsl& V, std::ostream* Os) { *Os << "(" << V.H << ", " << V.S << ", " << V.L << ")"; }

TEST(HslUtils, ScaledValuesOfKnownColours) {
  EXPECT_EQ(Scaled(RGBColor(0, 0, 0)), (Hsl{0, 0, 0}));
  EXPECT_EQ(Scaled(RGBColor(255, 255, 255)), (Hsl{0, 0, 240}));
  EXPECT_EQ(Scaled(RGBColor(255, 0, 0)), (Hsl{0, 240, 120}));
  EXPECT_EQ(Scaled(RGBColor(0, 255, 0)), (Hsl{80, 240, 120}));
  EXPECT_EQ(Scaled(RGBColor(0, 0, 255)), (Hsl{159, 240, 120}));
  EXPECT_EQ(Scaled(RGBColor(192, 192, 192)), (Hsl{0, 0, 181}));
  // Green is the maximum and blue and red differ: h = (2 + (30 - 1) / 239) / 6, so
  // H = 84.5, an exact half, to the even 84. Lightness 241/510 is below one half,
  // so S = 240 * 239 / (240 + 1) = 238.008, not 240 * 239 / (510 - 241) = 213.2.
  EXPECT_EQ(Scaled(RGBColor(1, 240, 30)), (Hsl{84, 238, 113}));
}

TEST(HslUtils, RoundTripsThatAreNotExactBecauseHueIsScaledBy239) {
  auto Back = [](TColor C) {
    auto V = Scaled(C);
    return ScaledHslToColor(V.H, V.S, V.L);
  };
  EXPECT_EQ(Back(RGBColor(0, 255, 0)), RGBColor(0, 255, 2));
  EXPECT_EQ(Back(RGBColor(0, 0, 255)), RGBColor(0, 2, 255));
  EXPECT_EQ(Back(RGBColor(255, 0, 0)), RGBColor(255, 0, 0));
  EXPECT_EQ(Back(RGBColor(192, 192, 192)), RGBColor(192, 192, 192));
  // Lightness below one half: m2 = l * (1 + s) = 0.9377, m1 = 0.0039.
  EXPECT_EQ(Back(RGBColor(1, 240, 30)), RGBColor(1, 239, 27));
}

TEST(HslUtils, FractionsFollowTheHueBranches) {
  double H, S, L;
  ColorToHslFractions(RGBColor(255, 0, 255), H, S, L);  // red is max, g - b < 0: wraps
  EXPECT_DOUBLE_EQ(H, 5.0 / 6);
  EXPECT_DOUBLE_EQ(S, 1.0);
  EXPECT_DOUBLE_EQ(L, 0.5);
  ColorToHslFractions(RGBColor(64, 128, 192), H, S, L);  // blue is max
  EXPECT_DOUBLE_EQ(H, (4 + (64 - 128) / 128.0) / 6);
  EXPECT_DOUBLE_EQ(L, 256 / 510.0);
  EXPECT_EQ(HslFractionsToColor(0, 0, 0.5), RGBColor(128, 128, 128));  // 127.5 rounds to even
  EXPECT_EQ(HslFractionsToColor(2.0 / 3, 1, 0.5), RGBColor(0, 0, 255));
  // A hue above two thirds: red's x = h + 1/3 lies above 1 and is taken down by
  // one to 122/717, where the channel is m2; blue's x = 361/717 gives
  // (2/3 - x) * 6 * 255 = 249.7.
  EXPECT_EQ(ScaledHslToColor(200, 240, 120), RGBColor(255, 0, 250));
  // Exact halves go to the even neighbour: 8 * 255 / 240 = 8.5 and 40 * 255 / 240 = 42.5.
  EXPECT_EQ(ScaledHslToColor(0, 0, 8), RGBColor(8, 8, 8));
  EXPECT_EQ(DeriveAdvColor(clBlack, clRed, 30, false), RGBColor(42, 42, 42));  // L = 0 + 10 + 30
}

TEST(HslUtils, RangeErrors) {
  double H, S, L;
  std::int32_t Hi, Si, Li;
  EXPECT_THROW(ColorToHslFractions(clBtnFace, H, S, L), ERangeError);
  EXPECT_THROW(ColorToScaledHsl(-1, Hi, Si, Li), ERangeError);
  try {
    HslFractionsToColor(0, 0, 1.5);  // a channel of 383
    FAIL();
  } catch (const ERangeError& E) {
    EXPECT_STREQ(E.what(), "Range check error");
  }
  EXPECT_THROW(HslFractionsToColor(0, 0, -0.1), ERangeError);
  EXPECT_NO_THROW(ScaledHslToColor(239, 240, 240));
}

TEST(DeriveAdvColor, FromSilverAndBlackAndWithZeroPercent) {
  const TColor Silver = RGBColor(192, 192, 192);
  EXPECT_EQ(DeriveAdvColor(Silver, clRed, 10, false), RGBColor(106, 106, 106));  // capped at 100
  EXPECT_EQ(DeriveAdvColor(Silver, clRed, 10, true), Silver);                    // +10 and -10 cancel
  EXPECT_EQ(DeriveAdvColor(Silver, clRed, 50, true), RGBColor(150, 150, 150));
  EXPECT_EQ(DeriveAdvColor(clBlack, clRed, 10, false), RGBColor(21, 21, 21));
  EXPECT_EQ(DeriveAdvColor(clBlack, clRed, 10, true), clBlack);
  EXPECT_EQ(DeriveAdvColor(clBlack, clRed, 100, true), clBlack);  // clamped at 0
  for (TColor Parent : {clBlack, clWhite, Silver, clBtnFace})
    EXPECT_EQ(DeriveAdvColor(Parent, 0x123456, 0, true), 0x123456);
  // System colours are resolved first instead of failing.
  EXPECT_NO_THROW(DeriveAdvColor(clBtnFace, clRed, 30, false));
}

TEST(AdvColors, PercentagesOutsideTheirRangeAreRangeErrors) {
  EXPECT_THROW(TAdvColors(101), ERangeError);
  EXPECT_THROW(TAdvColors(-1), ERangeError);
  EXPECT_EQ(static_cast<int>(TAdvColors(100)), 100);
  EXPECT_THROW(TNumGlyphs(0), ERangeError);
  EXPECT_THROW(TNumGlyphs(5), ERangeError);
  EXPECT_EQ(static_cast<int>(TNumGlyphs()), 1);
}

TEST(CheckedArithmetic, OverflowIsAnError) {
  EXPECT_EQ(CheckedAdd(INT_MAX - 1, 1), INT_MAX);
  try {
    CheckedAdd(INT_MAX, 1);
    FAIL();
  } catch (const EIntOverflow& E) {
    EXPECT_STREQ(E.what(), "Integer overflow");
  }
  EXPECT_THROW(CheckedSub(INT_MIN, 1), EIntOverflow);
  EXPECT_THROW(CheckedMul(65536, 65536), EIntOverflow);
  EXPECT_THROW(CheckedDiv(INT_MIN, -1), EIntOverflow);
  EXPECT_EQ(CheckedDiv(-7, 2), -3);  // truncates toward zero
  EXPECT_THROW(RangeChecked<std::uint8_t>(256), ERangeError);
  EXPECT_EQ(RangeChecked<std::uint8_t>(255), 255);
  // The low ends, and the operands that only look dangerous.
  EXPECT_THROW(CheckedAdd(INT_MIN, -1), EIntOverflow);
  EXPECT_EQ(CheckedAdd(INT_MIN + 1, -1), INT_MIN);
  EXPECT_EQ(CheckedDiv(INT_MIN, 2), -1073741824);
  EXPECT_EQ(CheckedDiv(INT_MIN, 1), INT_MIN);
  EXPECT_EQ(CheckedDiv(5, -1), -5);
  EXPECT_EQ(CheckedDiv(INT_MAX, -1), -INT_MAX);
  EXPECT_EQ(RangeChecked<std::uint8_t>(0), 0);
  EXPECT_THROW(RangeChecked<std::uint8_t>(-1), ERangeError);
  EXPECT_EQ(static_cast<int>(TCheckedInt32(INT_MAX)), INT_MAX);
  EXPECT_EQ(static_cast<int>(TCheckedInt32(INT_MIN)), INT_MIN);
  EXPECT_THROW(TCheckedInt32(std::int64_t{INT_MAX} + 1), ERangeError);
  EXPECT_THROW(TCheckedInt32(std::int64_t{INT_MIN} - 1), ERangeError);
}

TEST(CheckedArithmetic, ClampedSumsHoldAtBothEndsOfTheIntRange) {
  EXPECT_EQ(ClampedSum(INT_MIN, -1), INT_MIN);
  EXPECT_EQ(ClampedSum(INT_MIN + 1, -1), INT_MIN);
  EXPECT_EQ(ClampedSum(INT_MIN + 1, -2), INT_MIN);
  EXPECT_EQ(ClampedSum(INT_MIN, INT_MIN), INT_MIN);
  EXPECT_EQ(ClampedSum(INT_MIN + 2, -1), INT_MIN + 1);
  EXPECT_EQ(ClampedSum(INT_MAX, 1), INT_MAX);
  EXPECT_EQ(ClampedSum(INT_MAX - 1, 1), INT_MAX);
  EXPECT_EQ(ClampedSum(INT_MAX - 2, 1), INT_MAX - 1);
  EXPECT_EQ(ClampedSum(-5, 3), -2);
}

struct TLayoutOut {
  TPoint Glyph;
  TRect Caption;
};

TLayoutOut Layout(TButtonLayout L, int Spacing, int Margin, TPoint Glyph, TPoint Text, TRect Client = {0, 0, 73, 25},
                  TPoint Offset = {}) {
  TLayoutOut Out;
  LayoutGlyphAndCaption(Client, Offset, L, Spacing, Margin, Glyph, Text, Out.Glyph, Out.Caption);
  return Out;
}

TEST(LayoutGlyphAndCaption, CaptionAloneIsCentred) {
  // No glyph, glyph on top, margin -1, spacing 4, caption 37 x 13 in 73 x 25.
  auto R = Layout(blGlyphTop, 4, -1, {0, 0}, {37, 13});
  EXPECT_EQ(R.Caption, (TRect{18, 6, 55, 19}));  // x (73-37+1) div 2, y (25-13+1) div 2 (spacing 0)
  EXPECT_EQ(R.Glyph, (TPoint{37, 6}));
  // Offset (1, 1) of a pressed button moves both.
  auto P = Layout(blGlyphTop, 4, -1, {0, 0}, {37, 13}, {0, 0, 73, 25}, {1, 1});
  EXPECT_EQ(P.Caption, (TRect{19, 7, 56, 20}));
}

TEST(LayoutGlyphAndCaption, EmptyCaptionIsAnEmptyRectAtTheTextPosition) {
  auto R = Layout(blGlyphLeft, 4, -1, {16, 16}, {0, 0});
  // Spacing becomes 0: margin = (73 - (16 + 0 + 0) + 1) div 2 = 29.
  EXPECT_EQ(R.Glyph, (TPoint{29, 5}));
  EXPECT_EQ(R.Caption, (TRect{45, 13, 45, 13}));
}

TEST(LayoutGlyphAndCaption, EachLayoutWithGlyphAndCaption) {
  const TPoint G{16, 16}, T{30, 13};
  struct Case {
    TButtonLayout Layout;
    int Spacing, Margin;
    TPoint Glyph;
    TRect Caption;
  } const Cases[] = {
      // Both automatic: margin = spacing = (73 - 46) div 3 = 9.
      {blGlyphLeft, -1, -1, {9, 5}, {34, 6, 64, 19}},
      {blGlyphRight, -1, -1, {48, 5}, {9, 6, 39, 19}},
      // Spacing 4, margin centred: (73 - 50 + 1) div 2 = 12.
      {blGlyphLeft, 4, -1, {12, 5}, {32, 6, 62, 19}},
      // Margin 2, spacing centred: (73 - 18 - 30) div 2 = 12.
      {blGlyphLeft, -1, 2, {2, 5}, {30, 6, 60, 19}},
      {blGlyphRight, 3, 2, {55, 5}, {22, 6, 52, 19}},
  };
  for (auto C : Cases) {
    auto R = Layout(C.Layout, C.Spacing, C.Margin, G, T);
    EXPECT_EQ(R.Glyph, C.Glyph) << int(C.Layout) << " " << C.Spacing << " " << C.Margin;
    EXPECT_EQ(R.Caption, C.Caption) << int(C.Layout) << " " << C.Spacing << " " << C.Margin;
  }
  auto Top = Layout(blGlyphTop, -1, -1, G, T, {0, 0, 73, 60});
  EXPECT_EQ(Top.Glyph, (TPoint{29, 10}));
  EXPECT_EQ(Top.Caption, (TRect{22, 36, 52, 49}));
  auto Bottom = Layout(blGlyphBottom, 2, 5, G, T, {0, 0, 73, 60});
  EXPECT_EQ(Bottom.Glyph, (TPoint{29, 39}));
  EXPECT_EQ(Bottom.Caption, (TRect{22, 24, 52, 37}));
  // A client not at the origin and an offset move everything by their sum,
  // each axis by its own: (10 + 1, 20 + 2).
  auto Moved = Layout(blGlyphLeft, -1, -1, G, T, {10, 20, 83, 45}, {1, 2});
  EXPECT_EQ(Moved.Glyph, (TPoint{9 + 11, 5 + 22}));
  EXPECT_EQ(Moved.Caption, (TRect{34 + 11, 6 + 22, 64 + 11, 19 + 22}));
  auto MovedTop = Layout(blGlyphTop, -1, -1, G, T, {10, 20, 83, 80}, {1, 2});
  EXPECT_EQ(MovedTop.Glyph, (TPoint{29 + 11, 10 + 22}));
  EXPECT_EQ(MovedTop.Caption, (TRect{22 + 11, 36 + 22, 52 + 11, 49 + 22}));
}

TEST(LayoutGlyphAndCaption, ContentLargerThanTheClientIsNotClamped) {
  auto R = Layout(blGlyphLeft, -1, -1, {64, 16}, {40, 13});
  EXPECT_EQ(R.Glyph.X, (73 - 104) / 3);  // -10: a negative margin
  EXPECT_LT(R.Glyph.X, 0);
}

}  // namespace
