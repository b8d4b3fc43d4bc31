// The screen's density, and the window metrics that follow from it. The
// per-density functions exist from Windows 10 1607 on: they are looked up at
// run time (an import missing on Windows 7 would stop the program loading),
// and the older system-wide ones stand in for them elsewhere.
#pragma once

#include <windows.h>

#include "ScaleFactor.h"

// The densities Windows offers, 100 % to 500 %. A density outside them is a
// broken setting: taken as it is, icons alone would grow to gigabytes.
inline constexpr int MinDpi = 96, MaxDpi = 480;
// Dpi brought within MinDpi..MaxDpi.
int ClampedDpi(int Dpi);

// The density a form is laid out for before it has a window: that of the
// primary monitor, where a centred form appears.
using TDpiForSystem = UINT(WINAPI*)();
// GetDpiForSystem where the system has it, else LOGPIXELSY of the screen;
// clamped.
int SystemDpi();
// Asks Lookup, if there is one and it knows; else LOGPIXELSY of the screen.
int SystemDpi(TDpiForSystem Lookup);

// The width and height a window of these styles adds to its client area at
// Dpi (AdjustWindowRectExForDpi; AdjustWindowRectEx, which knows only the
// system's density, where that is missing).
TScaleSize WindowFrameSize(DWORD Style, DWORD ExStyle, int Dpi);

// The work area of the primary monitor (the screen without the taskbar).
RECT PrimaryWorkArea();

// A system metric (SM_CXICON, SM_CXSMICON, ...) at Dpi
// (GetSystemMetricsForDpi; GetSystemMetrics where that is missing).
int SystemMetricForDpi(int Index, int Dpi);
