// Looks at another program's windows from inside the same Wine prefix and
// display, for the end-to-end tests.
//   probe box CAPTION [SECONDS]     prints the text of the visible message box so captioned
//   probe window TITLE [SECONDS]    prints "frame min max hscroll vscroll WxH" of the window's
//                                   style bits (0 or 1 each) and its client size
//   probe children TITLE [SECONDS]  prints a line "class left top width height visible" per child window
// Waits up to SECONDS (default 10) for the window; exits 1 when none shows.
// Prints "ready" to stderr once it runs, for callers that must wait for that.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3)
    return 2;
  const std::string Mode = argv[1];
  std::fputs("ready\n", stderr);
  std::fflush(stderr);
  const DWORD Deadline = GetTickCount() + 1000 * (argc > 3 ? std::atoi(argv[3]) : 10);
  while (GetTickCount() < Deadline) {
    HWND Found = FindWindowA(Mode == "box" ? "#32770" : nullptr, argv[2]);
    if (Found && IsWindowVisible(Found))
      return Mode == "box" ? PrintBoxText(Found) : Mode == "children" ? PrintChildren(Found) : PrintWindow(Found);
    Sleep(50);
  }
  return 1;
}
