// The canvas and the bitmap against real GDI: what each drawing operation
// does is read back pixel by pixel from the bitmap it drew into.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>
#include <string>

#include "DeviceContexts.h"
#include "Graphics.h"
#include "GraphicsTestSupport.h"
#include "Pictures.h"

using namespace GfxTest;

namespace {

TPixels Snapshot(TBitmap& Bitmap) { return TPixels(Bitmap.Canvas().Handle(), 0, 0, Bitmap.Width(), Bitmap.Height()); }

// The bitmap as rows of '#' (pixels of Ink) and '.' (anything else), so a
// failure shows the shape that was drawn.
std::string Shape(const TPixels& Pixels, COLORREF Ink) {
  std::string Rows;
  for (int Y = 0; Y < Pixels.Height(); ++Y) {
    for (int X = 0; X < Pixels.Width(); ++X)
      Rows += Pixels.At(X, Y) == Ink ? '#' : '.';
    Rows += '\n';
  }
  return Rows;
}

std::string Rows(std::initializer_list<const char*> Lines) {
  std::string Result;
  for (const char* Line : Lines)
    Result += std::string(Line) + "\n";
  return Result;
}

// A white bitmap of that size.
struct TWhiteBitmap : TBitmap {
  TWhiteBitmap(int Width, int Height) { SetSize(Width, Height); }
};

void Fill(TBitmap& Bitmap, TColor Color) {
  Bitmap.Canvas().Brush().SetColor(Color);
  Bitmap.Canvas().FillRect(RECT{0, 0, Bitmap.Width(), Bitmap.Height()});
}

// Whether every pixel outside Inside has the colour Background.
bool OnlyInside(const TPixels& Pixels, const RECT& Inside, COLORREF Background, std::string& Where) {
  for (int Y = 0; Y < Pixels.Height(); ++Y)
    for (int X = 0; X < Pixels.Width(); ++X) {
      POINT P{X, Y};
      if (!PtInRect(&Inside, P) && Pixels.At(X, Y) != Background) {
        Where = std::to_string(X) + "," + std::to_string(Y) + " is " + Hex(Pixels.At(X, Y));
        return false;
      }
    }
  return true;
}

}  // namespace

// ---------------------------------------------------------------- TCanvas

TEST(Canvas, FillRectFillsFromLeftTopUpToButNotIncludingRightBottom) {
  TWhiteBitmap Bitmap(10, 10);
  Bitmap.Canvas().Brush().SetColor(clRed);
  Bitmap.Canvas().FillRect(RECT{2, 3, 6, 7});
  EXPECT_EQ(Shape(Snapshot(Bitmap), RGB(255, 0, 0)),
            Rows({"..........", "..........", "..........", "..####....", "..####....", "..####....", "..####....",
                  "..........", "..........", ".........."}));
  EXPECT_EQ(Snapshot(Bitmap).Count(RGB(255, 255, 255)), 100 - 16);
}

TEST(Canvas, FillRectWithAClearBrushPaintsNothing) {
  TWhiteBitmap Bitmap(10, 10);
  Bitmap.Canvas().Brush().SetColor(clRed);
  Bitmap.Canvas().Brush().SetStyle(TBrushStyle::bsClear);
  Bitmap.Canvas().FillRect(RECT{0, 0, 10, 10});
  EXPECT_EQ(Snapshot(Bitmap).Count(RGB(255, 255, 255)), 100);
}

TEST(Canvas, FrameRectDrawsTheOnePixelOutlineOnly) {
  TWhiteBitmap Bitmap(10, 10);
  Bitmap.Canvas().Brush().SetColor(clBlue);
  Bitmap.Canvas().FrameRect(RECT{1, 2, 8, 7});
  EXPECT_EQ(Shape(Snapshot(Bitmap), RGB(0, 0, 255)),
            Rows({"..........", "..........", ".#######..", ".#.....#..", ".#.....#..", ".#.....#..", ".#######..",
                  "..........", "..........", ".........."}));
}

