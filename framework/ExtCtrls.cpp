#include "ExtCtrls.h"

#include "Forms.h"

namespace {
constexpr const char* TimerClass = "TTimerWindow";
}

TTimer::TTimer(TComponent* Owner) : TComponent(Owner) {}

TTimer::~TTimer() {
  FEnabled = false;
  UpdateTimer();
  if (FWindow)
    DestroyWindow(FWindow);
}

void TTimer::SetEnabled(bool Value) {
  if (Value != FEnabled) {
    FEnabled = Value;
    UpdateTimer();
  }
}

void TTimer::SetInterval(UINT Value) {
  if (Value != FInterval) {
    FInterval = Value;
    UpdateTimer();
  }
}

void TTimer::SetOnTimer(TNotifyEvent Value) {
  FOnTimer = std::move(Value);
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  if (FWindow)
    KillTimer(FWindow, 1);
  if (!FEnabled || FInterval == 0 || !FOnTimer)
    return;
  if (!FWindow) {
    HINSTANCE Instance = GetModuleHandleA(nullptr);
    WNDCLASSA Class{};
    if (!GetClassInfoA(Instance, TimerClass, &Class)) {
      Class.lpfnWndProc = WindowProc;
      Class.hInstance = Instance;
      Class.lpszClassName = TimerClass;
      RegisterClassA(&Class);
    }
    // A message-only window: it receives WM_TIMER and nothing of the desktop.
    FWindow = CreateWindowExA(0, TimerClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, Instance, nullptr);
    SetWindowLongPtrA(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  SetTimer(FWindow, 1, FInterval, nullptr);
}

LRESULT CALLBACK TTimer::WindowProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_TIMER) {
    auto* Timer = reinterpret_cast<TTimer*>(GetWindowLongPtrA(Window, GWLP_USERDATA));
    if (Timer && Timer->FEnabled && Timer->FOnTimer) {
      try {
        Timer->FOnTimer(Timer);
      } catch (...) {
        Application->HandleException();
      }
    }
    return 0;
  }
  return DefWindowProcA(Window, Msg, WParam, LParam);
}
