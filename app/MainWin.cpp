#include "MainWin.h"

#include <windows.h>

#include <utility>

#include "FormReader.h"
#include "InstallProcedure.h"
#include "LanguageTexts.h"
#include "SystemFiles.h"

TInstallerForm* InstallerForm = nullptr;

namespace {

void RegisterInstallerClasses() {
  auto& Registry = TClassRegistry::Instance();
  if (Registry.IsRegistered("TInstallerForm"))
    return;
  RegisterFlatProgressBar(Registry);
  RegisterFlatEdit(Registry);
  RegisterFlatButton(Registry);
  RegisterMouseEffectImage(Registry);
  Registry.RegisterClass("TInstallerForm", "TForm");
}

}  // namespace

TInstallerForm::TInstallerForm(TComponent* Owner) : TForm(Owner) {
  RegisterInstallerClasses();
  RegisterField("FlatProgressBar1", FlatProgressBar1);
  RegisterField("edtDestPath", edtDestPath);
  RegisterField("lblDestPath", lblDestPath);
  RegisterField("btnInstall", btnInstall);
  RegisterField("btnBrowse", btnBrowse);
  RegisterField("lblProgress", lblProgress);
  RegisterField("Image1", Image1);
  RegisterField("imgTitle", imgTitle);
  RegisterField("MouseEffectImage1", MouseEffectImage1);
  RegisterHandler("FormCreate", [this](TObject* Sender) { FormCreate(Sender); });
  RegisterHandler("btnBrowseClick", [this](TObject* Sender) { btnBrowseClick(Sender); });
  RegisterHandler("MouseEffectImage1Click", [this](TObject* Sender) { MouseEffectImage1Click(Sender); });
  if (!ReadDescriptionResource(*this, "TINSTALLERFORM"))
    throw EReadError("Resource TINSTALLERFORM not found");
  // The description is English: the user's language replaces what it tells a
  // person. A distributor's own button name stays, in every language.
  const TLanguageTexts& Texts = TLanguageTexts::Program();
  SetCaption(Texts.Ansi(txWindowCaption, Caption().c_str()));
  if (MouseEffectImage1->Hint().empty())
    MouseEffectImage1->SetHint(Texts.Ansi(txInstallName, EnglishTexts[txInstallName]));
  // The one working button takes no focus: the keys are the window's.
  SetKeyPreview(true);
}

void TInstallerForm::FormCreate(TObject*) {
  edtDestPath->SetTop(btnInstall->Top());
  edtDestPath->SetHeight(btnInstall->Height());
  edtDestPath->SetText(WithTrailingBackslash(SystemDirectory()));
}

void TInstallerForm::btnBrowseClick(TObject*) {}

void TInstallerForm::MouseEffectImage1Click(TObject*) {
  // One install at a time: the boxes it shows disable the form, and a
  // disabled form takes no click, posted or from a screen reader.
  {
    TSystemShell Shell(Handle());
    InstallScreensaver(TOwnFile::RunningProgram(), edtDestPath->Text(), Shell);
  }
  Close();
}

void TInstallerForm::KeyDown(unsigned short& Key) {
  if (Key == VK_RETURN) {
    FEnterDown = true;
    Key = 0;
  } else if (Key == VK_ESCAPE) {
    Key = 0;
    Close();
  }
}

void TInstallerForm::KeyUp(unsigned short& Key) {
  // On release, so that a held Enter cannot go on to answer the question,
  // whose default button is Yes; and only after a press seen here, so that
  // the Enter that closed an error box does not install again.
  if (Key != VK_RETURN)
    return;
  Key = 0;
  if (std::exchange(FEnterDown, false))
    MouseEffectImage1Click(MouseEffectImage1);
}

std::string WithTrailingBackslash(std::string Path, TLeadBytePredicate IsLeadByte) {
  // The last character, not the last byte: a double-byte character can end in 0x5C.
  if (Path.empty() || LastDelimiter("\\", Path, IsLeadByte) != Path.size() - 1)
    Path += '\\';
  return Path;
}
