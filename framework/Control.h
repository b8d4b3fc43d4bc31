// A control: bounds, colour and font inheritance, message dispatch by number,
// the mouse (capture, clicks, hit-testing) and the events a user's code hooks.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "Checked.h"
#include "Component.h"
#include "Graphics.h"
#include "Messages.h"
#include "ScaleFactor.h"

class TWinControl;
class TCustomForm;

enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TShiftFlag : unsigned {
  ssShift = 1,
  ssAlt = 2,
  ssCtrl = 4,
  ssLeft = 8,
  ssRight = 16,
  ssMiddle = 32,
  ssDouble = 64
};
using TShiftState = unsigned;
using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;

enum TControlStyleFlag : unsigned {
  csAcceptsControls = 1,
  csCaptureMouse = 2,
  csClickEvents = 4,
  csOpaque = 8,
  csDoubleClicks = 16,
  csSetCaption = 32,
};
enum TControlStateFlag : unsigned { csClicked = 1, csFocusing = 2 };

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* Owner);
  ~TControl() override;

  TWinControl* Parent() const { return FParent; }
  virtual void SetParent(TWinControl* Value);

  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetLeft(int Value) { SetBounds(Value, FTop, FWidth, FHeight); }
  void SetTop(int Value) { SetBounds(FLeft, Value, FWidth, FHeight); }
  void SetWidth(int Value) { SetBounds(FLeft, FTop, Value, FHeight); }
  void SetHeight(int Value) { SetBounds(FLeft, FTop, FWidth, Value); }
  virtual void SetBounds(int Left, int Top, int Width, int Height);
  RECT BoundsRect() const { return {FLeft, FTop, ClampedSum(FLeft, FWidth), ClampedSum(FTop, FHeight)}; }

  virtual RECT ClientRect() const { return {0, 0, FWidth, FHeight}; }
  int ClientWidth() const { return ClientRect().right; }
  int ClientHeight() const { return ClientRect().bottom; }
  virtual void SetClientSize(int Width, int Height);
  void SetClientWidth(int Value) { SetClientSize(Value, ClientHeight()); }
  void SetClientHeight(int Value) { SetClientSize(ClientWidth(), Value); }
  POINT ClientToScreen(POINT P) const;
  POINT ScreenToClient(POINT P) const;

  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool Value);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  bool ParentColor() const { return FParentColor; }
  void SetParentColor(bool Value);
  TFont& Font() { return FFont; }
  bool ParentFont() const { return FParentFont; }
  void SetParentFont(bool Value);
  const std::string& Caption() const { return Text(); }
  void SetCaption(const std::string& Value) { SetText(Value); }
  virtual const std::string& Text() const { return FText; }
  virtual void SetText(const std::string& Value);
  void SetName(const std::string& Value) override;
  // What the control is for, in a few words: screen readers read it as its name.
  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& Value) { FHint = Value; }

  unsigned ControlStyle() const { return FControlStyle; }
  void SetControlStyle(unsigned Value) { FControlStyle = Value; }
  unsigned ControlState() const { return FControlState; }

  // Asks for a repaint later; Repaint repaints now.
  virtual void Invalidate();
  virtual void Repaint();
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }

  // Sends a message straight to this control's handling.
  LRESULT Perform(UINT Msg, WPARAM WParam = 0, LPARAM LParam = 0);
  // The entry point of every message for this control.
  virtual void WndProc(TMessage& Message);
  // The most derived handler for the message's number runs; a handler hands
  // the message on by calling its base class's Dispatch.
  virtual void Dispatch(TMessage& Message);
  // What happens to a message nobody handled.
  virtual void DefaultHandler(TMessage& Message);

  TNotifyEvent OnClick, OnDblClick;
  TMouseEvent OnMouseDown, OnMouseUp;
  TMouseMoveEvent OnMouseMove;

  // Whether this control holds the mouse capture.
  bool MouseCapture() const;
  void SetMouseCapture(bool Value);

  bool IsWindowed() const { return FWindowed; }
  TCustomForm* ParentForm() const;

  // Lays the control out at Scale of its design: its bounds and its own
  // font's height (one taken from the parent follows the parent). Frames and
  // borders keep their pixel widths. The first call takes the bounds and font
  // as they are for the design.
  virtual void ChangeScale(TScaleFactor Scale);

 protected:
  TControl(TComponent* Owner, bool Windowed);

  virtual void Click();
  virtual void DblClick();
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseMove(TShiftState Shift, int X, int Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  // Applies a new colour without giving up ParentColor.
  void ChangeColor(TColor Value);
  void ChangeFont(const TFont& Value);

  unsigned FControlStyle = csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
  unsigned FControlState = 0;
  TWinControl* FParent = nullptr;
  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  bool FVisible = true;
  bool FEnabled = true;
  TColor FColor = clWindow;
  bool FParentColor = true;
  bool FParentFont = true;
  TFont FFont;
  std::string FText;
  std::string FHint;
  // The design's bounds and font height, kept once the control is scaled.
  RECT FDesignBounds{};
  int FDesignFontHeight = 0;
  bool FDesignKept = false;

 private:
  friend class TWinControl;
  // A screen reader's press of a windowless control is a click.
  friend class TFormAccessibility;
  void HandleMouse(TMessage& Message);
  bool FWindowed;
  bool FFontChanging = false;
};

// The control holding the mouse capture, if any.
TControl* GetCaptureControl();
void SetCaptureControl(TControl* Control);
// The control at a screen point, disabled ones included; nullptr outside our windows.
TControl* FindControlAtScreenPos(POINT P);