TEST(Canvas, LineToDrawsWithThePenUpToButNotIncludingItsEndPoint) {
  TWhiteBitmap Bitmap(10, 10);
  TCanvas& Canvas = Bitmap.Canvas();
  Canvas.Pen().SetColor(clGreen);
  Canvas.MoveTo(1, 1);
  Canvas.LineTo(8, 1);
  Canvas.MoveTo(1, 3);
  Canvas.LineTo(1, 9);
  Canvas.MoveTo(3, 3);
  Canvas.LineTo(8, 8);
  // Each line goes on from where the last one stopped.
  Canvas.LineTo(8, 4);
  EXPECT_EQ(Shape(Snapshot(Bitmap), RGB(0, 128, 0)),
            Rows({"..........", ".#######..", "..........", ".#.#......", ".#..#.....", ".#...#..#.", ".#....#.#.",
                  ".#.....##.", ".#......#.", ".........."}));
}

TEST(Canvas, AWiderPenDrawsAWiderLine) {
  TWhiteBitmap Bitmap(10, 10);
  TCanvas& Canvas = Bitmap.Canvas();
  Canvas.Pen().SetWidth(3);
  Canvas.MoveTo(1, 5);
  Canvas.LineTo(9, 5);
  const TPixels Pixels = Snapshot(Bitmap);
  for (int Y : {4, 5, 6})
    EXPECT_EQ(Pixels.At(4, Y), RGB(0, 0, 0)) << "row " << Y;
  EXPECT_EQ(Pixels.At(4, 2), RGB(255, 255, 255));
  EXPECT_EQ(Pixels.At(4, 8), RGB(255, 255, 255));
}

TEST(Canvas, SetPixelColoursOnePixelAndPixelReadsItBack) {
  TWhiteBitmap Bitmap(10, 10);
  TCanvas& Canvas = Bitmap.Canvas();
  Canvas.SetPixel(3, 4, RGBColor(12, 34, 56));
  Canvas.SetPixel(9, 9, clBlack);
  const TPixels Pixels = Snapshot(Bitmap);
  EXPECT_EQ(Pixels.At(3, 4), RGB(12, 34, 56));
  EXPECT_EQ(Pixels.At(9, 9), RGB(0, 0, 0));
  EXPECT_EQ(Pixels.Count(RGB(255, 255, 255)), 98);
  EXPECT_EQ(Canvas.Pixel(3, 4), RGBColor(12, 34, 56));
  EXPECT_EQ(Canvas.Pixel(9, 9), clBlack);
  EXPECT_EQ(Canvas.Pixel(0, 0), clWhite);
  // A system colour is drawn as what it stands for now.
  Canvas.SetPixel(0, 0, clBtnFace);
  EXPECT_EQ(static_cast<COLORREF>(Canvas.Pixel(0, 0)), GetSysColor(COLOR_BTNFACE));
}

TEST(Canvas, TextOutDrawsInsideTheTextExtentAndNothingOutside) {
  TBitmap Bitmap;
  Bitmap.SetSize(90, 40);
  TCanvas& Canvas = Bitmap.Canvas();
  Fill(Bitmap, clLime);
  Canvas.Brush().SetColor(clYellow);
  Canvas.Font().SetColor(clBlack);
  const std::string Text = "Hig WM";
  const SIZE Extent = Canvas.TextExtent(Text);
  ASSERT_GT(Extent.cx, 10);
  ASSERT_GT(Extent.cy, 5);
  Canvas.TextOut(7, 9, Text);

  const TPixels Pixels = Snapshot(Bitmap);
  const RECT Cell{7, 9, 7 + Extent.cx, 9 + Extent.cy};
  std::string Where;
  EXPECT_TRUE(OnlyInside(Pixels, Cell, RGB(0, 255, 0), Where)) << Where;
  int Ink = 0, Background = 0, Other = 0;
  for (int Y = Cell.top; Y < Cell.bottom; ++Y)
    for (int X = Cell.left; X < Cell.right; ++X) {
      const COLORREF C = Pixels.At(X, Y);
      (C == RGB(255, 255, 0) ? Background : C == RGB(0, 255, 0) ? Other : Ink)++;
    }
  // An opaque brush fills the whole cell behind the letters.
  EXPECT_GT(Ink, 10);
  EXPECT_GT(Background, Ink);
  EXPECT_EQ(Other, 0) << "the page shows through an opaque text background";
  EXPECT_EQ(Canvas.TextWidth(Text), Extent.cx);
  EXPECT_EQ(Canvas.TextHeight(Text), Extent.cy);
  EXPECT_GT(Canvas.TextWidth(Text + "W"), Extent.cx);
}

