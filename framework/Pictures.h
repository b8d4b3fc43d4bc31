// Pictures: bitmaps with a canvas, JPEG images decoded when first drawn,
// icons, and TPicture, which holds one graphic of any of these kinds.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Graphics.h"

class TGraphic {
 public:
  virtual ~TGraphic() = default;
  virtual int Width() = 0;
  virtual int Height() = 0;
  virtual bool Empty() = 0;
  // Draws at natural size with its top-left corner at X, Y.
  virtual void Draw(TCanvas& Canvas, int X, int Y) = 0;
  virtual std::unique_ptr<TGraphic> Clone() const = 0;
  // The class name a stored description uses for this kind of graphic.
  virtual const char* ClassName() const = 0;
};

// A device-dependent colour bitmap (or a one-bit one when Monochrome), with a
// canvas on a memory device context made on first use.
class TBitmap : public TGraphic {
 public:
  TBitmap();
  ~TBitmap() override;
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  int Width() override { return FWidth; }
  int Height() override { return FHeight; }
  bool Empty() override { return FWidth == 0 || FHeight == 0; }
  void Draw(TCanvas& Canvas, int X, int Y) override;
  std::unique_ptr<TGraphic> Clone() const override;
  const char* ClassName() const override { return "TBitmap"; }

  // A new size keeps the pixels that still fit; new ones are white.
  void SetSize(int Width, int Height);
  void SetWidth(int Value) { SetSize(Value, FHeight); }
  void SetHeight(int Value) { SetSize(FWidth, Value); }
  bool Monochrome() const { return FMonochrome; }
  // Converts the pixels: to one bit, what is not white becomes black.
  void SetMonochrome(bool Value);
  void Assign(const TBitmap& Source);
  // Takes the pixels of a 24-bit bottom-up DIB.
  void SetDIBits(int Width, int Height, const std::uint8_t* Bits);

  TCanvas& Canvas();
  HBITMAP Handle() const { return FBitmap.Get(); }

 private:
  // With Rows (24-bit, bottom-up) the pixels are those; else what fits of
  // the old ones, and white.
  void Rebuild(int Width, int Height, bool Monochrome, const std::uint8_t* Rows = nullptr);
  void ReleaseCanvas();
  int FWidth = 0, FHeight = 0;
  bool FMonochrome = false;
  TBitmapHandle FBitmap;
  TMemoryDC FDC;
  HGDIOBJ FOldBitmap = nullptr;
  std::unique_ptr<TCanvas> FCanvas;
};

// A JPEG file held as its bytes; decoded with libjpeg when first drawn, at
// the scale a dense screen asks for.
class TJPEGImage : public TGraphic {
 public:
  TJPEGImage() = default;
  explicit TJPEGImage(std::vector<std::uint8_t> Data);
  // The size it draws at: libjpeg's size at the scale.
  int Width() override;
  int Height() override;
  bool Empty() override { return FData.empty(); }
  // Raises EInvalidGraphic for a file libjpeg cannot read.
  void Draw(TCanvas& Canvas, int X, int Y) override;
  std::unique_ptr<TGraphic> Clone() const override;
  const char* ClassName() const override { return "TJPEGImage"; }
  const std::vector<std::uint8_t>& Data() const { return FData; }
  // The decoded picture (decoding it now if needed).
  TBitmap& Bitmap();

  // Draws at Scale/8 of its size (8 to 16; 32 with a double-size version),
  // decoded so by libjpeg rather than stretched.
  int Scale() const { return FScale; }
  void SetScale(int Value);
  // The same picture drawn at exactly twice the size. At an even scale above
  // 8 it is decoded at half that scale instead of the picture itself, which
  // gives the same size, sharper; above 16 it is all there is.
  const std::vector<std::uint8_t>& DoubleSize() const { return FDoubleSize; }
  void SetDoubleSize(std::vector<std::uint8_t> Value);

 private:
  // The bytes decoded at the current scale, and the scale libjpeg takes for them.
  struct TSource {
    const std::vector<std::uint8_t>& Data;
    int Scale;
  };
  TSource Source() const;
  void ReadSize();
  void Changed();
  std::vector<std::uint8_t> FData, FDoubleSize;
  int FScale = 8;
  int FWidth = -1, FHeight = -1;
  std::unique_ptr<TBitmap> FBitmap;
};

// An icon held as its .ico file; the first image is the one drawn.
class TIcon : public TGraphic {
 public:
  TIcon() = default;
  explicit TIcon(std::vector<std::uint8_t> Data);
  ~TIcon() override;
  int Width() override { return FWidth; }
  int Height() override { return FHeight; }
  bool Empty() override { return FData.empty(); }
  void Draw(TCanvas& Canvas, int X, int Y) override;
  std::unique_ptr<TGraphic> Clone() const override;
  const char* ClassName() const override { return "TIcon"; }
  const std::vector<std::uint8_t>& Data() const { return FData; }
  HICON Handle();

 private:
  std::vector<std::uint8_t> FData;
  int FWidth = 0, FHeight = 0;
  HICON FHandle = nullptr;
};

class TPicture {
 public:
  TPicture() = default;
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;

  TGraphic* Graphic() const { return FGraphic.get(); }
  void SetGraphic(std::unique_ptr<TGraphic> Value);
  // Copies the content; an empty source empties this picture.
  void Assign(const TPicture& Source);
  // Builds the graphic from a stored class name and its data; raises
  // EInvalidGraphic for an unknown class.
  void LoadFromData(const std::string& ClassName, std::vector<std::uint8_t> Data);
  int Width() const { return FGraphic ? FGraphic->Width() : 0; }
  int Height() const { return FGraphic ? FGraphic->Height() : 0; }
  bool Empty() const { return !FGraphic || FGraphic->Empty(); }
  // A JPEG picture draws at M/8 of its size; other kinds keep theirs.
  void SetScale(int M);
  // A JPEG picture's double-size version; other kinds have none.
  void SetDoubleSize(std::vector<std::uint8_t> Data);

  std::function<void()> OnChange;

 private:
  void Changed() {
    if (OnChange)
      OnChange();
  }
  std::unique_ptr<TGraphic> FGraphic;
};
