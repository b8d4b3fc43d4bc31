// The flat button driven by real pointer and keyboard input: hover, press,
// drag, release, space bar, accelerator, groups, double clicks, and handlers
// that destroy the button.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include "FlatButtonTestSupport.h"
#include "TFlatButtonUnit.h"
#include "WinTestSupport.h"

using namespace FlatTest;

namespace {

using Names = std::vector<std::string>;

class FlatButtonInput : public FlatButtonFixture {
 protected:
  // A real click in the middle of Button; waits until some click arrived.
  void ClickOn(TFlatButton* Button) {
    const auto Before = Clicked.size();
    MoveOnto(Button);
    LeftDown();
    LeftUp();
    ASSERT_TRUE(PumpUntil([&] { return Clicked.size() > Before; })) << "no click on " << Button->Name();
  }

  void AltKey(WORD Vk) {
    Key(VK_MENU, false);
    PressKey(Vk);
    Key(VK_MENU, true);
  }

  std::vector<TPixelRule> Flat(TFlatButton* B) { return LookRules(B, BorderRGB, BorderRGB, RGBOf(B->Color())); }
  std::vector<TPixelRule> Raised(TFlatButton* B) { return LookRules(B, White, Black, FocusedRGB); }
  std::vector<TPixelRule> Sunken(TFlatButton* B) { return LookRules(B, Black, White, DownRGB); }
};

TEST_F(FlatButtonInput, HoverHighlightsAndLeavingTurnsItOffWithinTheTimersPeriod) {
  auto* B = AddButton(20, 20);
  int Enters = 0, Leaves = 0;
  B->SetOnMouseEnter([&](TObject* Sender) { Enters += Sender == B; });
  B->SetOnMouseLeave([&](TObject* Sender) { Leaves += Sender == B; });
  ShowInFront();
  ASSERT_TRUE(Shows(B, Flat(B)));
  MoveOnto(B);
  EXPECT_TRUE(Shows(B, Raised(B)));
  EXPECT_TRUE(PumpUntil([&] { return Enters == 1; })) << "no OnMouseEnter";
  EXPECT_TRUE(B->Highlighted());

  MoveTo(RootPoint);
  const auto Left = Clock::now();
  ASSERT_TRUE(PumpUntil([&] { return !B->Highlighted(); }));
  EXPECT_LT(Clock::now() - Left, std::chrono::milliseconds(300)) << "the timer ticks every 100 ms";
  EXPECT_TRUE(Shows(B, Flat(B)));
  EXPECT_TRUE(PumpUntil([&] { return Leaves == 1; })) << "no OnMouseLeave";
  EXPECT_EQ(Enters, 1);

  // Leaving onto the form's own background works the same.
  MoveOnto(B);
  EXPECT_TRUE(Shows(B, Raised(B)));
  MoveTo(Form, 200, 150);
  EXPECT_TRUE(Shows(B, Flat(B)));
  EXPECT_FALSE(B->Highlighted());
}

TEST_F(FlatButtonInput, MovingStraightToAnotherButtonHandsTheTimerOver) {
  auto* A = AddButton(20, 20, "A");
  auto* B = AddButton(45, 20, "B");
  ShowInFront();
  MoveTo(A, 22, 12);
  ASSERT_TRUE(Shows(A, Raised(A)));
  MoveTo(B, 2, 12);
  EXPECT_TRUE(Shows(B, Raised(B)));
  EXPECT_TRUE(Shows(A, Flat(A)));
  EXPECT_TRUE(B->Highlighted());
  EXPECT_FALSE(A->Highlighted());
}

TEST_F(FlatButtonInput, DisabledButtonDoesNotHighlightUntilEnabled) {
  auto* B = AddButton(20, 20);
  B->SetEnabled(false);
  ShowInFront();
  MoveOnto(B);
  PumpFor(250);
  EXPECT_FALSE(B->Highlighted());
  EXPECT_TRUE(Shows(B, Flat(B)));
  // Enabled under the pointer, it looks highlighted at once.
  B->SetEnabled(true);
  EXPECT_TRUE(B->Highlighted());
  EXPECT_TRUE(Shows(B, Raised(B)));
}

TEST_F(FlatButtonInput, PressShowsTheSunkenLookTakesTheFocusAndReleaseClicks) {
  auto* B = AddButton(20, 20);
  ShowInFront();
  MoveOnto(B);
  ASSERT_TRUE(Shows(B, Raised(B)));
  LeftDown();
  EXPECT_TRUE(Shows(B, Sunken(B)));
  EXPECT_TRUE(B->Pressing());
  EXPECT_EQ(GetFocus(), B->Handle());
  EXPECT_EQ(Form->ActiveControl(), B);
  EXPECT_EQ(Clicked, Names{});
  LeftUp();
  EXPECT_TRUE(PumpUntil([&] { return Clicked.size() == 1; }));
  // Still under the pointer: highlighted again.
  EXPECT_TRUE(Shows(B, Raised(B)));
  EXPECT_FALSE(B->Pressing());
}

TEST_F(FlatButtonInput, DraggingOffBeforeTheReleaseCancelsAndDraggingBackClicks) {
  auto* B = AddButton(20, 20);
  ShowInFront();
  MoveOnto(B);
  LeftDown();
  ASSERT_TRUE(Shows(B, Sunken(B)));
  MoveTo(Form, 200, 150);
  // Off the button while pressing: up, and still highlighted.
  EXPECT_TRUE(Shows(B, Raised(B)));
  EXPECT_EQ(B->VisualState(), fbsUp);
  LeftUp();
  EXPECT_TRUE(Shows(B, Flat(B)));
  EXPECT_FALSE(B->Pressing());
  EXPECT_EQ(Clicked, Names{});
  EXPECT_FALSE(B->Highlighted());

  MoveOnto(B);
  LeftDown();
  ASSERT_TRUE(Shows(B, Sunken(B)));
  MoveTo(Form, 200, 150);
  ASSERT_TRUE(Shows(B, Raised(B)));
  MoveOnto(B);
  EXPECT_TRUE(Shows(B, Sunken(B)));
  LeftUp();
  EXPECT_TRUE(PumpUntil([&] { return Clicked.size() == 1; }));
}

TEST_F(FlatButtonInput, AReleaseOneRowBelowCountsButOneColumnRightDoesNot) {
  auto* B = AddButton(20, 20);
  int Ups = 0;
  B->OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int, int) { ++Ups; };
  ShowInFront();
  auto PressAndReleaseAt = [&](int X, int Y) {
    MoveOnto(B);
    LeftDown();
    ASSERT_TRUE(PumpUntil([&] { return B->Pressing() && GetCapture() == B->Handle(); }));
    const int UpsBefore = Ups;
    SendMessageA(B->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(X, Y));
    EXPECT_FALSE(B->Pressing());
    // The real release that follows finds nothing pending.
    LeftUp();
    ASSERT_TRUE(PumpUntil([&] { return Ups == UpsBefore + 2; }));
  };
  PressAndReleaseAt(12, B->ClientHeight());
  EXPECT_EQ(Clicked, Names{"Button"});
  PressAndReleaseAt(B->ClientWidth(), 12);
  EXPECT_EQ(Clicked, Names{"Button"});
  PressAndReleaseAt(12, -1);
  EXPECT_EQ(Clicked, Names{"Button"});
}

