// Looks at another program's windows from inside the same Wine prefix and
// display, for the end-to-end tests.
//   probe box CAPTION [SECONDS]     prints the text of the visible message box so captioned
//   probe window TITLE [SECONDS]    prints "frame min max hscroll vscroll WxH" of the window's
//                                   style bits (0 or 1 each) and its client size
//   probe children TITLE [SECONDS]  prints a line "class left top width height visible" per child window
//   probe origin TITLE [SECONDS]    prints "x y", the screen position of the window's client area
//   probe taskbar TITLE [SECONDS]   prints the title of each window of the program showing window
//                                   TITLE that gets a taskbar button: visible, not a tool window, and
//                                   unowned or marked as an app window (Wine answers no WM_GETICON
//                                   from another process, so the icon is checked from inside)
//   probe tray TITLE [SECONDS]      prints "left top width height" of each visible button of the
//                                   shell's own taskbar that stands for a window of that program,
//                                   once there is one
//   probe entry-close TITLE [SECONDS]     the taskbar menu's Close: WM_SYSCOMMAND SC_CLOSE to the
//                                         window that has that program's taskbar button
//   probe entry-minimize TITLE [SECONDS]  likewise SC_MINIMIZE
//   probe button CAPTION TEXT [SECONDS]  prints "x y", the screen centre of the button TEXT ("&No")
//                                        in the visible message box so captioned
//   probe foreground TITLE [SECONDS]      waits for the foreground window to be titled TITLE; prints
//                                         the foreground window's title, "(none)" when there is none
//   probe hold FILE [SECONDS]       holds FILE open with no sharing until the package maker's
//                                   temporary file beside it (.NAME.*.tmp) is closed, as it is
//                                   just before it replaces FILE, and 0.3 s longer; prints "held"
//                                   once it holds FILE; exits 1 when the file was never closed
//   probe hold-until-box FILE CAPTION [SECONDS]  holds FILE open with no sharing until a message box
//                                   so captioned shows; prints "held" once it holds FILE; exits 1
//                                   when no box showed
//   probe close TITLE [SECONDS]     posts WM_CLOSE to the window, as taskkill without /F does
//   probe short PATH                prints the short form of PATH, or nothing when there is none
//   probe density                   prints the framework's view of the screen's density:
//                                   "DPI LOGPIXELSY SMALLICON ICON FRAMEWxFRAMEH", the system's
//                                   density, the screen's LOGPIXELSY (what stands in for it before
//                                   Windows 10), the icon sizes and a fixed frame's size at it
//   probe access TITLE [SECONDS]    reads the window's client object as a screen reader does, from
//                                   this process: "children N", then a line per child, "N ROLE 'NAME'
//                                   X Y W H state S action 'A'" for a simple element (X Y W H on the
//                                   screen), "window CLASS" for one with an object of its own; then for
//                                   each element "hit N" (accHitTest at its middle) and "point N 'NAME'"
//                                   (AccessibleObjectFromPoint there)
//   probe press TITLE NAME [SECONDS]  the default action of the simple element NAME; prints its result
//   probe press-many TITLE NAME TIMES [SECONDS]  that default action TIMES over, as fast as it goes;
//                                   prints "pressed N" and, if one was refused, "refused 0xHRESULT"
//   probe post TITLE WHAT [SECONDS]  posts to the window what another program can: "click" (a left
//                                   click on the picture button), "enter" (Enter down and up), or
//                                   "dpichanged:N" (WM_DPICHANGED to 192 DPI with lParam N)
//   probe hidden TITLE [SECONDS]    prints "CLASS LEFT TOP invisible offscreen" per child window (the
//                                   two words as its own window object says them, "-" otherwise)
//   probe module TITLE DLL [SECONDS]  prints "loaded" or "absent": whether the program showing
//                                     window TITLE has DLL loaded
// Waits up to SECONDS (default 10) for the window; exits 1 when none shows.
// Titles are printed in UTF-8.
// Prints "ready" to stderr once it runs, for callers that must wait for that.
#include <windows.h>

#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "AccessibleClient.h"
#include "ScreenDensity.h"
#include "TaskbarWindows.h"

