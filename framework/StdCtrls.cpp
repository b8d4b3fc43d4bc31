#include "StdCtrls.h"

#include "DeviceContexts.h"

// ---------------------------------------------------------------- TImage

TImage::TImage(TComponent* Owner) : TGraphicControl(Owner) {
  FWidth = FHeight = 105;
  FPicture.OnChange = [this] { PictureChanged(); };
}

void TImage::SetAutoSize(bool Value) {
  if (Value == FAutoSize)
    return;
  FAutoSize = Value;
  if (Value)
    PictureChanged();
}

void TImage::PictureChanged() {
  const int W = FPicture.Width(), H = FPicture.Height();
  if (FAutoSize && W > 0 && H > 0)
    SetBounds(FLeft, FTop, W, H);
  Invalidate();
}

void TImage::ChangeScale(TScaleFactor Scale) {
  TGraphicControl::ChangeScale(Scale);
  FPicture.SetScale(Scale.M());
}

void TImage::Paint() {
  if (auto* Graphic = FPicture.Graphic(); Graphic && !Graphic->Empty())
    Graphic->Draw(Canvas(), 0, 0);
}

// ---------------------------------------------------------------- TLabel

TLabel::TLabel(TComponent* Owner) : TGraphicControl(Owner) {
  FControlStyle |= csOpaque;
  FWidth = 65;
  FHeight = 17;
}

UINT TLabel::TextFlags() const { return DT_EXPANDTABS | DT_LEFT | (FShowAccelChar ? 0 : DT_NOPREFIX); }

void TLabel::AdjustBounds() {
  if (!FAutoSize || InState(csLoading))
    return;
  RECT R{0, 0, 0, 0};
  {
    TClientDC DC(nullptr);
    TSelectGuard Selected(DC.Handle(), FFont.Handle());
    // An empty caption still gets the height of a line.
    const std::string Measured = FText.empty() ? std::string(" ") : FText;
    ::DrawTextA(DC.Handle(), Measured.c_str(), static_cast<int>(Measured.size()), &R, TextFlags() | DT_CALCRECT);
  }
  SetBounds(FLeft, FTop, FText.empty() ? 0 : R.right, R.bottom);
}

void TLabel::SetAutoSize(bool Value) {
  if (Value != FAutoSize) {
    FAutoSize = Value;
    AdjustBounds();
  }
}

void TLabel::SetTransparent(bool Value) {
  if (Value != FTransparent) {
    FTransparent = Value;
    if (Value)
      FControlStyle &= ~csOpaque;
    else
      FControlStyle |= csOpaque;
    Invalidate();
  }
}

void TLabel::SetShowAccelChar(bool Value) {
  if (Value != FShowAccelChar) {
    FShowAccelChar = Value;
    AdjustBounds();
    Invalidate();
  }
}

void TLabel::Loaded() {
  TGraphicControl::Loaded();
  AdjustBounds();
}

void TLabel::Dispatch(TMessage& Message) {
  TGraphicControl::Dispatch(Message);
  if (Message.Msg == CM_TEXTCHANGED || Message.Msg == CM_FONTCHANGED)
    AdjustBounds();
}

void TLabel::Paint() {
  RECT R = ClientRect();
  if (!FTransparent) {
    Canvas().Brush().SetColor(FColor);
    Canvas().FillRect(R);
  }
  Canvas().Brush().SetStyle(TBrushStyle::bsClear);
  Canvas().Font().Assign(FFont);
  if (!FEnabled)
    Canvas().Font().SetColor(clGrayText);
  Canvas().DrawText(FText, R, TextFlags());
}

// ---------------------------------------------------------------- TCustomEdit

TCustomEdit::TCustomEdit(TComponent* Owner) : TWinControl(Owner) {
  FWidth = 121;
  FHeight = 25;
  SetTabStop(true);
  FParentColor = false;
  FColor = clWindow;
  FBrush.SetColor(FColor);
  // A native edit handles its own presses and double clicks.
  FControlStyle = csClickEvents | csSetCaption | csDoubleClicks;
  AdjustHeight();
}

void TCustomEdit::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.SysClassName = "EDIT";
  Params.WinClassName = "TEdit";
  Params.Style |= ES_AUTOHSCROLL | ES_LEFT;
  if (FReadOnly)
    Params.Style |= ES_READONLY;
  if (FBorderStyle == bsSingle && NativeFrame()) {
    if (FCtl3D)
      Params.ExStyle |= WS_EX_CLIENTEDGE;
    else
      Params.Style |= WS_BORDER;
  }
}

void TCustomEdit::CreateWindowHandleDone() {
  SendMessageA(FHandle, EM_LIMITTEXT, static_cast<WPARAM>(FMaxLength), 0);
  SendMessageA(FHandle, EM_SETREADONLY, FReadOnly, 0);
}

void TCustomEdit::RecreateWnd() {
  if (!FHandle)
    return;
  const std::string Saved = Text();
  DestroyHandle();
  FText = Saved;
  if (FParent)
    CreateHandle();
}

void TCustomEdit::SetReadOnly(bool Value) {
  if (Value == FReadOnly)
    return;
  FReadOnly = Value;
  if (FHandle)
    SendMessageA(FHandle, EM_SETREADONLY, Value, 0);
}

void TCustomEdit::SetMaxLength(int Value) {
  if (Value == FMaxLength)
    return;
  FMaxLength = Value;
  if (FHandle)
    SendMessageA(FHandle, EM_LIMITTEXT, static_cast<WPARAM>(Value), 0);
}

void TCustomEdit::SetAutoSize(bool Value) {
  if (Value == FAutoSize)
    return;
  FAutoSize = Value;
  AdjustHeight();
}

void TCustomEdit::SetCtl3D(bool Value) {
  if (Value == FCtl3D)
    return;
  FCtl3D = Value;
  RecreateWnd();
  AdjustHeight();
}

void TCustomEdit::SetBorderStyle(TFormBorderStyle Value) {
  if (Value == FBorderStyle)
    return;
  FBorderStyle = Value;
  RecreateWnd();
  AdjustHeight();
}

void TCustomEdit::AdjustHeight() {
  if (!FAutoSize || FBorderStyle != bsSingle || InState(csLoading))
    return;
  TEXTMETRICA Metrics;
  {
    TClientDC DC(nullptr);
    TSelectGuard Selected(DC.Handle(), FFont.Handle());
    GetTextMetricsA(DC.Handle(), &Metrics);
  }
  SetHeight(Metrics.tmHeight + GetSystemMetrics(SM_CYBORDER) * (FCtl3D ? 8 : 6));
}

void TCustomEdit::Dispatch(TMessage& Message) {
  TWinControl::Dispatch(Message);
  if (Message.Msg == CM_FONTCHANGED)
    AdjustHeight();
}