TEST_F(FlatButtonInput, SpaceBarPressesOnKeyDownAndClicksOnKeyUpEnterAndEscapeDoNothing) {
  auto* B = AddButton(20, 20);
  ShowInFront();
  B->SetFocus();
  ASSERT_TRUE(PumpUntil([&] { return GetFocus() == B->Handle(); }));
  // The focus highlights it.
  EXPECT_TRUE(Shows(B, Raised(B)));
  Key(VK_SPACE, false);
  EXPECT_TRUE(Shows(B, Sunken(B)));
  EXPECT_EQ(B->VisualState(), fbsDown);
  EXPECT_EQ(Clicked, Names{});
  Key(VK_SPACE, true);
  ASSERT_TRUE(PumpUntil([&] { return Clicked.size() == 1; }));
  EXPECT_TRUE(Shows(B, Raised(B)));
  // A key up alone clicks too.
  Key(VK_SPACE, true);
  ASSERT_TRUE(PumpUntil([&] { return Clicked.size() == 2; }));
  PressKey(VK_RETURN);
  PressKey(VK_ESCAPE);
  PressKey('A');
  Key(VK_SPACE, true);
  ASSERT_TRUE(PumpUntil([&] { return Clicked.size() >= 3; }));
  PumpFor(50);
  EXPECT_EQ(Clicked.size(), 3u) << "only the space bar clicks";
}

