// A windowed control with a canvas of its own.
#pragma once

#include <windows.h>

#include "Graphics.h"
#include "WinControl.h"

// A windowed control with a canvas, painted by Paint.
class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* Owner);
  ~TCustomControl() override;
  TCanvas& Canvas() { return FCanvas; }
  // When set, Paint draws on a new bitmap of the client area's size (white
  // at first), which then goes to the screen in one copy: no flicker.
  bool DoubleBuffered() const { return FDoubleBuffered; }
  void SetDoubleBuffered(bool Value) { FDoubleBuffered = Value; }

 protected:
  virtual void Paint() {}
  void PaintWindow(HDC DC) override;

 private:
  // Paint on DC through the canvas, with the control's font and colour.
  void PaintOn(HDC DC);
  TCanvas FCanvas;
  bool FDoubleBuffered = false;
};
