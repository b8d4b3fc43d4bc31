#include "Graphics.h"

TFont::TFont() = default;

void TFont::Assign(const TFont& Source) {
  if (&Source == this || *this == Source)
    return;
  FName = Source.FName;
  FHeight = Source.FHeight;
  FCharset = Source.FCharset;
  FColor = Source.FColor;
  FStyle = Source.FStyle;
  Changed();
}

bool TFont::operator==(const TFont& Other) const {
  return FName == Other.FName && FHeight == Other.FHeight && FCharset == Other.FCharset && FColor == Other.FColor &&
         FStyle == Other.FStyle;
}

void TFont::SetName(const std::string& Value) {
  if (Value != FName) {
    FName = Value;
    Changed();
  }
}

void TFont::SetHeight(int Value) {
  if (Value != FHeight) {
    FHeight = Value;
    Changed();
  }
}

void TFont::SetCharset(int Value) {
  if (Value != FCharset) {
    FCharset = Value;
    Changed();
  }
}

void TFont::SetColor(TColor Value) {
  if (Value != FColor) {
    FColor = Value;
    Changed();
  }
}

void TFont::SetStyle(unsigned Value) {
  if (Value != FStyle) {
    FStyle = Value;
    Changed();
  }
}

void TFont::Changed() {
  // The old font may still be selected somewhere: delete it only after the
  // owner has selected the new one.
  TFontHandle Old(FHandle.Release());
  if (OnChange)
    OnChange();
}

HFONT TFont::Handle() {
  if (!FHandle) {
    LOGFONTA Log{};
    Log.lfHeight = FHeight;
    Log.lfWeight = (FStyle & fsBold) ? FW_BOLD : FW_NORMAL;
    Log.lfItalic = (FStyle & fsItalic) != 0;
    Log.lfUnderline = (FStyle & fsUnderline) != 0;
    Log.lfStrikeOut = (FStyle & fsStrikeOut) != 0;
    Log.lfCharSet = static_cast<BYTE>(FCharset);
    Log.lfQuality = DEFAULT_QUALITY;
    lstrcpynA(Log.lfFaceName, FName.c_str(), LF_FACESIZE);
    FHandle.Reset(CreateFontIndirectA(&Log));
  }
  return FHandle.Get();
}

void TBrush::SetColor(TColor Value) {
  if (Value != FColor || FStyle == TBrushStyle::bsClear) {
    FColor = Value;
    FStyle = TBrushStyle::bsSolid;
    TBrushHandle Old(FHandle.Release());
    if (OnChange)
      OnChange();
  }
}

void TBrush::SetStyle(TBrushStyle Value) {
  if (Value != FStyle) {
    FStyle = Value;
    TBrushHandle Old(FHandle.Release());
    if (OnChange)
      OnChange();
  }
}

HBRUSH TBrush::Handle() {
  if (!FHandle) {
    if (FStyle == TBrushStyle::bsClear) {
      LOGBRUSH Log{BS_HOLLOW, 0, 0};
      FHandle.Reset(CreateBrushIndirect(&Log));
    } else {
      FHandle.Reset(CreateSolidBrush(ColorToRGB(FColor)));
    }
  }
  return FHandle.Get();
}

void TPen::SetColor(TColor Value) {
  if (Value != FColor) {
    FColor = Value;
    TPenHandle Old(FHandle.Release());
    if (OnChange)
      OnChange();
  }
}

void TPen::SetWidth(int Value) {
  if (Value != FWidth) {
    FWidth = Value;
    TPenHandle Old(FHandle.Release());
    if (OnChange)
      OnChange();
  }
}

HPEN TPen::Handle() {
  if (!FHandle)
    FHandle.Reset(CreatePen(PS_SOLID, FWidth, ColorToRGB(FColor)));
  return FHandle.Get();
}