namespace {

using namespace WinTest;
using WinTest::GetsTaskbarButton;
using WinTest::TopLevelWindows;

std::string Utf8Title(HWND Window) {
  wchar_t Title[512] = {};
  const int Length = GetWindowTextW(Window, Title, 512);
  char Utf8[2048] = {};
  WideCharToMultiByte(CP_UTF8, 0, Title, Length, Utf8, sizeof Utf8 - 1, nullptr, nullptr);
  return Utf8;
}

// The top-level windows of the program that shows Window.
std::vector<HWND> ProgramWindows(HWND Window) {
  DWORD Pid = 0;
  GetWindowThreadProcessId(Window, &Pid);
  return TopLevelWindows(Pid);
}

int PrintTaskbar(HWND Window) {
  for (HWND Top : ProgramWindows(Window))
    if (GetsTaskbarButton(Top))
      std::printf("%s\n", Utf8Title(Top).c_str());
  return 0;
}

int PrintOrigin(HWND Window) {
  POINT Origin{0, 0};
  ClientToScreen(Window, &Origin);
  std::printf("%ld %ld\n", Origin.x, Origin.y);
  return 0;
}

int PrintTray(HWND Window) {
  HWND Tray = FindWindowA("Shell_TrayWnd", nullptr);
  if (!Tray)
    return 1;
  const auto Windows = ProgramWindows(Window);
  std::string Lines;
  // Each button of the shell's taskbar carries the window it stands for as its id.
  for (HWND Button = GetWindow(Tray, GW_CHILD); Button; Button = GetWindow(Button, GW_HWNDNEXT)) {
    auto For = reinterpret_cast<HWND>(GetWindowLongPtrA(Button, GWLP_ID));
    bool Ours = false;
    for (HWND W : Windows)
      Ours = Ours || W == For;
    RECT R;
    GetWindowRect(Button, &R);
    if (Ours && IsWindowVisible(Button))
      Lines += std::to_string(R.left) + " " + std::to_string(R.top) + " " + std::to_string(R.right - R.left) + " " +
               std::to_string(R.bottom - R.top) + "\n";
  }
  if (Lines.empty())
    return 1;
  std::fputs(Lines.c_str(), stdout);
  return 0;
}

int PrintButtonCentre(HWND Box, const char* Text) {
  HWND Button = FindWindowExA(Box, nullptr, "Button", Text);
  if (!Button)
    return 1;
  RECT R;
  GetWindowRect(Button, &R);
  std::printf("%ld %ld\n", (R.left + R.right) / 2, (R.top + R.bottom) / 2);
  return 0;
}

int PostToEntry(HWND Window, WPARAM Command) {
  for (HWND Top : ProgramWindows(Window))
    if (GetsTaskbarButton(Top))
      return PostMessageA(Top, WM_SYSCOMMAND, Command, 0) ? 0 : 1;
  return 1;
}

int PrintBoxText(HWND Box) {
  std::string Text;
  EnumChildWindows(
      Box,
      [](HWND Child, LPARAM Param) -> BOOL {
        char Class[16] = {}, Buffer[1024] = {};
        GetClassNameA(Child, Class, sizeof Class);
        LONG Style = GetWindowLongA(Child, GWL_STYLE);
        if (lstrcmpiA(Class, "Static") == 0 && (Style & SS_TYPEMASK) != SS_ICON &&
            GetWindowTextA(Child, Buffer, sizeof Buffer) > 0)
          *reinterpret_cast<std::string*>(Param) = Buffer;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&Text));
  std::printf("%s\n", Text.c_str());
  return 0;
}

int PrintWindow(HWND Window) {
  LONG Style = GetWindowLongA(Window, GWL_STYLE);
  RECT Client;
  GetClientRect(Window, &Client);
  std::printf("%d %d %d %d %d %ldx%ld\n", (Style & WS_THICKFRAME) != 0, (Style & WS_MINIMIZEBOX) != 0,
              (Style & WS_MAXIMIZEBOX) != 0, (Style & WS_HSCROLL) != 0, (Style & WS_VSCROLL) != 0, Client.right,
              Client.bottom);
  return 0;
}

int PrintChildren(HWND Window) {
  EnumChildWindows(
      Window,
      [](HWND Child, LPARAM Param) -> BOOL {
        char Class[64] = {};
        GetClassNameA(Child, Class, sizeof Class);
        RECT R;
        GetWindowRect(Child, &R);
        MapWindowPoints(HWND_DESKTOP, reinterpret_cast<HWND>(Param), reinterpret_cast<POINT*>(&R), 2);
        std::printf("%s %ld %ld %ld %ld %d\n", Class, R.left, R.top, R.right - R.left, R.bottom - R.top,
                    IsWindowVisible(Child) ? 1 : 0);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(Window));
  return 0;
}

std::string RoleName(LONG Role) {
  return Role == ROLE_SYSTEM_PUSHBUTTON ? "push-button" : "role-" + std::to_string(Role);
}

int PrintAccessible(HWND Window) {
  TAccessible Client = ObjectOf(Window);
  if (!Client)
    return 1;
  auto Children = ChildrenOf(Client.Get());
  std::printf("children %zu\n", Children.size());
  std::vector<LONG> Elements;
  for (auto& Child : Children) {
    if (Child.Object) {
      HWND Of = nullptr;
      WindowFromAccessibleObject(Child.Object.Get(), &Of);
      char Class[64] = {};
      GetClassNameA(Of, Class, sizeof Class);
      std::printf("window %s\n", Class);
      continue;
    }
    const RECT At = LocationOf(Client.Get(), Child.Id);
    std::printf("%ld %s '%s' %ld %ld %ld %ld state %ld action '%s'\n", Child.Id,
                RoleName(RoleOf(Client.Get(), Child.Id)).c_str(), NameOf(Client.Get(), Child.Id).c_str(), At.left,
                At.top, At.right, At.bottom, StateOf(Client.Get(), Child.Id),
                DefaultActionOf(Client.Get(), Child.Id).c_str());
    Elements.push_back(Child.Id);
  }
  for (LONG Id : Elements) {
    const RECT At = LocationOf(Client.Get(), Id);
    const POINT Middle{At.left + At.right / 2, At.top + At.bottom / 2};
    TChild Hit = HitTest(Client.Get(), Middle);
    std::printf("hit %ld\n", Hit.Object ? -1 : Hit.Id);
    TAccessible Found;
    VARIANT Child;
    VariantInit(&Child);
    if (SUCCEEDED(AccessibleObjectFromPoint(Middle, Found.Put(), &Child)) && Found) {
      const LONG FoundId = ChildFrom(Child).Id;
      std::printf("point %ld '%s'\n", FoundId, NameOf(Found.Get(), FoundId).c_str());
    } else {
      std::printf("point none\n");
    }
  }
  return 0;
}

// The id of Client's element (a child with no object of its own) named Name;
// 0, which names Client itself, when it has none.
LONG ElementNamed(IAccessible* Client, const char* Name) {
  for (auto& Child : ChildrenOf(Client))
    if (!Child.Object && NameOf(Client, Child.Id) == Name)
      return Child.Id;
  return 0;
}

int Press(HWND Window, const char* Name) {
  TAccessible Client = ObjectOf(Window);
  if (!Client)
    return 1;
  const LONG Id = ElementNamed(Client.Get(), Name);
  if (!Id) {
    std::printf("no element '%s'\n", Name);
    return 1;
  }
  const HRESULT Result = Client->accDoDefaultAction(ChildId(Id));
  std::printf("%s\n", Result == S_OK ? "pressed" : "failed");
  return Result == S_OK ? 0 : 1;
}

// Presses the element Name Times over as fast as a client can; prints how
// many presses the window took ("pressed N") and, when one was refused, the
// refusal ("refused 0xHRESULT").
int PressMany(HWND Window, const char* Name, int Times) {
  TAccessible Client = ObjectOf(Window);
  const LONG Id = Client ? ElementNamed(Client.Get(), Name) : 0;
  if (!Id)
    return 1;
  int Pressed = 0;
  HRESULT Refused = S_OK;
  for (int I = 0; I < Times; ++I) {
    const HRESULT Result = Client->accDoDefaultAction(ChildId(Id));
    Pressed += Result == S_OK;
    if (Result != S_OK)
      Refused = Result;
  }
  std::printf("pressed %d\n", Pressed);
  if (Refused != S_OK)
    std::printf("refused 0x%08lX\n", static_cast<unsigned long>(Refused));
  return 0;
}

// Posts to Window what another program can: "click" (a left click at the
// picture button), "enter" (Enter pressed and released) or "dpichanged:N"
// (WM_DPICHANGED to 192 DPI with lParam N).
int PostTo(HWND Window, const std::string& What) {
  const LPARAM At = MAKELPARAM(351 + 14, 210 + 4);
  if (What == "click")
    return PostMessageA(Window, WM_LBUTTONDOWN, MK_LBUTTON, At) && PostMessageA(Window, WM_LBUTTONUP, 0, At) ? 0 : 1;
  if (What == "enter")
    return PostMessageA(Window, WM_KEYDOWN, VK_RETURN, 1) &&
                   PostMessageA(Window, WM_KEYUP, VK_RETURN, static_cast<LPARAM>(0xC0000001u))
               ? 0
               : 1;
  if (What.rfind("dpichanged:", 0) == 0)
    return PostMessageA(Window, WM_DPICHANGED, MAKEWPARAM(192, 192), std::stoll(What.substr(11), nullptr, 0)) ? 0 : 1;
  return 2;
}

int PrintHidden(HWND Window) {
  EnumChildWindows(
      Window,
      [](HWND Child, LPARAM Param) -> BOOL {
        char Class[64] = {};
        GetClassNameA(Child, Class, sizeof Class);
        RECT R;
        GetWindowRect(Child, &R);
        MapWindowPoints(HWND_DESKTOP, reinterpret_cast<HWND>(Param), reinterpret_cast<POINT*>(&R), 2);
        TAccessible Object = ObjectOf(Child, OBJID_WINDOW);
        const LONG State = Object ? StateOf(Object.Get()) : 0;
        std::printf("%s %ld %ld %s %s\n", Class, R.left, R.top, State & STATE_SYSTEM_INVISIBLE ? "invisible" : "-",
                    State & STATE_SYSTEM_OFFSCREEN ? "offscreen" : "-");
        return TRUE;
      },
      reinterpret_cast<LPARAM>(Window));
  return 0;
}

int PrintModule(HWND Window, const char* Dll) {
  DWORD Pid = 0;
  GetWindowThreadProcessId(Window, &Pid);
  HANDLE Snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, Pid);
  if (Snapshot == INVALID_HANDLE_VALUE)
    return 1;
  MODULEENTRY32 Module{};
  Module.dwSize = sizeof Module;
  bool Loaded = false, Any = false;
  for (BOOL More = Module32First(Snapshot, &Module); More; More = Module32Next(Snapshot, &Module)) {
    Any = true;
    Loaded = Loaded || lstrcmpiA(Module.szModule, Dll) == 0;
  }
  CloseHandle(Snapshot);
  if (!Any)
    return 1;
  std::printf("%s\n", Loaded ? "loaded" : "absent");
  return 0;
}

int HoldUntilReplaced(DWORD Deadline) {
  // The path as given, in any script.
  int Count = 0;
  LPWSTR* Args = CommandLineToArgvW(GetCommandLineW(), &Count);
  if (!Args || Count < 3)
    return 2;
  const std::wstring Path = Args[2];
  LocalFree(Args);
  HANDLE Held = CreateFileW(Path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (Held == INVALID_HANDLE_VALUE)
    return 1;
  std::puts("held");
  std::fflush(stdout);
  const std::wstring Dir = Path.substr(0, Path.find_last_of(L'\\') + 1);
  const std::wstring Pattern = Dir + L"." + Path.substr(Dir.size()) + L".*.tmp";
  bool Closed = false;
  while (!Closed && GetTickCount() < Deadline) {
    WIN32_FIND_DATAW Found;
    HANDLE Find = FindFirstFileW(Pattern.c_str(), &Found);
    if (Find != INVALID_HANDLE_VALUE) {
      FindClose(Find);
      // Opens only once the writer has let go of it.
      const DWORD Share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
      HANDLE Temp =
          CreateFileW((Dir + Found.cFileName).c_str(), GENERIC_READ, Share, nullptr, OPEN_EXISTING, 0, nullptr);
      if (Temp != INVALID_HANDLE_VALUE) {
        CloseHandle(Temp);
        Closed = true;
      }
    }
    if (!Closed)
      Sleep(5);
  }
  Sleep(300);
  CloseHandle(Held);
  return Closed ? 0 : 1;
}

int HoldUntilBox(const char* File, const char* Caption, DWORD Deadline) {
  HANDLE Held = CreateFileA(File, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (Held == INVALID_HANDLE_VALUE)
    return 1;
  std::puts("held");
  std::fflush(stdout);
  bool Shown = false;
  while (!Shown && GetTickCount() < Deadline) {
    HWND Box = FindWindowA("#32770", Caption);
    Shown = Box && IsWindowVisible(Box);
    if (!Shown)
      Sleep(20);
  }
  CloseHandle(Held);
  return Shown ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "density") {
    const int Dpi = SystemDpi();
    const TScaleSize Frame = WindowFrameSize(WS_CAPTION | WS_SYSMENU | WS_BORDER, 0, Dpi);
    std::printf("%d %d %d %d %dx%d\n", Dpi, SystemDpi(nullptr), SystemMetricForDpi(SM_CXSMICON, Dpi),
                SystemMetricForDpi(SM_CXICON, Dpi), Frame.Width, Frame.Height);
    return 0;
  }
  if (argc < 3)
    return 2;
  const std::string Mode = argv[1];
  std::fputs("ready\n", stderr);
  std::fflush(stderr);
  const int SecondsArg =
      Mode == "button" || Mode == "hold-until-box" || Mode == "press" || Mode == "module" || Mode == "post" ? 4
      : Mode == "press-many"                                                                                ? 5
                                                                                                            : 3;
  // A screen reader is a COM client: the installer's objects come marshalled.
  // Only then: under Wine the apartment's window would become this program's
  // foreground window, which "foreground" reads.
  if (Mode == "access" || Mode == "press" || Mode == "press-many" || Mode == "hidden")
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const DWORD Deadline = GetTickCount() + 1000 * (argc > SecondsArg ? std::atoi(argv[SecondsArg]) : 10);
  if (Mode == "hold")
    return HoldUntilReplaced(Deadline);
  if (Mode == "hold-until-box")
    return argc > 3 ? HoldUntilBox(argv[2], argv[3], Deadline) : 2;
  if (Mode == "short") {
    char Short[MAX_PATH];
    const DWORD Len = GetShortPathNameA(argv[2], Short, sizeof Short);
    if (Len > 0 && Len < sizeof Short)
      std::printf("%s\n", Short);
    return 0;
  }
  if (Mode == "foreground") {
    std::string Title;
    do {
      HWND Foreground = GetForegroundWindow();
      Title = Foreground ? Utf8Title(Foreground) : "(none)";
      if (Title == argv[2])
        break;
      Sleep(50);
    } while (GetTickCount() < Deadline);
    std::printf("%s\n", Title.c_str());
    return 0;
  }
  while (GetTickCount() < Deadline) {
    HWND Found = FindWindowA(Mode == "box" || Mode == "button" ? "#32770" : nullptr, argv[2]);
    if (Found && IsWindowVisible(Found)) {
      if (Mode == "box")
        return PrintBoxText(Found);
      if (Mode == "button")
        return argc > 3 ? PrintButtonCentre(Found, argv[3]) : 2;
      if (Mode == "children")
        return PrintChildren(Found);
      if (Mode == "taskbar")
        return PrintTaskbar(Found);
      if (Mode == "origin")
        return PrintOrigin(Found);
      if (Mode == "tray" && PrintTray(Found) == 0)
        return 0;
      if (Mode == "entry-close")
        return PostToEntry(Found, SC_CLOSE);
      if (Mode == "entry-minimize")
        return PostToEntry(Found, SC_MINIMIZE);
      if (Mode == "window")
        return PrintWindow(Found);
      if (Mode == "close")
        return PostMessageA(Found, WM_CLOSE, 0, 0) ? 0 : 1;
      if (Mode == "access")
        return PrintAccessible(Found);
      if (Mode == "press")
        return argc > 3 ? Press(Found, argv[3]) : 2;
      if (Mode == "press-many")
        return argc > 4 ? PressMany(Found, argv[3], std::atoi(argv[4])) : 2;
      if (Mode == "post")
        return argc > 3 ? PostTo(Found, argv[3]) : 2;
      if (Mode == "hidden")
        return PrintHidden(Found);
      if (Mode == "module")
        return argc > 3 ? PrintModule(Found, argv[3]) : 2;
    }
    Sleep(50);
  }
  return 1;
}
