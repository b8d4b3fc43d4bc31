// The flat button's looks as they reach the screen, its properties, the
// shared hover timer and its window-description class.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <set>
#include <tuple>
#include <utility>

#include "ComponentText.h"
#include "FlatButtonTestSupport.h"
#include "FlatUtilitys.h"
#include "FormReader.h"
#include "StdCtrls.h"
#include "TFlatButtonUnit.h"

using namespace FlatTest;

namespace {

const COLORREF Teal = RGB(0, 128, 128);

std::unique_ptr<TBitmap> SolidBitmap(int Width, int Height, TColor Color) {
  auto Bitmap = std::make_unique<TBitmap>();
  Bitmap->SetSize(Width, Height);
  Bitmap->Canvas().Brush().SetColor(Color);
  Bitmap->Canvas().FillRect(RECT{0, 0, Width, Height});
  return Bitmap;
}

// ---------------------------------------------------------------- bevel frame

TEST(FlatButtonDrawing, BevelFrameFollowsThePixelRule) {
  auto Bitmap = SolidBitmap(6, 5, clLime);
  RECT Rect{0, 0, 4, 3};
  DrawBevelFrame(Bitmap->Canvas(), Rect, clRed, clBlue, 1);
  EXPECT_EQ(Rect.right, 4);
  const std::set<std::pair<int, int>> Top{{0, 0}, {1, 0}, {2, 0}, {0, 1}};
  const std::set<std::pair<int, int>> Bottom{{3, 0}, {3, 1}, {3, 2}, {0, 2}, {1, 2}, {2, 2}};
  for (int Y = 0; Y < 5; ++Y)
    for (int X = 0; X < 6; ++X) {
      const COLORREF Want = Top.count({X, Y}) ? RGB(255, 0, 0) : Bottom.count({X, Y}) ? RGB(0, 0, 255) : RGB(0, 255, 0);
      EXPECT_EQ(Bitmap->Canvas().Pixel(X, Y), static_cast<TColor>(Want)) << "at " << X << "," << Y;
    }
}

TEST(FlatButtonDrawing, BevelFrameTwoRingsDeepAndNoneForWidthZero) {
  auto Bitmap = SolidBitmap(6, 6, clLime);
  DrawBevelFrame(Bitmap->Canvas(), RECT{0, 0, 6, 6}, clRed, clBlue, 0);
  EXPECT_EQ(Bitmap->Canvas().Pixel(0, 0), clLime);
  DrawBevelFrame(Bitmap->Canvas(), RECT{0, 0, 6, 6}, clRed, clBlue, 2);
  EXPECT_EQ(Bitmap->Canvas().Pixel(1, 1), clRed);
  EXPECT_EQ(Bitmap->Canvas().Pixel(4, 1), clBlue);
  EXPECT_EQ(Bitmap->Canvas().Pixel(1, 4), clBlue);
  EXPECT_EQ(Bitmap->Canvas().Pixel(2, 2), clLime);
}

// ---------------------------------------------------------------- embossed glyph

// A white 12 x 12 glyph with a black 4 x 4 square at (3, 3), in colour or one
// bit deep, embossed with the mask colour black: the square becomes the blue
// shadow with a red edge one pixel down and right, everything else lime.
TEST(FlatButtonDrawing, EmbossedGlyphOfAColourOrOneBitSource) {
  for (bool OneBit : {false, true}) {
    SCOPED_TRACE(OneBit ? "one bit" : "colour");
    auto Glyph = SolidBitmap(12, 12, clWhite);
    Glyph->Canvas().Brush().SetColor(clBlack);
    Glyph->Canvas().FillRect(RECT{3, 3, 7, 7});
    Glyph->SetMonochrome(OneBit);
    ASSERT_EQ(Glyph->Canvas().Pixel(3, 3), clBlack);
    ASSERT_EQ(Glyph->Canvas().Pixel(0, 0), clWhite);
    std::unique_ptr<TBitmap> Embossed(MakeEmbossedGlyph(*Glyph, clBlack, clLime, clRed, clBlue, true));
    ASSERT_EQ(Embossed->Width(), 12);
    ASSERT_EQ(Embossed->Height(), 12);
    for (int Y = 0; Y < 12; ++Y)
      for (int X = 0; X < 12; ++X) {
        const bool Shape = X >= 3 && X < 7 && Y >= 3 && Y < 7;
        const bool Edge = X >= 4 && X < 8 && Y >= 4 && Y < 8;
        const TColor Want = Shape ? clBlue : Edge ? clRed : clLime;
        EXPECT_EQ(Embossed->Canvas().Pixel(X, Y), Want) << "at " << X << "," << Y;
      }
  }
}

// Painting the parent under a control at the far left moves the origin by
// more than the int range holds: the checked unit says so.
TEST(FlatButtonDrawing, ParentBackgroundBeyondTheIntRangeIsAnOverflowError) {
  TForm Form(nullptr);
  TFlatButton Button(nullptr);
  Button.SetParent(&Form);
  Button.SetLeft(INT_MIN);
  auto Bitmap = SolidBitmap(25, 25, clLime);
  try {
    PaintParentBackground(Button, Bitmap->Canvas());
    ADD_FAILURE() << "painted";
  } catch (const EIntOverflow& E) {
    EXPECT_STREQ(E.what(), "Integer overflow");
  }
  Button.SetParent(nullptr);
}

// ---------------------------------------------------------------- looks

using FlatButtonLook = FlatButtonFixture;

TEST_F(FlatButtonLook, NewButtonIs25By25NotATabStopWithAOnePixelBorderAroundTheParentsColour) {
  auto* Button = AddButton(10, 10);
  ShowInFront();
  EXPECT_EQ(Button->Width(), 25);
  EXPECT_EQ(Button->Height(), 25);
  EXPECT_FALSE(Button->TabStop());
  EXPECT_FALSE(GetWindowLongA(Button->Handle(), GWL_STYLE) & WS_TABSTOP);
  EXPECT_EQ(Button->Caption(), "");
  EXPECT_TRUE(Button->Glyph()->Empty());
  EXPECT_EQ(Button->NumGlyphs(), 1);
  EXPECT_EQ(Button->ControlStyle(), unsigned(csCaptureMouse | csOpaque | csDoubleClicks));
  const COLORREF Face = RGBOf(Form->Color());
  EXPECT_TRUE(Shows(Button, LookRules(Button, BorderRGB, BorderRGB, Face)));
  EXPECT_TRUE(Shows(Button, {{1, 0, BorderRGB}, {24, 12, BorderRGB}, {12, 24, BorderRGB}, {23, 23, Face}}));
  // The face follows the parent's colour.
  Form->SetColor(static_cast<TColor>(Teal));
  EXPECT_EQ(Button->Color(), static_cast<TColor>(Teal));
  EXPECT_TRUE(Shows(Button, LookRules(Button, BorderRGB, BorderRGB, Teal)));
}

TEST_F(FlatButtonLook, InitialValues) {
  auto* Button = AddButton(0, 0);
  EXPECT_EQ(Button->TransparentMode(), tmNone);
  EXPECT_FALSE(Button->Default());
  EXPECT_FALSE(Button->AllowAllUp());
  EXPECT_EQ(Button->ColorFocused(), 0xE1EAEB);
  EXPECT_EQ(Button->ColorDown(), 0xC5D6D9);
  EXPECT_EQ(Button->ColorBorder(), 0x8396A0);
  EXPECT_EQ(Button->ColorHighLight(), 0xFFFFFF);
  EXPECT_EQ(Button->ColorShadow(), 0x000000);
  EXPECT_EQ(Button->AdvColorFocused(), 10);
  EXPECT_EQ(Button->AdvColorDown(), 10);
  EXPECT_EQ(Button->AdvColorBorder(), 50);
  EXPECT_FALSE(Button->UseAdvColors());
  EXPECT_EQ(Button->GroupIndex(), 0);
  EXPECT_FALSE(Button->Down());
  EXPECT_EQ(Button->Layout(), blGlyphTop);
  EXPECT_EQ(Button->Margin(), -1);
  EXPECT_EQ(Button->Spacing(), 4);
  EXPECT_EQ(Button->ModalResult(), 0);
  EXPECT_TRUE(Button->ParentColor());
  EXPECT_TRUE(Button->ParentFont());
  EXPECT_EQ(Button->VisualState(), fbsUp);
  EXPECT_EQ(Button->Color(), Form->Color());
}

TEST_F(FlatButtonLook, DefaultButtonHasATwoPixelBorderAndTellsTheForm) {
  auto* Button = AddButton(10, 10);
  ShowInFront();
  const COLORREF Face = RGBOf(Form->Color());
  ASSERT_TRUE(Shows(Button, LookRules(Button, BorderRGB, BorderRGB, Face)));
  const int Before = Form->FocusChanged;
  Button->SetDefault(true);
  EXPECT_EQ(Form->FocusChanged, Before + 1);
  EXPECT_EQ(Form->LastFocusParam, reinterpret_cast<LPARAM>(Form->ActiveControl()));
  EXPECT_TRUE(Shows(Button, LookRules(Button, BorderRGB, BorderRGB, Face, 2)));
  Button->SetDefault(false);
  EXPECT_TRUE(Shows(Button, LookRules(Button, BorderRGB, BorderRGB, Face, 1)));
}

TEST_F(FlatButtonLook, LatchedAndPressedLooksAreSunken) {
  auto* Button = AddButton(10, 10);
  Button->SetGroupIndex(1);
  ShowInFront();
  Button->SetDown(true);
  EXPECT_EQ(Button->VisualState(), fbsExclusive);
  EXPECT_TRUE(Shows(Button, LookRules(Button, Black, White, DownRGB)));
  Button->SetColorShadow(clRed);
  Button->SetColorHighLight(clBlue);
  Button->SetColorDown(clYellow);
  EXPECT_TRUE(Shows(Button, LookRules(Button, RGB(255, 0, 0), RGB(0, 0, 255), RGB(255, 255, 0))));
}

TEST_F(FlatButtonLook, DisabledButtonHasAFlatBorderAndItsColour) {
  auto* Button = AddButton(10, 10);
  Button->SetDefault(true);
  ShowInFront();
  Button->SetEnabled(false);
  EXPECT_EQ(Button->VisualState(), fbsDisabled);
  EXPECT_FALSE(IsWindowEnabled(Button->Handle()));
  EXPECT_TRUE(Shows(Button, LookRules(Button, BorderRGB, BorderRGB, RGBOf(Form->Color()), 1)));
  // The next paint after enabling brings the plain look back.
  Button->SetEnabled(true);
  EXPECT_TRUE(Shows(Button, LookRules(Button, BorderRGB, BorderRGB, RGBOf(Form->Color()), 2)));
  EXPECT_EQ(Button->VisualState(), fbsUp);
}

// A white glyph with a black 4 x 4 square at (6, 6), drawn at (5, 5) of a
// 25 x 25 button on a teal form.
class FlatButtonGlyph : public FlatButtonFixture {
 protected:
  void SetUp() override {
    FlatButtonFixture::SetUp();
    Form->SetColor(static_cast<TColor>(Teal));
    Button = AddButton(10, 10);
    auto Glyph = SolidBitmap(16, 16, clWhite);
    Glyph->Canvas().Brush().SetColor(clBlack);
    Glyph->Canvas().FillRect(RECT{6, 6, 10, 10});
    Button->SetGlyph(Glyph.get());
  }

