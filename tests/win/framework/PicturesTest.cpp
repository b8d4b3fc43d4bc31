// Pictures and the picture control on a shown form: JPEG files land pixel for
// pixel as the host's djpeg decodes them, the application icon draws its
// knob over whatever is behind it, and TPicture copies what it is given.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "GraphicsTestSupport.h"
#include "Pictures.h"
#include "StdCtrls.h"
#include "SysUtils.h"

using namespace GfxTest;

namespace {

// The colour of main.ico at X, Y (from the top), or CLR_INVALID where it is
// transparent; worked out as resources/make_icon.py draws it.
COLORREF IconPixel(int X, int Y) {
  const double C = 15.5;
  const double D2 = (X - C) * (X - C) + (Y - C) * (Y - C);
  if (D2 > 15.5 * 15.5)
    return CLR_INVALID;
  if (D2 > 14 * 14)
    return RGB(0, 0, 128);
  if (D2 < 6 * 6)
    return D2 > 5 * 5 ? RGB(128, 128, 128) : RGB(0, 0, 0);
  const int H = (X - 10) * (X - 10) + (Y - 9) * (Y - 9);
  if (H < 16)
    return RGB(255, 255, 255);
  if (H < 40)
    return RGB(192, 192, 192);
  return RGB(0, 0, 255);
}

// A graphic of any size that draws nothing, for the size rules of TImage.
class TSizedGraphic : public TGraphic {
 public:
  TSizedGraphic(int Width, int Height) : FWidth(Width), FHeight(Height) {}
  int Width() override { return FWidth; }
  int Height() override { return FHeight; }
  bool Empty() override { return false; }
  void Draw(TCanvas&, int, int) override {}
  std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TSizedGraphic>(FWidth, FHeight); }
  const char* ClassName() const override { return "TSizedGraphic"; }

 private:
  int FWidth, FHeight;
};

TPixels Snapshot(TBitmap& Bitmap) { return TPixels(Bitmap.Canvas().Handle(), 0, 0, Bitmap.Width(), Bitmap.Height()); }

// Where the pixels of a window differ from djpeg's, as "x,y got G want W" (the first few).
std::string CompareWithPpm(const TPixels& Got, const TPixmap& Want, int& Differences) {
  std::string Report;
  Differences = 0;
  for (int Y = 0; Y < Want.Height; ++Y)
    for (int X = 0; X < Want.Width; ++X)
      if (Got.At(X, Y) != Want.At(X, Y) && ++Differences <= 5)
        Report += std::to_string(X) + "," + std::to_string(Y) + " got " + Hex(Got.At(X, Y)) + " want " +
                  Hex(Want.At(X, Y)) + "; ";
  return Report;
}

class PictureForm : public FormTest {};

}  // namespace

// ---------------------------------------------------------------- JPEG on a form

TEST_F(PictureForm, AJpegDrawnByAnImageLandsPixelForPixelAsDjpegDecodesIt) {
  HDC Screen = GetDC(nullptr);
  const int Depth = GetDeviceCaps(Screen, BITSPIXEL);
  ReleaseDC(nullptr, Screen);
  ASSERT_GE(Depth, 24) << "the screen cannot show every colour";
  auto* Form = NewForm(480, 340, clFuchsia);
  auto* Image = AddControl<TImage>(Form, 7, 5, 105, 105);
  Image->SetAutoSize(true);
  Image->Picture().LoadFromData("TJPEGImage", JpegFixture("gradient.jpg"));
  EXPECT_EQ(Image->Width(), 450);
  EXPECT_EQ(Image->Height(), 304);
  auto* Small = AddControl<TImage>(Form, 460, 320, 13, 7);
  Small->Picture().LoadFromData("TJPEGImage", JpegFixture("odd.jpg"));
  ShowPainted(Form);

  const TPixmap Want = ReadPpm("gradient.ppm");
  ASSERT_EQ(Want.Width, 450);
  int Differences = 0;
  std::string Report = CompareWithPpm(ClientPixels(Form, 7, 5, 450, 304), Want, Differences);
  EXPECT_EQ(Differences, 0) << Report;
  // Nothing around it: the form's colour up to the picture's edge.
  const TPixels Around = ClientPixels(Form, 6, 4, 452, 306);
  for (int X = 0; X < 452; ++X) {
    ASSERT_EQ(Hex(Around.At(X, 0)), Hex(RGB(255, 0, 255))) << "top, x " << X;
    ASSERT_EQ(Hex(Around.At(X, 305)), Hex(RGB(255, 0, 255))) << "bottom, x " << X;
  }
  for (int Y = 0; Y < 306; ++Y) {
    ASSERT_EQ(Hex(Around.At(0, Y)), Hex(RGB(255, 0, 255))) << "left, y " << Y;
    ASSERT_EQ(Hex(Around.At(451, Y)), Hex(RGB(255, 0, 255))) << "right, y " << Y;
  }

  // An odd size (rows padded in the DIB) lands as exactly.
  const TPixmap Odd = ReadPpm("odd.ppm");
  ASSERT_EQ(Odd.Width, 13);
  Report = CompareWithPpm(ClientPixels(Form, 460, 320, 13, 7), Odd, Differences);
  EXPECT_EQ(Differences, 0) << Report;
}