TEST(Canvas, AClearBrushLeavesTheBackgroundUnderText) {
  TBitmap Bitmap;
  Bitmap.SetSize(90, 40);
  TCanvas& Canvas = Bitmap.Canvas();
  Fill(Bitmap, clLime);
  Canvas.Brush().SetColor(clYellow);
  Canvas.Brush().SetStyle(TBrushStyle::bsClear);
  Canvas.Font().SetColor(clRed);
  const std::string Text = "Hig WM";
  const SIZE Extent = Canvas.TextExtent(Text);
  Canvas.TextOut(7, 9, Text);

  const TPixels Pixels = Snapshot(Bitmap);
  const RECT Cell{7, 9, 7 + Extent.cx, 9 + Extent.cy};
  std::string Where;
  EXPECT_TRUE(OnlyInside(Pixels, Cell, RGB(0, 255, 0), Where)) << Where;
  EXPECT_EQ(Pixels.Count(RGB(255, 255, 0)), 0) << "the brush colour was painted behind the text";
  EXPECT_GT(Pixels.Count(RGB(255, 0, 0)), 10) << "no text in the font colour";
  EXPECT_GT(Pixels.Count(RGB(0, 255, 0)), 90 * 40 - Extent.cx * Extent.cy);
}

TEST(Canvas, DrawTextMeasuresAndDrawsInTheCanvasFont) {
  TBitmap Bitmap;
  Bitmap.SetSize(120, 40);
  TCanvas& Canvas = Bitmap.Canvas();
  Canvas.Font().SetHeight(-20);
  RECT Measured{0, 0, 0, 0};
  const int Height = Canvas.DrawText("Wide", Measured, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_EQ(Measured.right, Canvas.TextWidth("Wide"));
  EXPECT_EQ(Height, Canvas.TextHeight("Wide"));
  EXPECT_EQ(Measured.bottom, Height);
  EXPECT_EQ(Snapshot(Bitmap).Count(RGB(255, 255, 255)), 120 * 40) << "measuring drew something";

  Canvas.Brush().SetStyle(TBrushStyle::bsClear);
  RECT Box{10, 5, 110, 35};
  Canvas.DrawText("Wide", Box, DT_SINGLELINE);
  const TPixels Pixels = Snapshot(Bitmap);
  std::string Where;
  EXPECT_TRUE(OnlyInside(Pixels, RECT{10, 5, 10 + Measured.right, 5 + Measured.bottom}, RGB(255, 255, 255), Where))
      << Where;
  EXPECT_GT(Pixels.Count(RGB(0, 0, 0)), 20);
}

TEST(Canvas, CopyRectCopiesARegionAndStretchesToTheTarget) {
  TWhiteBitmap Source(10, 10);
  Source.Canvas().Brush().SetColor(clRed);
  Source.Canvas().FillRect(RECT{1, 1, 4, 4});
  Source.Canvas().SetPixel(2, 2, clBlue);

  TWhiteBitmap Target(10, 10);
  Target.Canvas().CopyRect(RECT{5, 6, 8, 9}, Source.Canvas(), RECT{1, 1, 4, 4});
  TPixels Pixels = Snapshot(Target);
  EXPECT_EQ(Shape(Pixels, RGB(255, 0, 0)),
            Rows({"..........", "..........", "..........", "..........", "..........", "..........", ".....###..",
                  ".....#.#..", ".....###..", ".........."}));
  EXPECT_EQ(Pixels.At(6, 7), RGB(0, 0, 255));

  Target.Canvas().CopyRect(RECT{0, 0, 6, 6}, Source.Canvas(), RECT{1, 1, 4, 4});
  Pixels = Snapshot(Target);
  EXPECT_EQ(Shape(Pixels, RGB(0, 0, 255)),
            Rows({"..........", "..........", "..##......", "..##......", "..........", "..........", "..........",
                  "......#...", "..........", ".........."}));
  EXPECT_EQ(Pixels.Count(RGB(255, 0, 0)), 36 - 4 + 8);
  // The source is left as it was.
  EXPECT_EQ(Snapshot(Source).Count(RGB(255, 0, 0)), 8);
}

TEST(Canvas, SelectsItsToolsWhileAttachedAndPutsTheOriginalsBack) {
  HDC DC = CreateCompatibleDC(nullptr);
  HBITMAP Page = CreateBitmap(4, 4, 1, 32, nullptr);
  HGDIOBJ OldPage = SelectObject(DC, Page);
  const HGDIOBJ Font = GetCurrentObject(DC, OBJ_FONT), Brush = GetCurrentObject(DC, OBJ_BRUSH),
                Pen = GetCurrentObject(DC, OBJ_PEN);
  {
    TCanvas Canvas;
    Canvas.Font().SetColor(clRed);
    Canvas.Brush().SetColor(clYellow);
    Canvas.SetHandle(DC);
    EXPECT_EQ(Canvas.Handle(), DC);
    EXPECT_EQ(GetCurrentObject(DC, OBJ_FONT), Canvas.Font().Handle());
    EXPECT_EQ(GetCurrentObject(DC, OBJ_BRUSH), Canvas.Brush().Handle());
    EXPECT_EQ(GetCurrentObject(DC, OBJ_PEN), Canvas.Pen().Handle());
    EXPECT_EQ(GetTextColor(DC), RGB(255, 0, 0));
    EXPECT_EQ(GetBkColor(DC), RGB(255, 255, 0));
    EXPECT_EQ(GetBkMode(DC), OPAQUE);

    // A changed tool replaces the selected one at once, and the old one goes.
    HGDIOBJ OldBrush = Canvas.Brush().Handle(), OldFont = Canvas.Font().Handle(), OldPen = Canvas.Pen().Handle();
    Canvas.Brush().SetColor(clAqua);
    Canvas.Font().SetHeight(-30);
    Canvas.Pen().SetWidth(2);
    EXPECT_EQ(GetCurrentObject(DC, OBJ_BRUSH), Canvas.Brush().Handle());
    EXPECT_EQ(GetCurrentObject(DC, OBJ_FONT), Canvas.Font().Handle());
    EXPECT_EQ(GetCurrentObject(DC, OBJ_PEN), Canvas.Pen().Handle());
    EXPECT_EQ(GetObjectType(OldBrush), 0u) << "the replaced brush was not deleted";
    EXPECT_EQ(GetObjectType(OldFont), 0u) << "the replaced font was not deleted";
    EXPECT_EQ(GetObjectType(OldPen), 0u) << "the replaced pen was not deleted";
    EXPECT_EQ(GetBkColor(DC), RGB(0, 255, 255));
    Canvas.Brush().SetStyle(TBrushStyle::bsClear);
    EXPECT_EQ(GetBkMode(DC), TRANSPARENT);

    Canvas.SetHandle(nullptr);
    EXPECT_EQ(GetCurrentObject(DC, OBJ_FONT), Font);
    EXPECT_EQ(GetCurrentObject(DC, OBJ_BRUSH), Brush);
    EXPECT_EQ(GetCurrentObject(DC, OBJ_PEN), Pen);

    // Attached again, then let go by its destruction.
    Canvas.SetHandle(DC);
    EXPECT_EQ(GetCurrentObject(DC, OBJ_BRUSH), Canvas.Brush().Handle());
  }
  EXPECT_EQ(GetCurrentObject(DC, OBJ_FONT), Font);
  EXPECT_EQ(GetCurrentObject(DC, OBJ_BRUSH), Brush);
  EXPECT_EQ(GetCurrentObject(DC, OBJ_PEN), Pen);
  EXPECT_EQ(GetObjectType(DC), static_cast<DWORD>(OBJ_MEMDC)) << "the canvas deleted a context it does not own";
  SelectObject(DC, OldPage);
  DeleteObject(Page);
  DeleteDC(DC);
}

// What a scope changed in a context is put back when the scope ends, also
// when an error ends it: the selected bitmap, the saved origin, clip and text
// colour, and the objects the canvas selected.
TEST(Canvas, ScopeGuardsPutBackWhatTheyChangedAlsoWhenAnErrorLeavesTheScope) {
  for (bool Fail : {false, true}) {
    SCOPED_TRACE(Fail ? "left by an error" : "left at its end");
    TMemoryDC DC(CreateCompatibleDC(nullptr));
    ASSERT_TRUE(DC);
    const HDC H = DC.Get();
    const TBitmapHandle Page(CreateBitmap(4, 4, 1, 32, nullptr));
    const HGDIOBJ Blank = GetCurrentObject(H, OBJ_BITMAP), Brush = GetCurrentObject(H, OBJ_BRUSH);
    const COLORREF Text = GetTextColor(H);
    TCanvas Canvas;
    try {
      TSelectGuard Selected(H, Page.Get());
      EXPECT_EQ(GetCurrentObject(H, OBJ_BITMAP), Page.Get());
      TCanvasGuard Painting(Canvas, H);
      EXPECT_EQ(Canvas.Handle(), H);
      TDCStateGuard Saved(H);
      SetViewportOrgEx(H, 2, 3, nullptr);
      IntersectClipRect(H, 0, 0, 1, 1);
      SetTextColor(H, RGB(1, 2, 3));
      if (Fail)
        throw std::runtime_error("paint failed");
    } catch (const std::runtime_error&) {
    }
    POINT Origin{-1, -1};
    GetViewportOrgEx(H, &Origin);
    EXPECT_EQ(Origin.x, 0);
    EXPECT_EQ(Origin.y, 0);
    HRGN Clip = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetClipRgn(H, Clip), 0) << "a clip region was left";
    DeleteObject(Clip);
    EXPECT_EQ(GetTextColor(H), Text);
    EXPECT_EQ(Canvas.Handle(), nullptr);
    EXPECT_EQ(GetCurrentObject(H, OBJ_BRUSH), Brush);
    EXPECT_EQ(GetCurrentObject(H, OBJ_BITMAP), Blank);
  }
}

