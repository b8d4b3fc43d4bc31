// A control with a window of its own: the window's creation and procedure,
// windowless children painted and fed with the mouse, focus and tab order.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "Control.h"
#include "Graphics.h"
#include "Messages.h"

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
  // Paints the control itself; its windowless children come after it. A
  // window of the default class has nothing of its own to paint (the default
  // handling would only begin and end a paint inside this one).
  virtual void PaintWindow(HDC) {}
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

// The application's icon (MAINICON) at the small and the large size the
// system's density asks for (16 and 32 pixels at 96 DPI), each loaded once:
// the system keeps them for the module's life. Given to each window class
// that shows it, so that the system need not make a copy of another size.
HICON ApplicationSmallIcon();
HICON ApplicationIcon();