TEST_F(PictureForm, AnImageWithoutAutoSizeKeepsItsSizeAndShowsOnlyWhatFits) {
  auto* Form = NewForm(480, 340, clLime);
  auto* Image = AddControl<TImage>(Form, 20, 10, 60, 40);
  Image->Picture().LoadFromData("TJPEGImage", JpegFixture("gradient.jpg"));
  EXPECT_EQ(Image->Width(), 60);
  EXPECT_EQ(Image->Height(), 40);
  ShowPainted(Form);
  const TPixmap Want = ReadPpm("gradient.ppm");
  const TPixels Got = ClientPixels(Form, 20, 10, 60, 40);
  int Differences = 0;
  for (int Y = 0; Y < 40; ++Y)
    for (int X = 0; X < 60; ++X)
      Differences += Got.At(X, Y) != Want.At(X, Y);
  EXPECT_EQ(Differences, 0);
  // The rest of the picture is clipped at the control's edge.
  EXPECT_EQ(Hex(ClientPixel(Form, 80, 20)), Hex(RGB(0, 255, 0)));
  EXPECT_EQ(Hex(ClientPixel(Form, 30, 50)), Hex(RGB(0, 255, 0)));
  EXPECT_EQ(ClientPixels(Form, 80, 10, 300, 250).Count(RGB(0, 255, 0)), 300 * 250);
}

TEST_F(PictureForm, AutoSizeTakesThePictureSizeKeepingLeftAndTop) {
  auto* Form = NewForm();
  auto* Image = AddControl<TImage>(Form, 33, 44, 10, 10);
  Image->SetAutoSize(true);
  Image->Picture().LoadFromData("TJPEGImage", JpegFixture("small.jpg"));
  EXPECT_EQ(Image->Left(), 33);
  EXPECT_EQ(Image->Top(), 44);
  EXPECT_EQ(Image->Width(), 28);
  EXPECT_EQ(Image->Height(), 9);

  // Turning AutoSize on later sizes the image at once.
  auto* Later = AddControl<TImage>(Form, 5, 6, 100, 100);
  Later->Picture().LoadFromData("TIcon", MainIcon());
  EXPECT_EQ(Later->Width(), 100);
  Later->SetAutoSize(true);
  EXPECT_EQ(Later->Width(), 32);
  EXPECT_EQ(Later->Height(), 32);
  EXPECT_EQ(Later->Left(), 5);
  EXPECT_EQ(Later->Top(), 6);
}

