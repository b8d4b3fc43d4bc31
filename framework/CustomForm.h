// A form: a top-level window with a frame, its controls, the control that has
// the focus and the names a stored description gives its handlers and fields.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "Component.h"
#include "FormAccessibility.h"
#include "Messages.h"
#include "WinControl.h"

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TBorderIconFlag : unsigned { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };
enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter };
using TModalResult = int;

class TCustomForm : public TWinControl {
 public:
  explicit TCustomForm(TComponent* Owner);
  ~TCustomForm() override;

  // Runs once the form and its controls are built: fires OnCreate.
  virtual void AfterConstruction();

  TFormBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle Value);
  unsigned BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(unsigned Value);
  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition Value) { FPosition = Value; }
  // Automatic scroll bars: on for the sizeable border styles only.
  bool AutoScroll() const { return FAutoScroll; }
  void SetAutoScroll(bool Value);
  int HorzScrollRange() const { return FHorzRange; }
  int VertScrollRange() const { return FVertRange; }

  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult Value) { FModalResult = Value; }
  TWinControl* ActiveControl() const { return FActiveControl; }
  void SetActiveControl(TWinControl* Control);
  // Records the control that just took the keyboard focus.
  void SetFocusedControl(TWinControl* Control);
  // Moves the focus to the next (or previous) control in tab order.
  void SelectNext(TWinControl* Current, bool GoForward, bool CheckTabStop);

  RECT ClientRect() const override;
  void SetClientSize(int Width, int Height) override;
  void SetVisible(bool Value) override;
  // Closing the main form ends the application; any other form is hidden.
  void Close();

  void Dispatch(TMessage& Message) override;

  // The density the form was designed at (the description's PixelsPerInch);
  // 0, as when none is given, leaves the form unscaled at every density.
  int PixelsPerInch() const { return FPixelsPerInch; }
  void SetPixelsPerInch(int Value) { FPixelsPerInch = Value; }
  // Whether double-size pictures stand behind the form's pictures, which
  // lets it scale up to twice as far.
  void SetHasDoubleSize(bool Value) { FHasDoubleSize = Value; }
  // Lays the form and every control it owns out for a screen of Dpi pixels
  // per inch (see TScaleFactor). With Fit, the largest scale whose window
  // fits the primary monitor's work area.
  void ScaleForDensity(int Dpi, bool Fit);
  TScaleFactor Scale() const { return FScale; }
  int Dpi() const { return FDpi; }
  void ChangeScale(TScaleFactor Scale) override;

  // Event handlers and fields that a stored description names.
  void RegisterHandler(const std::string& Name, TNotifyEvent Handler);
  // Raises EReadError for a name the form does not have.
  TNotifyEvent Handler(const std::string& Name) const;
  template <typename T>
  void RegisterField(const std::string& Name, T*& Field) {
    AddField(Name, &Field, [](void* Field, TComponent* Component) {
      return (*static_cast<T**>(Field) = dynamic_cast<T*>(Component)) != nullptr;
    });
  }
  // Points the field of that name (if any) at Component.
  void BindField(const std::string& Name, TComponent* Component);

  // With KeyPreview, the form sees each key pressed and released in it, by
  // KeyDown and KeyUp, before the control with the focus does.
  bool KeyPreview() const { return FKeyPreview; }
  void SetKeyPreview(bool Value) { FKeyPreview = Value; }
  // Fire OnKeyDown and OnKeyUp. A Key set to 0 is used up: the control with
  // the focus does not get it.
  virtual void KeyDown(unsigned short& Key) {
    if (OnKeyDown)
      OnKeyDown(this, Key);
  }
  virtual void KeyUp(unsigned short& Key) {
    if (OnKeyUp)
      OnKeyUp(this, Key);
  }

  TNotifyEvent OnCreate;
  TKeyEvent OnKeyDown, OnKeyUp;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWindowHandleDone() override;
  void UpdateScrollRanges();

 private:
  void RecreateWnd();
  void ApplyClientSize();
  TFormBorderStyle FBorderStyle = bsSizeable;
  unsigned FBorderIcons = biSystemMenu | biMinimize | biMaximize;
  TPosition FPosition = poDesigned;
  bool FAutoScroll = true;
  int FHorzRange = 0, FVertRange = 0;
  int FClientWidth = 320, FClientHeight = 240;
  TModalResult FModalResult = 0;
  TWinControl* FActiveControl = nullptr;
  bool FPositioned = false;
  bool FKeyPreview = false;
  int FPixelsPerInch = 0;
  bool FHasDoubleSize = false;
  TScaleFactor FScale;
  // The density the frame is measured for; 0 until the form is scaled.
  int FDpi = 0;
  TScaleSize FDesignClient;
  // A field of the form, typed, and how to point it at a component: false
  // when the component is not of the field's class.
  struct TField {
    std::string Name;
    void* Field;
    bool (*Bind)(void* Field, TComponent* Component);
  };
  void AddField(const std::string& Name, void* Field, bool (*Bind)(void*, TComponent*));
  // A few of each: lists searched in order are smaller than trees.
  std::vector<std::pair<std::string, TNotifyEvent>> FHandlers;
  std::vector<TField> FFields;
  TFormAccessibility FAccessibility{*this};
};

class TForm : public TCustomForm {
 public:
  using TCustomForm::TCustomForm;
};
