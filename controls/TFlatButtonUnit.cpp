#include "TFlatButtonUnit.h"

#include "DeviceContexts.h"
#include "FormReader.h"

TFlatButton* HoverButton = nullptr;
TTimer* HoverTimer = nullptr;
std::int32_t FlatButtonCount = 0;

namespace {

// A one-bit mask of Image: 1 where its pixel is Transparent, 0 elsewhere.
TBitmapHandle TransparentMask(TBitmap& Image, COLORREF Transparent) {
  const int W = Image.Width(), H = Image.Height();
  TBitmapHandle Mask(CreateBitmap(W, H, 1, 1, nullptr));
  TMemoryDC DC(CreateCompatibleDC(nullptr));
  if (!Mask || !DC)
    throw EInvalidGraphic("Out of system resources");
  TSelectGuard Selected(DC.Get(), Mask.Get());
  // Copying colour to one bit maps the source's background colour to 1.
  HDC Source = Image.Canvas().Handle();
  const COLORREF OldBk = SetBkColor(Source, Transparent);
  BitBlt(DC.Get(), 0, 0, W, H, Source, 0, 0, SRCCOPY);
  SetBkColor(Source, OldBk);
  return Mask;
}

void MoveRect(RECT& R, int DX, int DY) {
  R = {CheckedAdd(R.left, DX), CheckedAdd(R.top, DY), CheckedAdd(R.right, DX), CheckedAdd(R.bottom, DY)};
}

char UpperChar(char C) {
  char Buffer[1] = {C};
  CharUpperBuffA(Buffer, 1);
  return Buffer[0];
}

}  // namespace

// ---------------------------------------------------------------- life

TFlatButton::TFlatButton(TComponent* Owner) : TCustomControl(Owner) {
  if (!HoverTimer) {
    HoverTimer = new TTimer(nullptr);
    HoverTimer->SetEnabled(false);
    HoverTimer->SetInterval(100);
  }
  SetBounds(0, 0, 25, 25);
  SetControlStyle(csCaptureMouse | csOpaque | csDoubleClicks);
  SetDoubleBuffered(true);
  FGlyph = std::make_unique<TBitmap>();
  FNumGlyphs = 1;
  SetParentFont(true);
  SetParentColor(true);
  FColorFocused = 0xE1EAEB;
  FColorDown = 0xC5D6D9;
  FColorBorder = 0x8396A0;
  FColorHighLight = 0xFFFFFF;
  FColorShadow = 0x000000;
  FSpacing = 4;
  FMargin = -1;
  FLayout = blGlyphTop;
  FUseAdvColors = false;
  FAdvColorFocused = 10;
  FAdvColorDown = 10;
  FAdvColorBorder = 50;
  FModalResult = 0;
  FTransparentMode = tmNone;
  FlatButtonCount = CheckedAdd(FlatButtonCount, 1);
}

TFlatButton::~TFlatButton() {
  ReleaseHoverTimer();
  FGlyph.reset();
  // A destructor must not throw; the count cannot underflow.
  if (--FlatButtonCount == 0) {
    delete HoverTimer;
    HoverTimer = nullptr;
  }
}

void TFlatButton::Loaded() {
  TCustomControl::Loaded();
  Invalidate();
}

// ---------------------------------------------------------------- properties

void TFlatButton::SetTransparentMode(TTransparentMode Value) {
  FTransparentMode = Value;
  Invalidate();
}

void TFlatButton::SetDefault(bool Value) {
  FDefault = Value;
  if (HandleAllocated())
    if (auto* Form = ParentForm())
      Form->Perform(CM_FOCUSCHANGED, 0, reinterpret_cast<LPARAM>(Form->ActiveControl()));
  Invalidate();
}

void TFlatButton::SetAllowAllUp(bool Value) {
  if (Value == FAllowAllUp)
    return;
  FAllowAllUp = Value;
  NotifyGroup();
}

void TFlatButton::SetColors(int Index, TColor Value) {
  switch (Index) {
    case 0:
      FColorFocused = Value;
      break;
    case 1:
      FColorDown = Value;
      break;
    case 2:
      FColorBorder = Value;
      break;
    case 3:
      FColorHighLight = Value;
      break;
    case 4:
      FColorShadow = Value;
      break;
  }
  Invalidate();
}