// ---------------------------------------------------------------- TBitmap

TEST(Bitmap, ANewBitmapIsWhiteAndEmptyWithoutSize) {
  TBitmap Bitmap;
  EXPECT_TRUE(Bitmap.Empty());
  EXPECT_EQ(Bitmap.Width(), 0);
  EXPECT_EQ(Bitmap.Handle(), nullptr);
  Bitmap.SetSize(7, 3);
  EXPECT_FALSE(Bitmap.Empty());
  EXPECT_EQ(Bitmap.Width(), 7);
  EXPECT_EQ(Bitmap.Height(), 3);
  EXPECT_EQ(Snapshot(Bitmap).Count(RGB(255, 255, 255)), 21);
  Bitmap.SetHeight(0);
  EXPECT_TRUE(Bitmap.Empty());
}

TEST(Bitmap, SetSizeKeepsThePixelsThatFitAndNewOnesAreWhite) {
  TBitmap Bitmap;
  Bitmap.SetSize(4, 3);
  Fill(Bitmap, clRed);
  Bitmap.Canvas().SetPixel(3, 2, clBlue);
  Bitmap.SetSize(6, 5);
  EXPECT_EQ(Shape(Snapshot(Bitmap), RGB(255, 255, 255)), Rows({"....##", "....##", "....##", "######", "######"}));
  EXPECT_EQ(Snapshot(Bitmap).At(3, 2), RGB(0, 0, 255));
  EXPECT_EQ(Snapshot(Bitmap).Count(RGB(255, 0, 0)), 11);

  // Shrinking drops the rest for good.
  Bitmap.SetWidth(2);
  Bitmap.SetHeight(2);
  EXPECT_EQ(Snapshot(Bitmap).Count(RGB(255, 0, 0)), 4);
  Bitmap.SetSize(4, 4);
  EXPECT_EQ(Shape(Snapshot(Bitmap), RGB(255, 0, 0)), Rows({"##..", "##..", "....", "...."}));
  EXPECT_EQ(Snapshot(Bitmap).Count(RGB(255, 255, 255)), 12);
}

