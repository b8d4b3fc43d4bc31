#include "WinControl.h"

#include <algorithm>
#include <climits>
#include <optional>

#include "Application.h"
#include "Consts.h"
#include "ControlsPrivate.h"
#include "DeviceContexts.h"
#include "OffscreenAccessible.h"
#include "ScreenDensity.h"
#include "SysUtils.h"

namespace {

using ControlsPrivate::CaptureControl;

// The control whose window is being created: it gets the messages that come
// before CreateWindowEx returns.
thread_local TWinControl* CreationControl = nullptr;
constexpr const char* ControlProp = "InstallerWinControl";
// Our window classes, each with the procedure its windows hand on to: the
// system class's own for those we build on one, else DefWindowProcA.
std::vector<std::pair<std::string, WNDPROC>> SystemProcs;

WNDPROC& SystemProc(const std::string& ClassName) {
  for (auto& [Name, Proc] : SystemProcs)
    if (Name == ClassName)
      return Proc;
  return SystemProcs.emplace_back(ClassName, nullptr).second;
}

bool IsMouseMessage(UINT Msg) { return Msg >= WM_MOUSEFIRST && Msg <= WM_MBUTTONDBLCLK; }

}  // namespace

LRESULT CALLBACK ControlWindowProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam);

TWinControl::TWinControl(TComponent* Owner) : TControl(Owner, true) { FBrush.SetColor(FColor); }

TWinControl::~TWinControl() {
  // Children go before the window they live in, last first.
  while (!FControls.empty())
    delete FControls.back();
  DestroyHandle();
}

TWinControl* TWinControl::FromHandle(HWND Window) {
  return Window ? static_cast<TWinControl*>(GetPropA(Window, ControlProp)) : nullptr;
}

namespace {

// Looked up once a size: each load searches the icon group, a shared icon
// lives as long as the program, and the system's density is the program's.
HICON ApplicationIconFor(int WidthMetric, int HeightMetric) {
  static HICON Loaded[2];
  HICON& Icon = Loaded[WidthMetric == SM_CXSMICON];
  if (!Icon) {
    const int Dpi = SystemDpi();
    Icon = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), "MAINICON", IMAGE_ICON,
                                         SystemMetricForDpi(WidthMetric, Dpi), SystemMetricForDpi(HeightMetric, Dpi),
                                         LR_SHARED));
  }
  return Icon;
}

}  // namespace

HICON ApplicationSmallIcon() { return ApplicationIconFor(SM_CXSMICON, SM_CYSMICON); }

HICON ApplicationIcon() { return ApplicationIconFor(SM_CXICON, SM_CYICON); }

HWND TWinControl::Handle() {
  if (!FHandle)
    CreateHandle();
  return FHandle;
}

void TWinControl::CreateParams(TCreateParams& Params) {
  Params.Caption = FText;
  Params.Style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  if (FVisible)
    Params.Style |= WS_VISIBLE;
  if (!FEnabled)
    Params.Style |= WS_DISABLED;
  if (FTabStop)
    Params.Style |= WS_TABSTOP;
  Params.X = FLeft;
  Params.Y = FTop;
  Params.Width = FWidth;
  Params.Height = FHeight;
  Params.WinClassName = "TWinControl";
}

void TWinControl::CreateWnd() {
  TCreateParams Params;
  CreateParams(Params);
  if (Params.Style & WS_CHILD) {
    if (!FParent)
      throw Exception(Format(Consts::SParentRequired, Name()));
    Params.WndParent = FParent->Handle();
    // Making the parent's window makes its children's too, this one included.
    if (FHandle)
      return;
  }
  HINSTANCE Instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA Class{};
  Class.cbSize = sizeof Class;
  if (!GetClassInfoExA(Instance, Params.WinClassName.c_str(), &Class)) {
    WNDPROC DefProc = DefWindowProcA;
    if (!Params.SysClassName.empty()) {
      if (!GetClassInfoExA(nullptr, Params.SysClassName.c_str(), &Class))
        throw Exception("Cannot create window class " + Params.WinClassName);
      DefProc = Class.lpfnWndProc;
    } else {
      Class.style = Params.ClassStyle;
      Class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
      // Windows show the application's icon; they have none of their own. A
      // child window shows none.
      if (!(Params.Style & WS_CHILD)) {
        Class.hIcon = ApplicationIcon();
        Class.hIconSm = ApplicationSmallIcon();
      }
    }
    Class.lpfnWndProc = ControlWindowProc;
    Class.hInstance = Instance;
    Class.lpszClassName = Params.WinClassName.c_str();
    if (!RegisterClassExA(&Class))
      throw Exception("Cannot create window class " + Params.WinClassName);
    SystemProc(Params.WinClassName) = DefProc;
  }
  FDefWndProc = SystemProc(Params.WinClassName);
  CreationControl = this;
  HWND Window =
      CreateWindowExA(Params.ExStyle, Params.WinClassName.c_str(), Params.Caption.c_str(), Params.Style, Params.X,
                      Params.Y, Params.Width, Params.Height, Params.WndParent, nullptr, Instance, nullptr);
  CreationControl = nullptr;
  if (!Window)
    throw Exception("Cannot create window for " + Name());
  FHandle = Window;
  SendMessageA(Window, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.Handle()), 0);
}