TEST_F(PictureForm, AutoSizeNeedsBothSidesAboveZero) {
  TImage Image(nullptr);
  Image.SetBounds(3, 4, 50, 60);
  Image.SetAutoSize(true);
  Image.Picture().SetGraphic(std::make_unique<TSizedGraphic>(20, 0));
  EXPECT_EQ(Image.Width(), 50);
  EXPECT_EQ(Image.Height(), 60);
  Image.Picture().SetGraphic(std::make_unique<TSizedGraphic>(0, 20));
  EXPECT_EQ(Image.Width(), 50);
  EXPECT_EQ(Image.Height(), 60);
  Image.Picture().SetGraphic(std::make_unique<TSizedGraphic>(1, 2));
  EXPECT_EQ(Image.Width(), 1);
  EXPECT_EQ(Image.Height(), 2);
  EXPECT_EQ(Image.Left(), 3);
  EXPECT_EQ(Image.Top(), 4);
  // Bytes that are no JPEG have no size: the image keeps its own.
  Image.Picture().LoadFromData("TJPEGImage", JpegFixture("not-a-jpeg.jpg"));
  EXPECT_EQ(Image.Width(), 1);
  EXPECT_EQ(Image.Height(), 2);
}

TEST_F(PictureForm, AnEmptyPictureDrawsNothingAndKeepsTheSize) {
  auto* Form = NewForm(200, 120, clLime);
  auto* Image = AddControl<TImage>(Form, 10, 10, 50, 50);
  Image->SetAutoSize(true);
  ShowPainted(Form);
  EXPECT_EQ(ClientPixels(Form, 0, 0, 200, 120).Count(RGB(0, 255, 0)), 200 * 120);
  EXPECT_EQ(Image->Width(), 50);

  Image->Picture().LoadFromData("TJPEGImage", JpegFixture("small.jpg"));
  Settle(Form);
  EXPECT_EQ(Image->Width(), 28);
  EXPECT_LT(ClientPixels(Form, 10, 10, 28, 9).Count(RGB(0, 255, 0)), 10);

  // Emptied: the size stays and the form's colour shows where the picture was.
  TPicture Empty;
  Image->SetPicture(Empty);
  EXPECT_TRUE(Image->Picture().Empty());
  Settle(Form);
  EXPECT_EQ(Image->Width(), 28);
  EXPECT_EQ(Image->Height(), 9);
  EXPECT_EQ(ClientPixels(Form, 0, 0, 200, 120).Count(RGB(0, 255, 0)), 200 * 120);
}

// ---------------------------------------------------------------- the icon

TEST(Icon, TheApplicationIconIs32By32AndDrawsItsKnobOverTheBackground) {
  TIcon Icon(MainIcon());
  EXPECT_FALSE(Icon.Empty());
  EXPECT_EQ(Icon.Width(), 32);
  EXPECT_EQ(Icon.Height(), 32);
  EXPECT_STREQ(Icon.ClassName(), "TIcon");
  EXPECT_NE(Icon.Handle(), nullptr);

  TBitmap Page;
  Page.SetSize(40, 40);
  Page.Canvas().Brush().SetColor(clLime);
  Page.Canvas().FillRect(RECT{0, 0, 40, 40});
  Icon.Draw(Page.Canvas(), 4, 3);
  const TPixels Pixels = Snapshot(Page);
  int Wrong = 0;
  std::string Report;
  for (int Y = 0; Y < 32; ++Y)
    for (int X = 0; X < 32; ++X) {
      const COLORREF Want = IconPixel(X, Y) == CLR_INVALID ? RGB(0, 255, 0) : IconPixel(X, Y);
      if (Pixels.At(X + 4, Y + 3) != Want && ++Wrong <= 5)
        Report += std::to_string(X) + "," + std::to_string(Y) + " got " + Hex(Pixels.At(X + 4, Y + 3)) + " want " +
                  Hex(Want) + "; ";
    }
  EXPECT_EQ(Wrong, 0) << Report;
  // The landmarks: a dark centre, blue at the middle of the left edge, the background in the corners.
  EXPECT_EQ(Hex(Pixels.At(4 + 15, 3 + 15)), Hex(RGB(0, 0, 0)));
  EXPECT_EQ(Hex(Pixels.At(4 + 3, 3 + 16)), Hex(RGB(0, 0, 255)));
  for (POINT Corner : {POINT{0, 0}, POINT{31, 0}, POINT{0, 31}, POINT{31, 31}})
    EXPECT_EQ(Hex(Pixels.At(4 + Corner.x, 3 + Corner.y)), Hex(RGB(0, 255, 0)));
  // Nothing outside its 32 x 32 pixels.
  EXPECT_EQ(
      Pixels.Count(RGB(0, 255, 0)), 40 * 40 - 32 * 32 + [] {
        int Clear = 0;
        for (int Y = 0; Y < 32; ++Y)
          for (int X = 0; X < 32; ++X)
            Clear += IconPixel(X, Y) == CLR_INVALID;
        return Clear;
      }());
}

