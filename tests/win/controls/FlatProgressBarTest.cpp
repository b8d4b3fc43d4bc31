// The flat progress bar under Wine: what it paints (read back from a bitmap
// or the screen), how its setters keep its numbers, and loading.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>

#include "ComponentStream.h"
#include "FlatUtilitys.h"
#include "FormReader.h"
#include "Forms.h"
#include "Pictures.h"
#include "RealInput.h"
#include "SysUtils.h"
#include "TFlatProgressBarUnit.h"

namespace {

constexpr TColor Element = 0x996633;
constexpr TColor Border = 0x8396A0;
constexpr TColor Back = 0xE1EAEB;
constexpr TColor Backdrop = 0xFF00FF;

// The bar painted by itself into a bitmap prefilled with Backdrop, large
// enough for whatever size the paint leaves it at.
std::unique_ptr<TBitmap> PaintBar(TFlatProgressBar& Bar) {
  auto Bmp = std::make_unique<TBitmap>();
  const int Side = std::max(Bar.Width(), Bar.Height()) + 16;
  Bmp->SetSize(Side, Side);
  Bmp->Canvas().Brush().SetColor(Backdrop);
  Bmp->Canvas().FillRect(RECT{0, 0, Side, Side});
  Bar.Perform(WM_PAINT, reinterpret_cast<WPARAM>(Bmp->Canvas().Handle()));
  return Bmp;
}

TColor PixelAt(TBitmap& Bmp, int X, int Y) { return Bmp.Canvas().Pixel(X, Y); }

// Blocks shown from the start of the bar, checked in the middle of each block slot.
int CountBlocks(TBitmap& Bmp, const TFlatProgressBar& Bar) {
  const bool Vertical = Bar.Orientation() == pbVertical;
  const int Length = Vertical ? Bar.Height() : Bar.Width();
  const int Slots = (Length - 3) / 9;
  int Count = 0;
  while (Count < Slots) {
    const int Along = 2 + Count * 9 + 4;
    const TColor C =
        Vertical ? PixelAt(Bmp, Bar.Width() / 2, Bar.Height() - 1 - Along) : PixelAt(Bmp, Along, Bar.Height() / 2);
    if (C != Element)
      break;
    ++Count;
  }
  // Nothing past the last block.
  for (int K = Count; K < Slots; ++K) {
    const int Along = 2 + K * 9 + 4;
    const TColor C =
        Vertical ? PixelAt(Bmp, Bar.Width() / 2, Bar.Height() - 1 - Along) : PixelAt(Bmp, Along, Bar.Height() / 2);
    EXPECT_NE(C, Element) << "block slot " << K << " is filled after a gap";
  }
  return Count;
}

class FlatProgressBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Form = new TForm(nullptr);
    Form->SetName("Form");
    Form->SetBounds(120, 120, 420, 260);
    Bar = NewBar("Bar");
  }
  void TearDown() override {
    delete Form;
    Application->ProcessMessages();
  }

  TFlatProgressBar* NewBar(const std::string& Name) {
    auto* B = new TFlatProgressBar(Form);
    B->SetName(Name);
    B->SetParent(Form);
    B->SetLeft(10);
    B->SetTop(10);
    B->SetColor(Back);
    return B;
  }

  // Shows the form and waits until the bar's outline is on the screen.
  bool ShowAndPaint() {
    Form->Show();
    return WinTest::PumpUntil([&] { return ScreenPixel(Bar, 0, 0) == Bar->ColorBorder(); }, PaintTimeoutMs);
  }

  static constexpr int PaintTimeoutMs = 3000;

  // What the form's window shows at a point of the bar.
  TColor ScreenPixel(TFlatProgressBar* B, int X, int Y) {
    HDC DC = GetDC(Form->Handle());
    const COLORREF C = GetPixel(DC, B->Left() + X, B->Top() + Y);
    ReleaseDC(Form->Handle(), DC);
    return static_cast<TColor>(C);
  }

  TForm* Form = nullptr;
  TFlatProgressBar* Bar = nullptr;
};

