#include "Control.h"

#include "Consts.h"
#include "ControlTracker.h"
#include "ControlsPrivate.h"
#include "CustomForm.h"
#include "SysUtils.h"
#include "WinControl.h"

TControl* ControlsPrivate::CaptureControl = nullptr;

namespace {

using ControlsPrivate::CaptureControl;

TShiftState KeysToShift(WPARAM Keys) {
  TShiftState Shift = 0;
  if (Keys & MK_SHIFT)
    Shift |= ssShift;
  if (Keys & MK_CONTROL)
    Shift |= ssCtrl;
  if (Keys & MK_LBUTTON)
    Shift |= ssLeft;
  if (Keys & MK_RBUTTON)
    Shift |= ssRight;
  if (Keys & MK_MBUTTON)
    Shift |= ssMiddle;
  if (GetKeyState(VK_MENU) < 0)
    Shift |= ssAlt;
  return Shift;
}

}  // namespace

TControl::TControl(TComponent* Owner) : TControl(Owner, false) {}

TControl::TControl(TComponent* Owner, bool Windowed) : TComponent(Owner), FWindowed(Windowed) {
  FFont.OnChange = [this] {
    if (!FFontChanging)
      FParentFont = false;
    Perform(CM_FONTCHANGED);
  };
}

TControl::~TControl() {
  ControlDestroying(this);
  if (FParent)
    FParent->RemoveControl(this);
}

void TControl::SetParent(TWinControl* Value) {
  if (Value == FParent)
    return;
  if (FParent)
    FParent->RemoveControl(this);
  if (Value)
    Value->InsertControl(this);
}

void TControl::SetBounds(int Left, int Top, int Width, int Height) {
  if (Left == FLeft && Top == FTop && Width == FWidth && Height == FHeight)
    return;
  Invalidate();
  FLeft = Left;
  FTop = Top;
  FWidth = Width;
  FHeight = Height;
  Invalidate();
}

void TControl::SetClientSize(int Width, int Height) {
  SetBounds(FLeft, FTop, ClampedSum(FWidth, std::int64_t{Width} - ClientWidth()),
            ClampedSum(FHeight, std::int64_t{Height} - ClientHeight()));
}

POINT TControl::ClientToScreen(POINT P) const {
  if (IsWindowed()) {
    ::ClientToScreen(const_cast<TWinControl*>(static_cast<const TWinControl*>(this))->Handle(), &P);
    return P;
  }
  if (!FParent)
    throw Exception(Format(Consts::SParentRequired, Name()));
  return FParent->ClientToScreen({ClampedSum(P.x, FLeft), ClampedSum(P.y, FTop)});
}

POINT TControl::ScreenToClient(POINT P) const {
  const POINT Origin = ClientToScreen({0, 0});
  return {ClampedSum(P.x, -std::int64_t{Origin.x}), ClampedSum(P.y, -std::int64_t{Origin.y})};
}

void TControl::SetVisible(bool Value) {
  if (Value == FVisible)
    return;
  if (!Value)
    Invalidate();
  FVisible = Value;
  if (Value)
    Invalidate();
  Perform(CM_VISIBLECHANGED, Value);
}

void TControl::SetEnabled(bool Value) {
  if (Value == FEnabled)
    return;
  FEnabled = Value;
  Perform(CM_ENABLEDCHANGED);
}

void TControl::SetColor(TColor Value) {
  if (Value == FColor)
    return;
  FParentColor = false;
  ChangeColor(Value);
}

void TControl::ChangeColor(TColor Value) {
  if (Value == FColor)
    return;
  FColor = Value;
  Perform(CM_COLORCHANGED);
}

void TControl::SetParentColor(bool Value) {
  if (Value == FParentColor)
    return;
  FParentColor = Value;
  if (Value && FParent)
    Perform(CM_PARENTCOLORCHANGED);
}

void TControl::ChangeFont(const TFont& Value) {
  FFontChanging = true;
  FFont.Assign(Value);
  FFontChanging = false;
}

