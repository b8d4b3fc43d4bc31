// Forms in real windows, timers and the application's loop.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "Controls.h"
#include "ControlsTestSupport.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "SysUtils.h"
#include "TaskbarWindows.h"
#include "WinTestSupport.h"

using namespace CtlTest;

namespace {

TEST(FrameworkTimer, FiresThroughTheLoopStopsWhenDisabledAndOutlivesAnExceptionInOnTimer) {
  {
    SCOPED_TRACE("ticks");
    TTimer Timer(nullptr);
    int Ticks = 0;
    Timer.SetInterval(50);
    Timer.SetOnTimer([&](TObject* Sender) {
      EXPECT_EQ(Sender, &Timer);
      ++Ticks;
    });
    // Nothing arrives while nobody handles messages.
    Sleep(150);
    EXPECT_EQ(Ticks, 0);
    EXPECT_TRUE(PumpUntil([&] { return Ticks >= 3; }, 1000)) << "only " << Ticks << " ticks in 1 s";
    Timer.SetEnabled(false);
    const int Stopped = Ticks;
    PumpFor(300);
    EXPECT_EQ(Ticks, Stopped) << "a disabled timer went on firing";
    Timer.SetEnabled(true);
    EXPECT_TRUE(PumpUntil([&] { return Ticks > Stopped; }, 1000)) << "no tick after enabling again";
  }
  {
    SCOPED_TRACE("an exception in OnTimer");
    const auto Title = Application->Title();
    WinTest::TMessageBoxWatcher Watcher(Title, IDOK);
    TTimer Timer(nullptr);
    int Ticks = 0;
    Timer.SetInterval(50);
    Timer.SetOnTimer([&](TObject*) {
      if (++Ticks == 1)
        throw Exception("The timer failed");
    });
    ASSERT_TRUE(PumpUntil([&] { return Ticks >= 1; }, 2000)) << "no tick";
    ASSERT_TRUE(Watcher.Wait()) << "no error box captioned " << Title;
    EXPECT_EQ(Watcher.Seen().Text, "The timer failed.");
    EXPECT_EQ(Watcher.Seen().Buttons, 1);
    EXPECT_TRUE(Watcher.Seen().HasIcon);
    const int After = Ticks;
    EXPECT_TRUE(PumpUntil([&] { return Ticks >= After + 3; }, 1000)) << "the ticks stopped after the error";
  }
}

// Each test has an application of its own: one that has run has ended for
// good, and its window, main form and forms would carry over.
class FrameworkApplication : public ::testing::Test {
 protected:
  void SetUp() override { Application = &FFresh; }
  void TearDown() override {
    while (!FFresh.Components().empty())
      delete FFresh.Components().back();
    MSG Msg;
    while (PeekMessageA(&Msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    Application = FSaved;
  }

 private:
  TApplication* FSaved = Application;
  TApplication FFresh;
};

// Notes the order of its construction and of OnCreate, and its destruction.
class TCreatedForm : public TForm {
 public:
  explicit TCreatedForm(TComponent* Owner) : TForm(Owner) {
    OnCreate = [this](TObject* Sender) {
      Notes.push_back("OnCreate");
      SenderWasSelf = Sender == this;
      MainInOnCreate = Application->MainForm() == this;
      LabelInOnCreate = Label != nullptr;
    };
    Label = new TGraphicControl(this);
    Label->SetParent(this);
    Notes.push_back("constructed");
  }
  ~TCreatedForm() override {
    if (Destroyed)
      *Destroyed = true;
  }

  std::vector<std::string> Notes;
  TGraphicControl* Label = nullptr;
  bool SenderWasSelf = false, MainInOnCreate = false, LabelInOnCreate = false;
  bool* Destroyed = nullptr;
};

TEST_F(FrameworkApplication, TheFirstCreatedFormIsTheMainFormAndClosingItEndsRun) {
  ASSERT_EQ(Application->MainForm(), nullptr);
  ASSERT_FALSE(Application->Terminated());
  auto* First = Application->CreateForm<TCreatedForm>();
  auto* Second = Application->CreateForm<TCreatedForm>();
  EXPECT_EQ(Application->MainForm(), First);
  EXPECT_EQ(First->Owner(), Application);
  EXPECT_EQ(First->Notes, (std::vector<std::string>{"constructed", "OnCreate"}));
  EXPECT_EQ(Second->Notes, (std::vector<std::string>{"constructed", "OnCreate"}));
  EXPECT_TRUE(First->SenderWasSelf);
  EXPECT_TRUE(First->LabelInOnCreate);
  EXPECT_TRUE(First->MainInOnCreate);
  EXPECT_FALSE(Second->MainInOnCreate);

  bool FirstGone = false, SecondGone = false, TimedOut = false;
  First->Destroyed = &FirstGone;
  Second->Destroyed = &SecondGone;
  HWND Window = nullptr;
  // Closes the main form once Run has shown it, as its close box would.
  TTimer Closer(nullptr), Watchdog(nullptr);
  Closer.SetInterval(50);
  Closer.SetOnTimer([&](TObject*) {
    auto* Main = Application->MainForm();
    if (!Window && Main && Main->HandleAllocated() && IsWindowVisible(Main->Handle())) {
      Window = Main->Handle();
      PostMessageA(Window, WM_CLOSE, 0, 0);
    }
  });
  Watchdog.SetInterval(5000);
  Watchdog.SetOnTimer([&](TObject*) {
    TimedOut = true;
    Application->Terminate();
  });
  Application->Run();
  Closer.SetEnabled(false);
  Watchdog.SetEnabled(false);
  // The quit message Terminate posted must not end a later loop in this process.
  MSG Msg;
  while (PeekMessageA(&Msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  EXPECT_FALSE(TimedOut) << "Run went on after the main form closed";
  ASSERT_NE(Window, nullptr) << "Run did not show the main form";
  EXPECT_TRUE(Application->Terminated());
  EXPECT_TRUE(FirstGone) << "Run left the main form alive";
  EXPECT_TRUE(SecondGone);
  EXPECT_FALSE(IsWindow(Window));
  EXPECT_EQ(Application->MainForm(), nullptr);
  EXPECT_TRUE(Application->Components().empty());
}

class TFailingForm : public TForm {
 public:
  explicit TFailingForm(TComponent* Owner) : TForm(Owner) {
    OnCreate = [](TObject*) { throw Exception("The creation failed"); };
  }
};

TEST_F(FrameworkApplication, AnExceptionInOnCreateIsShownAndTheFormStillShows) {
  const auto Title = Application->Title();
  WinTest::TMessageBoxWatcher Watcher(Title, IDOK);
  auto* Form = Application->CreateForm<TFailingForm>();
  ASSERT_TRUE(Watcher.Wait()) << "no error box captioned " << Title;
  EXPECT_EQ(Watcher.Seen().Text, "The creation failed.");
  EXPECT_EQ(Application->MainForm(), Form);

  HWND Shown = nullptr;
  TTimer Closer(nullptr);
  Closer.SetInterval(50);
  Closer.SetOnTimer([&](TObject*) {
    if (!Shown && Form->HandleAllocated() && IsWindowVisible(Form->Handle())) {
      Shown = Form->Handle();
      PostMessageA(Shown, WM_CLOSE, 0, 0);
    }
  });
  TTimer Watchdog(nullptr);
  Watchdog.SetInterval(5000);
  Watchdog.SetOnTimer([&](TObject*) { Application->Terminate(); });
  Application->Run();
  EXPECT_NE(Shown, nullptr) << "the form never showed after the error in OnCreate";
}

std::string TextOf(HWND Window) {
  char Text[256] = {};
  GetWindowTextA(Window, Text, sizeof Text);
  return Text;
}

TEST_F(FrameworkApplication, ItsOwnWindowHasTheTaskbarEntryWithTitleAndIconAndOwnsEveryForm) {
  ASSERT_EQ(Application->Handle(), nullptr);
  Application->Initialize();
  HWND App = Application->Handle();
  ASSERT_NE(App, nullptr);
  Application->Initialize();
  EXPECT_EQ(Application->Handle(), App) << "a second Initialize made a second window";
  // This program is win_controls_tests.exe.
  EXPECT_EQ(TextOf(App), "win_controls_tests");
  RECT R;
  GetWindowRect(App, &R);
  EXPECT_TRUE(IsRectEmpty(&R)) << "the application window shows an area of its own";
  HICON Icon = LoadIconA(GetModuleHandleA(nullptr), "MAINICON");
  ASSERT_NE(Icon, nullptr) << "the test program carries no MAINICON";
  // The taskbar takes the class's icons, as the window has none of its own.
  EXPECT_EQ(SendMessageA(App, WM_GETICON, ICON_BIG, 0), 0);
  EXPECT_EQ(SendMessageA(App, WM_GETICON, ICON_SMALL, 0), 0);
  EXPECT_EQ(reinterpret_cast<HICON>(GetClassLongPtrA(App, GCLP_HICON)), Icon);
  const auto Small = static_cast<LONG_PTR>(GetClassLongPtrA(App, GCLP_HICONSM));
  EXPECT_NE(Small, 0) << "no small icon for the taskbar";

  auto* Main = Application->CreateForm<TForm>();
  auto* Other = Application->CreateForm<TForm>();
  Main->SetCaption("A caption unlike the title");
  Main->Show();
  // The classes get the same icons, so that the system makes no copy of its own for each.
  EXPECT_EQ(GetClassLongPtrA(Main->Handle(), GCLP_HICON), GetClassLongPtrA(App, GCLP_HICON));
  EXPECT_EQ(GetClassLongPtrA(Main->Handle(), GCLP_HICONSM), Small);
  Other->Show();
  EXPECT_EQ(GetWindow(Main->Handle(), GW_OWNER), App);
  EXPECT_EQ(GetWindow(Other->Handle(), GW_OWNER), App);
  EXPECT_EQ(TaskbarWindows(GetCurrentProcessId()), std::vector<HWND>{App});
  EXPECT_EQ(TextOf(App), "win_controls_tests") << "the entry took the form's caption";
  Application->SetTitle("Set by the program");
  EXPECT_EQ(TextOf(App), "Set by the program");
  delete Other;
  delete Main;
}

TEST_F(FrameworkApplication, ActivatingTheApplicationWindowBringsTheMainFormOrTheBoxItHasOpen) {
  Application->Initialize();
  HWND App = Application->Handle();
  auto* Form = Application->CreateForm<TForm>();
  Form->Show();
  HWND Main = Form->Handle();
  ASSERT_TRUE(BringToFront(Main));
  // As a click on the taskbar entry or Alt+Tab does.
  SetActiveWindow(App);
  EXPECT_TRUE(PumpUntil([&] { return GetActiveWindow() == Main; })) << "active: " << TextOf(GetActiveWindow());

  // The error box belongs to and disables the main form; the entry brings it
  // forward, and the taskbar's Close leaves the program alone while it waits.
  const auto Title = Application->Title();
  HWND Box = nullptr, ActiveAfter = nullptr;
  bool OwnerWasMain = false, MainDisabled = false, StillRunning = false;
  TTimer InBox(nullptr);
  InBox.SetInterval(100);
  InBox.SetOnTimer([&](TObject*) {
    InBox.SetEnabled(false);
    Box = FindWindowA("#32770", Title.c_str());
    OwnerWasMain = Box && GetWindow(Box, GW_OWNER) == Main;
    MainDisabled = !IsWindowEnabled(Main);
    SetActiveWindow(App);
    ActiveAfter = GetActiveWindow();
    SendMessageA(App, WM_SYSCOMMAND, SC_CLOSE, 0);
    StillRunning = !Application->Terminated() && IsWindowVisible(Main);
    PostMessageA(Box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  });
  Application->ShowException(Exception("The work failed"));
  ASSERT_NE(Box, nullptr) << "no error box captioned " << Title;
  EXPECT_TRUE(OwnerWasMain) << "the error box does not belong to the main form";
  EXPECT_TRUE(MainDisabled) << "the main form took input under its error box";
  EXPECT_EQ(ActiveAfter, Box) << "active: " << TextOf(ActiveAfter);
  EXPECT_TRUE(StillRunning) << "the taskbar's Close closed the form under its open box";
  EXPECT_TRUE(IsWindowEnabled(Main));

  // The taskbar's Close, with nothing open, closes the main form and ends the run.
  PostMessageA(App, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(PumpUntil([] { return Application->Terminated(); })) << "the taskbar's Close did not end the run";
  EXPECT_FALSE(IsWindowVisible(Main));
  MSG Msg;
  while (PeekMessageA(&Msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  delete Form;
}

TEST_F(FrameworkApplication, ACloseRequestToTheMainFormWaitsWhileItsBoxIsOpen) {
  Application->Initialize();
  auto* Form = Application->CreateForm<TForm>();
  Form->Show();
  HWND Main = Form->Handle();
  // What taskkill without /F does: WM_CLOSE to each window of the program,
  // sent or posted, while a question or an error box waits on the main form.
  auto CloseUnderBox = [&](const std::string& Caption, int Button, auto&& OpenBox) {
    SCOPED_TRACE(Caption);
    HWND Box = nullptr;
    bool MainDisabled = false, StillRunningAfterSend = false, StillRunningAfterPost = false;
    TTimer InBox(nullptr);
    InBox.SetInterval(100);
    InBox.SetOnTimer([&](TObject*) {
      if (!Box) {
        Box = FindWindowA("#32770", Caption.c_str());
        if (!Box)
          return;
        MainDisabled = !IsWindowEnabled(Main);
        SendMessageA(Main, WM_CLOSE, 0, 0);
        StillRunningAfterSend = !Application->Terminated() && IsWindowVisible(Main);
        // Posted, it reaches the form through the box's own loop.
        PostMessageA(Main, WM_CLOSE, 0, 0);
        return;
      }
      InBox.SetEnabled(false);
      StillRunningAfterPost = !Application->Terminated() && IsWindowVisible(Main) && IsWindow(Box);
      PostMessageA(Box, WM_COMMAND, MAKEWPARAM(Button, BN_CLICKED), 0);
    });
    EXPECT_EQ(OpenBox(), Button);
    ASSERT_NE(Box, nullptr) << "no box captioned " << Caption;
    EXPECT_TRUE(MainDisabled) << "the main form took input under its box";
    EXPECT_TRUE(StillRunningAfterSend) << "a sent WM_CLOSE closed the main form under its box";
    EXPECT_TRUE(StillRunningAfterPost) << "a posted WM_CLOSE closed the main form or its box";
    EXPECT_TRUE(IsWindowEnabled(Main));
  };
  CloseUnderBox("Confirm", IDNO, [&] { return MessageBoxA(Main, "Run it now?", "Confirm", MB_YESNO); });
  CloseUnderBox(Application->Title(), IDOK, [&] {
    Application->ShowException(Exception("The work failed"));
    return IDOK;
  });

  // With no box open, the same request closes the main form and ends the run.
  PostMessageA(Main, WM_CLOSE, 0, 0);
  EXPECT_TRUE(PumpUntil([] { return Application->Terminated(); })) << "WM_CLOSE did not end the run";
  EXPECT_FALSE(IsWindowVisible(Main));
  MSG Msg;
  while (PeekMessageA(&Msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  delete Form;
}

TEST_F(FrameworkApplication, TheTaskbarMinimisesTheProgramOnlyWhenTheMainFormHasAMinimiseButton) {
  Application->Initialize();
  HWND App = Application->Handle();
  auto* Form = Application->CreateForm<TForm>();
  Form->SetBorderStyle(bsSingle);
  Form->SetBorderIcons(biSystemMenu);
  Form->Show();
  ASSERT_TRUE(BringToFront(Form->Handle()));
  SendMessageA(App, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  Application->ProcessMessages();
  EXPECT_FALSE(IsIconic(App)) << "minimised though the form has no minimise button";
  EXPECT_TRUE(IsWindowVisible(Form->Handle()));

  // The frame is made anew with the button; the program minimises as a whole.
  Form->SetBorderIcons(biSystemMenu | biMinimize);
  HWND Main = Form->Handle();
  ASSERT_TRUE(BringToFront(Main));
  SendMessageA(Main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(PumpUntil([&] { return IsIconic(App) != 0; })) << "the form's minimise button left the entry as it was";
  EXPECT_FALSE(IsWindowVisible(Main)) << "the form stayed on the screen while the program is minimised";
  EXPECT_FALSE(IsIconic(Main)) << "the form minimised on its own, beside the entry";
  // A click on the minimised entry.
  SendMessageA(App, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_TRUE(PumpUntil([&] { return !IsIconic(App) && IsWindowVisible(Main) && GetActiveWindow() == Main; }))
      << "restored: " << !IsIconic(App) << ", form visible: " << IsWindowVisible(Main)
      << ", active: " << TextOf(GetActiveWindow());
  delete Form;
}

// Paints, or fails to while Fail is set.
class TFailingPaint : public TProbeCustom {
 public:
  using TProbeCustom::TProbeCustom;
  bool Fail = false;
  int Failures = 0;

 protected:
  void Paint() override {
    if (Fail && ++Failures)
      throw Exception("The paint failed");
    TProbeCustom::Paint();
  }
};

TEST_F(FrameworkApplication, TheThumbnailIsTheMainFormsClientAreaScaledToFit) {
  auto* Form = new TForm(nullptr);
  Form->SetBorderStyle(bsSingle);
  Form->SetClientSize(200, 100);
  Form->SetColor(RGB(200, 40, 40));
  auto* Graphic = AddControl<TProbeGraphic>(Form, "Graphic", 20, 20, 50, 30);
  Graphic->Fill = RGB(30, 30, 220);
  auto* Windowed = AddControl<TProbeCustom>(Form, "Windowed", 120, 40, 40, 40);
  Windowed->Fill = RGB(20, 180, 20);
  Form->Show();
  // Another window over the form: the picture comes from the form's own painting, not the screen.
  auto* Cover = new TForm(nullptr);
  Cover->SetBounds(Form->Left(), Form->Top(), 300, 300);
  Cover->SetColor(RGB(255, 255, 0));
  Cover->Show();
  Application->ProcessMessages();

  struct TPicture {
    int Width = 0, Height = 0;
    std::vector<std::uint32_t> Pixels;
    std::uint32_t At(int X, int Y) const { return Pixels[static_cast<std::size_t>(Y * Width + X)]; }
  };
  auto Take = [](TWinControl* Of, int MaxWidth, int MaxHeight) {
    TPicture P;
    TBitmapHandle Bitmap = ClientPicture(*Of, MaxWidth, MaxHeight);
    DIBSECTION Dib{};
    if (!Bitmap || GetObjectA(Bitmap.Get(), sizeof Dib, &Dib) != sizeof Dib)
      return P;
    P.Width = Dib.dsBm.bmWidth;
    P.Height = Dib.dsBm.bmHeight;
    EXPECT_EQ(Dib.dsBm.bmBitsPixel, 32);
    // Rows from the top, as the pixels at uneven places below show.
    const auto* Bits = static_cast<const std::uint32_t*>(Dib.dsBm.bmBits);
    P.Pixels.assign(Bits, Bits + P.Width * P.Height);
    return P;
  };
  // 0xAARRGGBB, opaque.
  auto Opaque = [](COLORREF C) { return 0xFF000000u | GetRValue(C) << 16 | GetGValue(C) << 8 | GetBValue(C); };

  const TPicture Full = Take(Form, 1000, 1000);
  ASSERT_EQ(Full.Width, 200) << "a small window is not scaled up";
  ASSERT_EQ(Full.Height, 100);
  EXPECT_EQ(Full.At(5, 5), Opaque(RGB(200, 40, 40)));
  EXPECT_EQ(Full.At(199, 99), Opaque(RGB(200, 40, 40)));
  EXPECT_EQ(Full.At(20, 20), Opaque(RGB(30, 30, 220)));
  EXPECT_EQ(Full.At(69, 49), Opaque(RGB(30, 30, 220)));
  EXPECT_EQ(Full.At(120, 40), Opaque(RGB(20, 180, 20)));
  EXPECT_EQ(Full.At(159, 79), Opaque(RGB(20, 180, 20)));
  bool AllOpaque = true;
  for (auto Pixel : Full.Pixels)
    AllOpaque = AllOpaque && (Pixel >> 24) == 0xFF;
  EXPECT_TRUE(AllOpaque) << "transparent pixels in the picture";

  // Halved by the width, then by the height: the proportions stay.
  const TPicture Half = Take(Form, 100, 100);
  EXPECT_EQ(Half.Width, 100);
  EXPECT_EQ(Half.Height, 50);
  if (Half.Width == 100 && Half.Height == 50) {
    EXPECT_EQ(Half.At(3, 3), Opaque(RGB(200, 40, 40)));
    EXPECT_EQ(Half.At(22, 17), Opaque(RGB(30, 30, 220)));
    EXPECT_EQ(Half.At(70, 30), Opaque(RGB(20, 180, 20)));
    EXPECT_EQ(Half.At(99, 49) >> 24, 0xFFu);
  }
  const TPicture Low = Take(Form, 300, 20);
  EXPECT_EQ(Low.Width, 40);
  EXPECT_EQ(Low.Height, 20);
  EXPECT_EQ(Take(Form, 0, 100).Width, 0) << "a picture for no room";

  delete Cover;
  delete Form;
  auto* Unshown = new TForm(nullptr);
  EXPECT_EQ(Take(Unshown, 100, 100).Width, 0) << "a picture of a form that has no window";
  delete Unshown;

  // The taskbar asks the application's window; a picture that cannot be made
  // is no error of the user's.
  Application->Initialize();
  auto* Main = Application->CreateForm<TForm>();
  ASSERT_EQ(Application->MainForm(), Main);
  auto* Failing = AddControl<TFailingPaint>(Main, "Failing", 10, 10, 20, 20);
  Main->Show();
  Application->ProcessMessages();
  Failing->Fail = true;
  WinTest::TMessageBoxWatcher Watcher(Application->Title(), IDOK);
  SendMessageA(Application->Handle(), WM_DWMSENDICONICTHUMBNAIL, 0, MAKELPARAM(120, 200));
  EXPECT_GT(Failing->Failures, 0) << "the taskbar's request never painted the form";
  EXPECT_FALSE(Watcher.Found()) << "an error box for a thumbnail: " << Watcher.Seen().Text;
  Failing->Fail = false;
  delete Main;
}

using FrameworkForms = FormFixture;

LONG StyleOf(TWinControl* Control) { return GetWindowLongA(Control->Handle(), GWL_STYLE); }

TEST_F(FrameworkForms, BorderStyleIconsPositionAndClientSizeShapeTheWindow) {
  {
    SCOPED_TRACE("bsSingle");
    auto* Form = NewForm<TForm>();
    Form->SetBorderStyle(bsSingle);
    EXPECT_FALSE(Form->AutoScroll());
    AddControl<TProbeGraphic>(Form, "Low", 20, 600, 50, 40);
    AddControl<TProbeCustom>(Form, "Wide", 700, 20, 50, 40);
    ShowInFront(Form);
    const LONG Style = StyleOf(Form);
    EXPECT_TRUE(Style & WS_CAPTION);
    EXPECT_FALSE(Style & WS_THICKFRAME);
    EXPECT_FALSE(Style & WS_VSCROLL);
    EXPECT_FALSE(Style & WS_HSCROLL);
    EXPECT_EQ(Form->HorzScrollRange(), 0);
    EXPECT_EQ(Form->VertScrollRange(), 0);
  }
  {
    SCOPED_TRACE("bsSizeable");
    auto* Form = NewForm<TForm>();
    EXPECT_EQ(Form->BorderStyle(), bsSizeable);
    EXPECT_TRUE(Form->AutoScroll());
    AddControl<TProbeGraphic>(Form, "Low", 20, 600, 50, 40);
    ShowInFront(Form);
    const LONG Style = StyleOf(Form);
    EXPECT_TRUE(Style & WS_THICKFRAME);
    EXPECT_TRUE(Style & WS_VSCROLL) << "no vertical scroll bar";
    EXPECT_FALSE(Style & WS_HSCROLL);
    EXPECT_EQ(Form->VertScrollRange(), 640);
    SCROLLINFO Info{sizeof Info, SIF_RANGE, 0, 0, 0, 0, 0};
    ASSERT_TRUE(GetScrollInfo(Form->Handle(), SB_VERT, &Info));
    EXPECT_EQ(Info.nMax - Info.nMin + 1, 640);
  }
  {
    SCOPED_TRACE("bsSizeable resized");
    auto* Form = NewForm<TForm>();
    AddControl<TProbeGraphic>(Form, "Low", 20, 250, 50, 40);
    ShowInFront(Form);
    EXPECT_FALSE(StyleOf(Form) & WS_VSCROLL);
    const int Height = Form->Height();
    Form->SetHeight(Height - 150);
    EXPECT_TRUE(StyleOf(Form) & WS_VSCROLL) << "shrunk below its control, it shows no scroll bar";
    Form->SetHeight(Height + 100);
    EXPECT_FALSE(StyleOf(Form) & WS_VSCROLL) << "grown past its control, it keeps the scroll bar";
  }
  {
    SCOPED_TRACE("bsSizeable sized by its bounds");
    auto* Form = NewForm<TForm>();
    Form->SetBounds(100, 100, 700, 500);
    AddControl<TProbeGraphic>(Form, "Inside", 20, 350, 50, 40);
    ShowInFront(Form);
    EXPECT_FALSE(StyleOf(Form) & WS_VSCROLL) << "a scroll bar though the control fits";
    RECT Window, Client;
    GetWindowRect(Form->Handle(), &Window);
    GetClientRect(Form->Handle(), &Client);
    EXPECT_LT(Client.bottom, Window.bottom - Window.top) << "the client area lost its frame";
  }
  {
    SCOPED_TRACE("bsSizeable switched to bsSingle");
    auto* Form = NewForm<TForm>();
    AddControl<TProbeGraphic>(Form, "Far", 700, 600, 50, 40);
    ShowInFront(Form);
    ASSERT_EQ(Form->HorzScrollRange(), 750);
    ASSERT_EQ(Form->VertScrollRange(), 640);
    ASSERT_TRUE(StyleOf(Form) & WS_VSCROLL);
    ASSERT_TRUE(StyleOf(Form) & WS_HSCROLL);
    Form->SetBorderStyle(bsSingle);
    EXPECT_FALSE(Form->AutoScroll());
    EXPECT_EQ(Form->HorzScrollRange(), 0);
    EXPECT_EQ(Form->VertScrollRange(), 0);
    const LONG Style = StyleOf(Form);
    EXPECT_FALSE(Style & WS_THICKFRAME);
    EXPECT_FALSE(Style & WS_VSCROLL);
    EXPECT_FALSE(Style & WS_HSCROLL);
    EXPECT_TRUE(IsWindowVisible(Form->Handle())) << "the form vanished when its frame changed";
  }
  {
    SCOPED_TRACE("BorderIcons");
    auto* Plain = NewForm<TForm>();
    ShowInFront(Plain);
    EXPECT_EQ(StyleOf(Plain) & (WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
              LONG(WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    auto* Form = NewForm<TForm>();
    Form->SetBorderIcons(biSystemMenu);
    ShowInFront(Form);
    LONG Style = StyleOf(Form);
    EXPECT_TRUE(Style & WS_SYSMENU);
    EXPECT_FALSE(Style & WS_MINIMIZEBOX);
    EXPECT_FALSE(Style & WS_MAXIMIZEBOX);
    // Changed on a form already shown.
    Plain->SetBorderIcons(biSystemMenu | biMinimize);
    Style = StyleOf(Plain);
    EXPECT_TRUE(Style & WS_SYSMENU);
    EXPECT_TRUE(Style & WS_MINIMIZEBOX);
    EXPECT_FALSE(Style & WS_MAXIMIZEBOX);
  }
  {
    SCOPED_TRACE("poScreenCenter");
    ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
    ASSERT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
    auto* Form = NewForm<TForm>(443, 304);
    Form->SetBorderStyle(bsSingle);
    Form->SetPosition(poScreenCenter);
    ShowInFront(Form);
    RECT R;
    GetWindowRect(Form->Handle(), &R);
    EXPECT_LE(std::abs(R.left - (1024 - R.right)), 1) << "left " << R.left << " right " << R.right;
    EXPECT_LE(std::abs(R.top - (768 - R.bottom)), 1) << "top " << R.top << " bottom " << R.bottom;
  }
  for (auto Border : {bsSizeable, bsSingle, bsDialog, bsToolWindow}) {
    SCOPED_TRACE("ClientWidth/ClientHeight with border style " + std::to_string(Border));
    auto* Form = NewForm<TForm>();
    Form->SetBorderStyle(Border);
    Form->SetClientWidth(443);
    Form->SetClientHeight(304);
    ShowInFront(Form);
    RECT R;
    GetClientRect(Form->Handle(), &R);
    EXPECT_EQ(R.right, 443);
    EXPECT_EQ(R.bottom, 304);
    EXPECT_EQ(Form->ClientWidth(), 443);
    EXPECT_EQ(Form->ClientHeight(), 304);
    // And on a form already shown.
    Form->SetClientSize(300, 200);
    GetClientRect(Form->Handle(), &R);
    EXPECT_EQ(R.right, 300);
    EXPECT_EQ(R.bottom, 200);
  }
  {
    SCOPED_TRACE("Close on a form that is not the main form");
    const bool WasTerminated = Application->Terminated();
    auto* Form = NewForm<TForm>();
    ShowInFront(Form);
    PostMessageA(Form->Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(Form->Handle()); }));
    EXPECT_FALSE(Form->Visible());
    EXPECT_TRUE(IsWindow(Form->Handle()));
    EXPECT_EQ(Application->Terminated(), WasTerminated) << "closing a form that is not the main form ended the run";
  }
}

}  // namespace