TEST_F(FlatProgressBarTest, StartsWithItsInitialValues) {
  TFlatProgressBar Loose(nullptr);
  EXPECT_EQ(Loose.Width(), 147);
  EXPECT_EQ(Loose.Height(), 16);
  EXPECT_EQ(Loose.ColorElement(), Element);
  EXPECT_EQ(Loose.ColorBorder(), Border);
  EXPECT_EQ(Loose.Min(), 0);
  EXPECT_EQ(Loose.Max(), 100);
  EXPECT_EQ(Loose.Position(), 0);
  EXPECT_EQ(Loose.Step(), 10);
  EXPECT_EQ(Loose.AdvColorBorder(), 50);
  EXPECT_FALSE(Loose.UseAdvColors());
  EXPECT_FALSE(Loose.Transparent());
  EXPECT_FALSE(Loose.Smooth());
  EXPECT_EQ(Loose.Orientation(), pbHorizontal);
  EXPECT_TRUE(Loose.ParentColor());
  EXPECT_EQ(Loose.Color(), clWindow);
}

struct TBlockCase {
  int Width, Position, Blocks;
};

void PrintTo(const TBlockCase& Case, std::ostream* Os) { *Os << Case.Blocks << "-blocks"; }

class FlatProgressBarBlocks : public FlatProgressBarTest, public ::testing::WithParamInterface<TBlockCase> {};

TEST_P(FlatProgressBarBlocks, DrawsTheBlocksThePositionCallsFor) {
  const auto& Case = GetParam();
  Bar->SetWidth(Case.Width);
  Bar->SetPosition(Case.Position);
  auto Bmp = PaintBar(*Bar);
  EXPECT_EQ(Bar->Width(), Case.Width);
  EXPECT_EQ(CountBlocks(*Bmp, *Bar), Case.Blocks);
}

INSTANTIATE_TEST_SUITE_P(FlatProgressBar, FlatProgressBarBlocks,
                         ::testing::Values(TBlockCase{147, 50, 8}, TBlockCase{147, 100, 16}, TBlockCase{147, 7, 1},
                                           TBlockCase{147, 6, 0}, TBlockCase{309, 50, 17}, TBlockCase{309, 100, 34},
                                           // Quotients a hair below a whole number in floating point.
                                           TBlockCase{102, 100, 11}, TBlockCase{201, 50, 11}),
                         [](const ::testing::TestParamInfo<TBlockCase>& Info) {
                           return "Width" + std::to_string(Info.param.Width) + "Position" +
                                  std::to_string(Info.param.Position);
                         });

TEST_F(FlatProgressBarTest, BlocksSitInsideTheOutlineOnePixelApart) {
  Bar->SetPosition(100);
  auto Bmp = PaintBar(*Bar);
  // Outline, then a one-pixel ring of background, then the blocks.
  EXPECT_EQ(PixelAt(*Bmp, 0, 0), Border);
  EXPECT_EQ(PixelAt(*Bmp, 146, 15), Border);
  EXPECT_EQ(PixelAt(*Bmp, 1, 8), Back);
  EXPECT_EQ(PixelAt(*Bmp, 5, 1), Back);
  EXPECT_EQ(PixelAt(*Bmp, 5, 14), Back);
  EXPECT_EQ(PixelAt(*Bmp, 2, 2), Element);
  EXPECT_EQ(PixelAt(*Bmp, 9, 13), Element);
  EXPECT_EQ(PixelAt(*Bmp, 10, 8), Back);
  EXPECT_EQ(PixelAt(*Bmp, 11, 8), Element);
  // The last block ends at 2 + 15 * 9 + 8 = 145, leaving a gap before the outline.
  EXPECT_EQ(PixelAt(*Bmp, 144, 8), Element);
  EXPECT_EQ(PixelAt(*Bmp, 145, 8), Back);
  EXPECT_EQ(PixelAt(*Bmp, 146, 8), Border);
}

TEST_F(FlatProgressBarTest, BlockModeSnapsItsLengthAtThePaint) {
  Bar->SetWidth(150);
  EXPECT_EQ(Bar->Width(), 150);
  PaintBar(*Bar);
  EXPECT_EQ(Bar->Width(), 147);
  EXPECT_EQ(Bar->Height(), 16);

  Bar->SetWidth(5);
  PaintBar(*Bar);
  EXPECT_EQ(Bar->Width(), 12);

  auto* Tall = NewBar("Tall");
  Tall->SetOrientation(pbVertical);
  Tall->SetBounds(10, 40, 20, 150);
  PaintBar(*Tall);
  EXPECT_EQ(Tall->Height(), 147);
  EXPECT_EQ(Tall->Width(), 20);
}

