// The flat edit: a single-line edit that paints its own three-pixel frame in
// its non-client area, in colours that can follow or derive from its parent's.
// Range- and overflow-checked (see Checked.h).
#pragma once

#include "FlatUtilitys.h"
#include "StdCtrls.h"

class TClassRegistry;

// All state and behaviour; the properties stay protected until TFlatEdit
// publishes them.
class TCustomFlatEdit : public TCustomEdit {
 public:
  explicit TCustomFlatEdit(TComponent* Owner);
  void Loaded() override;
  void Dispatch(TMessage& Message) override;

 protected:
  TColor ColorFocused() const { return FColorFocused; }
  void SetColorFocused(TColor Value) { SetColors(0, Value); }
  TColor ColorBorder() const { return FColorBorder; }
  void SetColorBorder(TColor Value) { SetColors(1, Value); }
  TColor ColorFlat() const { return FColorFlat; }
  void SetColorFlat(TColor Value) { SetColors(2, Value); }
  // Our own flag: it hides the framework's, which the flat edit never reads.
  bool ParentColor() const { return FParentColor; }
  void SetParentColor(bool Value);
  TAdvColors AdvColorFocused() const { return FAdvColorFocused; }
  void SetAdvColorFocused(TAdvColors Value) { SetAdvColors(0, Value); }
  TAdvColors AdvColorBorder() const { return FAdvColorBorder; }
  void SetAdvColorBorder(TAdvColors Value) { SetAdvColors(1, Value); }
  bool UseAdvColors() const { return FUseAdvColors; }
  void SetUseAdvColors(bool Value);

  // Index 0 ColorFocused, 1 ColorBorder, 2 ColorFlat.
  void SetColors(int Index, TColor Value);
  // Index 0 AdvColorFocused, 1 AdvColorBorder.
  void SetAdvColors(int Index, TAdvColors Value);

  // Paints the frame for the current state and gives the text area its colour.
  void RedrawBorder();
  // Height := the font's character height plus the frame above and below.
  void AdjustHeight() override;
  void CalcAdvColors();
  bool NativeFrame() const override { return false; }

  bool FUseAdvColors = false;
  TAdvColors FAdvColorFocused;
  TAdvColors FAdvColorBorder;
  bool FParentColor = true;
  TColor FColorFocused = 0;
  TColor FColorBorder = 0;
  TColor FColorFlat = 0;
  bool FPointerOver = false;

 private:
  void CMEnabledChanged(TMessage& Message);
  void CMFontChanged(TMessage& Message);
  void CMMouseEnter(TMessage& Message);
  void CMMouseLeave(TMessage& Message);
  void WMSetFocus(TMessage& Message);
  void WMKillFocus(TMessage& Message);
  void WMNCCalcSize(TMessage& Message);
  void WMNCPaint(TMessage& Message);
  void CMSysColorChange(TMessage& Message);
  void CMParentColorChanged(TMessage& Message);
  void FollowParentColor();
};

class TFlatEdit : public TCustomFlatEdit {
 public:
  using TCustomFlatEdit::TCustomFlatEdit;

  using TCustomFlatEdit::AdvColorBorder;
  using TCustomFlatEdit::AdvColorFocused;
  using TCustomFlatEdit::ColorBorder;
  using TCustomFlatEdit::ColorFlat;
  using TCustomFlatEdit::ColorFocused;
  using TCustomFlatEdit::ParentColor;
  using TCustomFlatEdit::SetAdvColorBorder;
  using TCustomFlatEdit::SetAdvColorFocused;
  using TCustomFlatEdit::SetColorBorder;
  using TCustomFlatEdit::SetColorFlat;
  using TCustomFlatEdit::SetColorFocused;
  using TCustomFlatEdit::SetParentColor;
  using TCustomFlatEdit::SetUseAdvColors;
  using TCustomFlatEdit::UseAdvColors;
};

// Makes TFlatEdit known to window descriptions, with its published properties.
void RegisterFlatEdit(TClassRegistry& Registry);