  // Every pixel of the button: border, teal face, and Inside(x, y) of the glyph square.
  std::vector<TPixelRule> Expect(COLORREF (*Inside)(int, int)) {
    std::vector<TPixelRule> Rules;
    for (int Y = 0; Y < 25; ++Y)
      for (int X = 0; X < 25; ++X) {
        COLORREF C = Teal;
        if (X == 0 || Y == 0 || X == 24 || Y == 24)
          C = BorderRGB;
        else if (X >= 5 && X < 21 && Y >= 5 && Y < 21)
          C = Inside(X - 5, Y - 5);
        Rules.push_back({X, Y, C});
      }
    return Rules;
  }

  TFlatButton* Button = nullptr;
};

TEST_F(FlatButtonGlyph, EnabledGlyphLeavesOutItsBottomLeftColour) {
  ShowInFront();
  EXPECT_TRUE(Shows(Button, Expect([](int X, int Y) { return X >= 6 && X < 10 && Y >= 6 && Y < 10 ? Black : Teal; })));
}

TEST_F(FlatButtonGlyph, DisabledOneFrameGlyphIsEmbossed) {
  ShowInFront();
  Button->SetEnabled(false);
  EXPECT_TRUE(Shows(Button, Expect([](int X, int Y) {
                      if (X >= 6 && X < 10 && Y >= 6 && Y < 10)
                        return RGBOf(clBtnShadow);
                      if ((X == 10 && Y >= 7 && Y <= 10) || (Y == 10 && X >= 7 && X <= 10))
                        return RGBOf(clBtnHighlight);
                      return Teal;
                    })));
}

TEST_F(FlatButtonGlyph, FourFramesShowUpDisabledDownAndLatched) {
  // Frames red, green, blue, yellow; the strip's bottom-left pixel is white.
  auto Strip = SolidBitmap(64, 16, clRed);
  const TColor Frames[] = {clRed, clLime, clBlue, clYellow};
  for (int I = 0; I < 4; ++I) {
    Strip->Canvas().Brush().SetColor(Frames[I]);
    Strip->Canvas().FillRect(RECT{16 * I, 0, 16 * I + 16, 16});
  }
  Strip->Canvas().SetPixel(0, 15, clWhite);
  Button->SetGlyph(Strip.get());
  ASSERT_EQ(Button->NumGlyphs(), 4);
  ShowInFront();
  // Up: the transparent corner shows the face.
  EXPECT_TRUE(Shows(Button, {{12, 12, RGB(255, 0, 0)}, {5, 20, Teal}, {6, 20, RGB(255, 0, 0)}}));
  Button->SetEnabled(false);
  EXPECT_TRUE(Shows(Button, {{12, 12, RGB(0, 255, 0)}, {5, 20, RGB(0, 255, 0)}}));
  Button->SetEnabled(true);
  // Space down presses an ungrouped button: the glyph moves by (1, 1).
  Button->Perform(WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_TRUE(
      Shows(Button, {{12, 12, RGB(0, 0, 255)}, {5, 5, DownRGB}, {6, 6, RGB(0, 0, 255)}, {21, 21, RGB(0, 0, 255)}}));
  Button->Perform(WM_KEYUP, VK_SPACE, 0);
  Button->SetGroupIndex(3);
  Button->SetDown(true);
  EXPECT_TRUE(Shows(Button, {{12, 12, RGB(255, 255, 0)}, {6, 6, RGB(255, 255, 0)}}));
}

TEST(FlatButtonProperties, GlyphSizesSetTheNumberOfFrames) {
  TFlatButton Button(nullptr);
  Button.SetGlyph(SolidBitmap(64, 16, clRed).get());
  EXPECT_EQ(Button.NumGlyphs(), 4);
  EXPECT_EQ(Button.Glyph()->Width(), 64);
  Button.SetGlyph(SolidBitmap(80, 16, clRed).get());
  EXPECT_EQ(Button.NumGlyphs(), 1);
  Button.SetNumGlyphs(2);
  Button.SetGlyph(SolidBitmap(40, 16, clRed).get());
  EXPECT_EQ(Button.NumGlyphs(), 2);
  EXPECT_EQ(Button.Glyph()->Width(), 40);
  // The button's own bitmap changes nothing.
  Button.SetGlyph(Button.Glyph());
  EXPECT_EQ(Button.Glyph()->Width(), 40);
  EXPECT_THROW(Button.SetNumGlyphs(5), ERangeError);
}

TEST(FlatButtonProperties, UngroupedButtonNeverLatches) {
  TFlatButton Button(nullptr);
  Button.SetDown(true);
  EXPECT_FALSE(Button.Down());
  Button.SetGroupIndex(2);
  Button.SetDown(true);
  EXPECT_TRUE(Button.Down());
  // Released only by its group unless AllowAllUp.
  Button.SetDown(false);
  EXPECT_TRUE(Button.Down());
  Button.SetAllowAllUp(true);
  Button.SetDown(false);
  EXPECT_FALSE(Button.Down());
}

TEST(FlatButtonProperties, MarginIgnoresValuesBelowMinusOne) {
  TFlatButton Button(nullptr);
  Button.SetMargin(3);
  Button.SetMargin(-2);
  EXPECT_EQ(Button.Margin(), 3);
  Button.SetMargin(-1);
  EXPECT_EQ(Button.Margin(), -1);
  EXPECT_THROW(Button.SetAdvColorBorder(101), ERangeError);
}

TEST_F(FlatButtonLook, AdvancedColoursDeriveFromTheParentsColour) {
  Form->SetColor(RGBColor(192, 192, 192));
  auto* Button = AddButton(10, 10);
  Button->SetColor(clRed);
  ASSERT_FALSE(Button->ParentColor());
  Button->SetUseAdvColors(true);
  EXPECT_TRUE(Button->ParentColor());
  EXPECT_EQ(Button->ColorFocused(), RGBColor(106, 106, 106));
  EXPECT_EQ(Button->ColorDown(), RGBColor(192, 192, 192));
  EXPECT_EQ(Button->ColorBorder(), RGBColor(150, 150, 150));
  // A new parent colour derives them anew.
  Form->SetColor(clBlack);
  EXPECT_EQ(Button->ColorFocused(), RGBColor(21, 21, 21));
  EXPECT_EQ(Button->ColorDown(), clBlack);
  // Switching off keeps the derived colours.
  Button->SetUseAdvColors(false);
  EXPECT_FALSE(Button->ParentColor());
  EXPECT_EQ(Button->ColorFocused(), RGBColor(21, 21, 21));
  ShowInFront();
  EXPECT_TRUE(Shows(Button, LookRules(Button, RGB(0, 0, 0), RGB(0, 0, 0), RGB(0, 0, 0))));
}

// The caption as the button should show it on a teal face: drawn in each of
// Colors in turn, the first one Shift pixels down and right. The font's
// smoothing blends text into what lies below, so the test draws the same way.
std::vector<TPixelRule> CaptionRules(TFlatButton* Button, std::vector<TColor> Colors, int Shift) {
  const int W = Button->Width(), H = Button->Height();
  auto Expected = SolidBitmap(W, H, static_cast<TColor>(Teal));
  TCanvas& C = Expected->Canvas();
  C.Font().Assign(Button->Font());
  POINT Origin;
  RECT Rect;
  LayoutGlyphAndCaption(C, RECT{0, 0, W, H}, POINT{0, 0}, blGlyphTop, 4, -1, nullptr, 1, Button->Caption(), Origin,
                        Rect);
  C.Brush().SetStyle(TBrushStyle::bsClear);
  for (std::size_t I = 0; I < Colors.size(); ++I) {
    RECT R = Rect;
    if (I == 0)
      OffsetRect(&R, Shift, Shift);
    C.Font().SetColor(Colors[I]);
    C.DrawText(Button->Caption(), R, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
  std::vector<TPixelRule> Rules;
  for (int Y = 1; Y < H - 1; ++Y)
    for (int X = 1; X < W - 1; ++X)
      Rules.push_back({X, Y, static_cast<COLORREF>(C.Pixel(X, Y))});
  return Rules;
}

TEST_F(FlatButtonLook, DisabledCaptionIsDrawnTwiceHighlightUnderShadow) {
  Form->SetColor(static_cast<TColor>(Teal));
  auto* Button = AddButton(10, 10);
  Button->SetWidth(60);
  Button->SetCaption("Ab&c");
  ShowInFront();
  const auto Enabled = CaptionRules(Button, {Button->Font().Color()}, 0);
  EXPECT_TRUE(Shows(Button, Enabled));
  Button->SetEnabled(false);
  const auto Twice = CaptionRules(Button, {clBtnHighlight, clBtnShadow}, 1);
  const auto Once = CaptionRules(Button, {clBtnShadow}, 0);
  ASSERT_NE(std::count_if(Twice.begin(), Twice.end(), [](const TPixelRule& R) { return R.Color != Teal; }),
            std::count_if(Once.begin(), Once.end(), [](const TPixelRule& R) { return R.Color != Teal; }));
  EXPECT_TRUE(Shows(Button, Twice));
}

TEST_F(FlatButtonLook, TransparentButtonShowsWhatLiesUnderItAndFollowsAMove) {
  // A red windowless picture under the button's first place.
  auto* Under = new TImage(Form);
  Under->SetBounds(0, 0, 60, 60);
  Under->SetParent(Form);
  auto Red = SolidBitmap(60, 60, clRed);
  Under->Picture().SetGraphic(std::move(Red));
  auto* Button = AddButton(10, 10);
  Button->SetTransparentMode(tmAlways);
  ShowInFront();
  EXPECT_TRUE(Shows(Button, LookRules(Button, BorderRGB, BorderRGB, RGB(255, 0, 0))));
  Button->SetLeft(100);
  EXPECT_TRUE(Shows(Button, LookRules(Button, BorderRGB, BorderRGB, RGBOf(Form->Color()))));
  // Half on the picture, half off it.
  Button->SetLeft(48);
  EXPECT_TRUE(Shows(Button, {{5, 12, RGB(255, 0, 0)}, {11, 12, RGB(255, 0, 0)}, {12, 12, RGBOf(Form->Color())}}));
}

TEST_F(FlatButtonLook, NotFocusedModeIsSolidOnlyWhileHighlighted) {
  Form->SetColor(static_cast<TColor>(Teal));
  auto* Under = new TImage(Form);
  Under->SetBounds(0, 0, 60, 60);
  Under->SetParent(Form);
  Under->Picture().SetGraphic(SolidBitmap(60, 60, clRed));
  auto* Button = AddButton(10, 10);
  Button->SetTransparentMode(tmNotFocused);
  ShowInFront();
  EXPECT_TRUE(Shows(Button, LookRules(Button, BorderRGB, BorderRGB, RGB(255, 0, 0))));
  // The focus highlights it.
  Button->SetFocus();
  EXPECT_TRUE(Shows(Button, LookRules(Button, White, Black, FocusedRGB)));
  EXPECT_TRUE(Button->Highlighted());
}

// ---------------------------------------------------------------- shared timer

TEST(FlatButtonTimer, OneSharedTimerLivesFromTheFirstButtonToTheLast) {
  ASSERT_EQ(FlatButtonCount, 0);
  ASSERT_EQ(HoverTimer, nullptr);
  auto* A = new TFlatButton(nullptr);
  TTimer* Timer = HoverTimer;
  ASSERT_NE(Timer, nullptr);
  EXPECT_FALSE(Timer->Enabled());
  EXPECT_EQ(Timer->Interval(), 100u);
  EXPECT_EQ(Timer->Owner(), nullptr);
  auto* B = new TFlatButton(nullptr);
  auto* C = new TFlatButton(nullptr);
  EXPECT_EQ(HoverTimer, Timer);
  EXPECT_EQ(FlatButtonCount, 3);
  delete A;
  delete C;
  EXPECT_EQ(HoverTimer, Timer);
  EXPECT_EQ(FlatButtonCount, 1);
  delete B;
  EXPECT_EQ(HoverTimer, nullptr);
  EXPECT_EQ(FlatButtonCount, 0);
  // The next first button makes a new one.
  TFlatButton D(nullptr);
  EXPECT_NE(HoverTimer, nullptr);
  EXPECT_EQ(FlatButtonCount, 1);
}

// ---------------------------------------------------------------- window descriptions

TEST(FlatButtonDescription, ReadsItsPublishedProperties) {
  RegisterFlatButton(TClassRegistry::Instance());
  auto Description = ParseComponentText(R"(
object Form: TForm
  ClientWidth = 200
  ClientHeight = 100
  Color = clSilver
  object btnOne: TFlatButton
    Left = 8
    Top = 9
    Width = 75
    Height = 26
    Caption = '&Go'
    TabOrder = 0
    GroupIndex = 2
    AllowAllUp = True
    Down = True
    Default = True
    ColorFocused = clRed
    ColorDown = 255
    ColorBorder = clBlue
    ColorHighLight = clYellow
    ColorShadow = clGray
    AdvColorFocused = 20
    AdvColorDown = 30
    AdvColorBorder = 40
    TransparentMode = tmNotFocused
    Layout = blGlyphRight
    Margin = 2
    Spacing = -1
    NumGlyphs = 3
    ModalResult = 6
    OnClick = btnOneClick
    OnMouseEnter = btnOneEnter
    OnMouseLeave = btnOneLeave
  end
  object btnTwo: TFlatButton
    Left = 90
    UseAdvColors = True
  end
end
)");
  TForm Form(nullptr);
  int Clicks = 0, Enters = 0, Leaves = 0;
  Form.RegisterHandler("btnOneClick", [&](TObject*) { ++Clicks; });
  Form.RegisterHandler("btnOneEnter", [&](TObject*) { ++Enters; });
  Form.RegisterHandler("btnOneLeave", [&](TObject*) { ++Leaves; });
  ReadDescription(Form, Description);
  auto* One = dynamic_cast<TFlatButton*>(Form.FindComponent("btnOne"));
  auto* Two = dynamic_cast<TFlatButton*>(Form.FindComponent("btnTwo"));
  ASSERT_NE(One, nullptr);
  ASSERT_NE(Two, nullptr);
  EXPECT_EQ(One->Parent(), &Form);
  EXPECT_EQ(One->Caption(), "&Go");
  EXPECT_EQ(One->Left(), 8);
  EXPECT_EQ(One->Height(), 26);
  EXPECT_EQ(One->GroupIndex(), 2);
  EXPECT_TRUE(One->AllowAllUp());
  EXPECT_TRUE(One->Down());
  EXPECT_TRUE(One->Default());
  EXPECT_EQ(One->ColorFocused(), clRed);
  EXPECT_EQ(One->ColorDown(), 255);
  EXPECT_EQ(One->ColorBorder(), clBlue);
  EXPECT_EQ(One->ColorHighLight(), clYellow);
  EXPECT_EQ(One->ColorShadow(), clGray);
  EXPECT_EQ(One->AdvColorFocused(), 20);
  EXPECT_EQ(One->AdvColorDown(), 30);
  EXPECT_EQ(One->AdvColorBorder(), 40);
  EXPECT_EQ(One->TransparentMode(), tmNotFocused);
  EXPECT_EQ(One->Layout(), blGlyphRight);
  EXPECT_EQ(One->Margin(), 2);
  EXPECT_EQ(One->Spacing(), -1);
  EXPECT_EQ(One->NumGlyphs(), 3);
  EXPECT_EQ(One->ModalResult(), 6);
  ASSERT_TRUE(One->OnClick && One->OnMouseEnter() && One->OnMouseLeave());
  One->OnClick(One);
  One->OnMouseEnter()(One);
  One->OnMouseLeave()(One);
  EXPECT_EQ(std::make_tuple(Clicks, Enters, Leaves), std::make_tuple(1, 1, 1));
  EXPECT_TRUE(Two->UseAdvColors());
  // The form's silver, 10 % lighter, then 50 % darker.
  EXPECT_EQ(Two->ColorBorder(), RGBColor(150, 150, 150));
  EXPECT_FALSE(One->InState(csLoading));
}

TEST(FlatButtonDescription, AValueOutsideItsTypeIsTheCheckedUnitsRangeError) {
  RegisterFlatButton(TClassRegistry::Instance());
  for (const char* Property : {"GroupIndex = 4294967298", "Margin = -2147483649", "Spacing = 2147483648",
                               "ModalResult = 4294967297", "NumGlyphs = 5", "NumGlyphs = 0", "AdvColorDown = 101"}) {
    const auto Description = ParseComponentText(std::string("object Form: TForm\n  object B: TFlatButton\n    ") +
                                                Property + "\n  end\nend\n");
    TForm Form(nullptr);
    try {
      ReadDescription(Form, Description);
      ADD_FAILURE() << Property << " was accepted";
    } catch (const ERangeError& E) {
      EXPECT_EQ(E.Message(), "Range check error") << Property;
    }
  }
  // A value of the wrong kind is the reader's error, naming the property.
  const auto Wrong = ParseComponentText("object Form: TForm\n  object B: TFlatButton\n    Layout = 2\n  end\nend\n");
  TForm Form(nullptr);
  try {
    ReadDescription(Form, Wrong);
    ADD_FAILURE() << "Layout = 2 was accepted";
  } catch (const EReadError& E) {
    EXPECT_EQ(E.Message(), "Invalid property value for Layout: an identifier expected");
  }
}

}  // namespace
