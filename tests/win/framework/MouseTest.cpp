// Pointer enter/leave, mouse capture and click delivery, driven by real
// pointer moves and button presses.
#include <gtest/gtest.h>

#include <windows.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "Controls.h"
#include "ControlsTestSupport.h"
#include "Forms.h"
#include "SysUtils.h"
#include "WinTestSupport.h"

using namespace CtlTest;

namespace {

using Events = std::vector<std::string>;

class FrameworkMouse : public FormFixture {
 protected:
  // Waits until the pointer's control is Expected and Count events were heard,
  // then hands over what was heard.
  static Events Heard(TControl* Expected, std::size_t Count) {
    PumpUntil([&] { return Application->MouseControl() == Expected && Log.Size() >= Count; });
    EXPECT_EQ(Application->MouseControl(), Expected) << InputState();
    return Log.Take();
  }

  // A clean start for the next case: buttons up, the pointer off our windows,
  // no capture, nothing heard.
  static void Reset() {
    ReleaseInput();
    MoveTo(RootPoint);
    EXPECT_TRUE(PumpUntil([] { return Application->MouseControl() == nullptr && GetCaptureControl() == nullptr; }));
    Log.Clear();
  }
};

TEST_F(FrameworkMouse, EnterAndLeaveFollowTheRealPointerDisabledControlsIncluded) {
  auto* Form = NewForm();
  auto* A = AddControl<TProbeGraphic>(Form, "A", 20, 20, 60, 40);
  auto* B = AddControl<TProbeGraphic>(Form, "B", 100, 20, 60, 40);
  auto* W = AddControl<TProbeCustom>(Form, "W", 180, 20, 60, 40);
  auto* D = AddControl<TProbeGraphic>(Form, "D", 20, 100, 60, 40);
  auto* DW = AddControl<TProbeCustom>(Form, "DW", 100, 100, 60, 40);
  D->SetEnabled(false);
  DW->SetEnabled(false);
  ShowInFront(Form);
  ASSERT_FALSE(IsWindowEnabled(DW->Handle()));

  MoveOnto(A);
  EXPECT_EQ(Heard(A, 1), (Events{"A enter"}));
  MoveOnto(B);
  EXPECT_EQ(Heard(B, 2), (Events{"A leave", "B enter"}));
  MoveOnto(W);
  EXPECT_EQ(Heard(W, 2), (Events{"B leave", "W enter"}));
  // Where no control covers the form, the form itself is entered.
  MoveTo(Form, 300, 250);
  EXPECT_EQ(Heard(Form, 2), (Events{"W leave", "Form enter"}));
  MoveOnto(D);
  EXPECT_EQ(Heard(D, 2), (Events{"Form leave", "D enter"}));
  MoveOnto(DW);
  EXPECT_EQ(Heard(DW, 2), (Events{"D leave", "DW enter"}));
  MoveOnto(A);
  EXPECT_EQ(Heard(A, 2), (Events{"DW leave", "A enter"}));
  // Out of all our windows: a leave, and nothing recorded.
  MoveTo(RootPoint);
  EXPECT_EQ(Heard(nullptr, 1), (Events{"A leave"}));
  EXPECT_EQ(FindControlAtScreenPos(RootPoint), nullptr);

  // Each child passed its own notifications on to the form, naming itself.
  std::vector<std::pair<UINT, TControl*>> Expected;
  for (TControl* C : std::initializer_list<TControl*>{A, B, W, D, DW, A}) {
    Expected.emplace_back(CM_MOUSEENTER, C);
    Expected.emplace_back(CM_MOUSELEAVE, C);
  }
  EXPECT_EQ(Form->ChildNotes, Expected);
}

TEST_F(FrameworkMouse, WhileAControlHoldsTheCaptureOnlyItsOwnLeaveAndEnterAreSent) {
  auto* Form = NewForm();
  // A and B lie on a windowless background C; below C is bare form.
  auto* C = AddControl<TProbeGraphic>(Form, "C", 10, 10, 380, 130);
  auto* A = AddControl<TProbeGraphic>(Form, "A", 30, 30, 80, 60);
  auto* B = AddControl<TProbeGraphic>(Form, "B", 150, 30, 80, 60);
  ShowInFront(Form);
  auto Background = [&] { MoveTo(Form, 200, 250); };
  auto OnC = [&] { MoveTo(C, 300, 100); };
  {
    SCOPED_TRACE("A pressed: A holds the capture");
    MoveOnto(A);
    ASSERT_EQ(Heard(A, 1), (Events{"A enter"}));
    LeftDown();
    ASSERT_TRUE(PumpUntil([&] { return GetCaptureControl() == A; })) << "A did not take the capture; " << InputState();
    MoveOnto(B);
    EXPECT_EQ(Heard(B, 1), (Events{"A leave"})) << "B must get no enter while A holds the capture";
    Background();
    EXPECT_EQ(Heard(Form, 0), (Events{})) << "neither B's leave nor the form's enter";
    OnC();
    EXPECT_EQ(Heard(C, 0), (Events{}));
    MoveOnto(A);
    EXPECT_EQ(Heard(A, 1), (Events{"A enter"}));
    LeftUp();
    ASSERT_TRUE(PumpUntil([] { return GetCaptureControl() == nullptr; }));
    // Free again: the ordinary rule.
    MoveOnto(B);
    EXPECT_EQ(Heard(B, 2), (Events{"A leave", "B enter"}));
  }
  Reset();
  {
    SCOPED_TRACE("pressed on the form's background: the form holds the capture");
    Background();
    ASSERT_EQ(Heard(Form, 1), (Events{"Form enter"}));
    const int AEnters = A->CountOf(CM_MOUSEENTER);
    LeftDown();
    ASSERT_TRUE(PumpUntil([&] { return GetCaptureControl() == Form; }));
    MoveOnto(A);
    EXPECT_EQ(Heard(A, 1), (Events{"Form leave"}));
    LeftUp();
    ASSERT_TRUE(PumpUntil([] { return GetCaptureControl() == nullptr; }));
    // A became the recorded control during the drag: a later move within it changes nothing.
    MoveTo(A, 10, 10);
    PumpFor(150);
    EXPECT_EQ(Log.Take(), (Events{}));
    EXPECT_EQ(A->CountOf(CM_MOUSEENTER), AEnters);
    // Coming onto A again enters it; the recorded A hears its leave first.
    Background();
    EXPECT_EQ(Heard(Form, 2), (Events{"A leave", "Form enter"}));
    MoveOnto(A);
    EXPECT_EQ(Heard(A, 2), (Events{"Form leave", "A enter"}));
  }
  Reset();
  {
    SCOPED_TRACE("pressed on a form that takes no capture: the ordinary rule");
    const unsigned Style = Form->ControlStyle();
    Form->SetControlStyle(Style & ~csCaptureMouse);
    Background();
    ASSERT_EQ(Heard(Form, 1), (Events{"Form enter"}));
    LeftDown();
    PumpFor(150);
    EXPECT_EQ(GetCaptureControl(), nullptr);
    MoveOnto(A);
    EXPECT_EQ(Heard(A, 2), (Events{"Form leave", "A enter"}));
    LeftUp();
    PumpFor(50);
    Form->SetControlStyle(Style);
  }
  Reset();
  {
    SCOPED_TRACE("pressed on the windowless background C: C holds the capture");
    OnC();
    ASSERT_EQ(Heard(C, 1), (Events{"C enter"}));
    LeftDown();
    ASSERT_TRUE(PumpUntil([&] { return GetCaptureControl() == C; }));
    MoveOnto(A);
    EXPECT_EQ(Heard(A, 1), (Events{"C leave"}));
    MoveOnto(B);
    EXPECT_EQ(Heard(B, 0), (Events{}));
    MoveOnto(A);
    EXPECT_EQ(Heard(A, 0), (Events{}));
    LeftUp();
    ASSERT_TRUE(PumpUntil([] { return GetCaptureControl() == nullptr; }));
    MoveTo(A, 20, 20);
    PumpFor(150);
    EXPECT_EQ(Log.Take(), (Events{}));
    OnC();
    EXPECT_EQ(Heard(C, 2), (Events{"A leave", "C enter"}));
    MoveOnto(A);
    EXPECT_EQ(Heard(A, 2), (Events{"C leave", "A enter"}));
  }
  EXPECT_EQ(B->CountOf(CM_MOUSEENTER), 1) << "B was entered only when nothing held the capture";
}

// What a control's mouse handlers saw.
struct TMouseSeen {
  char Kind;  // 'd'own, 'm'ove, 'u'p
  TMouseButton Button;
  TShiftState Shift;
  int X, Y;
};

struct TMouseRecorder {
  std::vector<TMouseSeen> Seen;
  int Clicks = 0, DblClicks = 0;

