// The windows the shell gives a taskbar button of their own. Header only: the
// end-to-end probe, a program apart from the tests, uses it too.
#pragma once

#include <windows.h>

#include <vector>

namespace WinTest {

// The shell's rule: visible, not a tool window, and unowned or marked as an
// app window.
inline bool GetsTaskbarButton(HWND Window) {
  const LONG ExStyle = GetWindowLongA(Window, GWL_EXSTYLE);
  return IsWindowVisible(Window) && !(ExStyle & WS_EX_TOOLWINDOW) &&
         (!GetWindow(Window, GW_OWNER) || (ExStyle & WS_EX_APPWINDOW));
}

// The top-level windows of process Pid, topmost first.
inline std::vector<HWND> TopLevelWindows(DWORD Pid) {
  struct TFound {
    DWORD Pid;
    std::vector<HWND> Windows;
  } Found{Pid, {}};
  EnumWindows(
      [](HWND Top, LPARAM Param) -> BOOL {
        auto* F = reinterpret_cast<TFound*>(Param);
        DWORD Process = 0;
        GetWindowThreadProcessId(Top, &Process);
        if (Process == F->Pid)
          F->Windows.push_back(Top);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&Found));
  return Found.Windows;
}

// Those of them that get a taskbar button.
inline std::vector<HWND> TaskbarWindows(DWORD Pid) {
  std::vector<HWND> Found;
  for (HWND Top : TopLevelWindows(Pid))
    if (GetsTaskbarButton(Top))
      Found.push_back(Top);
  return Found;
}

}  // namespace WinTest