void TWinControl::CreateHandle() {
  if (FHandle)
    return;
  CreateWnd();
  UpdateBounds();
  for (auto* Control : FControls)
    if (Control->IsWindowed())
      static_cast<TWinControl*>(Control)->CreateHandle();
  // Windowed children stack in tab order.
  CreateWindowHandleDone();
}

void TWinControl::DestroyWnd() {
  if (FHandle)
    DestroyWindow(FHandle);
}

void TWinControl::DestroyHandle() {
  if (!FHandle)
    return;
  DestroyWnd();
  FHandle = nullptr;
}

void TWinControl::UpdateBounds() {
  if (!FHandle)
    return;
  RECT R;
  GetWindowRect(FHandle, &R);
  if (GetWindowLongA(FHandle, GWL_STYLE) & WS_CHILD)
    MapWindowPoints(HWND_DESKTOP, GetParent(FHandle), reinterpret_cast<POINT*>(&R), 2);
  FLeft = R.left;
  FTop = R.top;
  FWidth = ClampedSum(R.right, -std::int64_t{R.left});
  FHeight = ClampedSum(R.bottom, -std::int64_t{R.top});
}

RECT TWinControl::ClientRect() const {
  RECT R{0, 0, FWidth, FHeight};
  if (FHandle)
    GetClientRect(FHandle, &R);
  return R;
}