TEST_F(FlatProgressBarTest, SmoothModeNeverSnaps) {
  Bar->SetSmooth(true);
  Bar->SetWidth(150);
  Bar->SetPosition(100);
  PaintBar(*Bar);
  EXPECT_EQ(Bar->Width(), 150);
  Bar->SetWidth(5);
  PaintBar(*Bar);
  EXPECT_EQ(Bar->Width(), 5);
}

TEST_F(FlatProgressBarTest, SmoothFillGrowsFromTheLeft) {
  Bar->SetSmooth(true);
  Bar->SetWidth(100);
  Bar->SetPosition(50);
  auto Bmp = PaintBar(*Bar);
  EXPECT_EQ(PixelAt(*Bmp, 2, 2), Element);
  EXPECT_EQ(PixelAt(*Bmp, 49, 13), Element);
  EXPECT_EQ(PixelAt(*Bmp, 50, 8), Back);
  EXPECT_EQ(PixelAt(*Bmp, 30, 1), Back);
  EXPECT_EQ(PixelAt(*Bmp, 30, 14), Back);

  // The same proportion of another range gives the same fill.
  Bar->SetMax(150);
  Bar->SetMin(50);
  Bar->SetPosition(100);
  Bmp = PaintBar(*Bar);
  EXPECT_EQ(PixelAt(*Bmp, 49, 8), Element);
  EXPECT_EQ(PixelAt(*Bmp, 50, 8), Back);

  // At Max one pixel of background stays inside the outline.
  Bar->SetPosition(150);
  Bmp = PaintBar(*Bar);
  EXPECT_EQ(PixelAt(*Bmp, 97, 8), Element);
  EXPECT_EQ(PixelAt(*Bmp, 98, 8), Back);
}

TEST_F(FlatProgressBarTest, VerticalBarsGrowFromTheBottom) {
  Bar->SetOrientation(pbVertical);
  ASSERT_EQ(Bar->Width(), 16);
  ASSERT_EQ(Bar->Height(), 147);
  Bar->SetPosition(50);
  auto Bmp = PaintBar(*Bar);
  EXPECT_EQ(CountBlocks(*Bmp, *Bar), 8);
  // Block 0 is (2, 137, 14, 145).
  EXPECT_EQ(PixelAt(*Bmp, 2, 144), Element);
  EXPECT_EQ(PixelAt(*Bmp, 13, 137), Element);
  EXPECT_EQ(PixelAt(*Bmp, 8, 145), Back);
  EXPECT_EQ(PixelAt(*Bmp, 8, 136), Back);
  EXPECT_EQ(PixelAt(*Bmp, 8, 10), Back);

  Bar->SetSmooth(true);
  Bar->SetHeight(100);
  Bar->SetPosition(25);
  Bmp = PaintBar(*Bar);
  // Fill length 96 * 25 div 100 = 24: (2, 74, 14, 98).
  EXPECT_EQ(PixelAt(*Bmp, 8, 97), Element);
  EXPECT_EQ(PixelAt(*Bmp, 8, 74), Element);
  EXPECT_EQ(PixelAt(*Bmp, 8, 73), Back);
  EXPECT_EQ(PixelAt(*Bmp, 1, 90), Back);
  EXPECT_EQ(PixelAt(*Bmp, 14, 90), Back);
}

TEST_F(FlatProgressBarTest, TransparentLeavesWhatLiesBehind) {
  Bar->SetPosition(50);
  auto Bmp = PaintBar(*Bar);
  EXPECT_EQ(PixelAt(*Bmp, 100, 8), Back);

  Bar->SetTransparent(true);
  Bmp = PaintBar(*Bar);
  EXPECT_EQ(PixelAt(*Bmp, 100, 8), Backdrop);
  EXPECT_EQ(PixelAt(*Bmp, 10, 8), Backdrop);
  EXPECT_EQ(PixelAt(*Bmp, 1, 1), Backdrop);
  EXPECT_EQ(PixelAt(*Bmp, 0, 8), Border);
  EXPECT_EQ(PixelAt(*Bmp, 5, 8), Element);
}

TEST_F(FlatProgressBarTest, TransparentShowsTheParentOnScreen) {
  Form->SetColor(0x20C040);
  Bar->SetTransparent(true);
  Bar->SetPosition(50);
  ASSERT_TRUE(ShowAndPaint());
  EXPECT_EQ(ScreenPixel(Bar, 100, 8), 0x20C040);
  EXPECT_EQ(ScreenPixel(Bar, 5, 8), Element);
  Bar->SetTransparent(false);
  EXPECT_TRUE(WinTest::PumpUntil([&] { return ScreenPixel(Bar, 100, 8) == Back; }, PaintTimeoutMs));
}

