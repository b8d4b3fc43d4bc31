#include "FlatUtilitys.h"

#include "HSLUtils.h"
#ifdef _WIN32
#include "DeviceContexts.h"
#endif

TColor DeriveAdvColor(TColor ParentColor, TColor OwnColor, TAdvColors Percent, bool Darker) {
  if (Percent == 0)
    return OwnColor;
  std::int32_t H, S, L;
  ColorToScaledHsl(static_cast<TColor>(ColorToRGB(ParentColor)), H, S, L);
  L = CheckedAdd(L, 10);
  if (Darker)
    L = CheckedSub(L, Percent) < 0 ? 0 : CheckedSub(L, Percent);
  else
    L = CheckedAdd(L, Percent) > 100 ? 100 : CheckedAdd(L, Percent);
  return ScaledHslToColor(H, S, L);
}

void LayoutGlyphAndCaption(const TRect& Client, TPoint Offset, TButtonLayout Layout, std::int32_t Spacing,
                           std::int32_t Margin, TPoint GlyphSize, TPoint TextSize, TPoint& GlyphOrigin,
                           TRect& CaptionRect) {
  const TPoint ClientSize{CheckedSub(Client.Right, Client.Left), CheckedSub(Client.Bottom, Client.Top)};
  CaptionRect = TRect{0, 0, TextSize.X, TextSize.Y};
  TPoint GlyphPos, TextPos;
  const bool Horizontal = Layout == blGlyphLeft || Layout == blGlyphRight;
  if (Horizontal) {
    GlyphPos.Y = CheckedDiv(CheckedAdd(CheckedSub(ClientSize.Y, GlyphSize.Y), 1), 2);
    TextPos.Y = CheckedDiv(CheckedAdd(CheckedSub(ClientSize.Y, TextSize.Y), 1), 2);
  } else {
    GlyphPos.X = CheckedDiv(CheckedAdd(CheckedSub(ClientSize.X, GlyphSize.X), 1), 2);
    TextPos.X = CheckedDiv(CheckedAdd(CheckedSub(ClientSize.X, TextSize.X), 1), 2);
  }
  if (TextSize.X == 0 || GlyphSize.X == 0)
    Spacing = 0;

  // Along the main axis.
  const std::int32_t Size = Horizontal ? ClientSize.X : ClientSize.Y;
  const std::int32_t Glyph = Horizontal ? GlyphSize.X : GlyphSize.Y;
  const std::int32_t Text = Horizontal ? TextSize.X : TextSize.Y;
  if (Margin == -1) {
    if (Spacing == -1) {
      Margin = CheckedDiv(CheckedSub(Size, CheckedAdd(Glyph, Text)), 3);
      Spacing = Margin;
    } else {
      const auto Total = CheckedAdd(CheckedAdd(Glyph, Spacing), Text);
      Margin = CheckedDiv(CheckedAdd(CheckedSub(Size, Total), 1), 2);
    }
  } else if (Spacing == -1) {
    Spacing = CheckedDiv(CheckedSub(CheckedSub(Size, CheckedAdd(Margin, Glyph)), Text), 2);
  }

  switch (Layout) {
    case blGlyphLeft:
      GlyphPos.X = Margin;
      TextPos.X = CheckedAdd(CheckedAdd(GlyphPos.X, GlyphSize.X), Spacing);
      break;
    case blGlyphRight:
      GlyphPos.X = CheckedSub(CheckedSub(ClientSize.X, Margin), GlyphSize.X);
      TextPos.X = CheckedSub(CheckedSub(GlyphPos.X, Spacing), TextSize.X);
      break;
    case blGlyphTop:
      GlyphPos.Y = Margin;
      TextPos.Y = CheckedAdd(CheckedAdd(GlyphPos.Y, GlyphSize.Y), Spacing);
      break;
    case blGlyphBottom:
      GlyphPos.Y = CheckedSub(CheckedSub(ClientSize.Y, Margin), GlyphSize.Y);
      TextPos.Y = CheckedSub(CheckedSub(GlyphPos.Y, Spacing), TextSize.Y);
      break;
  }
  const std::int32_t DX = CheckedAdd(Client.Left, Offset.X), DY = CheckedAdd(Client.Top, Offset.Y);
  GlyphOrigin = TPoint{CheckedAdd(GlyphPos.X, DX), CheckedAdd(GlyphPos.Y, DY)};
  CaptionRect = TRect{CheckedAdd(CaptionRect.Left, CheckedAdd(TextPos.X, DX)),
                      CheckedAdd(CaptionRect.Top, CheckedAdd(TextPos.Y, DY)),
                      CheckedAdd(CaptionRect.Right, CheckedAdd(TextPos.X, DX)),
                      CheckedAdd(CaptionRect.Bottom, CheckedAdd(TextPos.Y, DY))};
}

#ifdef _WIN32