TEST(Bitmap, TheCanvasAndItsToolsSurviveANewSize) {
  TBitmap Bitmap;
  Bitmap.SetSize(4, 4);
  TCanvas* Canvas = &Bitmap.Canvas();
  Canvas->Brush().SetColor(clRed);
  Canvas->Pen().SetColor(clBlue);
  Bitmap.SetSize(8, 8);
  EXPECT_EQ(&Bitmap.Canvas(), Canvas) << "the canvas callers hold was replaced";
  EXPECT_EQ(Bitmap.Canvas().Brush().Color(), clRed);
  EXPECT_EQ(Bitmap.Canvas().Pen().Color(), clBlue);
  // And it draws on the new pixels, with the tools it had.
  Bitmap.Canvas().FillRect(RECT{5, 5, 8, 8});
  Bitmap.Canvas().MoveTo(0, 7);
  Bitmap.Canvas().LineTo(3, 7);
  EXPECT_EQ(Shape(Snapshot(Bitmap), RGB(255, 0, 0)),
            Rows({"........", "........", "........", "........", "........", ".....###", ".....###", ".....###"}));
  EXPECT_EQ(Snapshot(Bitmap).Count(RGB(0, 0, 255)), 3);
  // Text drawn on the resized bitmap has the canvas's background colour.
  Bitmap.SetSize(40, 20);
  Bitmap.Canvas().TextOut(0, 0, "X");
  EXPECT_GT(Snapshot(Bitmap).Count(RGB(255, 0, 0)), 9 + 10);
}