void TControl::SetParentFont(bool Value) {
  if (Value == FParentFont)
    return;
  FParentFont = Value;
  if (Value && FParent)
    Perform(CM_PARENTFONTCHANGED);
}

void TControl::SetText(const std::string& Value) {
  if (Value == FText)
    return;
  FText = Value;
  Perform(CM_TEXTCHANGED);
}

void TControl::SetName(const std::string& Value) {
  // A control still showing its old name as caption takes the new one.
  bool Follow = (FControlStyle & csSetCaption) && !InState(csLoading) && Name() == Text() &&
                !(Owner() && dynamic_cast<TControl*>(Owner()) && Owner()->InState(csLoading));
  TComponent::SetName(Value);
  if (Follow)
    SetText(Value);
}

void TControl::Invalidate() {
  if (FParent && FParent->HandleAllocated() && FVisible) {
    RECT R = BoundsRect();
    InvalidateRect(FParent->Handle(), &R, !(FControlStyle & csOpaque));
  }
}

void TControl::Repaint() {
  if (FParent && FParent->HandleAllocated() && FVisible) {
    Invalidate();
    UpdateWindow(FParent->Handle());
  }
}

LRESULT TControl::Perform(UINT Msg, WPARAM WParam, LPARAM LParam) {
  TMessage M{Msg, WParam, LParam, 0};
  WndProc(M);
  return M.Result;
}

void TControl::WndProc(TMessage& Message) {
  // Without the style for it a double click is just another press.
  if (!(FControlStyle & csDoubleClicks)) {
    switch (Message.Msg) {
      case WM_LBUTTONDBLCLK:
      case WM_RBUTTONDBLCLK:
      case WM_MBUTTONDBLCLK:
        Message.Msg -= WM_LBUTTONDBLCLK - WM_LBUTTONDOWN;
        break;
    }
  }
  Dispatch(Message);
}

void TControl::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MBUTTONDBLCLK:
      // The window's own handling first: a native control needs its presses.
      DefaultHandler(Message);
      HandleMouse(Message);
      return;
    case CM_MOUSEENTER:
    case CM_MOUSELEAVE:
      // Handed on to the parent, which learns which child it was.
      if (FParent)
        FParent->Perform(Message.Msg, Message.WParam, reinterpret_cast<LPARAM>(this));
      return;
    case CM_PARENTCOLORCHANGED:
      if (FParentColor && FParent)
        ChangeColor(FParent->Color());
      return;
    case CM_PARENTFONTCHANGED:
      if (FParentFont && FParent)
        ChangeFont(FParent->Font());
      return;
    case CM_COLORCHANGED:
    case CM_ENABLEDCHANGED:
    case CM_FONTCHANGED:
    case CM_TEXTCHANGED:
      Invalidate();
      return;
  }
  DefaultHandler(Message);
}

void TControl::DefaultHandler(TMessage&) {}

void TControl::HandleMouse(TMessage& Message) {
  const int X = MessageX(Message), Y = MessageY(Message);
  const TShiftState Shift = KeysToShift(Message.WParam);
  switch (Message.Msg) {
    case WM_MOUSEMOVE:
      MouseMove(Shift, X, Y);
      break;
    case WM_LBUTTONDOWN:
      if (FControlStyle & csCaptureMouse)
        SetMouseCapture(true);
      if (FControlStyle & csClickEvents)
        FControlState |= csClicked;
      MouseDown(mbLeft, Shift, X, Y);
      break;
    case WM_LBUTTONDBLCLK:
      if (FControlStyle & csCaptureMouse)
        SetMouseCapture(true);
      if (FControlStyle & csClickEvents) {
        TControlTracker Alive(this);
        DblClick();
        if (Alive.Destroyed())
          return;
      }
      MouseDown(mbLeft, Shift | ssDouble, X, Y);
      break;
    case WM_LBUTTONUP:
      if (FControlStyle & csCaptureMouse)
        SetMouseCapture(false);
      if (FControlState & csClicked) {
        FControlState &= ~csClicked;
        RECT R = ClientRect();
        POINT P{X, Y};
        if (PtInRect(&R, P)) {
          TControlTracker Alive(this);
          Click();
          if (Alive.Destroyed())
            return;
        }
      }
      MouseUp(mbLeft, Shift, X, Y);
      break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      MouseDown(mbRight, Shift | (Message.Msg == WM_RBUTTONDBLCLK ? unsigned(ssDouble) : 0u), X, Y);
      break;
    case WM_RBUTTONUP:
      MouseUp(mbRight, Shift, X, Y);
      break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
      MouseDown(mbMiddle, Shift | (Message.Msg == WM_MBUTTONDBLCLK ? unsigned(ssDouble) : 0u), X, Y);
      break;
    case WM_MBUTTONUP:
      MouseUp(mbMiddle, Shift, X, Y);
      break;
  }
}