TEST_F(FlatProgressBarTest, PositionIsClampedToTheRange) {
  Bar->SetPosition(150);
  EXPECT_EQ(Bar->Position(), 100);
  Bar->SetPosition(-5);
  EXPECT_EQ(Bar->Position(), 0);

  Bar->SetMax(10);
  Bar->SetMin(50);
  for (int P : {-100, 0, 10, 30, 50, 1000}) {
    Bar->SetPosition(P);
    EXPECT_EQ(Bar->Position(), 50) << "for " << P;
  }
}

TEST_F(FlatProgressBarTest, LoweringMaxPullsPositionDownRaisingMinDoesNot) {
  Bar->SetPosition(80);
  Bar->SetMax(60);
  EXPECT_EQ(Bar->Position(), 60);
  Bar->SetMax(90);
  EXPECT_EQ(Bar->Position(), 60);

  Bar->SetMin(70);
  EXPECT_EQ(Bar->Min(), 70);
  EXPECT_EQ(Bar->Position(), 60);
  auto Bmp = PaintBar(*Bar);
  EXPECT_EQ(CountBlocks(*Bmp, *Bar), 0);
  Bar->SetSmooth(true);
  Bmp = PaintBar(*Bar);
  EXPECT_EQ(PixelAt(*Bmp, 2, 8), Back);
}

TEST_F(FlatProgressBarTest, StepIsOnlyStored) {
  Bar->SetPosition(30);
  Bar->SetStep(25);
  EXPECT_EQ(Bar->Step(), 25);
  EXPECT_EQ(Bar->Position(), 30);
}

TEST_F(FlatProgressBarTest, EmptyRangeDrawsNoFillAndRaisesNothing) {
  Bar->SetPosition(30);
  Bar->SetMin(50);
  Bar->SetMax(50);
  ASSERT_EQ(Bar->Position(), 30);
  std::unique_ptr<TBitmap> Bmp;
  ASSERT_NO_THROW(Bmp = PaintBar(*Bar));
  EXPECT_EQ(CountBlocks(*Bmp, *Bar), 0);
  EXPECT_EQ(PixelAt(*Bmp, 0, 0), Border);
  Bar->SetSmooth(true);
  ASSERT_NO_THROW(Bmp = PaintBar(*Bar));
  EXPECT_EQ(PixelAt(*Bmp, 2, 8), Back);

  // Raising the position draws at once, on screen, even now.
  ASSERT_TRUE(ShowAndPaint());
  EXPECT_NO_THROW(Bar->SetPosition(90));
  EXPECT_EQ(Bar->Position(), 50);
  EXPECT_EQ(ScreenPixel(Bar, 2, 8), Back);
  // A bar too short for a block that has not been snapped yet.
  Bar->SetSmooth(false);
  Bar->SetMin(0);
  Bar->SetPosition(0);
  Bar->SetWidth(5);
  EXPECT_NO_THROW(Bar->SetPosition(40));
  EXPECT_EQ(Bar->Position(), 40);
}

TEST_F(FlatProgressBarTest, RaisingPaintsAtOnceLoweringAtTheNextPaint) {
  ASSERT_TRUE(ShowAndPaint());
  EXPECT_EQ(ScreenPixel(Bar, 6, 8), Back);
  // No message is handled between the change and the look.
  Bar->SetPosition(50);
  EXPECT_EQ(ScreenPixel(Bar, 6, 8), Element);
  EXPECT_EQ(ScreenPixel(Bar, 2 + 7 * 9 + 4, 8), Element);
  EXPECT_EQ(ScreenPixel(Bar, 2 + 8 * 9 + 4, 8), Back);
  EXPECT_EQ(ScreenPixel(Bar, 0, 8), Border);

  Bar->SetPosition(20);
  EXPECT_EQ(ScreenPixel(Bar, 2 + 7 * 9 + 4, 8), Element) << "lowering must wait for the paint";
  EXPECT_TRUE(WinTest::PumpUntil([&] { return ScreenPixel(Bar, 2 + 7 * 9 + 4, 8) == Back; }, PaintTimeoutMs));
  EXPECT_EQ(ScreenPixel(Bar, 2 + 2 * 9 + 4, 8), Element);
  EXPECT_EQ(ScreenPixel(Bar, 2 + 3 * 9 + 4, 8), Back);

  // Smooth: the new fill is there at once too.
  Bar->SetSmooth(true);
  // The gap after the first block fills once the smooth bar is painted.
  ASSERT_TRUE(WinTest::PumpUntil([&] { return ScreenPixel(Bar, 10, 8) == Element; }, PaintTimeoutMs));
  EXPECT_EQ(ScreenPixel(Bar, 30, 8), Back);
  Bar->SetPosition(100);
  EXPECT_EQ(ScreenPixel(Bar, 144, 8), Element);
  EXPECT_EQ(ScreenPixel(Bar, 145, 8), Back);
}