TEST(Bitmap, SetMonochromeMakesWhiteWhiteAndEverythingElseBlack) {
  TBitmap Bitmap;
  Bitmap.SetSize(6, 2);
  const TColor Colours[6] = {clWhite, RGBColor(255, 255, 254), clSilver, clRed, clBlack, RGBColor(250, 250, 250)};
  for (int X = 0; X < 6; ++X)
    Bitmap.Canvas().SetPixel(X, 0, Colours[X]);
  Bitmap.SetMonochrome(true);
  EXPECT_TRUE(Bitmap.Monochrome());
  BITMAP Info{};
  ASSERT_TRUE(GetObjectA(Bitmap.Handle(), sizeof Info, &Info));
  EXPECT_EQ(Info.bmBitsPixel, 1);
  EXPECT_EQ(Info.bmWidth, 6);
  EXPECT_EQ(Shape(Snapshot(Bitmap), RGB(255, 255, 255)), Rows({"#.....", "######"}));
  EXPECT_EQ(Snapshot(Bitmap).Count(RGB(0, 0, 0)), 5);

  // Back to colour, the two colours stay.
  Bitmap.SetMonochrome(false);
  EXPECT_FALSE(Bitmap.Monochrome());
  ASSERT_TRUE(GetObjectA(Bitmap.Handle(), sizeof Info, &Info));
  EXPECT_GT(Info.bmBitsPixel, 1);
  EXPECT_EQ(Shape(Snapshot(Bitmap), RGB(255, 255, 255)), Rows({"#.....", "######"}));
  EXPECT_EQ(Snapshot(Bitmap).Count(RGB(0, 0, 0)), 5);
}