void TFlatButton::SetAdvColors(int Index, TAdvColors Value) {
  switch (Index) {
    case 0:
      FAdvColorFocused = Value;
      break;
    case 1:
      FAdvColorDown = Value;
      break;
    case 2:
      FAdvColorBorder = Value;
      break;
  }
  CalcAdvColors();
  Invalidate();
}

void TFlatButton::SetUseAdvColors(bool Value) {
  if (Value == FUseAdvColors)
    return;
  FUseAdvColors = Value;
  SetParentColor(Value);
  CalcAdvColors();
  Invalidate();
}

void TFlatButton::CalcAdvColors() {
  if (!FUseAdvColors)
    return;
  FColorFocused = DeriveAdvColor(Color(), FColorFocused, FAdvColorFocused, false);
  FColorDown = DeriveAdvColor(Color(), FColorDown, FAdvColorDown, true);
  FColorBorder = DeriveAdvColor(Color(), FColorBorder, FAdvColorBorder, true);
}

void TFlatButton::SetGroupIndex(std::int32_t Value) {
  if (Value == FGroupIndex)
    return;
  FGroupIndex = Value;
  NotifyGroup();
}

void TFlatButton::SetDown(bool Value) {
  if (FGroupIndex == 0)
    Value = false;
  if (Value == FDown)
    return;
  if (FDown && !FAllowAllUp)
    return;
  FDown = Value;
  if (Value) {
    if (FVisualState == fbsUp)
      Invalidate();
    FVisualState = fbsExclusive;
  } else {
    FVisualState = fbsUp;
    Repaint();
  }
  if (Value)
    NotifyGroup();
}

void TFlatButton::SetGlyph(TBitmap* Value) {
  if (Value == FGlyph.get())
    return;
  if (Value)
    FGlyph->Assign(*Value);
  else
    FGlyph->Assign(TBitmap());
  if (!FGlyph->Empty() && FGlyph->Width() % FGlyph->Height() == 0) {
    const std::int32_t Frames = CheckedDiv(FGlyph->Width(), FGlyph->Height());
    SetNumGlyphs(Frames > 4 ? 1 : Frames);
  }
  Invalidate();
}

void TFlatButton::SetLayout(TButtonLayout Value) {
  if (Value == FLayout)
    return;
  FLayout = Value;
  Invalidate();
}

void TFlatButton::SetMargin(std::int32_t Value) {
  if (Value == FMargin || Value < -1)
    return;
  FMargin = Value;
  Invalidate();
}

void TFlatButton::SetNumGlyphs(TNumGlyphs Value) {
  if (Value == FNumGlyphs)
    return;
  FNumGlyphs = Value;
  Invalidate();
}

void TFlatButton::SetSpacing(std::int32_t Value) {
  if (Value == FSpacing)
    return;
  FSpacing = Value;
  Invalidate();
}

// ---------------------------------------------------------------- groups, highlight

void TFlatButton::NotifyGroup() {
  if (FGroupIndex == 0 || !Parent())
    return;
  TMessage M = TButtonPressed{FGroupIndex, this}.Pack();
  Parent()->Broadcast(M);
}

void TFlatButton::ButtonPressed(std::int32_t Group, TFlatButton* Sender) {
  if (!Sender || Group != FGroupIndex || Sender == this)
    return;
  if (Sender->FDown && FDown) {
    FDown = false;
    FVisualState = fbsUp;
    Invalidate();
  }
  FAllowAllUp = Sender->FAllowAllUp;
}

void TFlatButton::HighlightOn() {
  if (Enabled() && !FHighlighted) {
    FHighlighted = true;
    Invalidate();
  }
}

void TFlatButton::HighlightOff() {
  if (Enabled() && FHighlighted && !FPressing) {
    FHighlighted = false;
    ReleaseHoverTimer();
    Invalidate();
  }
}

void TFlatButton::ReleaseHoverTimer() {
  if (HoverButton == this) {
    HoverTimer->SetEnabled(false);
    HoverButton = nullptr;
  }
}

void TFlatButton::SyncHighlight() {
  if (!Enabled())
    return;
  POINT P{};
  GetCursorPos(&P);
  FHighlighted = FindControlAtScreenPos(P) != this;
  if (FHighlighted)
    HighlightOff();
  else
    HighlightOn();
}

void TFlatButton::HoverTimerTick(TObject*) {
  POINT P{};
  GetCursorPos(&P);
  if (FindControlAtScreenPos(P) != this)
    HighlightOff();
}

