// The installer window as its stored description builds it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../install/InstallTestSupport.h"
#include "LanguageTexts.h"
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

// A program or package loaded for its resources alone.
struct TResourceModule {
  explicit TResourceModule(const std::string& UnixPath)
      : Module(LoadLibraryExA(WindowsPathFromUnix(UnixPath, false).c_str(), nullptr,
                              LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
  ~TResourceModule() {
    if (Module)
      FreeLibrary(Module);
  }
  HMODULE Module;
};

// UTF-8 text as code page CodePage spells it.
std::string Spelt(const char* Utf8, UINT CodePage) {
  wchar_t Wide[512];
  const int Length = MultiByteToWideChar(CP_UTF8, 0, Utf8, -1, Wide, 512);
  char Out[1024];
  const int Size = WideCharToMultiByte(CodePage, 0, Wide, Length, Out, sizeof Out, nullptr, nullptr);
  return Size > 0 ? std::string(Out) : "(cannot spell)";
}

constexpr const char* English = "Screensaver installation completed, run it now?";
constexpr UINT Rtl = MB_RTLREADING | MB_RIGHT;

// The UI languages of a user, and what the program shows them in the code
// page of their Windows. Wine has one UI language a process and ignores
// SetThreadUILanguage (measured), so the languages are given here; the
// end-to-end scenario "languages" runs the program under real locales.
TEST(Languages, TheQuestionInTheUsersLanguageElseInEnglish) {
  TResourceModule Program(INSTALLERWIN_EXE);
  ASSERT_NE(Program.Module, nullptr) << GetLastError();
  struct TCase {
    const char* Name;
    std::vector<LANGID> Ui;
    UINT CodePage;
    LANGID Table;
    const char* Question;
    const char* Caption;
    UINT Flags;
  };
  const TCase Cases[] = {
      {"English", {0x0409}, 1252, 0x0409, English, "Confirm", 0},
      {"English (UK)", {0x0809}, 1252, 0x0409, English, "Confirm", 0},
      {"German", {0x0407}, 1252, 0x0407, "Der Bildschirmschoner wurde installiert. Jetzt starten?", "Bestätigen", 0},
      {"Swiss German",
       {0x0807},
       1252,
       0x0407,
       "Der Bildschirmschoner wurde installiert. Jetzt starten?",
       "Bestätigen",
       0},
      {"Russian", {0x0419}, 1251, 0x0419, "Установка заставки завершена. Запустить её сейчас?", "Подтверждение", 0},
      {"Japanese",
       {0x0411},
       932,
       0x0411,
       "スクリーン セーバーのインストールが完了しました。今すぐ実行しますか？",
       "確認",
       0},
      {"Arabic", {0x0401}, 1256, 0x0401, "اكتمل تثبيت شاشة التوقف. هل تريد تشغيلها الآن؟", "تأكيد", Rtl},
      {"Arabic (Egypt)", {0x0C01}, 1256, 0x0401, "اكتمل تثبيت شاشة التوقف. هل تريد تشغيلها الآن؟", "تأكيد", Rtl},
      {"Hebrew", {0x040D}, 1255, 0x040D, "התקנת שומר המסך הושלמה. להפעיל אותו עכשיו?", "אישור", Rtl},
      {"Chinese (Hong Kong)", {0x0C04}, 950, 0x0404, "螢幕保護程式安裝完成，要立即執行嗎？", "確認", 0},
      {"Chinese (Macao)", {0x1404}, 950, 0x0404, "螢幕保護程式安裝完成，要立即執行嗎？", "確認", 0},
      {"Chinese (PRC)", {0x0804}, 936, 0x0804, "屏幕保护程序安装完成，是否立即运行？", "确认", 0},
      {"Portuguese (Brazil)",
       {0x0416},
       1252,
       0x0416,
       "A instalação da proteção de tela foi concluída. Deseja executá-la agora?",
       "Confirmar",
       0},
      // No table: Portugal's Portuguese has its own code, and Thai none at all.
      {"Portuguese (Portugal)", {0x0816}, 1252, 0x0409, English, "Confirm", 0},
      {"Thai", {0x041E}, 874, 0x0409, English, "Confirm", 0},
      {"Thai, then German",
       {0x041E, 0x0407},
       1252,
       0x0407,
       "Der Bildschirmschoner wurde installiert. Jetzt starten?",
       "Bestätigen",
       0},
      // A script the code page cannot spell: English, read left to right.
      {"Russian on code page 1252", {0x0419}, 1252, 0x0419, English, "Confirm", 0},
      {"Arabic on code page 1252", {0x0401}, 1252, 0x0401, English, "Confirm", 0},
      // Polish on a Western code page would lose its "ł" or spell it "l".
      {"Polish on code page 1252", {0x0415}, 1252, 0x0415, English, "Confirm", 0},
      {"Polish",
       {0x0415},
       1250,
       0x0415,
       "Instalacja wygaszacza ekranu zakończona. Uruchomić go teraz?",
       "Potwierdź",
       0},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const TLanguageTexts Texts(Program.Module, Case.Ui, Case.CodePage);
    EXPECT_EQ(Texts.Language(), Case.Table);
    bool Translated = false;
    EXPECT_EQ(Texts.Ansi(txInstallQuestion, "unused", &Translated), Spelt(Case.Question, Case.CodePage));
    EXPECT_EQ(Texts.Ansi(txConfirm, "unused"), Spelt(Case.Caption, Case.CodePage));
    EXPECT_EQ(Texts.BoxFlags(Translated), Case.Flags);
  }
}

TEST(Languages, ErrorsWindowAndReaderTexts) {
  TResourceModule Program(INSTALLERWIN_EXE);
  ASSERT_NE(Program.Module, nullptr) << GetLastError();
  const LANGID German = 0x0407, Russian = 0x0419;
  const TLanguageTexts De(Program.Module, {&German, 1}, 1252), Ru(Program.Module, {&Russian, 1}, 1251),
      En(Program.Module, {}, 1252);
  struct TCase {
    const TLanguageTexts* Texts;
    std::string Message;
    const char* Shown;
  };
  const TCase Cases[] = {
      {&De, "Cannot open file C:\\x\\Install-Aurora.exe", "Datei C:\\x\\Install-Aurora.exe kann nicht geöffnet werden"},
      {&De, "Failed to set data for 'SCRNSAVE.EXE'", "Daten für 'SCRNSAVE.EXE' konnten nicht gesetzt werden"},
      {&De, "Cannot create file ", "Datei  kann nicht erstellt werden"},
      {&De, "Stream read error", "Fehler beim Lesen des Datenstroms"},
      {&Ru, "Control 'Orphan' has no parent window", "У элемента управления 'Orphan' нет родительского окна"},
      {&Ru, "Integer overflow", "Целочисленное переполнение"},
      // Not one of the framework's messages, or one with more to it: as it is.
      {&De, "Stream read error: a string value at offset 21", "Stream read error: a string value at offset 21"},
      {&De, "Stream read error.", "Stream read error."},
      {&De, "Cannot open file", "Cannot open file"},
      {&En, "Cannot open file C:\\a.exe", "Cannot open file C:\\a.exe"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Message);
    bool Translated = true;
    const std::string Shown = Case.Texts->Message(Case.Message, &Translated);
    const UINT CodePage = Case.Texts == &Ru ? 1251 : 1252;
    EXPECT_EQ(Shown, Spelt(Case.Shown, CodePage));
    EXPECT_EQ(Translated, Shown != Case.Message);
  }
  EXPECT_EQ(En.Ansi(txWindowCaption, "unused"), "Install Screensaver");
  EXPECT_EQ(De.Ansi(txWindowCaption, "unused"), Spelt("Bildschirmschoner installieren", 1252));
  EXPECT_EQ(En.Ansi(txInstallName, "unused"), "Install");
  EXPECT_EQ(Ru.Ansi(txInstallName, "unused"), Spelt("Установить", 1251));
  EXPECT_EQ(En.Wide(txPressAction, L"unused"), L"Press");
  EXPECT_EQ(De.Wide(txPressAction, L"unused"), L"Dr\u00fccken");
  // A module with no tables at all, such as this test: the English given.
  const TLanguageTexts None(GetModuleHandleA(nullptr), {&German, 1}, 1252);
  EXPECT_EQ(None.Language(), 0x0409);
  EXPECT_EQ(None.Ansi(txConfirm, "Confirm"), "Confirm");
  EXPECT_EQ(None.Wide(txPressAction, L"Press"), L"Press");
  EXPECT_EQ(None.Message("Stream write error"), "Stream write error");
}

// The distributor's PO file gave only the question (and a fuzzy caption,
// which gettext and the package maker leave out).
TEST(Languages, ABrandedPackageAsksTheDistributorsQuestion) {
  TResourceModule Package(BRANDED_PACKAGE);
  ASSERT_NE(Package.Module, nullptr) << GetLastError();
  const LANGID German = 0x0407, Japanese = 0x0411;
  const TLanguageTexts De(Package.Module, {&German, 1}, 1252), Ja(Package.Module, {&Japanese, 1}, 932);
  EXPECT_EQ(De.Ansi(txInstallQuestion, "unused"), Spelt("Aurora ist installiert. Jetzt starten?", 1252));
  EXPECT_EQ(De.Ansi(txConfirm, "unused"), Spelt("Bestätigen", 1252));
  EXPECT_EQ(Ja.Ansi(txInstallQuestion, "unused"),
            Spelt("スクリーン セーバーのインストールが完了しました。今すぐ実行しますか？", 932));
}

}  // namespace
