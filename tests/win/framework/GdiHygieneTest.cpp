// GDI resource hygiene: forms with pictures, labels and edits, and canvases
// and bitmaps, made, painted and destroyed many times must give back every
// GDI object they took. How objects are counted is explained in ResourceCount.h.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "GraphicsTestSupport.h"
#include "Pictures.h"
#include "ResourceCount.h"
#include "StdCtrls.h"

using namespace GfxTest;
using namespace WinTest;

namespace {

struct TFiles {
  Bytes Jpeg = JpegFixture("small.jpg");
  Bytes Icon = MainIcon();
};

const TFiles& Files() {
  static const TFiles Loaded;
  return Loaded;
}

// One form with every kind of control on it, shown, painted, changed,
// painted again and destroyed.
void FormCycle(int Round) {
  auto* Form = new TForm(nullptr);
  Form->SetBounds(30 + Round % 5, 30, 300, 200);
  Form->SetColor(Round % 2 ? clBtnFace : clWhite);
  auto* Jpeg = AddControl<TImage>(Form, 5, 5, 10, 10);
  Jpeg->SetAutoSize(true);
  Jpeg->Picture().LoadFromData("TJPEGImage", Files().Jpeg);
  auto* Icon = AddControl<TImage>(Form, 50, 5, 32, 32);
  Icon->Picture().LoadFromData("TIcon", Files().Icon);
  auto* Label = AddControl<TLabel>(Form, 5, 60, 10, 10);
  Label->SetCaption("Round " + std::to_string(Round));
  Label->Font().SetStyle(fsBold);
  auto* Edit = AddControl<TEdit>(Form, 5, 90, 120, 21);
  Edit->SetText("edit");
  Edit->SetColor(clInfoBk);
  Form->Show();
  Settle(Form);

  Label->Font().SetHeight(-15);
  Label->Font().SetColor(clRed);
  Edit->SetCtl3D(false);
  Edit->Font().SetStyle(fsItalic);
  Form->Font().SetHeight(-13);
  TPicture Copy;
  Copy.Assign(Jpeg->Picture());
  Icon->SetPicture(Copy);
  Settle(Form);
  Form->Hide();
  delete Form;
  Application->ProcessMessages();
}

// Bitmaps, canvases and pictures without any window.
void CanvasCycle(int Round) {
  TBitmap Bitmap;
  Bitmap.SetSize(20, 10);
  TCanvas& Canvas = Bitmap.Canvas();
  Canvas.Brush().SetColor(RGBColor(Round, 0, 0));
  Canvas.FillRect(RECT{0, 0, 5, 5});
  Canvas.Pen().SetWidth(2);
  Canvas.Pen().SetColor(clBlue);
  Canvas.MoveTo(0, 0);
  Canvas.LineTo(9, 9);
  Canvas.Font().SetHeight(-9 - Round % 3);
  Canvas.Brush().SetStyle(TBrushStyle::bsClear);
  Canvas.TextOut(1, 1, "gdi");
  Canvas.FrameRect(RECT{0, 0, 20, 10});
  Bitmap.SetSize(30, 12);
  Bitmap.SetMonochrome(true);
  Bitmap.SetMonochrome(false);
  TBitmap Copy;
  Copy.Assign(Bitmap);
  Copy.Canvas().CopyRect(RECT{0, 0, 10, 10}, Bitmap.Canvas(), RECT{5, 0, 15, 10});
  auto Clone = Copy.Clone();

  // A canvas on a context of our own, attached and let go.
  HDC DC = CreateCompatibleDC(nullptr);
  {
    TCanvas Own;
    Own.SetHandle(DC);
    Own.Font().SetStyle(fsUnderline);
    Own.Brush().SetColor(clGreen);
    Own.SetHandle(nullptr);
    Own.Pen().SetColor(clRed);
    Own.SetHandle(DC);
  }
  DeleteDC(DC);

  TPicture Picture;
  Picture.LoadFromData("TJPEGImage", Files().Jpeg);
  dynamic_cast<TJPEGImage&>(*Picture.Graphic()).Draw(Bitmap.Canvas(), 0, 0);
  TPicture Icon;
  Icon.LoadFromData("TIcon", Files().Icon);
  Icon.Graphic()->Draw(Copy.Canvas(), 0, 0);
  Picture.Assign(Icon);
  Picture.Graphic()->Draw(Copy.Canvas(), 0, 0);
}

}  // namespace

TEST(GdiHygiene, ObjectsInUseAreCountedExactly) {
  // Whichever way they are counted, ten brushes more are ten objects more.
  const int Before = GdiObjectsInUse();
  HBRUSH Brushes[10];
  for (auto& B : Brushes)
    B = CreateSolidBrush(RGB(7, 8, 9));
  const int During = GdiObjectsInUse();
  for (auto B : Brushes)
    DeleteObject(B);
  const int After = GdiObjectsInUse();
  EXPECT_EQ(During - Before, 10);
  EXPECT_EQ(After, Before);
  // Filling the table up did not spoil it.
  HBRUSH Brush = CreateSolidBrush(RGB(7, 8, 9));
  EXPECT_NE(Brush, nullptr);
  DeleteObject(Brush);
  if (!GuiResourcesCount())
    std::printf("GetGuiResources gives no count here (%lu); %d GDI handles are free\n",
                static_cast<unsigned long>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)), FreeGdiHandles());
}

TEST(GdiHygiene, OneObjectKeptPerRoundIsSeen) {
  // The measurement itself can fail: a cycle that keeps one pen is caught, to the object.
  std::vector<HPEN> Kept;
  const int Leak = LeftBehind([&](int) { Kept.push_back(CreatePen(PS_SOLID, 1, RGB(1, 1, 1))); }, 20).Gdi;
  for (HPEN Pen : Kept)
    DeleteObject(Pen);
  EXPECT_EQ(Leak, 20);
}

TEST(GdiHygiene, FormsWithPicturesLabelsAndEditsGiveBackEveryObject) {
  const int Cycles = 25;
  const int Leak = LeftBehind(FormCycle, Cycles).Gdi;
  EXPECT_LE(Leak, 2) << Leak << " GDI objects more after " << Cycles << " forms";
}

TEST(GdiHygiene, BitmapsCanvasesAndPicturesGiveBackEveryObject) {
  const int Cycles = 100;
  const int Leak = LeftBehind(CanvasCycle, Cycles).Gdi;
  EXPECT_LE(Leak, 2) << Leak << " GDI objects more after " << Cycles << " rounds";
}