TEST_F(FlatProgressBarTest, RaisingWithoutAParentFailsAfterStoring) {
  TFlatProgressBar Loose(nullptr);
  Loose.SetName("Loose");
  try {
    Loose.SetPosition(50);
    FAIL() << "no error";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "Control 'Loose' has no parent window");
  }
  EXPECT_EQ(Loose.Position(), 50);
  EXPECT_NO_THROW(Loose.SetPosition(10));
  EXPECT_EQ(Loose.Position(), 10);
}

TEST_F(FlatProgressBarTest, OrientationSwapsTheSizeAtRunTime) {
  Bar->SetOrientation(pbVertical);
  EXPECT_EQ(Bar->Width(), 16);
  EXPECT_EQ(Bar->Height(), 147);
  EXPECT_EQ(Bar->Left(), 10);
  EXPECT_EQ(Bar->Top(), 10);
  Bar->SetOrientation(pbVertical);
  EXPECT_EQ(Bar->Width(), 16);
  Bar->SetOrientation(pbHorizontal);
  EXPECT_EQ(Bar->Width(), 147);
  EXPECT_EQ(Bar->Height(), 16);
}

TEST_F(FlatProgressBarTest, OrientationKeepsTheSizeWhileLoading) {
  Bar->BeginLoading();
  Bar->SetBounds(10, 10, 16, 147);
  Bar->SetOrientation(pbVertical);
  EXPECT_EQ(Bar->Orientation(), pbVertical);
  EXPECT_EQ(Bar->Width(), 16);
  EXPECT_EQ(Bar->Height(), 147);
  Bar->Loaded();
  Bar->SetOrientation(pbHorizontal);
  EXPECT_EQ(Bar->Width(), 147);
  EXPECT_EQ(Bar->Height(), 16);
}

TEST_F(FlatProgressBarTest, UseAdvColorsTakesTheParentColourAndDerivesTheOutline) {
  Form->SetColor(0xC0C0C0);
  ASSERT_FALSE(Bar->ParentColor());
  Bar->SetUseAdvColors(true);
  EXPECT_TRUE(Bar->ParentColor());
  EXPECT_EQ(Bar->Color(), 0xC0C0C0);
  EXPECT_EQ(Bar->ColorBorder(), RGBColor(150, 150, 150));
  auto Bmp = PaintBar(*Bar);
  EXPECT_EQ(PixelAt(*Bmp, 0, 8), RGBColor(150, 150, 150));
  EXPECT_EQ(PixelAt(*Bmp, 60, 8), 0xC0C0C0);

  // The parent's new colour is followed and the outline derived again.
  Form->SetColor(0x2060A0);
  EXPECT_EQ(Bar->Color(), 0x2060A0);
  EXPECT_EQ(Bar->ColorBorder(), DeriveAdvColor(0x2060A0, Border, 50, true));

  Bar->SetUseAdvColors(false);
  EXPECT_FALSE(Bar->ParentColor());
  EXPECT_EQ(Bar->Color(), 0x2060A0);
  EXPECT_EQ(Bar->ColorBorder(), DeriveAdvColor(0x2060A0, Border, 50, true));
  Form->SetColor(0xC0C0C0);
  EXPECT_EQ(Bar->Color(), 0x2060A0);
}

TEST_F(FlatProgressBarTest, AdvColorPercentages) {
  Form->SetColor(0xC0C0C0);
  Bar->SetColorBorder(clRed);
  Bar->SetAdvColorBorder(0);
  Bar->SetUseAdvColors(true);
  EXPECT_EQ(Bar->ColorBorder(), clRed);
  Bar->SetAdvColorBorder(10);
  EXPECT_EQ(Bar->ColorBorder(), 0xC0C0C0);
  // Unchecked: a percentage beyond 100 is kept and darkens all the way.
  EXPECT_NO_THROW(Bar->SetAdvColorBorder(200));
  EXPECT_EQ(Bar->AdvColorBorder(), 200);
  EXPECT_EQ(Bar->ColorBorder(), clBlack);
}

