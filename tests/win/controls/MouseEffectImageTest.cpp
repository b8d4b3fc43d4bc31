#include "MouseEffectImage.h"

#include "../framework/ControlsTestSupport.h"
#include "AccessibleClient.h"
#include "WinTestSupport.h"

using namespace CtlTest;

namespace {

constexpr TColor Red = clRed, Green = clLime, Blue = clBlue, Back = clYellow;

void Fill(TPicture& Picture, int Width, int Height, TColor Color) {
  auto Bitmap = std::make_unique<TBitmap>();
  Bitmap->SetSize(Width, Height);
  Bitmap->Canvas().Brush().SetColor(Color);
  Bitmap->Canvas().FillRect(RECT{0, 0, Width, Height});
  Picture.SetGraphic(std::move(Bitmap));
}

// A form with a capturing background image and the picture button on it.
class MouseEffectImage : public ::testing::Test {
 protected:
  void SetUp() override {
    MoveTo(RootPoint);
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(100, 100, 200, 120);
    Form->SetColor(Back);
    Background = AddControl<TImage>(Form, "Background", 0, 60, 200, 60);
    Button = AddControl<TMouseEffectImage>(Form, "Button", 40, 20, 1, 1);
    Button->OnClick = [this](TObject*) { ++Clicks; };
    TPicture Origin, Over, Down;
    Fill(Origin, 20, 10, Red);
    Fill(Over, 24, 12, Green);
    Fill(Down, 16, 8, Blue);
    Button->SetOverPicture(Over);
    Button->SetDownPicture(Down);
    Button->SetOriginPicture(Origin);
    Form->Show();
    ASSERT_TRUE(BringToFront(Form->Handle()));
    PumpFor(100);
  }
  void TearDown() override {
    LeftUp();
    delete Form;
    MoveTo(RootPoint);
    PumpFor(50);
  }

  // The picture shown: its colour on screen and the control's size.
  bool Shows(TColor Color, int Width, int Height) {
    return PumpUntil([&] {
      return Button->Width() == Width && Button->Height() == Height &&
             ClientPixel(Form->Handle(), Button->Left() + 2, Button->Top() + 2) == ColorToRGB(Color);
    });
  }
  bool ShowsNormal() { return Shows(Red, 20, 10); }
  bool ShowsHover() { return Shows(Green, 24, 12); }
  bool ShowsPressed() { return Shows(Blue, 16, 8); }