  void Attach(TControl* Control) {
    Control->OnMouseDown = [this](TObject*, TMouseButton Button, TShiftState Shift, int X, int Y) {
      Seen.push_back({'d', Button, Shift, X, Y});
    };
    Control->OnMouseMove = [this](TObject*, TShiftState Shift, int X, int Y) {
      Seen.push_back({'m', mbLeft, Shift, X, Y});
    };
    Control->OnMouseUp = [this](TObject*, TMouseButton Button, TShiftState Shift, int X, int Y) {
      Seen.push_back({'u', Button, Shift, X, Y});
    };
    Control->OnClick = [this](TObject*) { ++Clicks; };
    Control->OnDblClick = [this](TObject*) { ++DblClicks; };
  }
  void Clear() {
    Seen.clear();
    Clicks = DblClicks = 0;
  }
  std::vector<TMouseSeen> All(char Kind) const {
    std::vector<TMouseSeen> Result;
    for (const auto& S : Seen)
      if (S.Kind == Kind)
        Result.push_back(S);
    return Result;
  }
  // Whether the last event of this kind was at (X, Y).
  bool LastAt(char Kind, int X, int Y) const {
    auto List = All(Kind);
    return !List.empty() && List.back().X == X && List.back().Y == Y;
  }
};

TEST_F(FrameworkMouse, APressedWindowlessControlGetsTheMouseUntilTheRelease) {
  auto* Form = NewForm();
  auto* A = AddControl<TProbeGraphic>(Form, "A", 30, 30, 80, 60);
  auto* B = AddControl<TProbeGraphic>(Form, "B", 150, 30, 80, 60);
  TMouseRecorder RecA, RecB;
  RecA.Attach(A);
  RecB.Attach(B);
  ShowInFront(Form);
  // Every press lands well apart from the one before, so none makes a double click by chance.
  {
    SCOPED_TRACE("released outside");
    MoveTo(A, 10, 12);
    LeftDown();
    ASSERT_TRUE(PumpUntil([&] { return RecA.LastAt('d', 10, 12); }));
    EXPECT_TRUE(RecA.All('d').back().Shift & ssLeft);
    EXPECT_EQ(GetCaptureControl(), A);
    // Over B: still A's, in A's coordinates.
    MoveTo(B, 20, 25);
    EXPECT_TRUE(PumpUntil([&] { return RecA.LastAt('m', 140, 25); }));
    // Outside the window altogether.
    MoveTo(Form->ClientToScreen({-60, 40}));
    EXPECT_TRUE(PumpUntil([&] { return RecA.LastAt('m', -90, 10); }));
    LeftUp();
    EXPECT_TRUE(PumpUntil([&] { return RecA.LastAt('u', -90, 10); }));
    PumpFor(100);
    EXPECT_EQ(RecA.Clicks, 0) << "a release outside the control is no click";
    EXPECT_EQ(GetCaptureControl(), nullptr);
    EXPECT_TRUE(RecB.Seen.empty()) << "B heard the mouse while A held it";
  }
  RecA.Clear();
  {
    SCOPED_TRACE("released inside after wandering off");
    MoveTo(A, 40, 40);
    LeftDown();
    MoveTo(B, 20, 20);
    EXPECT_TRUE(PumpUntil([&] { return RecA.LastAt('m', 140, 20); }));
    MoveTo(A, 60, 30);
    LeftUp();
    EXPECT_TRUE(PumpUntil([&] { return RecA.LastAt('u', 60, 30); }));
    PumpFor(100);
    EXPECT_EQ(RecA.Clicks, 1);
    EXPECT_EQ(RecA.DblClicks, 0);
    EXPECT_TRUE(RecB.Seen.empty());
  }
  RecA.Clear();
  {
    SCOPED_TRACE("right and middle buttons");
    MoveTo(A, 10, 50);
    SendMouse(MOUSEEVENTF_RIGHTDOWN);
    SendMouse(MOUSEEVENTF_RIGHTUP);
    MoveTo(A, 30, 50);
    SendMouse(MOUSEEVENTF_MIDDLEDOWN);
    SendMouse(MOUSEEVENTF_MIDDLEUP);
    EXPECT_TRUE(PumpUntil([&] { return RecA.All('u').size() == 2; }));
    PumpFor(100);
    auto Downs = RecA.All('d'), Ups = RecA.All('u');
    ASSERT_EQ(Downs.size(), 2u);
    ASSERT_EQ(Ups.size(), 2u);
    EXPECT_EQ(Downs[0].Button, mbRight);
    EXPECT_EQ(Downs[1].Button, mbMiddle);
    EXPECT_EQ(Ups[0].Button, mbRight);
    EXPECT_EQ(Ups[1].Button, mbMiddle);
    EXPECT_EQ(RecA.Clicks, 0);
    EXPECT_EQ(RecA.DblClicks, 0);
  }
  RecA.Clear();
  {
    SCOPED_TRACE("double click with csDoubleClicks and csClickEvents");
    ASSERT_TRUE(A->ControlStyle() & csDoubleClicks);
    ASSERT_TRUE(A->ControlStyle() & csClickEvents);
    MoveTo(A, 70, 15);
    LeftClick();
    LeftClick();
    EXPECT_TRUE(PumpUntil([&] { return RecA.All('u').size() == 2; }));
    PumpFor(100);
    EXPECT_EQ(RecA.Clicks, 1) << "the second release must not click";
    EXPECT_EQ(RecA.DblClicks, 1);
    auto Downs = RecA.All('d');
    ASSERT_EQ(Downs.size(), 2u);
    EXPECT_FALSE(Downs[0].Shift & ssDouble);
    EXPECT_TRUE(Downs[1].Shift & ssDouble);
    EXPECT_EQ(Downs[1].Button, mbLeft);
  }
  {
    SCOPED_TRACE("double click without csDoubleClicks");
    B->SetControlStyle(B->ControlStyle() & ~csDoubleClicks);
    MoveTo(B, 20, 20);
    LeftClick();
    LeftClick();
    EXPECT_TRUE(PumpUntil([&] { return RecB.All('u').size() == 2; }));
    PumpFor(100);
    EXPECT_EQ(RecB.Clicks, 2);
    EXPECT_EQ(RecB.DblClicks, 0);
    auto Downs = RecB.All('d');
    ASSERT_EQ(Downs.size(), 2u);
    EXPECT_FALSE(Downs[0].Shift & ssDouble);
    EXPECT_FALSE(Downs[1].Shift & ssDouble);
  }
}

// Reads the icon of the message box that opens on this thread, before anyone answers it.
class TBoxIconSpy {
 public:
  TBoxIconSpy() {
    Instance = this;
    FHook = SetWindowsHookExA(WH_CBT, &Hook, nullptr, GetCurrentThreadId());
  }
  ~TBoxIconSpy() {
    UnhookWindowsHookEx(FHook);
    Instance = nullptr;
  }
  TBoxIconSpy(const TBoxIconSpy&) = delete;
  TBoxIconSpy& operator=(const TBoxIconSpy&) = delete;
  HICON Icon = nullptr;

