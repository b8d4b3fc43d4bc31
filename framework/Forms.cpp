#include "Forms.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include <dwmapi.h>

#include "DeviceContexts.h"
#include "SysUtils.h"
#include "SystemFiles.h"

namespace {
TScreen TheScreen;
TApplication TheApplication;
}  // namespace

TScreen* Screen = &TheScreen;
TApplication* Application = &TheApplication;

// ---------------------------------------------------------------- TCustomForm

TCustomForm::TCustomForm(TComponent* Owner) : TWinControl(Owner) {
  FVisible = false;
  FParentColor = false;
  FParentFont = false;
  SetColor(clBtnFace);
  FFont.SetName("MS Sans Serif");
  FFont.SetHeight(-11);
  FFont.SetCharset(DEFAULT_CHARSET);
  FFont.SetColor(clWindowText);
  FParentFont = false;
  ApplyClientSize();
}

TCustomForm::~TCustomForm() {
  if (Screen->ActiveForm() == this)
    Screen->SetActiveForm(nullptr);
}

void TCustomForm::AfterConstruction() {
  // Like every event handler's, an error in OnCreate is shown and the form goes on.
  try {
    if (OnCreate)
      OnCreate(this);
  } catch (...) {
    Application->HandleException();
  }
}

namespace {

// Where a window of this size lies centred on the primary screen.
POINT ScreenCentreFor(std::int64_t Width, std::int64_t Height) {
  return {ClampedSum(GetSystemMetrics(SM_CXSCREEN), -Width) / 2,
          ClampedSum(GetSystemMetrics(SM_CYSCREEN), -Height) / 2};
}

}  // namespace

void TCustomForm::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.WinClassName = "TForm";
  Params.Style = WS_CLIPCHILDREN;
  Params.ExStyle = 0;
  switch (FBorderStyle) {
    case bsNone: Params.Style |= WS_POPUP; break;
    case bsSingle: Params.Style |= WS_CAPTION; break;
    case bsSizeable: Params.Style |= WS_CAPTION | WS_THICKFRAME; break;
    case bsDialog: Params.Style |= WS_POPUP | WS_CAPTION; Params.ExStyle |= WS_EX_DLGMODALFRAME; break;
    case bsToolWindow: Params.Style |= WS_CAPTION; Params.ExStyle |= WS_EX_TOOLWINDOW; break;
    case bsSizeToolWin: Params.Style |= WS_CAPTION | WS_THICKFRAME; Params.ExStyle |= WS_EX_TOOLWINDOW; break;
  }
  if (FBorderStyle != bsNone && (FBorderIcons & biSystemMenu)) {
    Params.Style |= WS_SYSMENU;
    // Dialog frames and tool windows have no room for these buttons.
    if (FBorderStyle != bsDialog && FBorderStyle != bsToolWindow && FBorderStyle != bsSizeToolWin) {
      if (FBorderIcons & biMinimize)
        Params.Style |= WS_MINIMIZEBOX;
      if (FBorderIcons & biMaximize)
        Params.Style |= WS_MAXIMIZEBOX;
    }
  }
  if (!FEnabled)
    Params.Style |= WS_DISABLED;
  // Made where it will show: moving a window costs about as much as making it.
  if (!FPositioned && FPosition == poScreenCenter) {
    POINT Centre = ScreenCentreFor(Params.Width, Params.Height);
    Params.X = Centre.x;
    Params.Y = Centre.y;
  }
  // Owned by the application's window, a form has no taskbar entry of its own.
  Params.WndParent = Application->Handle();
}

