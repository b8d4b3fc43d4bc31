// A control drawn by its parent onto the parent's window.
#pragma once

#include "Control.h"
#include "Graphics.h"
#include "Messages.h"

// A control drawn by its parent onto the parent's window, through a canvas
// whose origin and clip are the control's rectangle.
class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* Owner);
  ~TGraphicControl() override;
  TCanvas& Canvas() { return FCanvas; }
  void Dispatch(TMessage& Message) override;

 protected:
  virtual void Paint() {}

 private:
  TCanvas FCanvas;
};
