// Components, controls and windowed controls: ownership, bounds, colour and
// font inheritance, message dispatch by number, windowless children painted
// and fed with the mouse by their parent, focus and tab order.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Checked.h"
#include "Graphics.h"
#include "Messages.h"

class TObject {
public:
  virtual ~TObject() = default;
};

class TComponent;
class TControl;
class TWinControl;
class TCustomForm;

using TNotifyEvent = std::function<void(TObject* Sender)>;

enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TShiftFlag : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32, ssDouble = 64 };
using TShiftState = unsigned;
using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;

enum TComponentStateFlag : unsigned { csLoading = 1, csReading = 2, csDesigning = 4, csDestroying = 8 };

class TComponent : public TObject {
public:
  explicit TComponent(TComponent* Owner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return FOwner; }
  const std::string& Name() const { return FName; }
  virtual void SetName(const std::string& Value) { FName = Value; }
  unsigned ComponentState() const { return FComponentState; }
  bool InState(unsigned Flags) const { return (FComponentState & Flags) != 0; }
  void SetDesigning(bool Value);
  // Reading from a stored description: csLoading until Loaded clears it.
  void BeginLoading() { FComponentState |= csLoading | csReading; }
  virtual void Loaded() { FComponentState &= ~(csLoading | csReading); }
  const std::vector<TComponent*>& Components() const { return FComponents; }
  TComponent* FindComponent(const std::string& Name) const;

private:
  TComponent* FOwner;
  std::string FName;
  unsigned FComponentState = 0;
  std::vector<TComponent*> FComponents;
};

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

private:
  friend class TWinControl;
  // A screen reader's press of a windowless control is a click.
  friend class TFormAccessibility;
  void HandleMouse(TMessage& Message);
  bool FWindowed;
  bool FFontChanging = false;
};

// A control drawn by its parent onto the parent's window, through a canvas
// whose origin and clip are the control's rectangle.
class TGraphicControl : public TControl {
public:
  explicit TGraphicControl(TComponent* Owner);
  ~TGraphicControl() override;
  TCanvas& Canvas() { return FCanvas; }
  void Dispatch(TMessage& Message) override;

protected:
  virtual void Paint() {}

private:
  TCanvas FCanvas;
};

struct TCreateParams {
  std::string Caption;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  HWND WndParent = nullptr;
  std::string WinClassName;
  // A system class to build on (e.g. "EDIT"); empty for a class of our own.
  std::string SysClassName;
  UINT ClassStyle = CS_DBLCLKS;
};

class TWinControl : public TControl {
public:
  explicit TWinControl(TComponent* Owner);
  ~TWinControl() override;

  // The control's window, created on first use; raises
  // "Control '%s' has no parent window" when it has nowhere to live.
  HWND Handle();
  bool HandleAllocated() const { return FHandle != nullptr; }
  void HandleNeeded() { Handle(); }

  const std::vector<TControl*>& Controls() const { return FControls; }
  int ControlCount() const { return static_cast<int>(FControls.size()); }
  // The windowless or windowed child at a client point, topmost first.
  TControl* ControlAtPos(POINT P, bool AllowDisabled, bool AllowWinControls = false) const;

  RECT ClientRect() const override;
  void SetBounds(int Left, int Top, int Width, int Height) override;
  void SetVisible(bool Value) override;
  void SetText(const std::string& Value) override;
  const std::string& Text() const override;
  void Invalidate() override;
  void Repaint() override;

  bool TabStop() const { return FTabStop; }
  void SetTabStop(bool Value) { FTabStop = Value; }
  int TabOrder() const;
  void SetTabOrder(int Value);
  bool Focused() const;
  bool CanFocus() const;
  virtual void SetFocus();
  // The tab-order list of this control's windowed children, depth first.
  void GetTabOrderList(std::vector<TWinControl*>& List) const;

  // Paints the client area with its windowless and windowed children onto DC,
  // with the client's top-left corner at X, Y; the screen is left as it is.
  void PaintTo(HDC DC, int X, int Y);

  // Sends the message to every child control (stops early for CM_DIALOGCHAR once handled).
  void Broadcast(TMessage& Message);
  void NotifyControls(UINT Msg);

  void WndProc(TMessage& Message) override;
  void Dispatch(TMessage& Message) override;
  void DefaultHandler(TMessage& Message) override;

  // The control behind one of our windows, or nullptr.
  static TWinControl* FromHandle(HWND Window);

protected:
  virtual void CreateParams(TCreateParams& Params);
  virtual void CreateWnd();
  virtual void DestroyWnd();
  void CreateHandle();
  void DestroyHandle();
  // Called once the window exists (after children were created).
  virtual void CreateWindowHandleDone() {}
  // Paints the control itself and then its windowless children.
  virtual void PaintWindow(HDC DC);
  void PaintControls(HDC DC);
  void UpdateBounds();

  HWND FHandle = nullptr;
  WNDPROC FDefWndProc = nullptr;
  TBrush FBrush;

private:
  friend class TControl;
  friend LRESULT CALLBACK ControlWindowProc(HWND, UINT, WPARAM, LPARAM);
  void InsertControl(TControl* Control);
  void RemoveControl(TControl* Control);
  bool IsControlMouseMsg(TMessage& Message);
  std::vector<TControl*> FControls;
  std::vector<TWinControl*> FTabList;
  bool FTabStop = false;
  mutable std::string FTextCache;
};

// A windowed control with a canvas, painted by Paint.
class TCustomControl : public TWinControl {
public:
  explicit TCustomControl(TComponent* Owner);
  ~TCustomControl() override;
  TCanvas& Canvas() { return FCanvas; }
  // When set, Paint draws on a new bitmap of the client area's size (white
  // at first), which then goes to the screen in one copy: no flicker.
  bool DoubleBuffered() const { return FDoubleBuffered; }
  void SetDoubleBuffered(bool Value) { FDoubleBuffered = Value; }

protected:
  virtual void Paint() {}
  void PaintWindow(HDC DC) override;

private:
  // Paint on DC through the canvas, with the control's font and colour.
  void PaintOn(HDC DC);
  TCanvas FCanvas;
  bool FDoubleBuffered = false;
};

// Watches one control while code that may destroy it runs: a control that
// calls a user's handler checks the tracker afterwards, and touches itself no
// more once the handler has destroyed it (a click that frees its own window).
// Learns of the destruction through ControlDestroying. Lives on the stack.
class TControlTracker {
public:
  explicit TControlTracker(TControl* Control);
  ~TControlTracker();
  TControlTracker(const TControlTracker&) = delete;
  TControlTracker& operator=(const TControlTracker&) = delete;
  // The control, or nullptr once it is being destroyed.
  TControl* Control() const { return FControl; }
  bool Destroyed() const { return FControl == nullptr; }

private:
  friend void ControlDestroying(TControl* Control);
  TControl* FControl;
  TControlTracker* FBelow;
};

// The control holding the mouse capture, if any.
TControl* GetCaptureControl();
void SetCaptureControl(TControl* Control);
// The control at a screen point, disabled ones included; nullptr outside our windows.
TControl* FindControlAtScreenPos(POINT P);
// Tells the framework a control is going, so nothing keeps pointing at it.
void ControlDestroying(TControl* Control);
// The application's icon (MAINICON) at the system's small size, loaded once:
// the system keeps it for the module's life. Given to each window class that
// shows it, so that the system need not make a small copy for each.
HICON ApplicationSmallIcon();
