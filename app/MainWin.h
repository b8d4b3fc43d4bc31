// The installer window: a picture face with one picture button that runs
// the install; its other controls lie below the visible client area.
#pragma once

#include <string>

#include "Forms.h"
#include "MouseEffectImage.h"
#include "StdCtrls.h"
#include "TFlatButtonUnit.h"
#include "TFlatEditUnit.h"
#include "TFlatProgressBarUnit.h"

class TInstallerForm : public TForm {
 public:
  // Builds the window and its nine controls from the stored description.
  explicit TInstallerForm(TComponent* Owner);

  TFlatProgressBar* FlatProgressBar1 = nullptr;
  TFlatEdit* edtDestPath = nullptr;
  TLabel* lblDestPath = nullptr;
  TFlatButton* btnInstall = nullptr;
  TFlatButton* btnBrowse = nullptr;
  TLabel* lblProgress = nullptr;
  TImage* Image1 = nullptr;
  TImage* imgTitle = nullptr;
  TMouseEffectImage* MouseEffectImage1 = nullptr;

  // Fills the destination field with the system directory.
  void FormCreate(TObject* Sender);
  void btnBrowseClick(TObject* Sender);
  // The install: copies the payload into the destination as NAME.scr and closes the window.
  // A call made while an earlier one waits for its question is ignored.
  void MouseEffectImage1Click(TObject* Sender);
  // The keyboard's way in, for those who cannot use a mouse: Enter installs,
  // as a click on the picture button does, once it is released; Escape
  // closes the window, as the close button does.
  void KeyDown(unsigned short& Key) override;
  void KeyUp(unsigned short& Key) override;

 private:
  // Enter went down here, not in a box that has since closed.
  bool FEnterDown = false;
};

extern TInstallerForm* InstallerForm;

// Path with exactly one trailing "\" added when its last character is not one
// ("" becomes "\").
std::string WithTrailingBackslash(std::string Path, TLeadBytePredicate IsLeadByte = IsSystemLeadByte);