void TControl::Click() {
  if (OnClick)
    OnClick(this);
}

void TControl::DblClick() {
  if (OnDblClick)
    OnDblClick(this);
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseDown)
    OnMouseDown(this, Button, Shift, X, Y);
}

void TControl::MouseMove(TShiftState Shift, int X, int Y) {
  if (OnMouseMove)
    OnMouseMove(this, Shift, X, Y);
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseUp)
    OnMouseUp(this, Button, Shift, X, Y);
}

bool TControl::MouseCapture() const { return CaptureControl == this; }

void TControl::SetMouseCapture(bool Value) {
  if (Value != MouseCapture())
    SetCaptureControl(Value ? this : nullptr);
}

TCustomForm* TControl::ParentForm() const {
  const TControl* C = this;
  while (C->Parent())
    C = C->Parent();
  return const_cast<TCustomForm*>(dynamic_cast<const TCustomForm*>(C));
}

// ---------------------------------------------------------------- capture and hit-testing

TControl* GetCaptureControl() {
  // The system may have taken the capture away (another window, a menu).
  if (CaptureControl) {
    HWND Holder = CaptureControl->IsWindowed() ? static_cast<TWinControl*>(CaptureControl)->Handle()
                                               : CaptureControl->Parent()->Handle();
    if (GetCapture() != Holder)
      CaptureControl = nullptr;
  }
  return CaptureControl;
}

void SetCaptureControl(TControl* Control) {
  CaptureControl = nullptr;
  if (!Control) {
    ReleaseCapture();
    return;
  }
  if (Control->IsWindowed())
    SetCapture(static_cast<TWinControl*>(Control)->Handle());
  else if (Control->Parent())
    SetCapture(Control->Parent()->Handle());
  else
    return;
  CaptureControl = Control;
}

TControl* FindControlAtScreenPos(POINT P) {
  HWND Hit = WindowFromPoint(P);
  if (!Hit)
    return nullptr;
  HWND Window = GetAncestor(Hit, GA_ROOT);
  if (!TWinControl::FromHandle(Window))
    return nullptr;
  // WindowFromPoint passes over disabled children; walk down ourselves.
  for (;;) {
    POINT C = P;
    ::ScreenToClient(Window, &C);
    HWND Child = ChildWindowFromPointEx(Window, C, CWP_SKIPINVISIBLE);
    if (!Child || Child == Window || !TWinControl::FromHandle(Child))
      break;
    Window = Child;
  }
  auto* Control = TWinControl::FromHandle(Window);
  POINT C = P;
  ::ScreenToClient(Window, &C);
  if (auto* Windowless = Control->ControlAtPos(C, true))
    return Windowless;
  return Control;
}

void TControl::ChangeScale(TScaleFactor Scale) {
  if (!FDesignKept) {
    FDesignBounds = {FLeft, FTop, FWidth, FHeight};
    FDesignFontHeight = FFont.Height();
    FDesignKept = true;
  }
  SetBounds(Scale.Apply(FDesignBounds.left), Scale.Apply(FDesignBounds.top), Scale.Apply(FDesignBounds.right),
            Scale.Apply(FDesignBounds.bottom));
  if (FParentFont && FParent)
    Perform(CM_PARENTFONTCHANGED);
  else
    FFont.SetHeight(Scale.Apply(FDesignFontHeight));
}
