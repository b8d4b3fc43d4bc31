// Real input and the message loop for tests with real windows: pumping until
// something holds, pointer moves and clicks and keys through the system's own
// input (under Wine they reach the windows as a user's would), and pixels.
#pragma once

#include <windows.h>

#include <chrono>

#include "Controls.h"
#include "Forms.h"

namespace WinTest {

using Clock = std::chrono::steady_clock;

// Runs the application's loop until Done() holds or TimeoutMs pass; returns Done().
template <typename F>
bool PumpUntil(F Done, int TimeoutMs = 2000) {
  const auto Deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
  while (!Done()) {
    if (Clock::now() >= Deadline)
      return Done();
    Application->HandleMessage(20);
  }
  return true;
}

// Runs the loop for Ms: only for showing that something does not happen.
inline void PumpFor(int Ms) {
  PumpUntil([] { return false; }, Ms);
}

// Handles what is waiting, then paints whatever is still invalid at once, so
// the window's pixels are up to date.
inline void Settle(TWinControl* Control) {
  Application->ProcessMessages();
  if (Control->HandleAllocated())
    RedrawWindow(Control->Handle(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  Application->ProcessMessages();
}

// ---------------------------------------------------------------- real input

inline void SendMouse(DWORD Flags, LONG Dx = 0, LONG Dy = 0) {
  INPUT In{};
  In.type = INPUT_MOUSE;
  In.mi.dwFlags = Flags;
  In.mi.dx = Dx;
  In.mi.dy = Dy;
  SendInput(1, &In, sizeof In);
}

// One absolute pointer move, to the middle of the pixel so it maps back exactly.
inline void MoveOnce(POINT P) {
  const int W = GetSystemMetrics(SM_CXSCREEN), H = GetSystemMetrics(SM_CYSCREEN);
  SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, MulDiv(P.x, 65536, W) + 65536 / W / 2,
            MulDiv(P.y, 65536, H) + 65536 / H / 2);
}

// Moves the pointer to the screen point P, arriving from the pixel beside it:
// Wine only reports a pointer that really moves.
inline void MoveTo(POINT P) {
  MoveOnce({P.x > 0 ? P.x - 1 : P.x + 1, P.y});
  MoveOnce(P);
}

inline void MoveTo(TControl* Control, int X, int Y) { MoveTo(Control->ClientToScreen({X, Y})); }
// The middle of a control.
inline void MoveOnto(TControl* Control) { MoveTo(Control, Control->Width() / 2, Control->Height() / 2); }

inline void LeftDown() { SendMouse(MOUSEEVENTF_LEFTDOWN); }
inline void LeftUp() { SendMouse(MOUSEEVENTF_LEFTUP); }
inline void LeftClick() {
  LeftDown();
  LeftUp();
}

inline void Key(WORD Vk, bool Up) {
  INPUT In{};
  In.type = INPUT_KEYBOARD;
  In.ki.wVk = Vk;
  In.ki.wScan = static_cast<WORD>(MapVirtualKeyA(Vk, MAPVK_VK_TO_VSC));
  In.ki.dwFlags = Up ? KEYEVENTF_KEYUP : 0;
  SendInput(1, &In, sizeof In);
}

inline void PressKey(WORD Vk) {
  Key(Vk, false);
  Key(Vk, true);
}

// A point on the bare root window, away from every window the tests make.
inline constexpr POINT RootPoint{1000, 740};

// Makes Window the foreground window and waits until the system agrees.
inline bool BringToFront(HWND Window) {
  SetForegroundWindow(Window);
  return PumpUntil([&] { return GetForegroundWindow() == Window; });
}

// The colour a window shows at a client point.
inline COLORREF ClientPixel(HWND Window, int X, int Y) {
  HDC DC = GetDC(Window);
  COLORREF Color = GetPixel(DC, X, Y);
  ReleaseDC(Window, DC);
  return Color;
}

}  // namespace WinTest
