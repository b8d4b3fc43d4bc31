#include "MainWin.h"

#include <windows.h>

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
}

void TInstallerForm::FormCreate(TObject*) {
  edtDestPath->SetTop(btnInstall->Top());
  edtDestPath->SetHeight(btnInstall->Height());
  edtDestPath->SetText(WithTrailingBackslash(SystemDirectory()));
}

void TInstallerForm::btnBrowseClick(TObject*) {}

void TInstallerForm::MouseEffectImage1Click(TObject*) {
  TSystemShell Shell(Handle());
  InstallScreensaver(TOwnFile::RunningProgram(), edtDestPath->Text(), Shell);
  Close();
}

std::string WithTrailingBackslash(std::string Path, TLeadBytePredicate IsLeadByte) {
  // The last character, not the last byte: a double-byte character can end in 0x5C.
  if (Path.empty() || LastDelimiter("\\", Path, IsLeadByte) != Path.size() - 1)
    Path += '\\';
  return Path;
}
