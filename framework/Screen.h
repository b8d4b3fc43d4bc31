// The screen: which form and which control the user works in.
#pragma once

class TControl;
class TWinControl;
class TCustomForm;

class TScreen {
 public:
  TWinControl* ActiveControl() const { return FActiveControl; }
  TCustomForm* ActiveForm() const { return FActiveForm; }
  void SetActiveControl(TWinControl* Control) { FActiveControl = Control; }
  void SetActiveForm(TCustomForm* Form) { FActiveForm = Form; }
  void ControlDestroying(TControl* Control);

 private:
  TWinControl* FActiveControl = nullptr;
  TCustomForm* FActiveForm = nullptr;
};

extern TScreen* Screen;
