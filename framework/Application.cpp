#include "Application.h"

#include <algorithm>
#include <cstdint>

#include <dwmapi.h>

#include "Control.h"
#include "ControlTracker.h"
#include "DeviceContexts.h"
#include "LanguageTexts.h"
#include "Screen.h"
#include "SysUtils.h"
#include "SystemFiles.h"

namespace {
TApplication TheApplication;
}  // namespace

TApplication* Application = &TheApplication;

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
    Class.hIcon = ApplicationIcon();
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
  // No icons of its own (WM_SETICON): the taskbar and Alt+Tab take the
  // class's when the window has none, and a window manager would otherwise
  // convert each icon again for every one set.
  ShowWindow(FHandle.Get(), SW_SHOWNOACTIVATE);
}

void TApplication::EnableThumbnails() {
  // The taskbar draws its thumbnail from the window that owns the entry, and
  // ours has no area: it is told to ask us for a picture of the main form
  // instead. Peek would show the same picture at the entry window's place
  // rather than over the form, so it is turned off. dwmapi is not a KnownDLL:
  // it is never imported.
  if (FDwmApi || !FHandle)
    return;
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
          if (TBitmapHandle Picture = ClientPicture(*FMainForm, HIWORD(LParam), LOWORD(LParam)))
            FDwmSetIconicThumbnail(Window, Picture.Get(), 0);
      } catch (...) {
      }
      return 0;
  }
  return DefWindowProcA(Window, Msg, WParam, LParam);
}

void TApplication::BringForward() {
  HWND App = FHandle.Get();
  auto TakesInput = [App](HWND Window) { return Window != App && IsWindowVisible(Window) && IsWindowEnabled(Window); };
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

std::string TApplication::Title() const { return FTitleSet ? FTitle : DefaultApplicationTitle(ModuleFileName()); }

void TApplication::SetTitle(const std::string& Value) {
  FTitle = Value;
  FTitleSet = true;
  if (FHandle)
    SetWindowTextA(FHandle.Get(), FTitle.c_str());
}

void TApplication::ShowException(const std::exception& E) {
  const auto* Framework = dynamic_cast<const Exception*>(&E);
  const TLanguageTexts& Texts = TLanguageTexts::Program();
  bool Translated = false;
  auto Text = ErrorBoxText(Texts.Message(Framework ? Framework->Message() : std::string(E.what()), &Translated));
  auto Caption = Title();
  // The box belongs to (and disables) the window the user works in, not the
  // application's own window, which has no area.
  HWND Owner = FMainForm && FMainForm->HandleAllocated() ? FMainForm->Handle() : FHandle.Get();
  if (!Owner)
    Owner = GetActiveWindow();
  MessageBoxA(Owner, Text.c_str(), Caption.c_str(), MB_OK | MB_ICONSTOP | Texts.BoxFlags(Translated));
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
  if ((Msg.message == WM_KEYDOWN || Msg.message == WM_KEYUP) && Form->KeyPreview()) {
    unsigned short Key = static_cast<unsigned short>(Msg.wParam);
    if (Msg.message == WM_KEYDOWN)
      Form->KeyDown(Key);
    else
      Form->KeyUp(Key);
    if (Key == 0)
      return true;
  }
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

TBitmapHandle ClientPicture(TWinControl& Control, int MaxWidth, int MaxHeight) {
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
    TBitmapHandle Dib(CreateDIBSection(nullptr, &Info, DIB_RGB_COLORS, &Pixels, nullptr, 0));
    if (!Dib)
      throw Exception("Cannot create a picture of " + std::to_string(DibWidth) + " x " + std::to_string(DibHeight));
    *Bits = static_cast<std::uint32_t*>(Pixels);
    return Dib;
  };
  std::uint32_t* Bits = nullptr;
  TBitmapHandle Full = NewDib(Width, Height, &Bits);
  TBitmapHandle Scaled;
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
  TBitmapHandle Result = Scaled ? std::move(Scaled) : std::move(Full);
  // GDI leaves the alpha bytes at 0, which the window manager would take as
  // transparent.
  for (std::size_t I = 0, N = static_cast<std::size_t>(W) * static_cast<std::size_t>(H); I < N; ++I)
    Bits[I] |= 0xFF000000u;
  return Result;
}