TEST(Bitmap, AMonochromeBitmapKeepsItsDepthThroughANewSize) {
  TBitmap Bitmap;
  Bitmap.SetMonochrome(true);
  Bitmap.SetSize(3, 3);
  Bitmap.Canvas().SetPixel(1, 1, clBlack);
  Bitmap.SetSize(5, 5);
  BITMAP Info{};
  ASSERT_TRUE(GetObjectA(Bitmap.Handle(), sizeof Info, &Info));
  EXPECT_EQ(Info.bmBitsPixel, 1);
  EXPECT_EQ(Snapshot(Bitmap).Count(RGB(0, 0, 0)), 1);
  EXPECT_EQ(Snapshot(Bitmap).At(1, 1), RGB(0, 0, 0));
}

TEST(Bitmap, AssignCopiesThePixelsAndBothGoTheirOwnWayAfterwards) {
  TBitmap Source;
  Source.SetSize(5, 4);
  Fill(Source, clNavy);
  Source.Canvas().SetPixel(1, 2, clYellow);

  TBitmap Copy;
  Copy.SetSize(9, 9);
  Fill(Copy, clRed);
  Copy.Assign(Source);
  EXPECT_EQ(Copy.Width(), 5);
  EXPECT_EQ(Copy.Height(), 4);
  EXPECT_NE(Copy.Handle(), Source.Handle());
  EXPECT_EQ(Snapshot(Copy).Count(RGB(0, 0, 128)), 19);
  EXPECT_EQ(Snapshot(Copy).At(1, 2), RGB(255, 255, 0));

  Source.Canvas().SetPixel(0, 0, clLime);
  Copy.Canvas().SetPixel(4, 3, clFuchsia);
  EXPECT_EQ(Snapshot(Copy).At(0, 0), RGB(0, 0, 128));
  EXPECT_EQ(Snapshot(Source).At(4, 3), RGB(0, 0, 128));

  // From a bitmap that never had a canvas, and from a one-bit one.
  TBitmap Plain;
  Plain.SetSize(3, 2);
  Copy.Assign(Plain);
  EXPECT_EQ(Copy.Width(), 3);
  EXPECT_EQ(Snapshot(Copy).Count(RGB(255, 255, 255)), 6);
  Source.SetMonochrome(true);
  Copy.Assign(Source);
  EXPECT_TRUE(Copy.Monochrome());
  EXPECT_EQ(Snapshot(Copy).Count(RGB(0, 0, 0)), 20);

  // An empty source empties the copy.
  TBitmap Empty;
  Copy.Assign(Empty);
  EXPECT_TRUE(Copy.Empty());
  EXPECT_EQ(Copy.Handle(), nullptr);
}

TEST(Bitmap, CloneIsAnIndependentCopy) {
  TBitmap Source;
  Source.SetSize(3, 3);
  Source.Canvas().SetPixel(2, 2, clRed);
  auto Clone = Source.Clone();
  auto* Copy = dynamic_cast<TBitmap*>(Clone.get());
  ASSERT_NE(Copy, nullptr);
  EXPECT_STREQ(Copy->ClassName(), "TBitmap");
  EXPECT_EQ(Snapshot(*Copy).At(2, 2), RGB(255, 0, 0));
  Source.Canvas().SetPixel(2, 2, clBlue);
  EXPECT_EQ(Snapshot(*Copy).At(2, 2), RGB(255, 0, 0));
}

TEST(Bitmap, DrawPutsItsPixelsAtTheGivenPlace) {
  TBitmap Picture;
  Picture.SetSize(2, 3);
  Fill(Picture, clPurple);
  TWhiteBitmap Page(6, 6);
  Picture.Draw(Page.Canvas(), 3, 2);
  EXPECT_EQ(Shape(Snapshot(Page), RGB(128, 0, 128)),
            Rows({"......", "......", "...##.", "...##.", "...##.", "......"}));
  TBitmap Empty;
  Empty.Draw(Page.Canvas(), 0, 0);
  EXPECT_EQ(Snapshot(Page).Count(RGB(255, 255, 255)), 30);
}