// ---------------------------------------------------------------- mouse, click

bool TFlatButton::Inside(int X, int Y) const {
  // The bottom edge counts as inside.
  return X >= 0 && X < ClientWidth() && Y >= 0 && Y <= ClientHeight();
}

void TFlatButton::Click() {
  if (auto* Form = ParentForm())
    Form->SetModalResult(FModalResult);
  TCustomControl::Click();
}

void TFlatButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TControlTracker Alive(this);
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Alive.Destroyed() || Button != mbLeft || !Enabled())
    return;
  if (!FDown) {
    FVisualState = fbsDown;
    Invalidate();
  }
  FPressing = true;
  SetFocus();
}

void TFlatButton::MouseMove(TShiftState Shift, int X, int Y) {
  TControlTracker Alive(this);
  TCustomControl::MouseMove(Shift, X, Y);
  if (Alive.Destroyed())
    return;
  if (HoverButton != this && FindControlAtScreenPos(ClientToScreen(POINT{X, Y})) == this) {
    if (HoverButton)
      HoverButton->HighlightOff();
    if (GetActiveWindow()) {
      if (HoverTimer->Enabled())
        HoverTimer->SetEnabled(false);
      HoverButton = this;
      HoverTimer->SetOnTimer([this](TObject* Sender) { HoverTimerTick(Sender); });
      HoverTimer->SetEnabled(true);
      HighlightOn();
    }
  }
  if (FPressing) {
    TFlatButtonState Look = FDown ? fbsExclusive : fbsUp;
    if (Inside(X, Y))
      Look = FDown ? fbsExclusive : fbsDown;
    if (Look != FVisualState) {
      FVisualState = Look;
      Invalidate();
    }
  }
}

void TFlatButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TControlTracker Alive(this);
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (Alive.Destroyed() || !FPressing)
    return;
  FPressing = false;
  const bool In = Inside(X, Y);
  if (FGroupIndex == 0) {
    FVisualState = fbsUp;
    FHighlighted = false;
    if (In)
      Invalidate();
  } else if (In) {
    SetDown(!FDown);
    if (FDown)
      Repaint();
  } else {
    if (FDown)
      FVisualState = fbsExclusive;
    Repaint();
  }
  if (In) {
    Click();
    if (Alive.Destroyed())
      return;
  } else {
    HighlightOff();
  }
  SyncHighlight();
}

bool TFlatButton::IsAccelerator(char Key) const {
  const std::string& Text = Caption();
  for (std::size_t I = 0; I + 1 < Text.size(); ++I) {
    if (Text[I] != '&')
      continue;
    // "&&" shows a literal "&".
    if (Text[I + 1] == '&') {
      ++I;
      continue;
    }
    return UpperChar(Text[I + 1]) == UpperChar(Key);
  }
  return false;
}

// ---------------------------------------------------------------- messages

void TFlatButton::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_LBUTTONDBLCLK: {
      TControlTracker Alive(this);
      TCustomControl::Dispatch(Message);
      if (!Alive.Destroyed() && FDown)
        DblClick();
      return;
    }
    case CM_ENABLEDCHANGED:
      TCustomControl::Dispatch(Message);
      if (!Enabled()) {
        FHighlighted = false;
        FVisualState = fbsDisabled;
        ReleaseHoverTimer();
      }
      SyncHighlight();
      Invalidate();
      return;
    case CM_BUTTONPRESSED: {
      const auto Pressed = TButtonPressed::Unpack(Message);
      ButtonPressed(Pressed.Group, Pressed.ButtonAs<TFlatButton>());
      return;
    }
    case CM_DIALOGCHAR:
      if (Message.WParam <= 0xFF && IsAccelerator(static_cast<char>(Message.WParam)) && Enabled()) {
        if (FGroupIndex != 0)
          SetDown(true);
        Click();
        Message.Result = 1;
      }
      return;
    case CM_FONTCHANGED:
    case CM_TEXTCHANGED:
      Invalidate();
      return;
    case CM_PARENTCOLORCHANGED:
      TCustomControl::Dispatch(Message);
      [[fallthrough]];
    case CM_SYSCOLORCHANGE:
      if (FUseAdvColors) {
        SetParentColor(true);
        CalcAdvColors();
      }
      Invalidate();
      return;
    case WM_SETFOCUS:
      TCustomControl::Dispatch(Message);
      if (Enabled()) {
        FHighlighted = true;
        Invalidate();
      }
      return;
    case WM_KILLFOCUS:
      TCustomControl::Dispatch(Message);
      HighlightOff();
      return;
    case WM_KEYDOWN:
      if (Message.WParam == VK_SPACE) {
        if (FGroupIndex == 0)
          FVisualState = fbsDown;
        else
          SetDown(true);
        Invalidate();
      }
      break;
    case WM_KEYUP:
      if (Message.WParam == VK_SPACE) {
        if (FGroupIndex == 0)
          FVisualState = fbsUp;
        else
          SetDown(false);
        TControlTracker Alive(this);
        Click();
        if (Alive.Destroyed())
          return;
        Invalidate();
      }
      break;
    case WM_SIZE:
    case WM_MOVE:
      TCustomControl::Dispatch(Message);
      if (FTransparentMode != tmNone)
        Invalidate();
      return;
    case CM_MOUSEENTER:
      TCustomControl::Dispatch(Message);
      if (FOnMouseEnter)
        FOnMouseEnter(this);
      return;
    case CM_MOUSELEAVE:
      TCustomControl::Dispatch(Message);
      if (FOnMouseLeave)
        FOnMouseLeave(this);
      return;
  }
  TCustomControl::Dispatch(Message);
}