TEST_F(FlatButtonInput, GroupedSpaceBarLatches) {
  auto* B = AddButton(20, 20);
  B->SetGroupIndex(1);
  ShowInFront();
  B->SetFocus();
  ASSERT_TRUE(PumpUntil([&] { return GetFocus() == B->Handle(); }));
  Key(VK_SPACE, false);
  ASSERT_TRUE(PumpUntil([&] { return B->Down(); }));
  Key(VK_SPACE, true);
  ASSERT_TRUE(PumpUntil([&] { return Clicked.size() == 1; }));
  EXPECT_TRUE(B->Down());
  EXPECT_EQ(B->VisualState(), fbsExclusive);
}

TEST_F(FlatButtonInput, AltWithTheAcceleratorClicksAndLatchesAGroupedButton) {
  auto* A = AddButton(20, 20, "A");
  auto* C = AddButton(60, 20, "C");
  A->SetWidth(40);
  C->SetWidth(40);
  A->SetCaption("Go");
  C->SetCaption("&Latch");
  C->SetGroupIndex(1);
  ShowInFront();
  // No marked letter: no accelerator.
  AltKey('G');
  AltKey('L');
  ASSERT_TRUE(PumpUntil([&] { return Clicked.size() == 1; }));
  EXPECT_EQ(Clicked, Names{"C"});
  EXPECT_TRUE(C->Down());
  EXPECT_TRUE(Shows(C, {{0, 0, Black}, {39, 24, White}}));
  // "&&" is a literal ampersand; the letter after a single one counts.
  A->SetCaption("&&Go &now");
  AltKey('G');
  AltKey('N');
  ASSERT_TRUE(PumpUntil([&] { return Clicked.size() == 2; }));
  EXPECT_EQ(Clicked, (Names{"C", "A"}));
  EXPECT_FALSE(A->Down());
  // A disabled button ignores its accelerator.
  A->SetEnabled(false);
  AltKey('N');
  AltKey('L');
  ASSERT_TRUE(PumpUntil([&] { return Clicked.size() == 3; }));
  EXPECT_EQ(Clicked, (Names{"C", "A", "C"}));
}

TEST_F(FlatButtonInput, GroupWithoutAllowAllUpKeepsOneButtonLatched) {
  auto* A = AddButton(20, 20, "A");
  auto* B = AddButton(60, 20, "B");
  A->SetGroupIndex(1);
  B->SetGroupIndex(1);
  ShowInFront();
  ClickOn(A);
  EXPECT_TRUE(A->Down());
  ClickOn(A);
  EXPECT_TRUE(A->Down()) << "a latched button is released only by its group";
  ClickOn(B);
  EXPECT_TRUE(B->Down());
  EXPECT_FALSE(A->Down());
  EXPECT_TRUE(Shows(A, Flat(A)));
  EXPECT_EQ(Clicked, (Names{"A", "A", "B"}));
}

TEST_F(FlatButtonInput, AllowAllUpSetOnEitherMemberLetsALatchedButtonBeReleased) {
  auto* A = AddButton(20, 20, "A");
  auto* B = AddButton(60, 20, "B");
  A->SetGroupIndex(1);
  B->SetGroupIndex(1);
  B->SetAllowAllUp(true);
  EXPECT_TRUE(A->AllowAllUp()) << "AllowAllUp spreads through the group";
  ShowInFront();
  ClickOn(A);
  EXPECT_TRUE(A->Down());
  ClickOn(B);
  EXPECT_FALSE(A->Down());
  EXPECT_TRUE(B->Down());
  ClickOn(B);
  EXPECT_FALSE(B->Down());
  EXPECT_FALSE(A->Down());
  // Joining the group later takes the group's setting too.
  A->SetAllowAllUp(false);
  EXPECT_FALSE(B->AllowAllUp());
  auto* C = AddButton(100, 20, "C");
  C->SetAllowAllUp(true);
  C->SetGroupIndex(1);
  EXPECT_TRUE(A->AllowAllUp());
  EXPECT_TRUE(B->AllowAllUp());
}