TEST_F(PictureForm, AnIconInAnImageShowsTheFormThroughItsCorners) {
  auto* Form = NewForm(120, 80, clYellow);
  auto* Image = AddControl<TImage>(Form, 30, 20, 50, 50);
  Image->Picture().LoadFromData("TIcon", MainIcon());
  ShowPainted(Form);
  const TPixels Got = ClientPixels(Form, 30, 20, 32, 32);
  EXPECT_EQ(Hex(Got.At(15, 15)), Hex(RGB(0, 0, 0)));
  EXPECT_EQ(Hex(Got.At(16, 16)), Hex(RGB(0, 0, 0)));
  EXPECT_EQ(Hex(Got.At(2, 15)), Hex(RGB(0, 0, 255)));
  EXPECT_EQ(Hex(Got.At(1, 15)), Hex(RGB(0, 0, 128)));
  EXPECT_EQ(Hex(Got.At(10, 9)), Hex(RGB(255, 255, 255)));
  for (POINT Corner : {POINT{0, 0}, POINT{31, 0}, POINT{0, 31}, POINT{31, 31}, POINT{0, 15}})
    EXPECT_EQ(Hex(Got.At(Corner.x, Corner.y)), Hex(RGB(255, 255, 0))) << Corner.x << "," << Corner.y;
  // The rest of the image's 50 x 50 is the form.
  EXPECT_EQ(ClientPixels(Form, 62, 20, 18, 50).Count(RGB(255, 255, 0)), 18 * 50);
}

TEST(Icon, BytesThatAreNoIconAreRefused) {
  EXPECT_THROW(TIcon(Bytes{1, 2, 3}), EInvalidGraphic);
  Bytes Cut = MainIcon();
  Cut.resize(100);
  EXPECT_THROW(TIcon{Cut}, EInvalidGraphic);
  TPicture Picture;
  EXPECT_THROW(Picture.LoadFromData("TIcon", JpegFixture("small.jpg")), EInvalidGraphic);
}

// ---------------------------------------------------------------- TPicture

TEST(Picture, LoadFromDataMakesTheGraphicItNames) {
  TPicture Picture;
  EXPECT_TRUE(Picture.Empty());
  EXPECT_EQ(Picture.Width(), 0);
  int Changes = 0;
  Picture.OnChange = [&] { ++Changes; };

  const Bytes Jpeg = JpegFixture("small.jpg");
  Picture.LoadFromData("TJPEGImage", Jpeg);
  EXPECT_EQ(Changes, 1);
  auto* AsJpeg = dynamic_cast<TJPEGImage*>(Picture.Graphic());
  ASSERT_NE(AsJpeg, nullptr);
  EXPECT_EQ(AsJpeg->Data(), Jpeg);
  EXPECT_EQ(Picture.Width(), 28);
  EXPECT_EQ(Picture.Height(), 9);
  EXPECT_FALSE(Picture.Empty());

  Picture.LoadFromData("TIcon", MainIcon());
  EXPECT_EQ(Changes, 2);
  ASSERT_NE(dynamic_cast<TIcon*>(Picture.Graphic()), nullptr);
  EXPECT_EQ(Picture.Width(), 32);

  try {
    Picture.LoadFromData("TMetafile", Jpeg);
    ADD_FAILURE() << "an unknown picture class was taken";
  } catch (const EInvalidGraphic& E) {
    EXPECT_NE(E.Message().find("TMetafile"), std::string::npos) << E.Message();
  }
  EXPECT_NE(dynamic_cast<TIcon*>(Picture.Graphic()), nullptr) << "a refused load changed the picture";
}

