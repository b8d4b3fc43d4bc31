// The installer window as its stored description builds it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../install/InstallTestSupport.h"
#include "MainWin.h"

using namespace WinTest;

namespace {

class InstallerWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    Form = new TInstallerForm(nullptr);
    Form->AfterConstruction();
  }
  void TearDown() override { delete Form; }
  TInstallerForm* Form = nullptr;
};

TEST_F(InstallerWindow, HasItsNineControlsInCreationOrderBoundToItsFields) {
  std::vector<std::string> Names;
  for (auto* Control : Form->Controls())
    Names.push_back(Control->Name());
  EXPECT_EQ(Names, (std::vector<std::string>{"FlatProgressBar1", "lblDestPath", "lblProgress", "Image1", "imgTitle",
                                             "MouseEffectImage1", "edtDestPath", "btnInstall", "btnBrowse"}));
  const std::vector<TControl*> Fields{Form->FlatProgressBar1, Form->lblDestPath, Form->lblProgress,
                                      Form->Image1,           Form->imgTitle,    Form->MouseEffectImage1,
                                      Form->edtDestPath,      Form->btnInstall,  Form->btnBrowse};
  ASSERT_EQ(Form->Controls().size(), Fields.size());
  for (std::size_t I = 0; I < Fields.size(); ++I)
    EXPECT_EQ(Form->Controls()[I], Fields[I]) << Names[I];
}

TEST_F(InstallerWindow, WindowProperties) {
  EXPECT_EQ(Form->Caption(), "Install Screensaver");
  EXPECT_EQ(Form->ClientWidth(), 443);
  EXPECT_EQ(Form->ClientHeight(), 304);
  EXPECT_EQ(Form->BorderStyle(), bsSingle);
  EXPECT_EQ(Form->BorderIcons(), static_cast<unsigned>(biSystemMenu));
  EXPECT_EQ(Form->Position(), poScreenCenter);
  EXPECT_FALSE(Form->AutoScroll()) << "no scroll bar for a single frame";
  EXPECT_EQ(Form->HorzScrollRange(), 0);
  EXPECT_EQ(Form->VertScrollRange(), 0);
  EXPECT_EQ(Form->Color(), clBtnFace);
  EXPECT_EQ(Form->Font().Name(), "MS Sans Serif");
  EXPECT_EQ(Form->Font().Height(), -11);
  EXPECT_EQ(Form->Font().Color(), clWindowText);
  // Its windows are made when it shows, each once, where and as large as it shows.
  EXPECT_FALSE(Form->HandleAllocated()) << "reading the description made the window";
  EXPECT_FALSE(Form->edtDestPath->HandleAllocated()) << "reading the description made the edit's window";
}

struct TPlace {
  TControl* Control;
  int Left, Top, Width, Height;
};

TEST_F(InstallerWindow, ControlsOfTheVisibleFace) {
  auto* F = Form;
  for (auto P : {TPlace{F->Image1, -8, 0, 450, 304}, TPlace{F->MouseEffectImage1, 351, 210, 28, 9}}) {
    EXPECT_EQ(P.Control->Left(), P.Left) << P.Control->Name();
    EXPECT_EQ(P.Control->Top(), P.Top) << P.Control->Name();
    EXPECT_EQ(P.Control->Width(), P.Width) << P.Control->Name();
    EXPECT_EQ(P.Control->Height(), P.Height) << P.Control->Name();
  }
  EXPECT_TRUE(F->Image1->AutoSize());
  EXPECT_EQ(F->Image1->Picture().Width(), 450);
  EXPECT_TRUE(F->MouseEffectImage1->AutoSize());
  EXPECT_FALSE(F->MouseEffectImage1->RevertOnLeave());
  EXPECT_EQ(F->MouseEffectImage1->OriginPicture().Width(), 28);
  EXPECT_EQ(F->MouseEffectImage1->OverPicture().Height(), 9);
  EXPECT_EQ(F->MouseEffectImage1->DownPicture().Width(), 28);
  EXPECT_TRUE(static_cast<bool>(F->MouseEffectImage1->OnClick));
  // Screen readers name it so; no tooltip shows it.
  EXPECT_EQ(F->MouseEffectImage1->Hint(), "Install");
}