TEST_F(FlatProgressBarTest, SysColorChangeRetakesTheParentColourOnlyWithAdvColors) {
  Form->SetColor(0xC0C0C0);
  Bar->SetUseAdvColors(true);
  Bar->SetColor(clRed);
  ASSERT_FALSE(Bar->ParentColor());
  Bar->Perform(CM_SYSCOLORCHANGE);
  EXPECT_TRUE(Bar->ParentColor());
  EXPECT_EQ(Bar->Color(), 0xC0C0C0);
  EXPECT_EQ(Bar->ColorBorder(), RGBColor(150, 150, 150));

  Bar->SetUseAdvColors(false);
  Bar->SetColor(clRed);
  Bar->Perform(CM_SYSCOLORCHANGE);
  EXPECT_FALSE(Bar->ParentColor());
  EXPECT_EQ(Bar->Color(), clRed);
}

TEST_F(FlatProgressBarTest, ReadsFromAWindowDescription) {
  RegisterFlatProgressBar(TClassRegistry::Instance());
  auto Int = [](const char* Name, std::int64_t V) { return TStreamProperty{Name, TStreamValue::Integer(V)}; };
  TStreamObject Child;
  Child.ClassName = "TFlatProgressBar";
  Child.Name = "FlatProgressBar1";
  Child.Properties = {Int("Left", 64),
                      Int("Top", 24),
                      Int("Width", 16),
                      Int("Height", 147),
                      {"Orientation", TStreamValue::Ident("pbVertical")},
                      Int("Min", 10),
                      Int("Max", 60),
                      Int("Position", 35),
                      Int("Step", 5),
                      {"Smooth", TStreamValue::Boolean(true)},
                      {"Transparent", TStreamValue::Boolean(true)},
                      {"ColorElement", TStreamValue::Ident("clNavy")},
                      {"ColorBorder", TStreamValue::Integer(0x123456)},
                      Int("AdvColorBorder", 20),
                      {"UseAdvColors", TStreamValue::Boolean(true)}};
  TStreamObject Root;
  Root.ClassName = "TForm";
  Root.Name = "Loaded";
  Root.Properties = {{"Color", TStreamValue::Integer(0xC0C0C0)}};
  Root.Children = {Child};

  auto* Target = new TForm(nullptr);
  std::unique_ptr<TForm> Owner(Target);
  ReadDescription(*Target, Root);
  auto* Read = dynamic_cast<TFlatProgressBar*>(Target->FindComponent("FlatProgressBar1"));
  ASSERT_NE(Read, nullptr);
  EXPECT_EQ(Read->Parent(), Target);
  EXPECT_FALSE(Read->InState(csLoading));
  EXPECT_EQ(Read->Orientation(), pbVertical);
  EXPECT_EQ(Read->Width(), 16);
  EXPECT_EQ(Read->Height(), 147);
  EXPECT_EQ(Read->Min(), 10);
  EXPECT_EQ(Read->Max(), 60);
  EXPECT_EQ(Read->Position(), 35);
  EXPECT_EQ(Read->Step(), 5);
  EXPECT_TRUE(Read->Smooth());
  EXPECT_TRUE(Read->Transparent());
  EXPECT_EQ(Read->ColorElement(), clNavy);
  EXPECT_EQ(Read->AdvColorBorder(), 20);
  EXPECT_TRUE(Read->UseAdvColors());
  EXPECT_EQ(Read->Color(), 0xC0C0C0);
  EXPECT_EQ(Read->ColorBorder(), DeriveAdvColor(0xC0C0C0, 0x123456, 20, true));

  // A stored value outside the property's type is refused, not cut down (300 would keep 44).
  for (auto Bad : {Int("AdvColorBorder", 101), Int("AdvColorBorder", 300), Int("Min", 4294967301)}) {
    Child.Properties = {Bad};
    Root.Children = {Child};
    TForm Refusing(nullptr);
    try {
      ReadDescription(Refusing, Root);
      ADD_FAILURE() << Bad.Name << " loaded";
    } catch (const EReadError& E) {
      EXPECT_NE(E.Message().find("Invalid property value for " + Bad.Name), std::string::npos) << E.Message();
    }
  }
}

}  // namespace