TEST(Picture, AssignCopiesTheContentAndALaterChangeToTheSourceLeavesTheCopy) {
  TPicture Source, Copy;
  int CopyChanges = 0;
  Copy.OnChange = [&] { ++CopyChanges; };

  const Bytes Jpeg = JpegFixture("small.jpg");
  Source.LoadFromData("TJPEGImage", Jpeg);
  Copy.Assign(Source);
  EXPECT_EQ(CopyChanges, 1);
  ASSERT_NE(Copy.Graphic(), nullptr);
  EXPECT_NE(Copy.Graphic(), Source.Graphic());
  EXPECT_EQ(dynamic_cast<TJPEGImage&>(*Copy.Graphic()).Data(), Jpeg);

  Source.LoadFromData("TIcon", MainIcon());
  ASSERT_NE(dynamic_cast<TJPEGImage*>(Copy.Graphic()), nullptr);
  EXPECT_EQ(Copy.Width(), 28);

  // A bitmap's pixels are copied, not shared.
  auto Bitmap = std::make_unique<TBitmap>();
  Bitmap->SetSize(4, 4);
  Bitmap->Canvas().SetPixel(1, 1, clRed);
  TBitmap* Original = Bitmap.get();
  Source.SetGraphic(std::move(Bitmap));
  Copy.Assign(Source);
  auto* Copied = dynamic_cast<TBitmap*>(Copy.Graphic());
  ASSERT_NE(Copied, nullptr);
  Original->Canvas().SetPixel(1, 1, clBlue);
  Original->SetSize(8, 8);
  EXPECT_EQ(Copy.Width(), 4);
  EXPECT_EQ(Hex(Snapshot(*Copied).At(1, 1)), Hex(RGB(255, 0, 0)));

  // The icon's file is copied too.
  Source.LoadFromData("TIcon", MainIcon());
  Copy.Assign(Source);
  ASSERT_NE(dynamic_cast<TIcon*>(Copy.Graphic()), nullptr);
  EXPECT_EQ(dynamic_cast<TIcon&>(*Copy.Graphic()).Data(), MainIcon());
  Source.SetGraphic(nullptr);
  EXPECT_EQ(Copy.Width(), 32);

  // Assigning a picture to itself changes nothing.
  const int Before = CopyChanges;
  TGraphic* Same = Copy.Graphic();
  Copy.Assign(Copy);
  EXPECT_EQ(Copy.Graphic(), Same);
  EXPECT_EQ(CopyChanges, Before);
}

TEST(Picture, AssigningAnEmptyPictureEmptiesTheTarget) {
  TPicture Target, Empty;
  Target.LoadFromData("TIcon", MainIcon());
  int Changes = 0;
  Target.OnChange = [&] { ++Changes; };
  Target.Assign(Empty);
  EXPECT_TRUE(Target.Empty());
  EXPECT_EQ(Target.Graphic(), nullptr);
  EXPECT_EQ(Target.Width(), 0);
  EXPECT_EQ(Target.Height(), 0);
  EXPECT_EQ(Changes, 1);
}

// How many pixels of the decoded picture differ from djpeg's output PpmName.
int DifferencesFromPpm(TJPEGImage& Jpeg, const std::string& PpmName) {
  const TPixmap Want = ReadPpm(PpmName);
  EXPECT_EQ(Jpeg.Width(), Want.Width) << PpmName;
  EXPECT_EQ(Jpeg.Height(), Want.Height) << PpmName;
  EXPECT_EQ(Jpeg.Bitmap().Width(), Want.Width) << PpmName;
  TPixels Got(Jpeg.Bitmap().Canvas().Handle(), 0, 0, Want.Width, Want.Height);
  int Differences = 0;
  for (int Y = 0; Y < Want.Height; ++Y)
    for (int X = 0; X < Want.Width; ++X)
      Differences += Got.At(X, Y) != Want.At(X, Y);
  return Differences;
}

