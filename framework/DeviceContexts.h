// Scope types for device contexts: a window's contexts are given back, a
// selected object or a saved state is put back, and a canvas lets go of a
// context lent to it, each at the end of its scope, on every path.
// Contexts of our own are TMemoryDC (WinHandles.h).
#pragma once

#include <windows.h>

#include "Graphics.h"
#include "WinHandles.h"

// The context of a window's paint, from BeginPaint to EndPaint.
class TPaintDC {
 public:
  explicit TPaintDC(HWND Window) : FWindow(Window), FHandle(BeginPaint(Window, &FPaint)) {}
  ~TPaintDC() { EndPaint(FWindow, &FPaint); }
  TPaintDC(const TPaintDC&) = delete;
  TPaintDC& operator=(const TPaintDC&) = delete;

  HDC Handle() const { return FHandle; }
  const PAINTSTRUCT& PaintStruct() const { return FPaint; }

 private:
  HWND FWindow;
  PAINTSTRUCT FPaint{};
  HDC FHandle;
};

// A context the system lends for a window, given back with ReleaseDC.
class TWindowDCBase {
 public:
  ~TWindowDCBase() {
    if (FHandle)
      ReleaseDC(FWindow, FHandle);
  }
  TWindowDCBase(const TWindowDCBase&) = delete;
  TWindowDCBase& operator=(const TWindowDCBase&) = delete;

  HDC Handle() const { return FHandle; }
  explicit operator bool() const { return FHandle != nullptr; }

 protected:
  TWindowDCBase(HWND Window, HDC Handle) : FWindow(Window), FHandle(Handle) {}

 private:
  HWND FWindow;
  HDC FHandle;
};

// Window's client area (the whole screen for nullptr).
class TClientDC : public TWindowDCBase {
 public:
  explicit TClientDC(HWND Window) : TWindowDCBase(Window, GetDC(Window)) {}
};

// Window's whole rectangle, frame included.
class TWindowDC : public TWindowDCBase {
 public:
  explicit TWindowDC(HWND Window) : TWindowDCBase(Window, GetWindowDC(Window)) {}
};

// Selects Object into DC and puts back what it replaced at the end of the
// scope. Declare it after the object it selects, so that it ends first.
// Not for regions, which SelectObject copies rather than selects.
class TSelectGuard {
 public:
  TSelectGuard(HDC DC, HGDIOBJ Object) : FDC(DC), FOld(SelectObject(DC, Object)) {}
  ~TSelectGuard() {
    if (FOld)
      SelectObject(FDC, FOld);
  }
  TSelectGuard(const TSelectGuard&) = delete;
  TSelectGuard& operator=(const TSelectGuard&) = delete;

 private:
  HDC FDC;
  HGDIOBJ FOld;
};

// Saves DC's state (origin, clip, selected objects, colours, modes) and
// restores it at the end of the scope.
class TDCStateGuard {
 public:
  explicit TDCStateGuard(HDC DC) : FDC(DC), FSaved(SaveDC(DC)) {}
  ~TDCStateGuard() {
    if (FSaved)
      RestoreDC(FDC, FSaved);
  }
  TDCStateGuard(const TDCStateGuard&) = delete;
  TDCStateGuard& operator=(const TDCStateGuard&) = delete;

 private:
  HDC FDC;
  int FSaved;
};

// Canvas draws on DC for the scope; at its end the canvas puts its tools back
// into DC and returns to the context it had before.
class TCanvasGuard {
 public:
  TCanvasGuard(TCanvas& Canvas, HDC DC) : FCanvas(Canvas), FOld(Canvas.Handle()) { Canvas.SetHandle(DC); }
  ~TCanvasGuard() { FCanvas.SetHandle(FOld); }
  TCanvasGuard(const TCanvasGuard&) = delete;
  TCanvasGuard& operator=(const TCanvasGuard&) = delete;

 private:
  TCanvas& FCanvas;
  HDC FOld;
};
