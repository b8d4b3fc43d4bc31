#include "TFlatProgressBarUnit.h"

#include <limits>

#include "Consts.h"
#include "DeviceContexts.h"
#include "FormReader.h"
#include "HSLUtils.h"
#include "SysUtils.h"

namespace {

// Geometry is worked out in 64 bits (sizes and positions may be anything an
// unchecked caller set) and only narrowed for the drawing call.
LONG Narrow(std::int64_t Value) {
  if (Value < std::numeric_limits<LONG>::min())
    return std::numeric_limits<LONG>::min();
  if (Value > std::numeric_limits<LONG>::max())
    return std::numeric_limits<LONG>::max();
  return static_cast<LONG>(Value);
}

RECT MakeRect(std::int64_t Left, std::int64_t Top, std::int64_t Right, std::int64_t Bottom) {
  return RECT{Narrow(Left), Narrow(Top), Narrow(Right), Narrow(Bottom)};
}

// DeriveAdvColor takes a checked percentage; an unchecked one above 100 gets
// the same rule here instead of a range error.
TColor DeriveDarker(TColor Base, TColor Own, std::uint8_t Percent) {
  if (Percent <= 100)
    return DeriveAdvColor(Base, Own, TAdvColors(Percent), true);
  std::int32_t H, S, L;
  ColorToScaledHsl(static_cast<TColor>(ColorToRGB(Base)), H, S, L);
  L = L + 10 - Percent;
  return ScaledHslToColor(H, S, L < 0 ? 0 : L);
}

}  // namespace

TFlatProgressBar::TFlatProgressBar(TComponent* Owner) : TGraphicControl(Owner) {
  SetHeight(16);
  SetWidth(147);
  FElementSize = 8;
  FColorElement = 0x996633;
  FColorBorder = 0x8396A0;
  SetParentColor(true);
  SetOrientation(pbHorizontal);
  FStep = 10;
  FMin = 0;
  FMax = 100;
  FUseAdvColors = false;
  FAdvColorBorder = 50;
  SetTransparent(false);
}

void TFlatProgressBar::SetMin(std::int32_t Value) {
  if (Value == FMin)
    return;
  FMin = Value;
  Invalidate();
}

void TFlatProgressBar::SetMax(std::int32_t Value) {
  if (Value == FMax)
    return;
  if (Value < FPosition)
    FPosition = Value;
  FMax = Value;
  Invalidate();
}

void TFlatProgressBar::SetPosition(std::int32_t Value) {
  if (Value > FMax)
    Value = FMax;
  if (Value < FMin)
    Value = FMin;
  if (Value > FPosition) {
    FPosition = Value;
    // A growing fill only adds to what is shown: no need to erase.
    DrawElementsNow();
  } else if (Value < FPosition) {
    FPosition = Value;
    Invalidate();
  }
}

void TFlatProgressBar::SetStep(std::int32_t Value) {
  if (Value == FStep)
    return;
  FStep = Value;
  Invalidate();
}

void TFlatProgressBar::SetSmooth(bool Value) {
  if (Value == FSmooth)
    return;
  FSmooth = Value;
  Invalidate();
}

void TFlatProgressBar::SetTransparent(bool Value) {
  FTransparent = Value;
  Invalidate();
}

void TFlatProgressBar::SetColors(int Index, TColor Value) {
  switch (Index) {
    case 0:
      FColorElement = Value;
      break;
    case 1:
      FColorBorder = Value;
      break;
  }
  Invalidate();
}

void TFlatProgressBar::SetAdvColors(int Index, std::uint8_t Value) {
  if (Index == 0)
    FAdvColorBorder = Value;
  CalcAdvColors();
  Invalidate();
}

void TFlatProgressBar::SetUseAdvColors(bool Value) {
  if (Value == FUseAdvColors)
    return;
  FUseAdvColors = Value;
  SetParentColor(Value);
  CalcAdvColors();
  Invalidate();
}

void TFlatProgressBar::SetOrientation(TProgressBarOrientation Value) {
  if (Value == FOrientation)
    return;
  FOrientation = Value;
  // A stored description already holds the size meant for its orientation.
  if (InState(csLoading)) {
    Repaint();
    return;
  }
  SetBounds(Left(), Top(), Height(), Width());
  Invalidate();
}

void TFlatProgressBar::CalcAdvColors() {
  if (FUseAdvColors)
    FColorBorder = DeriveDarker(Color(), FColorBorder, FAdvColorBorder);
}

void TFlatProgressBar::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case CM_PARENTCOLORCHANGED:
      TGraphicControl::Dispatch(Message);
      [[fallthrough]];
    case CM_SYSCOLORCHANGE:
      if (FUseAdvColors) {
        SetParentColor(true);
        CalcAdvColors();
      }
      Invalidate();
      return;
  }
  TGraphicControl::Dispatch(Message);
}