TEST(Picture, AJpegAtAScaleIsDecodedAtItAsDjpegScales) {
  TJPEGImage Jpeg(JpegFixture("gradient.jpg"));
  EXPECT_EQ(Jpeg.Scale(), 8);
  Jpeg.SetScale(12);
  EXPECT_EQ(Jpeg.Width(), 675);  // known from the header, before decoding
  EXPECT_EQ(Jpeg.Height(), 456);
  EXPECT_EQ(DifferencesFromPpm(Jpeg, "gradient-12.ppm"), 0);
  Jpeg.SetScale(10);
  EXPECT_EQ(DifferencesFromPpm(Jpeg, "gradient-10.ppm"), 0);
  Jpeg.SetScale(16);
  EXPECT_EQ(DifferencesFromPpm(Jpeg, "gradient-16.ppm"), 0);
  // Beyond what libjpeg scales a picture to, it stays at 16/8.
  Jpeg.SetScale(20);
  EXPECT_EQ(Jpeg.Width(), 900);
  // And back at the design density, the picture as before.
  Jpeg.SetScale(8);
  EXPECT_EQ(DifferencesFromPpm(Jpeg, "gradient.ppm"), 0);
  EXPECT_THROW(Jpeg.SetScale(7), EInvalidGraphic);
  EXPECT_THROW(Jpeg.SetScale(33), EInvalidGraphic);
  EXPECT_EQ(Jpeg.Scale(), 8);
  // A copy draws at the same scale.
  Jpeg.SetScale(12);
  auto Copy = Jpeg.Clone();
  EXPECT_EQ(Copy->Width(), 675);
}

// gradient.jpg stands in as the double of a picture half its size.
TEST(Picture, ADoubleSizeVersionIsDecodedAtHalfTheScaleWhereTheScaleIsEven) {
  TJPEGImage Jpeg(JpegFixture("odd.jpg"));
  Jpeg.SetDoubleSize(JpegFixture("gradient.jpg"));
  EXPECT_EQ(Jpeg.Width(), 13);  // at the design density, the picture itself
  Jpeg.SetScale(12);
  EXPECT_EQ(DifferencesFromPpm(Jpeg, "gradient-6.ppm"), 0);
  Jpeg.SetScale(10);
  EXPECT_EQ(DifferencesFromPpm(Jpeg, "gradient-5.ppm"), 0);
  Jpeg.SetScale(16);
  EXPECT_EQ(DifferencesFromPpm(Jpeg, "gradient.ppm"), 0);
  // An odd scale takes the picture itself: 13 x 7 at 9/8.
  Jpeg.SetScale(9);
  EXPECT_EQ(Jpeg.Width(), 15);
  EXPECT_EQ(Jpeg.Height(), 8);
  EXPECT_EQ(Jpeg.Bitmap().Width(), 15);
  // Above 16/8 only the double reaches: 32/8 is it at 16/8.
  Jpeg.SetScale(32);
  EXPECT_EQ(Jpeg.Width(), 900);
  EXPECT_EQ(Jpeg.Height(), 608);
  auto Copy = Jpeg.Clone();
  EXPECT_EQ(Copy->Width(), 900);
  EXPECT_EQ(dynamic_cast<TJPEGImage&>(*Copy).Data(), JpegFixture("odd.jpg"));
}

TEST(Picture, AJpegKnowsItsSizeBeforeDecodingAndRefusesToDrawGarbage) {
  TJPEGImage Jpeg(JpegFixture("progressive.jpg"));
  EXPECT_EQ(Jpeg.Width(), 450);
  EXPECT_EQ(Jpeg.Height(), 304);
  const TPixmap Want = ReadPpm("progressive.ppm");
  TPixels Got(Jpeg.Bitmap().Canvas().Handle(), 0, 0, 450, 304);
  int Differences = 0;
  for (int Y = 0; Y < 304; ++Y)
    for (int X = 0; X < 450; ++X)
      Differences += Got.At(X, Y) != Want.At(X, Y);
  EXPECT_EQ(Differences, 0);

  TJPEGImage Garbage(JpegFixture("not-a-jpeg.jpg"));
  EXPECT_FALSE(Garbage.Empty());
  EXPECT_EQ(Garbage.Width(), 0);
  TBitmap Page;
  Page.SetSize(4, 4);
  EXPECT_THROW(Garbage.Draw(Page.Canvas(), 0, 0), EInvalidGraphic);
  TJPEGImage None;
  EXPECT_TRUE(None.Empty());
  None.Draw(Page.Canvas(), 0, 0);
}