void TCustomForm::ApplyClientSize() {
  TCreateParams Params;
  CreateParams(Params);
  // The frame around an empty client, added to the client size here: a stored
  // size near the end of the int range must not overflow inside the system.
  RECT Frame{0, 0, 0, 0};
  AdjustWindowRectEx(&Frame, Params.Style, FALSE, Params.ExStyle);
  const int Width = ClampedSum(FClientWidth, Frame.right - Frame.left);
  const int Height = ClampedSum(FClientHeight, Frame.bottom - Frame.top);
  if (FHandle)
    SetWindowPos(FHandle, nullptr, 0, 0, Width, Height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  else {
    FWidth = Width;
    FHeight = Height;
  }
}

RECT TCustomForm::ClientRect() const {
  if (FHandle)
    return TWinControl::ClientRect();
  return {0, 0, FClientWidth, FClientHeight};
}

void TCustomForm::SetClientSize(int Width, int Height) {
  FClientWidth = Width;
  FClientHeight = Height;
  ApplyClientSize();
}

void TCustomForm::SetBorderStyle(TFormBorderStyle Value) {
  if (Value == FBorderStyle)
    return;
  FBorderStyle = Value;
  SetAutoScroll(Value == bsSizeable || Value == bsSizeToolWin);
  RecreateWnd();
}

void TCustomForm::SetBorderIcons(unsigned Value) {
  if (Value == FBorderIcons)
    return;
  FBorderIcons = Value;
  RecreateWnd();
}

void TCustomForm::RecreateWnd() {
  if (!FHandle) {
    ApplyClientSize();
    return;
  }
  // Frame styles apply to a window as it is created: make it anew.
  const bool WasVisible = IsWindowVisible(FHandle);
  DestroyHandle();
  ApplyClientSize();
  CreateHandle();
  if (WasVisible)
    ShowWindow(FHandle, SW_SHOWNORMAL);
}

void TCustomForm::SetAutoScroll(bool Value) {
  FAutoScroll = Value;
  if (!Value)
    FHorzRange = FVertRange = 0;
  UpdateScrollRanges();
}

void TCustomForm::UpdateScrollRanges() {
  if (FAutoScroll) {
    FHorzRange = FVertRange = 0;
    for (auto* Control : Controls()) {
      if (!Control->Visible())
        continue;
      const RECT Bounds = Control->BoundsRect();
      FHorzRange = std::max(FHorzRange, static_cast<int>(Bounds.right));
      FVertRange = std::max(FVertRange, static_cast<int>(Bounds.bottom));
    }
  }
  if (!FHandle)
    return;
  RECT Client;
  GetClientRect(FHandle, &Client);
  // The room is the client area as it is now (bounds set or the window
  // resized), not counting our own scroll bars.
  const LONG Style = GetWindowLongA(FHandle, GWL_STYLE);
  const int Width = Client.right + ((Style & WS_VSCROLL) ? GetSystemMetrics(SM_CXVSCROLL) : 0);
  const int Height = Client.bottom + ((Style & WS_HSCROLL) ? GetSystemMetrics(SM_CYHSCROLL) : 0);
  const bool Horz = FAutoScroll && FHorzRange > Width;
  const bool Vert = FAutoScroll && FVertRange > Height;
  SCROLLINFO Info{sizeof Info, SIF_RANGE | SIF_PAGE, 0, 0, 0, 0, 0};
  Info.nMax = FHorzRange - 1;
  Info.nPage = static_cast<UINT>(Client.right);
  if (Horz)
    SetScrollInfo(FHandle, SB_HORZ, &Info, TRUE);
  ShowScrollBar(FHandle, SB_HORZ, Horz);
  Info.nMax = FVertRange - 1;
  Info.nPage = static_cast<UINT>(Client.bottom);
  if (Vert)
    SetScrollInfo(FHandle, SB_VERT, &Info, TRUE);
  ShowScrollBar(FHandle, SB_VERT, Vert);
}

void TCustomForm::CreateWindowHandleDone() {
  SetWindowTextA(FHandle, FText.c_str());
  UpdateScrollRanges();
}

void TCustomForm::SetVisible(bool Value) {
  if (!Value) {
    FVisible = false;
    if (FHandle)
      ShowWindow(FHandle, SW_HIDE);
    return;
  }
  HandleNeeded();
  if (!FPositioned && FPosition == poScreenCenter) {
    RECT R;
    GetWindowRect(FHandle, &R);
    const POINT Centre = ScreenCentreFor(std::int64_t{R.right} - R.left, std::int64_t{R.bottom} - R.top);
    if (Centre.x != R.left || Centre.y != R.top)
      SetWindowPos(FHandle, nullptr, Centre.x, Centre.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  FPositioned = true;
  FVisible = true;
  ShowWindow(FHandle, SW_SHOWNORMAL);
  UpdateWindow(FHandle);
}

void TCustomForm::Close() {
  if (Application->MainForm() == this)
    Application->Terminate();
  SetVisible(false);
}

void TCustomForm::SetActiveControl(TWinControl* Control) {
  FActiveControl = Control;
  if (Control && FHandle && IsWindowVisible(FHandle) && Control->CanFocus())
    Control->SetFocus();
}

void TCustomForm::SetFocusedControl(TWinControl* Control) {
  if (Control != this)
    FActiveControl = Control;
  Screen->SetActiveControl(Control);
  Screen->SetActiveForm(this);
  Perform(CM_FOCUSCHANGED, 0, reinterpret_cast<LPARAM>(Control));
}

void TCustomForm::SelectNext(TWinControl* Current, bool GoForward, bool CheckTabStop) {
  std::vector<TWinControl*> List;
  GetTabOrderList(List);
  if (List.empty())
    return;
  const int Count = static_cast<int>(List.size());
  int Start = -1;
  for (int I = 0; I < Count; ++I)
    if (List[I] == Current)
      Start = I;
  for (int Step = 1; Step <= Count; ++Step) {
    int I = Start < 0 ? (GoForward ? Step - 1 : Count - Step) : ((Start + (GoForward ? Step : -Step)) % Count + Count) % Count;
    auto* Candidate = List[I];
    if (Candidate->CanFocus() && (!CheckTabStop || Candidate->TabStop())) {
      Candidate->SetFocus();
      return;
    }
  }
}

void TCustomForm::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_CLOSE:
      Close();
      return;
    case WM_SYSCOLORCHANGE:
      DefaultHandler(Message);
      NotifyControls(CM_SYSCOLORCHANGE);
      return;
    case WM_GETOBJECT:
    case CM_DEFAULTACTION:
      if (FAccessibility.Dispatch(Message))
        return;
      break;
    case WM_ACTIVATE:
      DefaultHandler(Message);
      if (LOWORD(Message.WParam) != WA_INACTIVE) {
        Screen->SetActiveForm(this);
        if (FActiveControl && FActiveControl->CanFocus())
          FActiveControl->SetFocus();
        else
          SelectNext(nullptr, true, true);
      }
      return;
    case WM_SIZE:
      TWinControl::Dispatch(Message);
      UpdateScrollRanges();
      return;
    case WM_MOVE:
      TWinControl::Dispatch(Message);
      if (Application->MainForm() == this)
        Application->MainFormChanged();
      return;
    case WM_SYSCOMMAND:
      // The program minimises as a whole, into its taskbar entry.
      if ((Message.WParam & 0xFFF0) == SC_MINIMIZE && Application->MainForm() == this && Application->Handle()) {
        Message.Result = SendMessageA(Application->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
        return;
      }
      break;
  }
  TWinControl::Dispatch(Message);
}

void TCustomForm::RegisterHandler(const std::string& Name, TNotifyEvent Handler) {
  ReplaceOrAppend(FHandlers, {Name, std::move(Handler)},
                  [](const auto& Entry) -> const std::string& { return Entry.first; });
}

TNotifyEvent TCustomForm::Handler(const std::string& Name) const {
  for (const auto& [Known, Event] : FHandlers)
    if (Known == Name)
      return Event;
  throw EReadError("Method " + Name + " not found");
}

void TCustomForm::AddField(const std::string& Name, void* Field, bool (*Bind)(void*, TComponent*)) {
  ReplaceOrAppend(FFields, {Name, Field, Bind}, [](const TField& Entry) -> const std::string& { return Entry.Name; });
}

void TCustomForm::BindField(const std::string& Name, TComponent* Component) {
  for (const auto& F : FFields)
    if (F.Name == Name && !F.Bind(F.Field, Component))
      throw EReadError("Field " + Name + " does not match the class of its component");
}

// ---------------------------------------------------------------- TScreen

void TScreen::ControlDestroying(TControl* Control) {
  if (FActiveControl == Control)
    FActiveControl = nullptr;
  if (FActiveForm == Control)
    FActiveForm = nullptr;
}

// ---------------------------------------------------------------- TApplication

TApplication::TApplication() : TComponent(nullptr) {}

TApplication::~TApplication() = default;

void TApplication::Initialize() {
  if (FHandle)
    return;
  HINSTANCE Instance = GetModuleHandleA(nullptr);
  static constexpr char ClassName[] = "TApplication";
  WNDCLASSEXA Class{};
  Class.cbSize = sizeof Class;
  if (!GetClassInfoExA(Instance, ClassName, &Class)) {
    Class.lpfnWndProc = AppWindowProc;
    Class.hInstance = Instance;
    Class.hIcon = LoadIconA(Instance, "MAINICON");
    Class.hIconSm = ApplicationSmallIcon();
    Class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    Class.lpszClassName = ClassName;
    if (!RegisterClassExA(&Class))
      throw Exception("Cannot create window class " + std::string(ClassName));
  }
  // A captioned popup of no size: nothing of it shows on the screen, yet the
  // shell gives it the taskbar entry and Alt+Tab shows its title and icon.
  FHandle.Reset(CreateWindowExA(0, ClassName, Title().c_str(), WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU,
                                GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr,
                                nullptr, Instance, nullptr));
  if (!FHandle)
    throw Exception("Cannot create the application window");
  // The taskbar asks the window for its icons before it looks at the class.
  if (HICON Big = LoadIconA(Instance, "MAINICON")) {
    SendMessageA(FHandle.Get(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(Big));
    SendMessageA(FHandle.Get(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(ApplicationSmallIcon()));
  }
  EnableThumbnails();
  ShowWindow(FHandle.Get(), SW_SHOWNOACTIVATE);
}

void TApplication::EnableThumbnails() {
  // The taskbar draws its thumbnail from the window that owns the entry, and
  // ours has no area: it is told to ask us for a picture of the main form
  // instead. Peek would show the same picture at the entry window's place
  // rather than over the form, so it is turned off. dwmapi is not a KnownDLL:
  // it is never imported.
  FDwmApi.Reset(LoadSystemLibrary("dwmapi.dll"));
  if (!FDwmApi)
    return;
  using TSetWindowAttribute = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);
  auto SetAttribute = reinterpret_cast<TSetWindowAttribute>(
      reinterpret_cast<void*>(GetProcAddress(FDwmApi.Get(), "DwmSetWindowAttribute")));
  FDwmSetIconicThumbnail = reinterpret_cast<decltype(FDwmSetIconicThumbnail)>(
      reinterpret_cast<void*>(GetProcAddress(FDwmApi.Get(), "DwmSetIconicThumbnail")));
  if (!SetAttribute || !FDwmSetIconicThumbnail) {
    FDwmSetIconicThumbnail = nullptr;
    FDwmApi.Reset();
    return;
  }
  const BOOL On = TRUE;
  for (DWORD Attribute : {DWMWA_FORCE_ICONIC_REPRESENTATION, DWMWA_HAS_ICONIC_BITMAP, DWMWA_DISALLOW_PEEK})
    SetAttribute(FHandle.Get(), Attribute, &On, sizeof On);
}

LRESULT CALLBACK TApplication::AppWindowProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Window != Application->Handle())
    return DefWindowProcA(Window, Msg, WParam, LParam);
  // An exception must never unwind through the system's code.
  try {
    return Application->AppWndProc(Msg, WParam, LParam);
  } catch (...) {
    Application->HandleException();
  }
  return 0;
}

LRESULT TApplication::AppWndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  HWND Window = FHandle.Get();
  switch (Msg) {
    case WM_ACTIVATE:
      DefWindowProcA(Window, Msg, WParam, LParam);
      // Taskbar click or Alt+Tab: the user means the program's window.
      if (LOWORD(WParam) != WA_INACTIVE && !HIWORD(WParam))
        BringForward();
      return 0;
    case WM_CLOSE:
      // The taskbar's Close closes the main form, as its close button does,
      // unless a box it has open waits for an answer.
      if (FMainForm && FMainForm->HandleAllocated() && !IsWindowEnabled(FMainForm->Handle()))
        BringForward();
      else if (FMainForm)
        FMainForm->Close();
      return 0;
    case WM_SYSCOMMAND:
      switch (WParam & 0xFFF0) {
        case SC_MINIMIZE:
          if (!(GetWindowLongA(Window, GWL_STYLE) & WS_MINIMIZEBOX))
            return 0;
          ShowOwnedPopups(Window, FALSE);
          break;
        case SC_RESTORE: {
          const LRESULT Result = DefWindowProcA(Window, Msg, WParam, LParam);
          ShowOwnedPopups(Window, TRUE);
          BringForward();
          return Result;
        }
      }
      break;
    case WM_DWMSENDICONICTHUMBNAIL:
      // A thumbnail is cosmetic: when it cannot be made or given, the taskbar
      // shows the icon, and the user is not troubled with a box.
      try {
        if (FDwmSetIconicThumbnail && FMainForm)
          if (TGdiObject Picture = ClientPicture(*FMainForm, HIWORD(LParam), LOWORD(LParam)))
            FDwmSetIconicThumbnail(Window, static_cast<HBITMAP>(Picture.Get()), 0);
      } catch (...) {
      }
      return 0;
  }
  return DefWindowProcA(Window, Msg, WParam, LParam);
}

