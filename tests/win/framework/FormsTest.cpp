// Forms in real windows, timers and the application's loop.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "Controls.h"
#include "ControlsTestSupport.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "SysUtils.h"
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

TEST(FrameworkApplication, TheFirstCreatedFormIsTheMainFormAndClosingItEndsRun) {
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

TEST(FrameworkApplication, AnExceptionInOnCreateIsShownAndTheFormStillShows) {
  const auto Title = Application->Title();
  WinTest::TMessageBoxWatcher Watcher(Title, IDOK);
  auto* Form = Application->CreateForm<TCreatedForm>();
  Form->OnCreate = [](TObject*) { throw Exception("The creation failed"); };
  // As CreateForm does, once more with the failing handler.
  Form->AfterConstruction();
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
