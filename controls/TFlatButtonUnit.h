// The flat button: an owner-drawn push button with a thin border at rest, a
// raised bevel under the pointer or with the focus and a sunken one while
// pressed; it can latch in a group, show a caption and a glyph strip, mark
// the form's default button and set the form's modal result.
// Range- and overflow-checked (see Checked.h).
#pragma once

#include <cstdint>
#include <memory>

#include "Controls.h"
#include "ExtCtrls.h"
#include "FlatUtilitys.h"
#include "Forms.h"
#include "Pictures.h"

class TClassRegistry;

// The two pressed looks (fbsDown, fbsExclusive) are always tested together.
enum TFlatButtonState : std::uint8_t { fbsUp = 0, fbsDisabled = 1, fbsDown = 2, fbsExclusive = 3 };

class TFlatButton : public TCustomControl {
 public:
  explicit TFlatButton(TComponent* Owner);
  ~TFlatButton() override;
  void Loaded() override;

  TTransparentMode TransparentMode() const { return FTransparentMode; }
  void SetTransparentMode(TTransparentMode Value);
  bool Default() const { return FDefault; }
  void SetDefault(bool Value);
  bool AllowAllUp() const { return FAllowAllUp; }
  void SetAllowAllUp(bool Value);

  // Index 0 ColorFocused, 1 ColorDown, 2 ColorBorder, 3 ColorHighLight, 4 ColorShadow.
  void SetColors(int Index, TColor Value);
  TColor ColorFocused() const { return FColorFocused; }
  TColor ColorDown() const { return FColorDown; }
  TColor ColorBorder() const { return FColorBorder; }
  TColor ColorHighLight() const { return FColorHighLight; }
  TColor ColorShadow() const { return FColorShadow; }
  void SetColorFocused(TColor Value) { SetColors(0, Value); }
  void SetColorDown(TColor Value) { SetColors(1, Value); }
  void SetColorBorder(TColor Value) { SetColors(2, Value); }
  void SetColorHighLight(TColor Value) { SetColors(3, Value); }
  void SetColorShadow(TColor Value) { SetColors(4, Value); }

  // Index 0 AdvColorFocused, 1 AdvColorDown, 2 AdvColorBorder.
  void SetAdvColors(int Index, TAdvColors Value);
  TAdvColors AdvColorFocused() const { return FAdvColorFocused; }
  TAdvColors AdvColorDown() const { return FAdvColorDown; }
  TAdvColors AdvColorBorder() const { return FAdvColorBorder; }
  void SetAdvColorFocused(TAdvColors Value) { SetAdvColors(0, Value); }
  void SetAdvColorDown(TAdvColors Value) { SetAdvColors(1, Value); }
  void SetAdvColorBorder(TAdvColors Value) { SetAdvColors(2, Value); }
  bool UseAdvColors() const { return FUseAdvColors; }
  void SetUseAdvColors(bool Value);

  std::int32_t GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(std::int32_t Value);
  bool Down() const { return FDown; }
  // Only a grouped button latches; a latched one is released only by its
  // group unless AllowAllUp.
  void SetDown(bool Value);

  // The glyph strip, owned by the button; SetGlyph copies the picture.
  TBitmap* Glyph() const { return FGlyph.get(); }
  void SetGlyph(TBitmap* Value);
  TButtonLayout Layout() const { return FLayout; }
  void SetLayout(TButtonLayout Value);
  std::int32_t Margin() const { return FMargin; }
  // Values below -1 are ignored.
  void SetMargin(std::int32_t Value);
  TNumGlyphs NumGlyphs() const { return FNumGlyphs; }
  void SetNumGlyphs(TNumGlyphs Value);
  std::int32_t Spacing() const { return FSpacing; }
  void SetSpacing(std::int32_t Value);
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult Value) { FModalResult = Value; }

  const TNotifyEvent& OnMouseEnter() const { return FOnMouseEnter; }
  void SetOnMouseEnter(TNotifyEvent Value) { FOnMouseEnter = std::move(Value); }
  const TNotifyEvent& OnMouseLeave() const { return FOnMouseLeave; }
  void SetOnMouseLeave(TNotifyEvent Value) { FOnMouseLeave = std::move(Value); }

  // The current look and pointer state, as the last event left them.
  TFlatButtonState VisualState() const { return FVisualState; }
  bool Highlighted() const { return FHighlighted; }
  bool Pressing() const { return FPressing; }

  void Dispatch(TMessage& Message) override;

 protected:
  void Paint() override;
  void Click() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

  void CalcAdvColors();
  // Tells the other members of the group (the parent's controls) of this one.
  void NotifyGroup();
  void HighlightOn();
  void HighlightOff();
  void ReleaseHoverTimer();
  // Highlighted when the pointer is over the button, plain otherwise.
  void SyncHighlight();
  void HoverTimerTick(TObject* Sender);

 private:
  void ButtonPressed(std::int32_t Group, TFlatButton* Sender);
  bool IsAccelerator(char Key) const;
  void PaintGlyph(TCanvas& Canvas, TColor Transparent);
  bool Inside(int X, int Y) const;

  TNotifyEvent FOnMouseEnter;
  TNotifyEvent FOnMouseLeave;
  TTransparentMode FTransparentMode = tmNone;
  TModalResult FModalResult = 0;
  bool FUseAdvColors = false;
  TAdvColors FAdvColorFocused = 0;
  TAdvColors FAdvColorDown = 0;
  TAdvColors FAdvColorBorder = 0;
  RECT FCaptionRect{};
  POINT FGlyphOrigin{};
  TNumGlyphs FNumGlyphs = 1;
  TColor FColorDown = 0;
  TColor FColorBorder = 0;
  TColor FColorHighLight = 0;
  TColor FColorShadow = 0;
  TColor FColorFocused = 0;
  std::int32_t FGroupIndex = 0;
  std::unique_ptr<TBitmap> FGlyph;
  bool FDown = false;
  bool FPressing = false;
  bool FAllowAllUp = false;
  TButtonLayout FLayout = blGlyphLeft;
  std::int32_t FSpacing = 0;
  std::int32_t FMargin = 0;
  bool FHighlighted = false;
  bool FDefault = false;
  TFlatButtonState FVisualState = fbsUp;
};

// Shared by all flat buttons of the process: the button holding the hover
// timer, the timer itself (from the first button's construction to the last
// one's destruction) and the number of live buttons.
extern TFlatButton* HoverButton;
extern TTimer* HoverTimer;
extern std::int32_t FlatButtonCount;

// Makes TFlatButton and its published properties known to window descriptions.
void RegisterFlatButton(TClassRegistry& Registry);