TEST_F(InstallerWindow, ControlsOutOfSight) {
  auto* F = Form;
  for (auto P : {TPlace{F->FlatProgressBar1, 64, 424, 309, 16}, TPlace{F->imgTitle, 392, 408, 41, 41},
                 TPlace{F->edtDestPath, 24, 368, 309, 25}, TPlace{F->btnInstall, 341, 368, 73, 25},
                 TPlace{F->btnBrowse, 293, 424, 73, 25}}) {
    EXPECT_EQ(P.Control->Left(), P.Left) << P.Control->Name();
    EXPECT_EQ(P.Control->Top(), P.Top) << P.Control->Name();
    EXPECT_EQ(P.Control->Width(), P.Width) << P.Control->Name();
    EXPECT_EQ(P.Control->Height(), P.Height) << P.Control->Name();
  }
  for (auto* Label : {F->lblDestPath, F->lblProgress}) {
    EXPECT_FALSE(Label->ParentFont());
    EXPECT_EQ(Label->Font().Height(), -13);
    EXPECT_EQ(Label->Font().Name(), "MS Sans Serif");
  }
  // Wine's own MS Sans Serif measures the texts as the description stores them.
  EXPECT_EQ(F->lblDestPath->Width(), 134);
  EXPECT_EQ(F->lblDestPath->Height(), 16);
  EXPECT_EQ(F->lblProgress->Width(), 58);
  EXPECT_EQ(F->lblProgress->Height(), 16);
  EXPECT_EQ(F->lblDestPath->Caption(), "Destination directory:   ");
  EXPECT_EQ(F->lblProgress->Caption(), "Progress ");
  EXPECT_EQ(F->lblDestPath->Left(), 24);
  EXPECT_EQ(F->lblProgress->Top(), 400);
  EXPECT_EQ(F->btnInstall->Caption(), "Install");
  EXPECT_EQ(F->btnBrowse->Caption(), "Browse ...");
  EXPECT_EQ(F->edtDestPath->TabOrder(), 0);
  EXPECT_EQ(F->btnInstall->TabOrder(), 1);
  EXPECT_EQ(F->btnBrowse->TabOrder(), 2);
  EXPECT_FALSE(F->edtDestPath->Enabled());
  EXPECT_TRUE(F->edtDestPath->ReadOnly());
  EXPECT_EQ(F->FlatProgressBar1->Min(), 0);
  EXPECT_EQ(F->FlatProgressBar1->Max(), 100);
  EXPECT_EQ(F->FlatProgressBar1->Position(), 0);
  EXPECT_FALSE(F->imgTitle->AutoSize());
  EXPECT_EQ(F->imgTitle->Picture().Width(), 32);
  // Everything but the picture face starts at or below the client area's bottom edge.
  for (auto* Control : {static_cast<TControl*>(F->FlatProgressBar1), static_cast<TControl*>(F->lblDestPath),
                        static_cast<TControl*>(F->lblProgress), static_cast<TControl*>(F->imgTitle),
                        static_cast<TControl*>(F->edtDestPath), static_cast<TControl*>(F->btnInstall),
                        static_cast<TControl*>(F->btnBrowse)})
    EXPECT_GE(Control->Top(), F->ClientHeight()) << Control->Name();
}

TEST_F(InstallerWindow, FormCreateFillsTheDestinationWithTheSystemDirectory) {
  EXPECT_EQ(Form->edtDestPath->Text(), "C:\\windows\\system32\\");
  EXPECT_EQ(Form->edtDestPath->Top(), Form->btnInstall->Top());
  EXPECT_EQ(Form->edtDestPath->Height(), Form->btnInstall->Height());
}

TEST_F(InstallerWindow, BrowseDoesNothingAndAnInstallLeavesTheProgressBarAtZero) {
  const auto Before = Form->edtDestPath->Text();
  ASSERT_TRUE(static_cast<bool>(Form->btnBrowse->OnClick));
  Form->btnBrowse->OnClick(Form->btnBrowse);
  EXPECT_EQ(Form->edtDestPath->Text(), Before);

  TScratchDir Dir;
  Form->edtDestPath->SetText(Dir.Path());
  auto Payload = RandomBytes(1000, 30);
  WriteFileBytes(Dir / "Install-Aurora.exe", PackageBytes(Payload, static_cast<std::int64_t>(Payload.size())));
  TRecordingShell Shell;
  InstallScreensaver(TOwnFile(Dir / "Install-Aurora.exe"), Form->edtDestPath->Text(), Shell);
  EXPECT_EQ(ReadFileBytes(Dir / "Aurora.scr"), Payload);
  EXPECT_EQ(Form->FlatProgressBar1->Position(), 0);
}

}  // namespace
