// The flat progress bar: a windowless bar of separate blocks or one smooth
// fill inside a one-pixel outline. Unlike the other flat units this one does
// no range or overflow checking: out-of-range values are taken as they come.
#pragma once

#include <cstdint>

#include "Controls.h"
#include "FlatUtilitys.h"

class TClassRegistry;

class TFlatProgressBar : public TGraphicControl {
 public:
  explicit TFlatProgressBar(TComponent* Owner);

  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool Value);
  bool Smooth() const { return FSmooth; }
  void SetSmooth(bool Value);
  bool UseAdvColors() const { return FUseAdvColors; }
  void SetUseAdvColors(bool Value);
  // Held unchecked, so any 8-bit percentage is kept as given.
  std::uint8_t AdvColorBorder() const { return FAdvColorBorder; }
  void SetAdvColors(int Index, std::uint8_t Value);
  void SetAdvColorBorder(std::uint8_t Value) { SetAdvColors(0, Value); }
  TProgressBarOrientation Orientation() const { return FOrientation; }
  void SetOrientation(TProgressBarOrientation Value);
  TColor ColorElement() const { return FColorElement; }
  TColor ColorBorder() const { return FColorBorder; }
  // Index 0 is ColorElement, 1 ColorBorder.
  void SetColors(int Index, TColor Value);
  void SetColorElement(TColor Value) { SetColors(0, Value); }
  void SetColorBorder(TColor Value) { SetColors(1, Value); }
  std::int32_t Position() const { return FPosition; }
  void SetPosition(std::int32_t Value);
  std::int32_t Min() const { return FMin; }
  void SetMin(std::int32_t Value);
  std::int32_t Max() const { return FMax; }
  void SetMax(std::int32_t Value);
  std::int32_t Step() const { return FStep; }
  void SetStep(std::int32_t Value);

  void Dispatch(TMessage& Message) override;

 protected:
  void Paint() override;

 private:
  void FitToElements();
  void DrawElements();
  // DrawElements straight onto the parent's window, outside a paint.
  void DrawElementsNow();
  void CalcAdvColors();

  bool FTransparent = false;
  bool FSmooth = false;
  bool FUseAdvColors = false;
  std::uint8_t FAdvColorBorder = 0;
  TProgressBarOrientation FOrientation = pbHorizontal;
  std::int32_t FElementSize = 0;
  TColor FColorElement = 0;
  TColor FColorBorder = 0;
  std::int32_t FPosition = 0;
  std::int32_t FMin = 0;
  std::int32_t FMax = 0;
  std::int32_t FStep = 0;
};

// Makes TFlatProgressBar and its published properties known to window descriptions.
void RegisterFlatProgressBar(TClassRegistry& Registry);