  TForm* Form = nullptr;
  TImage* Background = nullptr;
  TMouseEffectImage* Button = nullptr;
  int Clicks = 0;
};

TEST_F(MouseEffectImage, StartsWithEmptyStatePicturesAndAutoSize) {
  TMouseEffectImage Fresh(nullptr);
  EXPECT_TRUE(Fresh.OriginPicture().Empty());
  EXPECT_TRUE(Fresh.OverPicture().Empty());
  EXPECT_TRUE(Fresh.DownPicture().Empty());
  EXPECT_TRUE(Fresh.AutoSize());
  EXPECT_FALSE(Fresh.RevertOnLeave());
}

TEST_F(MouseEffectImage, OnlyTheOriginPictureChangesWhatIsShownAtOnce) {
  EXPECT_TRUE(ShowsNormal());
  TPicture Other;
  Fill(Other, 30, 30, clFuchsia);
  Button->SetOverPicture(Other);
  Button->SetDownPicture(Other);
  EXPECT_TRUE(ShowsNormal());
  // The state pictures are copies: changing the source later changes nothing.
  Fill(Other, 5, 5, clAqua);
  EXPECT_EQ(Button->OverPicture().Width(), 30);
  Button->SetOriginPicture(Other);
  EXPECT_TRUE(Shows(clAqua, 5, 5));
}

TEST_F(MouseEffectImage, HoverAndLeaveSwitchPicturesAndSizes) {
  MoveOnto(Button);
  EXPECT_TRUE(ShowsHover());
  EXPECT_EQ(Button->Left(), 40);  // the top-left corner stays
  MoveTo(RootPoint);
  EXPECT_TRUE(ShowsNormal());
  EXPECT_EQ(Clicks, 0);
}

// State changes told to screen readers: the window, object and child, and the
// child's state as a reader asking at once finds it.
struct TStateEvent {
  HWND Window;
  LONG Object, Child, State;
  bool operator==(const TStateEvent&) const = default;
};
std::vector<TStateEvent> StateEvents;

void CALLBACK NoteStateChange(HWINEVENTHOOK, DWORD, HWND Window, LONG Object, LONG Child, DWORD, DWORD) {
  WinTest::TAccessible Client = WinTest::ObjectOf(Window, Object);
  StateEvents.push_back({Window, Object, Child, Client ? WinTest::StateOf(Client.Get(), Child) : -1});
}

TEST_F(MouseEffectImage, HoverChangesAreToldToScreenReaders) {
  HWINEVENTHOOK Hook = SetWinEventHook(EVENT_OBJECT_STATECHANGE, EVENT_OBJECT_STATECHANGE, nullptr, NoteStateChange,
                                       GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(Hook, nullptr);
  StateEvents.clear();
  MoveOnto(Button);
  EXPECT_TRUE(ShowsHover());
  const TStateEvent Entered{Form->Handle(), OBJID_CLIENT, 1, STATE_SYSTEM_HOTTRACKED};
  EXPECT_TRUE(PumpUntil([&] { return StateEvents.size() == 1; }));
  MoveTo(RootPoint);
  EXPECT_TRUE(ShowsNormal());
  EXPECT_TRUE(PumpUntil([&] { return StateEvents.size() == 2; }));
  // A box that waits disables the form, and its closing enables it again.
  EnableWindow(Form->Handle(), FALSE);
  EXPECT_TRUE(PumpUntil([&] { return StateEvents.size() == 3; }));
  EnableWindow(Form->Handle(), TRUE);
  EXPECT_TRUE(PumpUntil([&] { return StateEvents.size() == 4; }));
  UnhookWinEvent(Hook);
  ASSERT_EQ(StateEvents.size(), 4u);
  EXPECT_EQ(StateEvents[0], Entered);
  EXPECT_EQ(StateEvents[1], (TStateEvent{Form->Handle(), OBJID_CLIENT, 1, 0}));
  EXPECT_EQ(StateEvents[2], (TStateEvent{Form->Handle(), OBJID_CLIENT, 1, STATE_SYSTEM_UNAVAILABLE}));
  EXPECT_EQ(StateEvents[3], (TStateEvent{Form->Handle(), OBJID_CLIENT, 1, 0}));
}

TEST_F(MouseEffectImage, ClickShowsPressedThenNormalAndRunsTheAction) {
  MoveOnto(Button);
  ASSERT_TRUE(ShowsHover());
  LeftDown();
  EXPECT_TRUE(ShowsPressed());
  LeftUp();
  EXPECT_TRUE(PumpUntil([&] { return Clicks == 1; }));
  // The release brings back the normal picture although the pointer is still over it.
  EXPECT_TRUE(ShowsNormal());
}

TEST_F(MouseEffectImage, RevertOnLeaveKeepsThePressedPictureUntilThePointerLeaves) {
  Button->SetRevertOnLeave(true);
  MoveOnto(Button);
  ASSERT_TRUE(ShowsHover());
  LeftClick();
  EXPECT_TRUE(PumpUntil([&] { return Clicks == 1; }));
  EXPECT_TRUE(ShowsPressed());
  MoveTo(RootPoint);
  EXPECT_TRUE(ShowsNormal());
}

TEST_F(MouseEffectImage, PressDragOffAndReleaseRunsNothing) {
  MoveOnto(Button);
  ASSERT_TRUE(ShowsHover());
  LeftDown();
  ASSERT_TRUE(ShowsPressed());
  MoveTo(Form->ClientToScreen({150, 100}));
  EXPECT_TRUE(ShowsNormal()) << "leaving while held shows the normal picture";
  LeftUp();
  PumpFor(200);
  EXPECT_EQ(Clicks, 0);
  EXPECT_TRUE(ShowsNormal());
}

TEST_F(MouseEffectImage, PressDragOffAndBackShowsHoverAndClicks) {
  MoveOnto(Button);
  ASSERT_TRUE(ShowsHover());
  LeftDown();
  ASSERT_TRUE(ShowsPressed());
  MoveTo(Form->ClientToScreen({150, 100}));
  ASSERT_TRUE(ShowsNormal());
  MoveTo(Button, 5, 4);
  EXPECT_TRUE(ShowsHover()) << "back on it shows the hover picture, not the pressed one";
  LeftUp();
  EXPECT_TRUE(PumpUntil([&] { return Clicks == 1; }));
  EXPECT_TRUE(ShowsNormal());
}

TEST_F(MouseEffectImage, APressElsewhereDraggedOntoTheButtonChangesNothing) {
  MoveTo(Background, 150, 30);
  LeftDown();
  PumpFor(100);
  MoveTo(Button, 5, 4);
  PumpFor(200);
  EXPECT_TRUE(ShowsNormal()) << "no hover while another control holds the capture";
  LeftUp();
  PumpFor(200);
  EXPECT_EQ(Clicks, 0);
  EXPECT_TRUE(ShowsNormal()) << "it stays normal while the pointer rests on it";
  MoveTo(RootPoint);
  PumpFor(150);
  MoveOnto(Button);
  EXPECT_TRUE(ShowsHover()) << "leaving and coming back shows the hover picture";
}

TEST_F(MouseEffectImage, RightAndMiddleButtonsChangeNothing) {
  MoveOnto(Button);
  ASSERT_TRUE(ShowsHover());
  for (DWORD Down : {MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_MIDDLEDOWN}) {
    SendMouse(Down);
    SendMouse(Down == MOUSEEVENTF_RIGHTDOWN ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_MIDDLEUP);
    PumpFor(150);
    EXPECT_TRUE(ShowsHover());
  }
  EXPECT_EQ(Clicks, 0);
}

TEST_F(MouseEffectImage, TheSecondPressOfADoubleClickNeverClicks) {
  MoveOnto(Button);
  ASSERT_TRUE(ShowsHover());
  int DblClicks = 0;
  Button->OnDblClick = [&](TObject*) { ++DblClicks; };
  LeftClick();
  LeftClick();
  EXPECT_TRUE(PumpUntil([&] { return DblClicks == 1; }));
  PumpFor(150);
  EXPECT_EQ(Clicks, 1);
  EXPECT_TRUE(ShowsNormal());
}

TEST_F(MouseEffectImage, AnEmptyStatePictureDrawsNothingButKeepsTheSize) {
  TPicture Empty;
  Button->SetOverPicture(Empty);
  MoveOnto(Button);
  EXPECT_TRUE(Shows(Back, 20, 10));
}

TEST_F(MouseEffectImage, AClickHandlerMayDestroyTheButtonWhichTouchesItselfNoMore) {
  for (const std::string Event : {"OnClick", "OnDblClick"}) {
    MoveTo(RootPoint);
    auto* Doomed = AddControl<TKeptAfterFree<TMouseEffectImage>>(Form, Event, 100, 20, 1, 1);
    TPicture Origin;
    Fill(Origin, 20, 10, Red);
    Doomed->SetOriginPicture(Origin);
    bool Gone = false;
    // The handler lives in the button: nothing of it is used after the delete.
    auto Destroy = [&Gone, Doomed](TObject*) {
      Gone = true;
      delete Doomed;
    };
    (Event == "OnClick" ? Doomed->OnClick : Doomed->OnDblClick) = Destroy;
    MoveOnto(Doomed);
    LeftClick();
    if (Event == "OnDblClick")
      LeftClick();
    ASSERT_TRUE(PumpUntil([&] { return Gone; })) << Event;
    PumpFor(150);
    EXPECT_EQ(UseAfterFree(), "") << Event;
    EXPECT_EQ(Form->FindComponent(Event), nullptr) << Event;
    EXPECT_EQ(Application->MouseControl(), Form) << Event;
  }
  EXPECT_EQ(Clicks, 0);
}

}  // namespace