void TWinControl::SetBounds(int Left, int Top, int Width, int Height) {
  if (Left == FLeft && Top == FTop && Width == FWidth && Height == FHeight)
    return;
  FLeft = Left;
  FTop = Top;
  FWidth = Width;
  FHeight = Height;
  if (FHandle)
    SetWindowPos(FHandle, nullptr, Left, Top, Width, Height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWinControl::SetVisible(bool Value) {
  if (Value == FVisible)
    return;
  FVisible = Value;
  if (FHandle)
    ShowWindow(FHandle, Value ? SW_SHOWNA : SW_HIDE);
  Perform(CM_VISIBLECHANGED, Value);
}

void TWinControl::SetText(const std::string& Value) {
  if (Value == Text())
    return;
  FText = Value;
  if (FHandle)
    SetWindowTextA(FHandle, Value.c_str());
  Perform(CM_TEXTCHANGED);
}

const std::string& TWinControl::Text() const {
  if (!FHandle)
    return FText;
  // A native control may have changed its text itself.
  int Len = GetWindowTextLengthA(FHandle);
  FTextCache.assign(static_cast<std::size_t>(Len) + 1, '\0');
  Len = GetWindowTextA(FHandle, FTextCache.data(), Len + 1);
  FTextCache.resize(static_cast<std::size_t>(std::max(Len, 0)));
  return FTextCache;
}

void TWinControl::Invalidate() {
  if (FHandle)
    InvalidateRect(FHandle, nullptr, !(FControlStyle & csOpaque));
}

void TWinControl::Repaint() {
  if (FHandle) {
    Invalidate();
    UpdateWindow(FHandle);
  }
}

void TWinControl::InsertControl(TControl* Control) {
  FControls.push_back(Control);
  Control->FParent = this;
  if (Control->IsWindowed()) {
    auto* Win = static_cast<TWinControl*>(Control);
    FTabList.push_back(Win);
    if (FHandle)
      Win->CreateHandle();
  }
  Control->Perform(CM_PARENTCOLORCHANGED);
  Control->Perform(CM_PARENTFONTCHANGED);
  Control->Invalidate();
}

void TWinControl::RemoveControl(TControl* Control) {
  Control->Invalidate();
  if (Control->IsWindowed()) {
    auto* Win = static_cast<TWinControl*>(Control);
    std::erase(FTabList, Win);
    Win->DestroyHandle();
  }
  std::erase(FControls, Control);
  Control->FParent = nullptr;
}

TControl* TWinControl::ControlAtPos(POINT P, bool AllowDisabled, bool AllowWinControls) const {
  for (auto It = FControls.rbegin(); It != FControls.rend(); ++It) {
    TControl* C = *It;
    if ((C->IsWindowed() && !AllowWinControls) || !C->Visible() || (!C->Enabled() && !AllowDisabled))
      continue;
    RECT R = C->BoundsRect();
    if (PtInRect(&R, P))
      return C;
  }
  return nullptr;
}

int TWinControl::TabOrder() const {
  if (!FParent)
    return -1;
  auto& List = FParent->FTabList;
  auto It = std::find(List.begin(), List.end(), this);
  return It == List.end() ? -1 : static_cast<int>(It - List.begin());
}

void TWinControl::SetTabOrder(int Value) {
  if (!FParent)
    return;
  auto& List = FParent->FTabList;
  std::erase(List, this);
  Value = std::clamp(Value, 0, static_cast<int>(List.size()));
  List.insert(List.begin() + Value, this);
}

bool TWinControl::Focused() const { return FHandle && GetFocus() == FHandle; }

bool TWinControl::CanFocus() const {
  for (const TControl* C = this; C; C = C->Parent())
    if (!C->Visible() || !C->Enabled())
      return false;
  return true;
}

void TWinControl::SetFocus() { ::SetFocus(Handle()); }

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& List) const {
  for (auto* Child : FTabList) {
    List.push_back(Child);
    Child->GetTabOrderList(List);
  }
}

void TWinControl::Broadcast(TMessage& Message) {
  for (std::size_t I = 0; I < FControls.size(); ++I) {
    FControls[I]->WndProc(Message);
    if (Message.Result != 0)
      return;
  }
}

void TWinControl::NotifyControls(UINT Msg) {
  TMessage M{Msg, 0, 0, 0};
  Broadcast(M);
}

bool TWinControl::IsControlMouseMsg(TMessage& Message) {
  auto* Capture = GetCaptureControl();
  TControl* Target = nullptr;
  if (Capture == this)
    return false;
  if (Capture && Capture->Parent() == this && !Capture->IsWindowed())
    Target = Capture;
  else if (!Capture)
    Target = ControlAtPos({MessageX(Message), MessageY(Message)}, false);
  if (!Target)
    return false;
  TMessage M = Message;
  // The message has 16 bits for each: a point beyond them is held at their ends.
  auto Coordinate = [](int Value, int Origin) {
    return static_cast<short>(std::clamp(ClampedSum(Value, -std::int64_t{Origin}), SHRT_MIN, SHRT_MAX));
  };
  M.LParam = MAKELPARAM(Coordinate(MessageX(Message), Target->Left()), Coordinate(MessageY(Message), Target->Top()));
  Target->WndProc(M);
  Message.Result = M.Result;
  return true;
}

void TWinControl::WndProc(TMessage& Message) {
  // The system gives a disabled window no mouse input: what reaches one was
  // posted, and a waiting box's own loop delivers it.
  if (IsMouseMessage(Message.Msg) && ((FHandle && !IsWindowEnabled(FHandle)) || IsControlMouseMsg(Message)))
    return;
  TControl::WndProc(Message);
}

void TWinControl::PaintControls(HDC DC) {
  for (auto* Control : FControls) {
    if (Control->IsWindowed() || !Control->Visible())
      continue;
    RECT Bounds = Control->BoundsRect();
    if (!RectVisible(DC, &Bounds))
      continue;
    TDCStateGuard Saved(DC);
    POINT Origin;
    GetViewportOrgEx(DC, &Origin);
    SetViewportOrgEx(DC, ClampedSum(Origin.x, Control->Left()), ClampedSum(Origin.y, Control->Top()), nullptr);
    IntersectClipRect(DC, 0, 0, Control->Width(), Control->Height());
    Control->Perform(WM_PAINT, reinterpret_cast<WPARAM>(DC));
  }
}

void TWinControl::PaintTo(HDC DC, int X, int Y) {
  if (!FHandle)
    return;
  // The default handling of WM_PAINT begins and ends a paint of the window
  // even when given a DC of ours: with the window up to date, nothing is lost.
  UpdateWindow(FHandle);
  TDCStateGuard Saved(DC);
  OffsetViewportOrgEx(DC, X, Y, nullptr);
  const RECT Client = ClientRect();
  IntersectClipRect(DC, 0, 0, Client.right, Client.bottom);
  Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(DC));
  Perform(WM_PAINT, reinterpret_cast<WPARAM>(DC));
  for (auto* Control : FControls) {
    if (!Control->IsWindowed() || !Control->Visible())
      continue;
    auto* Child = static_cast<TWinControl*>(Control);
    // Where the child's client area lies, past any frame of its own.
    POINT At{0, 0};
    MapWindowPoints(Child->Handle(), FHandle, &At, 1);
    Child->PaintTo(DC, At.x, At.y);
  }
}