void TFlatProgressBar::Paint() {
  if (!FSmooth)
    FitToElements();
  const RECT Client = ClientRect();
  TBrush& Brush = Canvas().Brush();
  Brush.SetStyle(TBrushStyle::bsSolid);
  if (!FTransparent) {
    Brush.SetColor(Color());
    Canvas().FillRect(Client);
  }
  Brush.SetColor(FColorBorder);
  Canvas().FrameRect(Client);
  DrawElements();
}

void TFlatProgressBar::FitToElements() {
  const std::int32_t Stride = FElementSize + 1;
  auto Snap = [Stride](std::int32_t Length) { return Length < 12 ? 12 : (Length - 3) / Stride * Stride + 3; };
  if (FOrientation == pbVertical)
    SetBounds(Left(), Top(), Width(), Snap(Height()));
  else
    SetBounds(Left(), Top(), Snap(Width()), Height());
}

void TFlatProgressBar::DrawElements() {
  const std::int64_t Range = static_cast<std::int64_t>(FMax) - FMin;
  // No proportion to show (and nothing to divide by).
  if (Range == 0)
    return;
  const std::int64_t Done = static_cast<std::int64_t>(FPosition) - FMin;
  const std::int64_t W = ClientWidth(), H = ClientHeight(), E = FElementSize;
  const bool Vertical = FOrientation == pbVertical;
  TBrush& Brush = Canvas().Brush();
  Brush.SetStyle(TBrushStyle::bsSolid);
  Brush.SetColor(FColorElement);

  if (FSmooth) {
    const std::int64_t Inner = (Vertical ? H : W) - 4;
    // Inner * Done may need all of 64 bits and a sign beyond them.
    __int128 Fill = static_cast<__int128>(Inner) * Done / Range;
    if (Fill <= 0)
      return;
    const std::int64_t L =
        Fill > std::numeric_limits<LONG>::max() ? std::numeric_limits<LONG>::max() : static_cast<std::int64_t>(Fill);
    Canvas().FillRect(Vertical ? MakeRect(2, H - 2 - L, W - 2, H - 2) : MakeRect(2, 2, 2 + L, H - 2));
    return;
  }

  const std::int64_t Stride = E + 1;
  const std::int64_t MaxBlocks = ((Vertical ? H : W) - 3) / Stride;
  // Not yet snapped to room for one block.
  if (MaxBlocks <= 0)
    return;
  // The tiny bias keeps a block whose quotient falls a hair short of whole.
  const double Quotient =
      static_cast<double>(Done) / (static_cast<double>(Range) / static_cast<double>(MaxBlocks)) + 1E-8;
  std::int64_t Count;
  if (!(Quotient >= 1))
    Count = 0;
  else if (Quotient >= static_cast<double>(MaxBlocks))
    Count = MaxBlocks;
  else
    Count = static_cast<std::int64_t>(Quotient);
  for (std::int64_t K = 0; K < Count; ++K) {
    if (Vertical)
      Canvas().FillRect(MakeRect(2, H - 2 - E - K * Stride, W - 2, H - 2 - K * Stride));
    else
      Canvas().FillRect(MakeRect(2 + K * Stride, 2, 2 + K * Stride + E, H - 2));
  }
}

void TFlatProgressBar::DrawElementsNow() {
  if (!Parent())
    throw Exception(Format(Consts::SParentRequired, Name()));
  // Already painting: the canvas is set up.
  if (Canvas().Handle()) {
    DrawElements();
    return;
  }
  // Nothing on screen yet; the first paint shows the new fill.
  if (!Visible() || !Parent()->HandleAllocated())
    return;
  TClientDC DC(Parent()->Handle());
  if (!DC)
    return;
  SetViewportOrgEx(DC.Handle(), Left(), Top(), nullptr);
  IntersectClipRect(DC.Handle(), 0, 0, Width(), Height());
  TCanvasGuard Painting(Canvas(), DC.Handle());
  DrawElements();
}

void RegisterFlatProgressBar(TClassRegistry& Registry) {
  Registry.RegisterClass("TFlatProgressBar", "TGraphicControl",
                         [](TComponent* Owner) { return new TFlatProgressBar(Owner); });
  auto Bar = Registry.Published<TFlatProgressBar>("TFlatProgressBar");
  Bar.Bool("Transparent", &TFlatProgressBar::SetTransparent);
  Bar.Colour("ColorElement", &TFlatProgressBar::SetColorElement);
  Bar.Colour("ColorBorder", &TFlatProgressBar::SetColorBorder);
  Bar.Integer("AdvColorBorder", &TFlatProgressBar::SetAdvColorBorder, TAdvColors::Min, TAdvColors::Max);
  Bar.Bool("UseAdvColors", &TFlatProgressBar::SetUseAdvColors);
  Bar.Enum("Orientation", &TFlatProgressBar::SetOrientation, {"pbHorizontal", "pbVertical"});
  Bar.Integer("Min", &TFlatProgressBar::SetMin);
  Bar.Integer("Max", &TFlatProgressBar::SetMax);
  Bar.Integer("Position", &TFlatProgressBar::SetPosition);
  Bar.Integer("Step", &TFlatProgressBar::SetStep);
  Bar.Bool("Smooth", &TFlatProgressBar::SetSmooth);
}
