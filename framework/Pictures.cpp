#include "Pictures.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "DeviceContexts.h"
#include "JpegDecoder.h"
#include "SysUtils.h"

// ---------------------------------------------------------------- TBitmap

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() { ReleaseCanvas(); }

void TBitmap::ReleaseCanvas() {
  FCanvas.reset();
  if (FDC) {
    SelectObject(FDC.Get(), FOldBitmap);
    FDC.Reset();
    FOldBitmap = nullptr;
  }
}

void TBitmap::Rebuild(int Width, int Height, bool Monochrome, const std::uint8_t* Rows) {
  TBitmapHandle New;
  if (Width > 0 && Height > 0) {
    if (Monochrome) {
      New.Reset(CreateBitmap(Width, Height, 1, 1, nullptr));
    } else {
      TClientDC Screen(nullptr);
      // Given every pixel, made and filled in one step: a white start would
      // be painted over at once, and at 200 % a picture is megabytes of it.
      const BITMAPINFOHEADER Header{sizeof Header, Width, Height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
      New.Reset(Rows ? CreateDIBitmap(Screen.Handle(), &Header, CBM_INIT, Rows,
                                      reinterpret_cast<const BITMAPINFO*>(&Header), DIB_RGB_COLORS)
                     : CreateCompatibleBitmap(Screen.Handle(), Width, Height));
    }
    if (!New)
      throw EInvalidGraphic("Out of system resources");
  }
  if (New && !Rows) {
    // Keep what fits of the old pixels; the rest starts white.
    TMemoryDC Dest(CreateCompatibleDC(nullptr));
    TSelectGuard SelectedNew(Dest.Get(), New.Get());
    // White as a colour, not WHITENESS: that sets every bit of a 32-bit pixel,
    // which then no longer matches white when made monochrome.
    RECT All{0, 0, Width, Height};
    ::FillRect(Dest.Get(), &All, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    if (FBitmap) {
      // The canvas's context holds the old pixels already; else one of our own does.
      TMemoryDC Own;
      std::optional<TSelectGuard> SelectedOld;
      HDC Source = FDC.Get();
      if (!Source) {
        Own.Reset(CreateCompatibleDC(nullptr));
        Source = Own.Get();
        SelectedOld.emplace(Source, FBitmap.Get());
      }
      // A one-bit target maps the background colour (white) to 1, the rest to 0.
      const COLORREF OldBk = SetBkColor(Source, RGB(255, 255, 255));
      BitBlt(Dest.Get(), 0, 0, std::min(Width, FWidth), std::min(Height, FHeight), Source, 0, 0, SRCCOPY);
      SetBkColor(Source, OldBk);
    }
  }
  // The canvas stays, tools and all (callers hold on to it): it draws on the new pixels.
  if (FDC)
    SelectObject(FDC.Get(), New ? New.Get() : FOldBitmap);
  FBitmap = std::move(New);
  FWidth = FBitmap ? Width : 0;
  FHeight = FBitmap ? Height : 0;
  FMonochrome = Monochrome;
}

void TBitmap::SetSize(int Width, int Height) {
  if (Width != FWidth || Height != FHeight)
    Rebuild(std::max(Width, 0), std::max(Height, 0), FMonochrome);
}

void TBitmap::SetMonochrome(bool Value) {
  if (Value != FMonochrome)
    Rebuild(FWidth, FHeight, Value);
}

void TBitmap::Assign(const TBitmap& Source) {
  if (&Source == this)
    return;
  Rebuild(0, 0, Source.FMonochrome);
  if (Source.FWidth > 0 && Source.FHeight > 0) {
    Rebuild(Source.FWidth, Source.FHeight, Source.FMonochrome);
    HDC Dest = Canvas().Handle();
    TMemoryDC From(CreateCompatibleDC(nullptr));
    TSelectGuard Selected(From.Get(), Source.FBitmap.Get());
    BitBlt(Dest, 0, 0, FWidth, FHeight, Source.FDC ? Source.FDC.Get() : From.Get(), 0, 0, SRCCOPY);
  }
}

void TBitmap::SetDIBits(int Width, int Height, const std::uint8_t* Bits) { Rebuild(Width, Height, false, Bits); }

TCanvas& TBitmap::Canvas() {
  if (!FCanvas) {
    FDC.Reset(CreateCompatibleDC(nullptr));
    // The context's own bitmap goes back before it is deleted, whatever was selected since.
    FOldBitmap = GetCurrentObject(FDC.Get(), OBJ_BITMAP);
    if (FBitmap)
      SelectObject(FDC.Get(), FBitmap.Get());
    FCanvas = std::make_unique<TCanvas>();
    FCanvas->SetHandle(FDC.Get());
  }
  return *FCanvas;
}

void TBitmap::Draw(TCanvas& Target, int X, int Y) {
  if (Empty())
    return;
  BitBlt(Target.Handle(), X, Y, FWidth, FHeight, Canvas().Handle(), 0, 0, SRCCOPY);
}

std::unique_ptr<TGraphic> TBitmap::Clone() const {
  auto Copy = std::make_unique<TBitmap>();
  Copy->Assign(*this);
  return Copy;
}

// ---------------------------------------------------------------- TJPEGImage

TJPEGImage::TJPEGImage(std::vector<std::uint8_t> Data) : FData(std::move(Data)) {}

TJPEGImage::TSource TJPEGImage::Source() const {
  // An odd scale beyond what the picture itself reaches takes the double a
  // little larger rather than not at all.
  if (!FDoubleSize.empty() && FScale > 8 && (FScale % 2 == 0 || FScale > MaxJpegScale))
    return {FDoubleSize, (FScale + 1) / 2};
  return {FData, std::min(FScale, static_cast<int>(MaxJpegScale))};
}

void TJPEGImage::SetScale(int Value) {
  if (Value < 8 || Value > 2 * MaxJpegScale)
    throw EInvalidGraphic("JPEG scale " + std::to_string(Value) + "/8 is not supported");
  if (Value == FScale)
    return;
  FScale = Value;
  Changed();
}

void TJPEGImage::SetDoubleSize(std::vector<std::uint8_t> Value) {
  FDoubleSize = std::move(Value);
  Changed();
}

void TJPEGImage::Changed() {
  FWidth = FHeight = -1;
  FBitmap.reset();
}

void TJPEGImage::ReadSize() {
  if (FWidth >= 0)
    return;
  const TSource From = Source();
  int W = 0, H = 0;
  if (!From.Data.empty() && ReadJpegSize(From.Data.data(), From.Data.size(), W, H)) {
    FWidth = ScaledJpegLength(W, From.Scale);
    FHeight = ScaledJpegLength(H, From.Scale);
  } else {
    FWidth = FHeight = 0;
  }
}

int TJPEGImage::Width() {
  ReadSize();
  return FWidth;
}

int TJPEGImage::Height() {
  ReadSize();
  return FHeight;
}

TBitmap& TJPEGImage::Bitmap() {
  if (!FBitmap) {
    const TSource From = Source();
    auto Decoded = DecodeJpeg(From.Data.data(), From.Data.size(), From.Scale);
    auto Result = std::make_unique<TBitmap>();
    Result->SetDIBits(Decoded.Width, Decoded.Height, Decoded.Bits.data());
    FBitmap = std::move(Result);
  }
  return *FBitmap;
}

void TJPEGImage::Draw(TCanvas& Canvas, int X, int Y) {
  if (!Empty())
    Bitmap().Draw(Canvas, X, Y);
}

std::unique_ptr<TGraphic> TJPEGImage::Clone() const {
  auto Copy = std::make_unique<TJPEGImage>(FData);
  Copy->FDoubleSize = FDoubleSize;
  Copy->FScale = FScale;
  return Copy;
}

// ---------------------------------------------------------------- TIcon

namespace {

#pragma pack(push, 1)
struct TIconDirEntry {
  BYTE Width, Height, ColorCount, Reserved;
  WORD Planes, BitCount;
  DWORD BytesInRes, ImageOffset;
};
#pragma pack(pop)

}  // namespace

TIcon::TIcon(std::vector<std::uint8_t> Data) : FData(std::move(Data)) {
  // Directory: reserved 0, type 1, count; then the entries.
  if (FData.size() < 6 + sizeof(TIconDirEntry) || FData[0] != 0 || FData[1] != 0 || FData[2] != 1 || FData[3] != 0 ||
      (FData[4] | FData[5] << 8) == 0)
    throw EInvalidGraphic("Invalid icon");
  TIconDirEntry Entry;
  std::memcpy(&Entry, FData.data() + 6, sizeof Entry);
  if (Entry.ImageOffset > FData.size() || Entry.BytesInRes > FData.size() - Entry.ImageOffset)
    throw EInvalidGraphic("Invalid icon");
  FWidth = Entry.Width ? Entry.Width : 256;
  FHeight = Entry.Height ? Entry.Height : 256;
}

TIcon::~TIcon() {
  if (FHandle)
    DestroyIcon(FHandle);
}

HICON TIcon::Handle() {
  if (!FHandle && !FData.empty()) {
    TIconDirEntry Entry;
    std::memcpy(&Entry, FData.data() + 6, sizeof Entry);
    FHandle = CreateIconFromResourceEx(FData.data() + Entry.ImageOffset, Entry.BytesInRes, TRUE, 0x00030000, FWidth,
                                       FHeight, LR_DEFAULTCOLOR);
    if (!FHandle)
      throw EInvalidGraphic("Invalid icon");
  }
  return FHandle;
}

void TIcon::Draw(TCanvas& Canvas, int X, int Y) {
  if (!Empty())
    DrawIconEx(Canvas.Handle(), X, Y, Handle(), FWidth, FHeight, 0, nullptr, DI_NORMAL);
}

std::unique_ptr<TGraphic> TIcon::Clone() const { return std::make_unique<TIcon>(FData); }

// ---------------------------------------------------------------- TPicture

void TPicture::SetGraphic(std::unique_ptr<TGraphic> Value) {
  FGraphic = std::move(Value);
  Changed();
}

void TPicture::Assign(const TPicture& Source) {
  if (&Source == this)
    return;
  FGraphic = Source.FGraphic ? Source.FGraphic->Clone() : nullptr;
  Changed();
}

void TPicture::LoadFromData(const std::string& ClassName, std::vector<std::uint8_t> Data) {
  if (ClassName == "TJPEGImage")
    SetGraphic(std::make_unique<TJPEGImage>(std::move(Data)));
  else if (ClassName == "TIcon")
    SetGraphic(std::make_unique<TIcon>(std::move(Data)));
  else
    throw EInvalidGraphic("Unknown picture format " + ClassName);
}

void TPicture::SetScale(int M) {
  if (auto* Jpeg = dynamic_cast<TJPEGImage*>(FGraphic.get())) {
    Jpeg->SetScale(M);
    Changed();
  }
}

void TPicture::SetDoubleSize(std::vector<std::uint8_t> Data) {
  if (auto* Jpeg = dynamic_cast<TJPEGImage*>(FGraphic.get())) {
    Jpeg->SetDoubleSize(std::move(Data));
    Changed();
  }
}
