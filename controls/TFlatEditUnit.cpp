#include "TFlatEditUnit.h"

#include "DeviceContexts.h"
#include "FormReader.h"
#include "Forms.h"

namespace {

// Width of the self-painted frame on every side.
constexpr int FrameWidth = 3;

}  // namespace

TCustomFlatEdit::TCustomFlatEdit(TComponent* Owner) : TCustomEdit(Owner) {
  SetParentFont(true);
  // Fields, not setters: they would draw, and there is no window yet.
  FColorFocused = 0xFFFFFF;
  FColorBorder = 0x8396A0;
  FColorFlat = 0xE1EAEB;
  FParentColor = true;
  // The framework's own sizing and frame would fight the self-painted one;
  // assigned directly, as their setters would refit the height on the way.
  FAutoSize = false;
  FCtl3D = false;
  FBorderStyle = bsNone;
  SetBounds(0, 0, 121, 19);
  FUseAdvColors = false;
  FAdvColorFocused = 10;
  FAdvColorBorder = 50;
}

void TCustomFlatEdit::SetColors(int Index, TColor Value) {
  switch (Index) {
    case 0:
      FColorFocused = Value;
      break;
    case 1:
      FColorBorder = Value;
      break;
    case 2:
      FColorFlat = Value;
      FParentColor = false;
      break;
  }
  RedrawBorder();
}

void TCustomFlatEdit::SetParentColor(bool Value) {
  if (Value == FParentColor)
    return;
  FParentColor = Value;
  if (Value) {
    if (FParent)
      FColorFlat = FParent->Color();
    RedrawBorder();
  }
}

void TCustomFlatEdit::SetAdvColors(int Index, TAdvColors Value) {
  switch (Index) {
    case 0:
      FAdvColorFocused = Value;
      break;
    case 1:
      FAdvColorBorder = Value;
      break;
  }
  if (FUseAdvColors) {
    CalcAdvColors();
    RedrawBorder();
  }
}

void TCustomFlatEdit::SetUseAdvColors(bool Value) {
  if (Value == FUseAdvColors)
    return;
  FUseAdvColors = Value;
  SetParentColor(Value);
  CalcAdvColors();
  RedrawBorder();
}

void TCustomFlatEdit::CalcAdvColors() {
  if (!FUseAdvColors)
    return;
  FColorFocused = DeriveAdvColor(FColorFlat, FColorFocused, FAdvColorFocused, false);
  FColorBorder = DeriveAdvColor(FColorFlat, FColorBorder, FAdvColorBorder, true);
}

void TCustomFlatEdit::RedrawBorder() {
  auto* Active = Screen->ActiveControl();
  const bool Highlighted = !InState(csDesigning) && (Focused() || (FPointerOver && !dynamic_cast<TFlatEdit*>(Active)));
  SetColor(Highlighted ? FColorFocused : FColorFlat);
  // A window still to come draws the frame on its first WM_NCPAINT. Made
  // here, it would make the form's too, in the middle of reading the form.
  if (!HandleAllocated() && FParent)
    return;
  // Without a parent this raises: there can be no window to draw on.
  HWND Window = Handle();
  const TBrushHandle Outline(CreateSolidBrush(ColorToRGB(FColorBorder)));
  const TBrushHandle Flat(CreateSolidBrush(ColorToRGB(FColorFlat)));
  const TBrushHandle Focus(CreateSolidBrush(ColorToRGB(FColorFocused)));
  TWindowDC DC(Window);
  RECT R;
  GetWindowRect(Window, &R);
  OffsetRect(&R, -R.left, -R.top);
  HBRUSH Interior = (Highlighted ? Focus : Flat).Get();
  FrameRect(DC.Handle(), &R, Outline.Get());
  InflateRect(&R, -1, -1);
  FrameRect(DC.Handle(), &R, Interior);
  InflateRect(&R, -1, -1);
  FrameRect(DC.Handle(), &R, Interior);
}

void TCustomFlatEdit::AdjustHeight() {
  // The framework's edit calls this on its own font changes too; a designer
  // reading the edit keeps the stored height.
  if (InState(csDesigning) && InState(csLoading))
    return;
  HFONT Font = FFont.Handle();
  TEXTMETRICA Metrics{};
  {
    TClientDC DC(nullptr);
    TSelectGuard Selected(DC.Handle(), Font);
    GetTextMetricsA(DC.Handle(), &Metrics);
  }
  SetHeight(CheckedAdd(Metrics.tmHeight, 2 * FrameWidth));
}