void TWinControl::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_PAINT: {
      if (!FDefWndProc || FDefWndProc == DefWindowProcA) {
        std::optional<TPaintDC> Painting;
        HDC DC = Message.WParam ? reinterpret_cast<HDC>(Message.WParam) : Painting.emplace(FHandle).Handle();
        PaintWindow(DC);
        PaintControls(DC);
        return;
      }
      break;
    }
    case WM_ERASEBKGND:
      if (!FDefWndProc || FDefWndProc == DefWindowProcA) {
        if (!(FControlStyle & csOpaque)) {
          RECT R;
          GetClientRect(FHandle, &R);
          ::FillRect(reinterpret_cast<HDC>(Message.WParam), &R, FBrush.Handle());
        }
        Message.Result = 1;
        return;
      }
      break;
    case WM_GETOBJECT:
      if (TOffscreenAccessible::Answer(*this, Message))
        return;
      break;
    case WM_SETFOCUS:
      DefaultHandler(Message);
      if (auto* Form = ParentForm())
        Form->SetFocusedControl(this);
      return;
    case WM_CAPTURECHANGED:
      if (CaptureControl && (CaptureControl == this || CaptureControl->Parent() == this))
        CaptureControl = nullptr;
      break;
    case WM_SIZE:
    case WM_MOVE:
      DefaultHandler(Message);
      UpdateBounds();
      return;
    case CM_COLORCHANGED:
      FBrush.SetColor(FColor);
      NotifyControls(CM_PARENTCOLORCHANGED);
      Invalidate();
      return;
    case CM_FONTCHANGED:
      if (FHandle)
        SendMessageA(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.Handle()), TRUE);
      NotifyControls(CM_PARENTFONTCHANGED);
      Invalidate();
      return;
    case CM_ENABLEDCHANGED:
      if (FHandle)
        EnableWindow(FHandle, FEnabled);
      Invalidate();
      return;
    case CM_DIALOGCHAR:
    case CM_SYSCOLORCHANGE:
      Broadcast(Message);
      return;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_COMMAND:
      // A native child asks its parent; the child itself knows the answer.
      if (auto* Child = FromHandle(reinterpret_cast<HWND>(Message.LParam)); Child && Child != this) {
        Message.Result = Child->Perform(CN_BASE + Message.Msg, Message.WParam, Message.LParam);
        return;
      }
      break;
    case CN_CTLCOLOREDIT:
    case CN_CTLCOLORSTATIC: {
      HDC DC = reinterpret_cast<HDC>(Message.WParam);
      SetTextColor(DC, ColorToRGB(FFont.Color()));
      SetBkColor(DC, ColorToRGB(FColor));
      Message.Result = reinterpret_cast<LRESULT>(FBrush.Handle());
      return;
    }
  }
  TControl::Dispatch(Message);
}

void TWinControl::DefaultHandler(TMessage& Message) {
  if (FHandle)
    Message.Result = CallWindowProcA(FDefWndProc ? FDefWndProc : DefWindowProcA, FHandle, Message.Msg, Message.WParam,
                                     Message.LParam);
}

LRESULT CALLBACK ControlWindowProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
  auto* Control = TWinControl::FromHandle(Window);
  if (!Control && CreationControl) {
    Control = CreationControl;
    CreationControl = nullptr;
    SetPropA(Window, ControlProp, Control);
    Control->FHandle = Window;
  }
  if (!Control)
    return DefWindowProcA(Window, Msg, WParam, LParam);
  TMessage M{Msg, WParam, LParam, 0};
  // An exception must never unwind through the system's code.
  try {
    Control->WndProc(M);
  } catch (...) {
    Application->HandleException();
  }
  if (Msg == WM_NCDESTROY) {
    RemovePropA(Window, ControlProp);
    if (Control->FHandle == Window)
      Control->FHandle = nullptr;
  }
  return M.Result;
}