// ---------------------------------------------------------------- painting

void TFlatButton::Paint() {
  const RECT Client = ClientRect();
  TColor Transparent = clNone;
  if (!FGlyph->Empty())
    Transparent = FGlyph->Canvas().Pixel(0, FGlyph->Height() - 1);

  // Off-screen, as the button is DoubleBuffered, and with the button's font.
  TCanvas& Off = Canvas();

  const bool Pressed = FVisualState == fbsDown || FVisualState == fbsExclusive;
  LayoutGlyphAndCaption(Off, Client, Pressed ? POINT{1, 1} : POINT{0, 0}, FLayout, FSpacing, FMargin, FGlyph.get(),
                        FNumGlyphs, Caption(), FGlyphOrigin, FCaptionRect);

  if (!Enabled()) {
    FVisualState = fbsDisabled;
    FPressing = false;
  } else if (FVisualState == fbsDisabled) {
    FVisualState = FDown && FGroupIndex != 0 ? fbsExclusive : fbsUp;
  }

  if (FTransparentMode == tmAlways || (FTransparentMode == tmNotFocused && !FHighlighted)) {
    PaintParentBackground(*this, Off);
  } else {
    TColor Face = Color();
    switch (FVisualState) {
      case fbsUp:
        Face = FHighlighted ? FColorFocused : Color();
        break;
      case fbsDisabled:
        Face = Color();
        break;
      case fbsDown:
        Face = FColorDown;
        break;
      case fbsExclusive:
        Face = FHighlighted ? FColorFocused : FColorDown;
        break;
    }
    Off.Brush().SetColor(Face);
    Off.FillRect(Client);
  }

  switch (FVisualState) {
    case fbsUp:
      if (FHighlighted)
        DrawBevelFrame(Off, Client, FColorHighLight, FColorShadow, 1);
      else
        DrawBevelFrame(Off, Client, FColorBorder, FColorBorder, FDefault ? 2 : 1);
      break;
    case fbsDisabled:
      DrawBevelFrame(Off, Client, FColorBorder, FColorBorder, 1);
      break;
    case fbsDown:
    case fbsExclusive:
      DrawBevelFrame(Off, Client, FColorShadow, FColorHighLight, 1);
      break;
  }

  if (!FGlyph->Empty())
    PaintGlyph(Off, Transparent);

  Off.Brush().SetStyle(TBrushStyle::bsClear);
  constexpr UINT CaptionFlags = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
  auto DrawCaption = [&] {
    RECT R = FCaptionRect;
    Off.DrawText(Caption(), R, CaptionFlags);
  };
  if (FVisualState == fbsDisabled) {
    MoveRect(FCaptionRect, 1, 1);
    Off.Font().SetColor(clBtnHighlight);
    DrawCaption();
    MoveRect(FCaptionRect, -1, -1);
    Off.Font().SetColor(clBtnShadow);
    DrawCaption();
  } else {
    DrawCaption();
  }
}