TEST(Bitmap, SetDIBitsTakesBottomUpRows) {
  // Two rows of two pixels, BGR, each row padded to four bytes: the bottom row first.
  const std::uint8_t Bits[] = {0,   0, 255, 0, 255, 0, 0, 0,   // bottom: red, green
                               255, 0, 0,   0, 0,   0, 0, 0};  // top: blue, black
  TBitmap Bitmap;
  Bitmap.SetDIBits(2, 2, Bits);
  const TPixels Pixels = Snapshot(Bitmap);
  EXPECT_EQ(Hex(Pixels.At(0, 0)), Hex(RGB(0, 0, 255)));
  EXPECT_EQ(Hex(Pixels.At(1, 0)), Hex(RGB(0, 0, 0)));
  EXPECT_EQ(Hex(Pixels.At(0, 1)), Hex(RGB(255, 0, 0)));
  EXPECT_EQ(Hex(Pixels.At(1, 1)), Hex(RGB(0, 255, 0)));
}

TEST(Bitmap, SetDIBitsReplacesWhateverTheBitmapHeldAndItsCanvasDrawsOnThem) {
  // Bottom-up BGR rows padded to four bytes: red, green below blue, black.
  const std::uint8_t Bits[] = {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 0, 0};
  struct TCase {
    const char* Before;
    int Width, Height;
    bool Monochrome, WithCanvas;
  } const Cases[] = {
      {"empty, no canvas", 0, 0, false, false},
      {"larger, canvas in use", 4, 4, false, true},
      {"one bit, canvas in use", 3, 3, true, true},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Before);
    TBitmap Bitmap;
    Bitmap.SetMonochrome(C.Monochrome);
    Bitmap.SetSize(C.Width, C.Height);
    TCanvas* Canvas = C.WithCanvas ? &Bitmap.Canvas() : nullptr;
    if (Canvas) {
      Canvas->Brush().SetColor(clYellow);
      Canvas->FillRect(RECT{0, 0, C.Width, C.Height});
    }
    Bitmap.SetDIBits(2, 2, Bits);
    EXPECT_EQ(Bitmap.Width(), 2);
    EXPECT_EQ(Bitmap.Height(), 2);
    EXPECT_FALSE(Bitmap.Monochrome());
    BITMAP Info{};
    ASSERT_TRUE(GetObjectA(Bitmap.Handle(), sizeof Info, &Info));
    EXPECT_GT(Info.bmBitsPixel, 1);
    if (Canvas) {
      EXPECT_EQ(&Bitmap.Canvas(), Canvas) << "the canvas callers hold was replaced";
    }
    const TPixels Pixels = Snapshot(Bitmap);
    EXPECT_EQ(Hex(Pixels.At(0, 0)), Hex(RGB(0, 0, 255)));
    EXPECT_EQ(Hex(Pixels.At(1, 0)), Hex(RGB(0, 0, 0)));
    EXPECT_EQ(Hex(Pixels.At(0, 1)), Hex(RGB(255, 0, 0)));
    EXPECT_EQ(Hex(Pixels.At(1, 1)), Hex(RGB(0, 255, 0)));
    // The canvas draws on the new pixels, and a new size keeps them.
    Bitmap.Canvas().SetPixel(1, 0, clWhite);
    Bitmap.SetSize(3, 2);
    EXPECT_EQ(Hex(Snapshot(Bitmap).At(1, 0)), Hex(RGB(255, 255, 255)));
    EXPECT_EQ(Hex(Snapshot(Bitmap).At(1, 1)), Hex(RGB(0, 255, 0)));
    EXPECT_EQ(Hex(Snapshot(Bitmap).At(2, 1)), Hex(RGB(255, 255, 255)));
  }
  // No pixels, no bitmap.
  TBitmap Bitmap;
  Bitmap.SetSize(2, 2);
  Bitmap.SetDIBits(0, 2, Bits);
  EXPECT_TRUE(Bitmap.Empty());
  EXPECT_EQ(Bitmap.Handle(), nullptr);
}
