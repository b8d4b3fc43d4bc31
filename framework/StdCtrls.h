// The standard controls the installer window uses: a picture control, a
// label sized to its text, and a native single-line edit.
#pragma once

#include "Controls.h"
#include "Forms.h"
#include "Pictures.h"

// Shows its picture at natural size from its top-left corner.
class TImage : public TGraphicControl {
 public:
  explicit TImage(TComponent* Owner);
  TPicture& Picture() { return FPicture; }
  // Copies the content of Value into the picture.
  void SetPicture(const TPicture& Value) { FPicture.Assign(Value); }
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  // The picture is decoded at the scale; AutoSize takes its size then.
  void ChangeScale(TScaleFactor Scale) override;

 protected:
  void Paint() override;
  // Takes the picture's size when AutoSize is on and both sides are above 0; repaints.
  virtual void PictureChanged();

 private:
  TPicture FPicture;
  bool FAutoSize = false;
};

class TLabel : public TGraphicControl {
 public:
  explicit TLabel(TComponent* Owner);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool Value);
  bool ShowAccelChar() const { return FShowAccelChar; }
  void SetShowAccelChar(bool Value);
  void Loaded() override;
  void Dispatch(TMessage& Message) override;

 protected:
  void Paint() override;
  // Sizes the label to its text in its font.
  void AdjustBounds();

 private:
  UINT TextFlags() const;
  bool FAutoSize = true;
  bool FTransparent = false;
  bool FShowAccelChar = true;
};

class TCustomEdit : public TWinControl {
 public:
  explicit TCustomEdit(TComponent* Owner);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value);
  int MaxLength() const { return FMaxLength; }
  void SetMaxLength(int Value);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  bool Ctl3D() const { return FCtl3D; }
  void SetCtl3D(bool Value);
  TFormBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle Value);
  void Dispatch(TMessage& Message) override;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWindowHandleDone() override;
  // Height from the font: its character height plus room for the frame.
  virtual void AdjustHeight();
  // The native frame (border or sunken edge); a derived edit may paint its own.
  virtual bool NativeFrame() const { return true; }
  void RecreateWnd();

  bool FReadOnly = false;
  int FMaxLength = 0;
  bool FAutoSize = true;
  bool FCtl3D = true;
  TFormBorderStyle FBorderStyle = bsSingle;
};

class TEdit : public TCustomEdit {
 public:
  using TCustomEdit::TCustomEdit;
};