void TFlatButton::PaintGlyph(TCanvas& Target, TColor Transparent) {
  const int W = FGlyph->Width(), H = FGlyph->Height();
  const int FrameWidth = CheckedDiv(W, FNumGlyphs);
  if (FrameWidth <= 0)
    return;
  // Frames run up, disabled, down, latched; missing ones fall back to up
  // (two frames) or down (three).
  int Frame = 0;
  switch (FNumGlyphs) {
    case 2:
      Frame = FVisualState == fbsDisabled ? 1 : 0;
      break;
    case 3:
      Frame = FVisualState == fbsUp ? 0 : FVisualState == fbsDisabled ? 1 : 2;
      break;
    case 4:
      Frame = FVisualState == fbsUp ? 0 : FVisualState == fbsDisabled ? 1 : FVisualState == fbsDown ? 2 : 3;
      break;
  }
  const int From = CheckedMul(Frame, FrameWidth);
  // The last frame takes whatever columns remain.
  const int To = Frame == FNumGlyphs - 1 ? W : CheckedAdd(From, FrameWidth);

  auto Image = std::make_unique<TBitmap>();
  Image->SetSize(FrameWidth, H);
  Image->Canvas().CopyRect(RECT{0, 0, FrameWidth, H}, FGlyph->Canvas(), RECT{From, 0, To, H});
  if (FNumGlyphs == 1 && FVisualState == fbsDisabled) {
    Image.reset(MakeEmbossedGlyph(*Image, clBlack, clBtnFace, clBtnHighlight, clBtnShadow, true));
    Transparent = Image->Canvas().Pixel(0, H - 1);
  }

  // gdi32 alone, not comctl32's image lists: comctl32 is not a KnownDLL, so
  // Windows would look for it beside the package first. Where the mask is 1
  // the target stays; elsewhere the image is copied.
  TBitmapHandle Mask = TransparentMask(*Image, ColorToRGB(Transparent));
  constexpr DWORD KeepTarget = 0x00AA0029;
  MaskBlt(Target.Handle(), FGlyphOrigin.x, FGlyphOrigin.y, FrameWidth, H, Image->Canvas().Handle(), 0, 0, Mask.Get(), 0,
          0, MAKEROP4(KeepTarget, SRCCOPY));
}

// ---------------------------------------------------------------- registration

void RegisterFlatButton(TClassRegistry& R) {
  R.RegisterClass("TFlatButton", "TCustomControl", [](TComponent* Owner) { return new TFlatButton(Owner); });
  auto Button = R.Published<TFlatButton>("TFlatButton");
  Button.Enum("TransparentMode", &TFlatButton::SetTransparentMode, {"tmAlways", "tmNotFocused", "tmNone"});
  Button.Bool("Default", &TFlatButton::SetDefault);
  Button.Bool("AllowAllUp", &TFlatButton::SetAllowAllUp);
  Button.Colour("ColorFocused", &TFlatButton::SetColorFocused);
  Button.Colour("ColorDown", &TFlatButton::SetColorDown);
  Button.Colour("ColorBorder", &TFlatButton::SetColorBorder);
  Button.Colour("ColorHighLight", &TFlatButton::SetColorHighLight);
  Button.Colour("ColorShadow", &TFlatButton::SetColorShadow);
  Button.Integer("AdvColorFocused", &TFlatButton::SetAdvColorFocused);
  Button.Integer("AdvColorDown", &TFlatButton::SetAdvColorDown);
  Button.Integer("AdvColorBorder", &TFlatButton::SetAdvColorBorder);
  Button.Bool("UseAdvColors", &TFlatButton::SetUseAdvColors);
  Button.Integer<TCheckedInt32>("GroupIndex", &TFlatButton::SetGroupIndex);
  Button.Bool("Down", &TFlatButton::SetDown);
  Button.Enum("Layout", &TFlatButton::SetLayout, {"blGlyphLeft", "blGlyphRight", "blGlyphTop", "blGlyphBottom"});
  Button.Integer<TCheckedInt32>("Margin", &TFlatButton::SetMargin);
  Button.Integer("NumGlyphs", &TFlatButton::SetNumGlyphs);
  Button.Integer<TCheckedInt32>("Spacing", &TFlatButton::SetSpacing);
  Button.Integer<TCheckedInt32>("ModalResult", &TFlatButton::SetModalResult);
  Button.Event("OnMouseEnter", &TFlatButton::SetOnMouseEnter);
  Button.Event("OnMouseLeave", &TFlatButton::SetOnMouseLeave);
}
