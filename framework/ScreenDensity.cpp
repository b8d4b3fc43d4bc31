#include "ScreenDensity.h"

#include <algorithm>

#include "DeviceContexts.h"

namespace {

// A user32 function by name; nullptr where this system lacks it.
template <class TFunction>
TFunction User32Function(const char* Name) {
  return reinterpret_cast<TFunction>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), Name)));
}

}  // namespace

int SystemDpi() { return SystemDpi(User32Function<TDpiForSystem>("GetDpiForSystem")); }

int ClampedDpi(int Dpi) { return std::clamp(Dpi, MinDpi, MaxDpi); }

int SystemDpi(TDpiForSystem Lookup) {
  if (Lookup)
    if (const UINT Dpi = Lookup())
      return ClampedDpi(static_cast<int>(std::min<UINT>(Dpi, MaxDpi)));
  const TClientDC Screen(nullptr);
  return ClampedDpi(Screen ? GetDeviceCaps(Screen.Handle(), LOGPIXELSY) : 0);
}

TScaleSize WindowFrameSize(DWORD Style, DWORD ExStyle, int Dpi) {
  using TAdjustForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static const auto AdjustForDpi = User32Function<TAdjustForDpi>("AdjustWindowRectExForDpi");
  RECT Frame{0, 0, 0, 0};
  if (!AdjustForDpi || !AdjustForDpi(&Frame, Style, FALSE, ExStyle, static_cast<UINT>(Dpi)))
    AdjustWindowRectEx(&Frame, Style, FALSE, ExStyle);
  return {Frame.right - Frame.left, Frame.bottom - Frame.top};
}

RECT PrimaryWorkArea() {
  MONITORINFO Info{};
  Info.cbSize = sizeof Info;
  if (GetMonitorInfoA(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &Info))
    return Info.rcWork;
  RECT Area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &Area, 0);
  return Area;
}

int SystemMetricForDpi(int Index, int Dpi) {
  using TMetricForDpi = int(WINAPI*)(int, UINT);
  static const auto MetricForDpi = User32Function<TMetricForDpi>("GetSystemMetricsForDpi");
  return MetricForDpi ? MetricForDpi(Index, static_cast<UINT>(Dpi)) : GetSystemMetrics(Index);
}