void DrawBevelFrame(TCanvas& Canvas, RECT Rect, TColor TopColor, TColor BottomColor, int Width) {
  Canvas.Pen().SetWidth(1);
  Rect.right = CheckedSub(Rect.right, 1);
  Rect.bottom = CheckedSub(Rect.bottom, 1);
  for (int I = 0; I < Width; ++I) {
    Canvas.Pen().SetColor(TopColor);
    Canvas.MoveTo(Rect.left, Rect.bottom);
    Canvas.LineTo(Rect.left, Rect.top);
    Canvas.LineTo(Rect.right, Rect.top);
    Canvas.Pen().SetColor(BottomColor);
    Canvas.LineTo(Rect.right, Rect.bottom);
    Canvas.LineTo(CheckedSub(Rect.left, 1), Rect.bottom);
    InflateRect(&Rect, -1, -1);
  }
}

void PaintParentBackground(TControl& Control, TCanvas& Canvas) {
  TWinControl* Parent = Control.Parent();
  if (!Parent)
    return;
  HDC DC = Canvas.Handle();
  TDCStateGuard Saved(DC);
  POINT Origin;
  GetViewportOrgEx(DC, &Origin);
  SetViewportOrgEx(DC, CheckedSub(Origin.x, Control.Left()), CheckedSub(Origin.y, Control.Top()), nullptr);
  IntersectClipRect(DC, 0, 0, Parent->ClientWidth(), Parent->ClientHeight());
  Parent->Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(DC), 0);
  Parent->Perform(WM_PAINT, reinterpret_cast<WPARAM>(DC), 0);
}

TBitmap* MakeEmbossedGlyph(TBitmap& Source, TColor MaskColor, TColor BackColor, TColor HighlightColor,
                           TColor ShadowColor, bool WithHighlight) {
  const int W = Source.Width(), H = Source.Height();
  auto Result = std::make_unique<TBitmap>();
  Result->SetSize(W, H);
  TBitmap Mono;
  Mono.SetSize(W, H);
  RECT R{0, 0, W, H};
  TCanvas& Work = Mono.Canvas();
  Work.Brush().SetColor(MaskColor);
  // A one-bit source turns colour through the work copy's font colour (its
  // clear bits) and brush colour (its set bits): its black pixels become the
  // white that is then picked out.
  if (Source.Monochrome())
    Work.Font().SetColor(clWhite);
  Work.CopyRect(R, Source.Canvas(), R);
  if (Source.Monochrome())
    Work.Brush().SetColor(clWhite);
  // To one bit: pixels of the brush colour become set, all others clear.
  SetBkColor(Work.Handle(), ColorToRGB(Work.Brush().Color()));
  TBitmap Mask;
  Mask.SetMonochrome(true);
  Mask.SetSize(W, H);
  BitBlt(Mask.Canvas().Handle(), 0, 0, W, H, Work.Handle(), 0, 0, SRCCOPY);

  TCanvas& Out = Result->Canvas();
  Out.Brush().SetColor(BackColor);
  Out.FillRect(R);
  SetTextColor(Out.Handle(), RGB(0, 0, 0));
  // Keeps the destination under clear mask bits and puts the brush colour under set ones.
  constexpr DWORD BrushWhereMaskSet = 0x00E20746;
  // The canvas sets the background to the brush colour; the mask needs white.
  if (WithHighlight) {
    Out.Brush().SetColor(HighlightColor);
    SetBkColor(Out.Handle(), RGB(255, 255, 255));
    BitBlt(Out.Handle(), 1, 1, W, H, Mask.Canvas().Handle(), 0, 0, BrushWhereMaskSet);
  }
  Out.Brush().SetColor(ShadowColor);
  SetBkColor(Out.Handle(), RGB(255, 255, 255));
  BitBlt(Out.Handle(), 0, 0, W, H, Mask.Canvas().Handle(), 0, 0, BrushWhereMaskSet);
  return Result.release();
}

void LayoutGlyphAndCaption(TCanvas& Canvas, const RECT& Client, POINT Offset, TButtonLayout Layout, int Spacing,
                           int Margin, TBitmap* Glyph, TNumGlyphs NumGlyphs, const std::string& Caption,
                           POINT& GlyphOrigin, RECT& CaptionRect) {
  TPoint GlyphSize;
  if (Glyph && !Glyph->Empty())
    GlyphSize = {CheckedDiv(Glyph->Width(), NumGlyphs), Glyph->Height()};
  TPoint TextSize;
  if (!Caption.empty()) {
    RECT Measured{0, 0, CheckedSub(Client.right, Client.left), 0};
    Canvas.DrawText(Caption, Measured, DT_CALCRECT | DT_SINGLELINE);
    TextSize = {CheckedSub(Measured.right, Measured.left), CheckedSub(Measured.bottom, Measured.top)};
  }
  TPoint Origin;
  TRect Caption2;
  LayoutGlyphAndCaption(TRect{Client.left, Client.top, Client.right, Client.bottom}, TPoint{Offset.x, Offset.y}, Layout,
                        Spacing, Margin, GlyphSize, TextSize, Origin, Caption2);
  GlyphOrigin = {Origin.X, Origin.Y};
  CaptionRect = {Caption2.Left, Caption2.Top, Caption2.Right, Caption2.Bottom};
}

#endif