 private:
  static LRESULT CALLBACK Hook(int Code, WPARAM WParam, LPARAM LParam) {
    if (Code == HCBT_ACTIVATE && Instance && !Instance->Icon) {
      HWND Box = reinterpret_cast<HWND>(WParam);
      char Class[16] = {};
      GetClassNameA(Box, Class, sizeof Class);
      if (lstrcmpA(Class, "#32770") == 0)
        EnumChildWindows(
            Box,
            [](HWND Child, LPARAM) -> BOOL {
              char Name[16] = {};
              GetClassNameA(Child, Name, sizeof Name);
              if (lstrcmpiA(Name, "Static") == 0 && (GetWindowLongA(Child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
                Instance->Icon = reinterpret_cast<HICON>(SendMessageA(Child, STM_GETICON, 0, 0));
              return TRUE;
            },
            0);
    }
    return CallNextHookEx(nullptr, Code, WParam, LParam);
  }
  static inline TBoxIconSpy* Instance = nullptr;
  HHOOK FHook;
};

TEST_F(FrameworkMouse, AnExceptionInOnClickIsShownByTheDefaultHandlerAndTheLoopGoesOn) {
  auto* Form = NewForm();
  auto* A = AddControl<TProbeGraphic>(Form, "A", 30, 30, 80, 60);
  ShowInFront(Form);
  const auto Title = Application->Title();
  int Clicks = 0;
  A->OnClick = [&](TObject*) {
    ++Clicks;
    throw Exception(Clicks == 1 ? "Nothing to install" : "Cannot go on!");
  };
  struct Case {
    POINT At;
    const char* Shown;
  } const Cases[] = {{{10, 10}, "Nothing to install."}, {{60, 40}, "Cannot go on!"}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Shown);
    ASSERT_TRUE(BringToFront(Form->Handle()));
    MoveTo(A, C.At.x, C.At.y);
    WinTest::TMessageBoxWatcher Watcher(Title, IDOK);
    TBoxIconSpy Spy;
    const int Before = Clicks;
    LeftClick();
    ASSERT_TRUE(PumpUntil([&] { return Clicks > Before; }, 5000)) << "no click; " << InputState();
    ASSERT_TRUE(Watcher.Wait()) << "no error box captioned " << Title;
    EXPECT_EQ(Watcher.Seen().Text, C.Shown);
    EXPECT_EQ(Watcher.Seen().Buttons, 1);
    EXPECT_TRUE(Watcher.Seen().HasIcon);
    EXPECT_EQ(Spy.Icon, LoadIconA(nullptr, IDI_HAND)) << "not the stop icon";
  }
  EXPECT_EQ(Clicks, 2);
  // The loop still serves the form.
  int Quiet = 0;
  A->OnClick = [&](TObject*) { ++Quiet; };
  ASSERT_TRUE(BringToFront(Form->Handle()));
  MoveTo(A, 35, 15);
  LeftClick();
  EXPECT_TRUE(PumpUntil([&] { return Quiet == 1; }));
}

}  // namespace