void TApplication::BringForward() {
  HWND App = FHandle.Get();
  auto TakesInput = [App](HWND Window) {
    return Window != App && IsWindowVisible(Window) && IsWindowEnabled(Window);
  };
  // The window that owns all others remembers which of them was active last.
  // Once it has been active itself, the topmost of them that takes input is
  // the one: a box open on the main form, else the main form.
  HWND Target = GetLastActivePopup(App);
  if (!TakesInput(Target)) {
    Target = nullptr;
    for (HWND Window = GetTopWindow(nullptr); Window && !Target; Window = GetWindow(Window, GW_HWNDNEXT)) {
      // GA_ROOTOWNER stops at an owned window that is not a popup, as a form is.
      HWND Owner = Window;
      while (Owner && Owner != App)
        Owner = GetWindow(Owner, GW_OWNER);
      if (Owner && TakesInput(Window))
        Target = Window;
    }
  }
  if (Target)
    SetActiveWindow(Target);
}

void TApplication::MainFormChanged() {
  if (!FHandle || !FMainForm || !FMainForm->HandleAllocated() || IsIconic(FHandle.Get()))
    return;
  HWND Main = FMainForm->Handle();
  RECT R;
  GetWindowRect(Main, &R);
  SetWindowPos(FHandle.Get(), nullptr, R.left, R.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  const LONG Style = GetWindowLongA(FHandle.Get(), GWL_STYLE);
  const LONG Wanted = (Style & ~WS_MINIMIZEBOX) | (GetWindowLongA(Main, GWL_STYLE) & WS_MINIMIZEBOX);
  if (Wanted != Style)
    SetWindowLongA(FHandle.Get(), GWL_STYLE, Wanted);
}

std::string TApplication::Title() const {
  return FTitleSet ? FTitle : DefaultApplicationTitle(ModuleFileName());
}

void TApplication::SetTitle(const std::string& Value) {
  FTitle = Value;
  FTitleSet = true;
  if (FHandle)
    SetWindowTextA(FHandle.Get(), FTitle.c_str());
}

void TApplication::ShowException(const std::exception& E) {
  const auto* Framework = dynamic_cast<const Exception*>(&E);
  auto Text = ErrorBoxText(Framework ? Framework->Message() : std::string(E.what()));
  auto Caption = Title();
  // The box belongs to (and disables) the window the user works in, not the
  // application's own window, which has no area.
  HWND Owner = FMainForm && FMainForm->HandleAllocated() ? FMainForm->Handle() : FHandle.Get();
  if (!Owner)
    Owner = GetActiveWindow();
  MessageBoxA(Owner, Text.c_str(), Caption.c_str(), MB_OK | MB_ICONSTOP);
}

void TApplication::HandleException() {
  try {
    throw;
  } catch (const std::exception& E) {
    ShowException(E);
  } catch (...) {
    // Nothing may unwind past the handler: show what can be said.
    ShowException(Exception("Unknown exception"));
  }
}

void TApplication::ControlDestroying(TControl* Control) {
  if (FMouseControl == Control)
    FMouseControl = nullptr;
  if (FMainForm == Control)
    FMainForm = nullptr;
  Screen->ControlDestroying(Control);
}

void TApplication::Terminate() {
  if (!FTerminated) {
    FTerminated = true;
    PostQuitMessage(0);
  }
}

void TApplication::DoMouseIdle() {
  POINT P;
  if (!GetCursorPos(&P))
    return;
  TControl* Target = FindControlAtScreenPos(P);
  if (Target == FMouseControl)
    return;
  // While a control holds the capture, only it hears of leaving or entering.
  TControl* Capture = GetCaptureControl();
  // A leave handler may destroy the control about to be entered.
  TControlTracker Entering(Target);
  if (FMouseControl && (!Capture || FMouseControl == Capture))
    FMouseControl->Perform(CM_MOUSELEAVE);
  FMouseControl = Entering.Control();
  if (FMouseControl && (!Capture || FMouseControl == Capture))
    FMouseControl->Perform(CM_MOUSEENTER);
}

void TApplication::Idle() {
  try {
    DoMouseIdle();
  } catch (...) {
    HandleException();
  }
}

bool TApplication::IsKeyMsg(MSG& Msg) {
  auto* Control = TWinControl::FromHandle(Msg.hwnd);
  auto* Form = Control ? Control->ParentForm() : nullptr;
  if (!Form)
    return false;
  const LRESULT Wants = SendMessageA(Msg.hwnd, WM_GETDLGCODE, Msg.wParam, reinterpret_cast<LPARAM>(&Msg));
  switch (Msg.message) {
    case WM_KEYDOWN:
      if (Msg.wParam == VK_TAB && !(Wants & (DLGC_WANTTAB | DLGC_WANTALLKEYS))) {
        Form->SelectNext(Control, GetKeyState(VK_SHIFT) >= 0, true);
        return true;
      }
      return false;
    case WM_CHAR:
      // A control that does not take characters lets the form try its accelerators.
      if (Wants & (DLGC_WANTCHARS | DLGC_WANTALLKEYS))
        return false;
      [[fallthrough]];
    case WM_SYSCHAR:
      return Form->Perform(CM_DIALOGCHAR, Msg.wParam, Msg.lParam) != 0;
  }
  return false;
}

bool TApplication::ProcessMessage(MSG& Msg) {
  if (!PeekMessageA(&Msg, nullptr, 0, 0, PM_REMOVE))
    return false;
  if (Msg.message == WM_QUIT) {
    FTerminated = true;
    return true;
  }
  bool Handled = false;
  try {
    Handled = IsKeyMsg(Msg);
  } catch (...) {
    HandleException();
    Handled = true;
  }
  if (!Handled) {
    TranslateMessage(&Msg);
    DispatchMessageA(&Msg);
  }
  return true;
}

void TApplication::ProcessMessages() {
  MSG Msg;
  while (ProcessMessage(Msg)) {
  }
}

void TApplication::HandleMessage(DWORD TimeoutMs) {
  MSG Msg;
  if (ProcessMessage(Msg))
    return;
  Idle();
  if (FTerminated)
    return;
  // While the pointer is over one of our controls, look again now and then:
  // leaving our windows sends us no message.
  MsgWaitForMultipleObjectsEx(0, nullptr, FMouseControl ? std::min<DWORD>(100, TimeoutMs) : TimeoutMs, QS_ALLINPUT,
                              MWMO_INPUTAVAILABLE);
}

void TApplication::Run() {
  if (FMainForm) {
    FMainForm->Show();
    MainFormChanged();
    while (!FTerminated)
      HandleMessage();
  }
  // The windows and their controls go with the application's run, and the
  // taskbar entry with them.
  while (!Components().empty())
    delete Components().back();
  if (FHandle)
    ShowWindow(FHandle.Get(), SW_HIDE);
}

TGdiObject ClientPicture(TWinControl& Control, int MaxWidth, int MaxHeight) {
  if (!Control.HandleAllocated() || MaxWidth <= 0 || MaxHeight <= 0)
    return {};
  const RECT Client = Control.ClientRect();
  const int Width = Client.right, Height = Client.bottom;
  if (Width <= 0 || Height <= 0)
    return {};
  // The tighter of the two limits decides; a small window stays as it is.
  int W = Width, H = Height;
  if (W > MaxWidth) {
    H = std::max(1, MulDiv(H, MaxWidth, W));
    W = MaxWidth;
  }
  if (H > MaxHeight) {
    W = std::max(1, MulDiv(W, MaxHeight, H));
    H = MaxHeight;
  }
  auto NewDib = [](int DibWidth, int DibHeight, std::uint32_t** Bits) {
    BITMAPINFO Info{};
    Info.bmiHeader.biSize = sizeof Info.bmiHeader;
    Info.bmiHeader.biWidth = DibWidth;
    Info.bmiHeader.biHeight = -DibHeight;
    Info.bmiHeader.biPlanes = 1;
    Info.bmiHeader.biBitCount = 32;
    Info.bmiHeader.biCompression = BI_RGB;
    void* Pixels = nullptr;
    TGdiObject Dib(CreateDIBSection(nullptr, &Info, DIB_RGB_COLORS, &Pixels, nullptr, 0));
    if (!Dib)
      throw Exception("Cannot create a picture of " + std::to_string(DibWidth) + " x " + std::to_string(DibHeight));
    *Bits = static_cast<std::uint32_t*>(Pixels);
    return Dib;
  };
  std::uint32_t* Bits = nullptr;
  TGdiObject Full = NewDib(Width, Height, &Bits);
  TGdiObject Scaled;
  {
    TMemoryDC FullDC(CreateCompatibleDC(nullptr));
    TSelectGuard SelectedFull(FullDC.Get(), Full.Get());
    Control.PaintTo(FullDC.Get(), 0, 0);
    if (W != Width || H != Height) {
      Scaled = NewDib(W, H, &Bits);
      TMemoryDC DC(CreateCompatibleDC(nullptr));
      TSelectGuard SelectedScaled(DC.Get(), Scaled.Get());
      SetStretchBltMode(DC.Get(), HALFTONE);
      SetBrushOrgEx(DC.Get(), 0, 0, nullptr);
      StretchBlt(DC.Get(), 0, 0, W, H, FullDC.Get(), 0, 0, Width, Height, SRCCOPY);
    }
  }
  GdiFlush();
  TGdiObject Result = Scaled ? std::move(Scaled) : std::move(Full);
  // GDI leaves the alpha bytes at 0, which the window manager would take as
  // transparent.
  for (std::size_t I = 0, N = static_cast<std::size_t>(W) * static_cast<std::size_t>(H); I < N; ++I)
    Bits[I] |= 0xFF000000u;
  return Result;
}