TCanvas::TCanvas() {
  // A changed tool is reselected at once, so the context never holds a deleted object.
  FFont.OnChange = [this] {
    if (FHandle) {
      SelectObject(FHandle, FFont.Handle());
      SetTextColor(FHandle, ColorToRGB(FFont.Color()));
    }
  };
  FBrush.OnChange = [this] {
    if (FHandle) {
      SelectObject(FHandle, FBrush.Handle());
      SetBkMode(FHandle, FBrush.Style() == TBrushStyle::bsClear ? TRANSPARENT : OPAQUE);
      SetBkColor(FHandle, ColorToRGB(FBrush.Color()));
    }
  };
  FPen.OnChange = [this] {
    if (FHandle)
      SelectObject(FHandle, FPen.Handle());
  };
}

TCanvas::~TCanvas() { SetHandle(nullptr); }

void TCanvas::SetHandle(HDC Value) {
  if (Value == FHandle)
    return;
  Deselect();
  FHandle = Value;
  Select();
}

void TCanvas::Select() {
  if (!FHandle)
    return;
  FOldFont = SelectObject(FHandle, FFont.Handle());
  FOldBrush = SelectObject(FHandle, FBrush.Handle());
  FOldPen = SelectObject(FHandle, FPen.Handle());
  SetTextColor(FHandle, ColorToRGB(FFont.Color()));
  SetBkColor(FHandle, ColorToRGB(FBrush.Color()));
  SetBkMode(FHandle, FBrush.Style() == TBrushStyle::bsClear ? TRANSPARENT : OPAQUE);
}

void TCanvas::Deselect() {
  if (!FHandle)
    return;
  SelectObject(FHandle, FOldFont);
  SelectObject(FHandle, FOldBrush);
  SelectObject(FHandle, FOldPen);
  FOldFont = FOldBrush = FOldPen = nullptr;
}

void TCanvas::FillRect(const RECT& Rect) {
  if (FBrush.Style() != TBrushStyle::bsClear)
    ::FillRect(FHandle, &Rect, FBrush.Handle());
}

void TCanvas::FrameRect(const RECT& Rect) { ::FrameRect(FHandle, &Rect, FBrush.Handle()); }

void TCanvas::MoveTo(int X, int Y) { MoveToEx(FHandle, X, Y, nullptr); }

void TCanvas::LineTo(int X, int Y) { ::LineTo(FHandle, X, Y); }

TColor TCanvas::Pixel(int X, int Y) { return static_cast<TColor>(GetPixel(FHandle, X, Y)); }

void TCanvas::SetPixel(int X, int Y, TColor Color) { ::SetPixel(FHandle, X, Y, ColorToRGB(Color)); }

void TCanvas::TextOut(int X, int Y, const std::string& Text) {
  ::TextOutA(FHandle, X, Y, Text.c_str(), static_cast<int>(Text.size()));
}

SIZE TCanvas::TextExtent(const std::string& Text) {
  SIZE Size{0, 0};
  GetTextExtentPoint32A(FHandle, Text.c_str(), static_cast<int>(Text.size()), &Size);
  return Size;
}

int TCanvas::TextWidth(const std::string& Text) { return TextExtent(Text).cx; }

int TCanvas::TextHeight(const std::string& Text) { return TextExtent(Text).cy; }

int TCanvas::DrawText(const std::string& Text, RECT& Rect, UINT Flags) {
  return ::DrawTextA(FHandle, Text.c_str(), static_cast<int>(Text.size()), &Rect, Flags);
}

void TCanvas::CopyRect(const RECT& DestRect, TCanvas& Source, const RECT& SourceRect) {
  StretchBlt(FHandle, DestRect.left, DestRect.top, DestRect.right - DestRect.left, DestRect.bottom - DestRect.top,
             Source.Handle(), SourceRect.left, SourceRect.top, SourceRect.right - SourceRect.left,
             SourceRect.bottom - SourceRect.top, SRCCOPY);
}