void TCustomFlatEdit::Loaded() {
  TCustomEdit::Loaded();
  if (!InState(csDesigning))
    AdjustHeight();
}

void TCustomFlatEdit::FollowParentColor() {
  if (FUseAdvColors) {
    if (FParent)
      FColorFlat = FParent->Color();
    CalcAdvColors();
  } else if (FParentColor && FParent) {
    FColorFlat = FParent->Color();
  }
}

void TCustomFlatEdit::CMEnabledChanged(TMessage& Message) {
  TCustomEdit::Dispatch(Message);
  RedrawBorder();
}

void TCustomFlatEdit::CMFontChanged(TMessage& Message) {
  TCustomEdit::Dispatch(Message);
  if (!(InState(csDesigning) && InState(csLoading)))
    AdjustHeight();
}

void TCustomFlatEdit::CMMouseEnter(TMessage& Message) {
  TCustomEdit::Dispatch(Message);
  // An inactive application shows no hover.
  if (GetActiveWindow()) {
    FPointerOver = true;
    RedrawBorder();
  }
}

void TCustomFlatEdit::CMMouseLeave(TMessage& Message) {
  TCustomEdit::Dispatch(Message);
  FPointerOver = false;
  RedrawBorder();
}

void TCustomFlatEdit::WMSetFocus(TMessage& Message) {
  TCustomEdit::Dispatch(Message);
  if (!InState(csDesigning))
    RedrawBorder();
}

void TCustomFlatEdit::WMKillFocus(TMessage& Message) {
  TCustomEdit::Dispatch(Message);
  if (!InState(csDesigning))
    RedrawBorder();
}

void TCustomFlatEdit::WMNCCalcSize(TMessage& Message) {
  TCustomEdit::Dispatch(Message);
  // Either way the proposed client rectangle comes first.
  InflateRect(reinterpret_cast<RECT*>(Message.LParam), -FrameWidth, -FrameWidth);
}

void TCustomFlatEdit::WMNCPaint(TMessage& Message) {
  TCustomEdit::Dispatch(Message);
  RedrawBorder();
}

void TCustomFlatEdit::CMSysColorChange(TMessage&) {
  FollowParentColor();
  RedrawBorder();
}

void TCustomFlatEdit::CMParentColorChanged(TMessage&) {
  FollowParentColor();
  RedrawBorder();
}

void TCustomFlatEdit::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case CM_ENABLEDCHANGED:
      CMEnabledChanged(Message);
      return;
    case CM_FONTCHANGED:
      CMFontChanged(Message);
      return;
    case CM_MOUSEENTER:
      CMMouseEnter(Message);
      return;
    case CM_MOUSELEAVE:
      CMMouseLeave(Message);
      return;
    case WM_SETFOCUS:
      WMSetFocus(Message);
      return;
    case WM_KILLFOCUS:
      WMKillFocus(Message);
      return;
    case WM_NCCALCSIZE:
      WMNCCalcSize(Message);
      return;
    case WM_NCPAINT:
      WMNCPaint(Message);
      return;
    case CM_SYSCOLORCHANGE:
      CMSysColorChange(Message);
      return;
    case CM_PARENTCOLORCHANGED:
      CMParentColorChanged(Message);
      return;
  }
  TCustomEdit::Dispatch(Message);
}

// ---------------------------------------------------------------- registration

void RegisterFlatEdit(TClassRegistry& Registry) {
  Registry.RegisterClass("TFlatEdit", "TCustomEdit", [](TComponent* Owner) { return new TFlatEdit(Owner); });
  auto Edit = Registry.Published<TFlatEdit>("TFlatEdit");
  Edit.Colour("ColorFocused", &TFlatEdit::SetColorFocused);
  Edit.Colour("ColorBorder", &TFlatEdit::SetColorBorder);
  Edit.Colour("ColorFlat", &TFlatEdit::SetColorFlat);
  Edit.Integer("AdvColorFocused", &TFlatEdit::SetAdvColorFocused);
  Edit.Integer("AdvColorBorder", &TFlatEdit::SetAdvColorBorder);
  Edit.Bool("ParentColor", &TFlatEdit::SetParentColor);
  Edit.Bool("UseAdvColors", &TFlatEdit::SetUseAdvColors);
  // The flat edit drives these itself, so a description cannot name them.
  Edit.Hidden("Color");
  Edit.Hidden("BorderStyle");
  Edit.Hidden("Ctl3D");
  Edit.Hidden("AutoSize");
}