TEST_F(FlatButtonInput, DoubleClickGivesTwoClicksAndADoubleClickEventOnlyWhenLatched) {
  auto* B = AddButton(20, 20);
  int DblClicks = 0, Doubles = 0;
  B->OnDblClick = [&](TObject*) { ++DblClicks; };
  B->OnMouseDown = [&](TObject*, TMouseButton, TShiftState Shift, int, int) { Doubles += (Shift & ssDouble) != 0; };
  ShowInFront();
  MoveOnto(B);
  LeftDown();
  LeftUp();
  LeftDown();
  LeftUp();
  ASSERT_TRUE(PumpUntil([&] { return Clicked.size() == 2; }));
  EXPECT_GE(Doubles, 1) << "no double click arrived";
  EXPECT_EQ(DblClicks, 0);

  B->SetGroupIndex(1);
  B->SetDown(true);
  PumpFor(600);  // out of the double-click time, so the next pair starts afresh
  Doubles = 0;
  LeftDown();
  LeftUp();
  LeftDown();
  LeftUp();
  ASSERT_TRUE(PumpUntil([&] { return Clicked.size() == 4; }));
  EXPECT_GE(Doubles, 1);
  EXPECT_EQ(DblClicks, Doubles);
  EXPECT_TRUE(B->Down());
}

TEST_F(FlatButtonInput, ClickSetsTheFormsModalResult) {
  auto* B = AddButton(20, 20);
  B->SetModalResult(1);
  ShowInFront();
  ClickOn(B);
  EXPECT_EQ(Form->ModalResult(), 1);
  B->SetModalResult(0);
  Form->SetModalResult(7);
  ClickOn(B);
  EXPECT_EQ(Form->ModalResult(), 0) << "0 is set as well";
}

TEST_F(FlatButtonInput, AHandlerMayDestroyItsOwnButtonWhichTouchesItselfNoMore) {
  ShowInFront();
  for (const std::string Event : {"OnMouseMove", "OnMouseDown", "OnMouseUp", "OnClick", "space"}) {
    MoveTo(RootPoint);
    auto* B = AddButton<TKeptAfterFree<TFlatButton>>(20, 20, Event);
    bool Gone = false;
    // The handler lives in the button: nothing of it is used after the delete.
    auto Destroy = [&Gone, B] {
      Gone = true;
      delete B;
    };
    if (Event == "OnMouseMove")
      B->OnMouseMove = [Destroy](TObject*, TShiftState, int, int) { Destroy(); };
    else if (Event == "OnMouseDown")
      B->OnMouseDown = [Destroy](TObject*, TMouseButton, TShiftState, int, int) { Destroy(); };
    else if (Event == "OnMouseUp")
      B->OnMouseUp = [Destroy](TObject*, TMouseButton, TShiftState, int, int) { Destroy(); };
    else
      B->OnClick = [Destroy](TObject*) { Destroy(); };
    Application->ProcessMessages();
    MoveOnto(B);
    if (Event == "space") {
      B->SetFocus();
      PressKey(VK_SPACE);
    } else {
      LeftDown();
      LeftUp();
    }
    ASSERT_TRUE(PumpUntil([&] { return Gone; })) << Event;
    PumpFor(250);  // the hover timer and the enter and leave work have their turns
    EXPECT_EQ(UseAfterFree(), "") << Event;
    EXPECT_EQ(Form->ControlCount(), 0) << Event;
    EXPECT_EQ(Form->ActiveControl(), nullptr) << Event << ": the form still names the button it had focused";
    EXPECT_EQ(Application->MouseControl(), Form) << Event;
  }
}

TEST_F(FlatButtonInput, ALeaveHandlerMayDestroyTheButtonThePointerEnters) {
  auto* A = AddButton(20, 20, "A");
  auto* B = AddButton<TKeptAfterFree<TFlatButton>>(45, 20, "B");
  bool Gone = false;
  A->SetOnMouseLeave([&Gone, B](TObject*) {
    Gone = true;
    delete B;
  });
  ShowInFront();
  MoveTo(A, 22, 12);
  ASSERT_TRUE(PumpUntil([&] { return Application->MouseControl() == A; }));
  MoveTo(B, 2, 12);
  ASSERT_TRUE(PumpUntil([&] { return Gone; }));
  PumpFor(250);
  EXPECT_EQ(UseAfterFree(), "");
  EXPECT_EQ(Application->MouseControl(), Form);
}

}  // namespace
