// Controls in real windows: paint order, colour and font following the
// parent, notifications, keyboard focus and tab order, ownership.
#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <climits>
#include <initializer_list>
#include <string>
#include <vector>

#include "Controls.h"
#include "ControlsTestSupport.h"
#include "Forms.h"
#include "SysUtils.h"

using namespace CtlTest;

namespace {

using FrameworkControls = FormFixture;

TEST_F(FrameworkControls, PaintOrderAndColoursFollowTheControlsAndTheirParent) {
  {
    SCOPED_TRACE("paint order");
    auto* Form = NewForm();
    // The windowed one comes first, yet covers the others.
    auto* Yellow = AddControl<TProbeCustom>(Form, "Yellow", 90, 90, 40, 40);
    Yellow->Fill = clYellow;
    auto* Red = AddControl<TProbeGraphic>(Form, "Red", 20, 20, 100, 100);
    Red->Fill = clRed;
    auto* Green = AddControl<TProbeGraphic>(Form, "Green", 60, 60, 100, 100);
    Green->Fill = clLime;
    auto* Blue = AddControl<TProbeGraphic>(Form, "Blue", 100, 100, 100, 100);
    Blue->Fill = clBlue;
    auto* Spill = AddControl<TProbeGraphic>(Form, "Spill", 250, 20, 40, 40);
    Spill->Fill = clFuchsia;
    Spill->Spill = true;
    // Paints off-screen and reaches its window in one copy.
    auto* Buffered = AddControl<TProbeCustom>(Form, "Buffered", 200, 20, 30, 30);
    Buffered->Fill = clAqua;
    Buffered->SetDoubleBuffered(true);
    ShowInFront(Form);
    HWND Window = Form->Handle();
    ASSERT_TRUE(PumpUntil([&] { return ClientPixel(Window, 170, 170) == RGB(0, 0, 255); })) << "not painted";
    ASSERT_TRUE(PumpUntil([&] { return ClientPixel(Window, 229, 49) == RGB(0, 255, 255); })) << "not painted";
    EXPECT_EQ(Buffered->PaintedOn, static_cast<DWORD>(OBJ_MEMDC));
    EXPECT_EQ(Yellow->PaintedOn, static_cast<DWORD>(OBJ_DC));
    for (POINT Outside : {POINT{199, 35}, POINT{230, 35}, POINT{215, 19}, POINT{215, 50}})
      EXPECT_EQ(ClientPixel(Window, Outside.x, Outside.y), ColorToRGB(clBtnFace)) << Outside.x << "," << Outside.y;
    struct Probe {
      int X, Y;
      COLORREF Expected;
      const char* Where;
    } const Probes[] = {
        {30, 30, RGB(255, 0, 0), "red alone"},
        {65, 65, RGB(0, 255, 0), "green over red"},
        {140, 70, RGB(0, 255, 0), "green alone"},
        {105, 140, RGB(0, 0, 255), "blue over green"},
        {110, 95, RGB(255, 255, 0), "yellow over red and green"},
        {125, 125, RGB(255, 255, 0), "yellow over green and blue"},
        {170, 170, RGB(0, 0, 255), "blue alone"},
        {5, 5, ColorToRGB(clBtnFace), "the form"},
        {250, 20, RGB(255, 0, 255), "the top left corner of a control painting beyond its bounds"},
        {289, 59, RGB(255, 0, 255), "its bottom right corner"},
        {249, 40, ColorToRGB(clBtnFace), "left of it"},
        {290, 40, ColorToRGB(clBtnFace), "right of it"},
        {270, 19, ColorToRGB(clBtnFace), "above it"},
        {270, 60, ColorToRGB(clBtnFace), "below it"},
    };
    for (const auto& P : Probes)
      EXPECT_EQ(ClientPixel(Window, P.X, P.Y), P.Expected) << P.Where << " at " << P.X << "," << P.Y;
    // Painted again, a windowless control stays under the windowed one.
    Red->Fill = clBlack;
    Red->Repaint();
    EXPECT_EQ(ClientPixel(Window, 30, 30), RGB(0, 0, 0));
    EXPECT_EQ(ClientPixel(Window, 95, 95), RGB(255, 255, 0));
  }
  {
    SCOPED_TRACE("colour");
    auto* Form = NewForm();
    auto* G = AddControl<TProbeGraphic>(Form, "G", 10, 10, 50, 50);
    auto* W = AddControl<TProbeWin>(Form, "W", 70, 10, 50, 50);
    auto* OwnG = AddControl<TProbeGraphic>(Form, "OwnG", 130, 10, 50, 50);
    auto* OwnW = AddControl<TProbeWin>(Form, "OwnW", 190, 10, 50, 50);
    auto* Box = AddControl<TProbeWin>(Form, "Box", 10, 100, 100, 100);
    auto* Inner = AddControl<TProbeGraphic>(Box, "Inner", 10, 10, 40, 40);
    OwnG->SetColor(clBlue);
    OwnW->SetColor(clLime);
    // Writing a colour gives up the parent's.
    EXPECT_FALSE(OwnG->ParentColor());
    EXPECT_FALSE(OwnW->ParentColor());
    EXPECT_TRUE(G->ParentColor());
    EXPECT_TRUE(W->ParentColor());
    EXPECT_EQ(G->Color(), Form->Color());
    EXPECT_EQ(W->Color(), Form->Color());
    ShowInFront(Form);

    Form->SetColor(clRed);
    EXPECT_EQ(G->Color(), clRed);
    EXPECT_EQ(W->Color(), clRed);
    EXPECT_EQ(OwnG->Color(), clBlue);
    EXPECT_EQ(OwnW->Color(), clLime);
    EXPECT_TRUE(G->ParentColor());
    EXPECT_TRUE(W->ParentColor());
    // Through a windowed child that follows, on to its own children.
    EXPECT_EQ(Box->Color(), clRed);
    EXPECT_EQ(Inner->Color(), clRed);
    HWND Window = Form->Handle();
    EXPECT_TRUE(PumpUntil([&] {
      return ClientPixel(Window, 35, 35) == RGB(255, 0, 0) && ClientPixel(Window, 95, 35) == RGB(255, 0, 0) &&
             ClientPixel(Window, 5, 5) == RGB(255, 0, 0);
    })) << "the new colour was not painted";
    EXPECT_EQ(ClientPixel(Window, 155, 35), RGB(0, 0, 255));
    EXPECT_EQ(ClientPixel(Window, 215, 35), RGB(0, 255, 0));

    // Taking the parent's colour again is immediate, and it follows from then on.
    OwnG->SetParentColor(true);
    OwnW->SetParentColor(true);
    EXPECT_EQ(OwnG->Color(), clRed);
    EXPECT_EQ(OwnW->Color(), clRed);
    Form->SetColor(clNavy);
    EXPECT_EQ(OwnG->Color(), clNavy);
    EXPECT_EQ(OwnW->Color(), clNavy);
  }
  {
    SCOPED_TRACE("font");
    auto* Form = NewForm();
    auto* G = AddControl<TProbeGraphic>(Form, "G", 10, 10, 50, 50);
    auto* W = AddControl<TProbeCustom>(Form, "W", 70, 10, 50, 50);
    auto* OwnG = AddControl<TProbeGraphic>(Form, "OwnG", 130, 10, 50, 50);
    OwnG->Font().SetName("Courier New");
    EXPECT_FALSE(OwnG->ParentFont());
    ShowInFront(Form);
    const int GBefore = G->CountOf(CM_FONTCHANGED), WBefore = W->CountOf(CM_FONTCHANGED),
              OwnBefore = OwnG->CountOf(CM_FONTCHANGED);

    Form->Font().SetHeight(-20);
    EXPECT_EQ(G->Font().Height(), -20);
    EXPECT_EQ(W->Font().Height(), -20);
    EXPECT_EQ(OwnG->Font().Height(), -11);
    EXPECT_EQ(G->CountOf(CM_FONTCHANGED), GBefore + 1);
    EXPECT_EQ(W->CountOf(CM_FONTCHANGED), WBefore + 1);

    Form->Font().SetStyle(fsBold);
    EXPECT_EQ(G->Font().Style(), unsigned(fsBold));
    EXPECT_EQ(W->Font().Style(), unsigned(fsBold));
    EXPECT_EQ(G->Font().Name(), Form->Font().Name());
    EXPECT_EQ(G->CountOf(CM_FONTCHANGED), GBefore + 2);
    EXPECT_EQ(W->CountOf(CM_FONTCHANGED), WBefore + 2);
    // Following the parent does not make the font the child's own.
    EXPECT_TRUE(G->ParentFont());
    EXPECT_TRUE(W->ParentFont());
    EXPECT_EQ(OwnG->CountOf(CM_FONTCHANGED), OwnBefore);
    EXPECT_EQ(OwnG->Font().Name(), "Courier New");

    OwnG->SetParentFont(true);
    EXPECT_TRUE(OwnG->Font() == Form->Font());
    EXPECT_EQ(OwnG->CountOf(CM_FONTCHANGED), OwnBefore + 1);
  }
}

TEST_F(FrameworkControls, ChangesReachTheControlsAsNotifications) {
  auto* Form = NewForm();
  auto* G = AddControl<TProbeGraphic>(Form, "G", 10, 10, 50, 50);
  auto* W = AddControl<TProbeCustom>(Form, "W", 70, 10, 50, 50);
  auto* Box = AddControl<TProbeWin>(Form, "Box", 130, 10, 150, 100);
  auto* Inner = AddControl<TProbeGraphic>(Box, "Inner", 10, 10, 40, 40);
  auto* InnerW = AddControl<TProbeCustom>(Box, "InnerW", 60, 10, 40, 40);
  auto* Claimer = AddControl<TProbeGraphic>(Form, "Claimer", 10, 150, 50, 50);
  auto* After = AddControl<TProbeGraphic>(Form, "After", 70, 150, 50, 50);
  Claimer->ClaimDialogChar = true;
  ShowInFront(Form);
  {
    SCOPED_TRACE("Enabled");
    ASSERT_TRUE(IsWindowEnabled(W->Handle()));
    G->SetEnabled(false);
    W->SetEnabled(false);
    EXPECT_EQ(G->CountOf(CM_ENABLEDCHANGED), 1);
    EXPECT_EQ(W->CountOf(CM_ENABLEDCHANGED), 1);
    EXPECT_FALSE(IsWindowEnabled(W->Handle()));
    G->SetEnabled(true);
    W->SetEnabled(true);
    EXPECT_EQ(G->CountOf(CM_ENABLEDCHANGED), 2);
    EXPECT_EQ(W->CountOf(CM_ENABLEDCHANGED), 2);
    EXPECT_TRUE(IsWindowEnabled(W->Handle()));
  }
  {
    SCOPED_TRACE("Text");
    // Naming them already set their text once.
    const int GText = G->CountOf(CM_TEXTCHANGED), WText = W->CountOf(CM_TEXTCHANGED);
    G->SetText("Label");
    W->SetText("Window");
    EXPECT_EQ(G->CountOf(CM_TEXTCHANGED), GText + 1);
    EXPECT_EQ(W->CountOf(CM_TEXTCHANGED), WText + 1);
    char Text[32] = {};
    GetWindowTextA(W->Handle(), Text, sizeof Text);
    EXPECT_STREQ(Text, "Window");
    // The same text again is no change.
    G->SetText("Label");
    W->SetText("Window");
    EXPECT_EQ(G->CountOf(CM_TEXTCHANGED), GText + 1);
    EXPECT_EQ(W->CountOf(CM_TEXTCHANGED), WText + 1);
  }
  {
    SCOPED_TRACE("WM_SYSCOLORCHANGE");
    SendMessageA(Form->Handle(), WM_SYSCOLORCHANGE, 0, 0);
    for (auto* C : std::initializer_list<TControl*>{G, W, Box, Inner, InnerW, Claimer, After}) {
      int Count = -1;
      if (auto* P = dynamic_cast<TProbeGraphic*>(C))
        Count = P->CountOf(CM_SYSCOLORCHANGE);
      else if (auto* P = dynamic_cast<TProbeCustom*>(C))
        Count = P->CountOf(CM_SYSCOLORCHANGE);
      else if (auto* P = dynamic_cast<TProbeWin*>(C))
        Count = P->CountOf(CM_SYSCOLORCHANGE);
      EXPECT_EQ(Count, 1) << C->Name();
    }
  }
  {
    SCOPED_TRACE("Alt+K typed");
    ASSERT_TRUE(BringToFront(Form->Handle()));
    Key(VK_MENU, false);
    PressKey('K');
    Key(VK_MENU, true);
    ASSERT_TRUE(PumpUntil([&] { return !Claimer->DialogChars.empty(); })) << "no CM_DIALOGCHAR came";
    PumpFor(100);
    auto IsK = [](const std::vector<WPARAM>& Chars) {
      return Chars.size() == 1 && std::tolower(static_cast<int>(Chars[0])) == 'k';
    };
    EXPECT_TRUE(IsK(G->DialogChars));
    EXPECT_TRUE(IsK(W->DialogChars));
    EXPECT_TRUE(IsK(Box->DialogChars));
    EXPECT_TRUE(IsK(Inner->DialogChars)) << "a windowed control passes it on to its own controls";
    EXPECT_TRUE(IsK(InnerW->DialogChars));
    EXPECT_TRUE(IsK(Claimer->DialogChars));
    EXPECT_TRUE(After->DialogChars.empty()) << "the broadcast went on after a control claimed it";
  }
}

TEST_F(FrameworkControls, TabAndShiftTabMoveTheFocusInTabOrder) {
  auto* Form = NewForm();
  auto Add = [&](const char* Name, int Left) {
    auto* C = AddControl<TProbeCustom>(Form, Name, Left, 10, 50, 50);
    C->SetTabStop(true);
    return C;
  };
  auto* C1 = Add("C1", 10);
  auto* C2 = Add("C2", 70);
  auto* C3 = Add("C3", 130);
  auto* Disabled = Add("Disabled", 190);
  auto* NoStop = Add("NoStop", 250);
  Disabled->SetEnabled(false);
  NoStop->SetTabStop(false);
  C3->SetTabOrder(0);
  Disabled->SetTabOrder(1);
  C1->SetTabOrder(2);
  NoStop->SetTabOrder(3);
  EXPECT_EQ(C2->TabOrder(), 4);
  std::vector<TWinControl*> List;
  Form->GetTabOrderList(List);
  EXPECT_EQ(List, (std::vector<TWinControl*>{C3, Disabled, C1, NoStop, C2}));

  auto FocusIs = [](TWinControl* Expected) {
    return PumpUntil([&] { return GetFocus() == Expected->Handle(); }, 1000);
  };
  ShowInFront(Form);
  // Activation focuses the first control in tab order.
  ASSERT_TRUE(FocusIs(C3));
  EXPECT_EQ(Screen->ActiveControl(), C3);
  EXPECT_EQ(Form->ActiveControl(), C3);
  for (auto* Expected : {C1, C2, C3}) {
    PressKey(VK_TAB);
    ASSERT_TRUE(FocusIs(Expected)) << "Tab should reach " << Expected->Name();
    EXPECT_EQ(Screen->ActiveControl(), Expected);
    EXPECT_EQ(Form->ActiveControl(), Expected);
    EXPECT_TRUE(Expected->Focused());
  }
  for (auto* Expected : {C2, C1, C3}) {
    Key(VK_SHIFT, false);
    PressKey(VK_TAB);
    Key(VK_SHIFT, true);
    ASSERT_TRUE(FocusIs(Expected)) << "Shift+Tab should reach " << Expected->Name();
    EXPECT_EQ(Screen->ActiveControl(), Expected);
    EXPECT_EQ(Form->ActiveControl(), Expected);
  }
  EXPECT_EQ(Disabled->CountOf(WM_SETFOCUS), 0);
  EXPECT_EQ(NoStop->CountOf(WM_SETFOCUS), 0);

  Form->SetActiveControl(C2);
  EXPECT_TRUE(FocusIs(C2));
  EXPECT_EQ(Form->ActiveControl(), C2);
  EXPECT_EQ(Screen->ActiveControl(), C2);
  // A control without a tab stop can still be made active, and Tab goes on from it.
  Form->SetActiveControl(NoStop);
  EXPECT_TRUE(FocusIs(NoStop));
  EXPECT_EQ(Screen->ActiveControl(), NoStop);
  PressKey(VK_TAB);
  EXPECT_TRUE(FocusIs(C2));
}

TEST_F(FrameworkControls, KeyPreviewShowsTheFormEachKeyBeforeTheControlWithTheFocus) {
  auto* Form = NewForm();
  auto* Field = AddControl<TProbeCustom>(Form, "Field", 10, 10, 50, 50);
  Field->SetTabStop(true);
  std::vector<std::string> Heard;
  auto Hear = [&](const char* What, unsigned short& Key) {
    Heard.push_back(What + std::to_string(Key));
    if (Key == VK_RETURN)
      Key = 0;
  };
  Form->OnKeyDown = [&](TObject* Sender, unsigned short& Key) {
    EXPECT_EQ(Sender, Form);
    Hear("down ", Key);
  };
  Form->OnKeyUp = [&](TObject*, unsigned short& Key) { Hear("up ", Key); };
  ShowInFront(Form);
  ASSERT_TRUE(PumpUntil([&] { return GetFocus() == Field->Handle(); }, 1000));
  auto Press = [&](WORD Vk) {
    const int Before = Field->CountOf(WM_KEYUP);
    PressKey(Vk);
    return PumpUntil([&] { return Field->CountOf(WM_KEYUP) > Before || Heard.size() >= 2; }, 1000);
  };
  // Without it the form hears nothing.
  ASSERT_TRUE(Press(VK_RETURN));
  EXPECT_TRUE(Heard.empty());
  EXPECT_EQ(Field->CountOf(WM_KEYDOWN), 1);
  // With it, first; a key the form uses up never reaches the control.
  Form->SetKeyPreview(true);
  ASSERT_TRUE(Press(VK_RETURN));
  EXPECT_EQ(Heard, (std::vector<std::string>{"down 13", "up 13"}));
  EXPECT_EQ(Field->CountOf(WM_KEYDOWN), 1);
  Heard.clear();
  ASSERT_TRUE(Press('A'));
  EXPECT_EQ(Heard, (std::vector<std::string>{"down 65", "up 65"}));
  EXPECT_EQ(Field->CountOf(WM_KEYDOWN), 2) << "a key the form let pass was kept from the control";
}

// Notes its destruction, before what it owns goes.
template <typename Base>
class TNoted : public Base {
 public:
  TNoted(TComponent* Owner, const std::string& Name, std::vector<std::string>& Notes) : Base(Owner), FNotes(Notes) {
    this->SetName(Name);
  }
  ~TNoted() override { FNotes.push_back(this->Name()); }

 private:
  std::vector<std::string>& FNotes;
};

// Stored bounds may lie anywhere in the int range; edges, scroll ranges and
// mouse coordinates worked out from them are held at the ends of their ranges.
TEST_F(FrameworkControls, BoundsAtTheEndsOfTheIntRangeAreHeldThereNotWrapped) {
  auto* Form = NewForm();
  ASSERT_TRUE(Form->AutoScroll());
  auto* Far = AddControl<TProbeGraphic>(Form, "Far", INT_MAX - 10, INT_MAX - 20, 50, 40);
  const RECT Edge = Far->BoundsRect();
  EXPECT_EQ(Edge.right, INT_MAX);
  EXPECT_EQ(Edge.bottom, INT_MAX);
  // From far to the left across the whole client area.
  auto* Wide = AddControl<TProbeGraphic>(Form, "Wide", INT_MIN + 5, 0, INT_MAX, 300);
  EXPECT_EQ(Wide->BoundsRect().right, 4);
  ShowInFront(Form);
  EXPECT_EQ(Form->HorzScrollRange(), INT_MAX);
  EXPECT_EQ(Form->VertScrollRange(), INT_MAX);

  // A press at (2, 10) lies 2^31 - 3 pixels into Wide: more than a mouse message
  // holds, so Wide hears of it at the largest coordinate one does.
  POINT Pressed{-1, -1};
  Wide->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int X, int Y) { Pressed = {X, Y}; };
  Form->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 10));
  Form->Perform(WM_LBUTTONUP, 0, MAKELPARAM(2, 10));
  EXPECT_EQ(Pressed.x, SHRT_MAX);
  EXPECT_EQ(Pressed.y, 10);

  // Client sizes: the control's own frame (none) is worked out without overflow,
  // and a form's frame finds no room beyond the end of the range.
  Wide->SetClientSize(10, 300);
  EXPECT_EQ(Wide->Width(), 10);
  auto* Huge = NewForm();
  Huge->SetClientSize(INT_MAX, INT_MAX);
  EXPECT_EQ(Huge->Width(), INT_MAX);
  EXPECT_EQ(Huge->Height(), INT_MAX);
}

TEST_F(FrameworkControls, OwnersAndParentsDeleteWhatTheyHold) {
  {
    SCOPED_TRACE("an owner deletes what it owns, last created first");
    std::vector<std::string> Notes;
    auto* Owner = new TNoted<TComponent>(nullptr, "Owner", Notes);
    new TNoted<TComponent>(Owner, "One", Notes);
    auto* Two = new TNoted<TComponent>(Owner, "Two", Notes);
    new TNoted<TComponent>(Two, "TwoA", Notes);
    new TNoted<TComponent>(Owner, "Three", Notes);
    EXPECT_EQ(Owner->Components().size(), 3u);
    EXPECT_EQ(Owner->FindComponent("two"), Two);
    delete Two;
    EXPECT_EQ(Owner->Components().size(), 2u);
    EXPECT_EQ(Notes, (std::vector<std::string>{"Two", "TwoA"}));
    Notes.clear();
    new TNoted<TComponent>(Owner, "Four", Notes);
    delete Owner;
    EXPECT_EQ(Notes, (std::vector<std::string>{"Owner", "Four", "Three", "One"}));
  }
  {
    SCOPED_TRACE("deleting a control takes it out of its parent and owner");
    std::vector<std::string> Notes;
    auto* Form = NewForm();
    auto* Kept = new TNoted<TGraphicControl>(Form, "Kept", Notes);
    Kept->SetParent(Form);
    auto* Gone = new TNoted<TGraphicControl>(Form, "Gone", Notes);
    Gone->SetParent(Form);
    auto* Windowed = AddControl<TProbeCustom>(Form, "Windowed", 10, 10, 40, 40);
    ShowInFront(Form);
    HWND Child = Windowed->Handle();
    ASSERT_EQ(Form->ControlCount(), 3);

    delete Gone;
    EXPECT_EQ(Form->Controls(), (std::vector<TControl*>{Kept, Windowed}));
    EXPECT_EQ(Form->FindComponent("Gone"), nullptr);
    delete Windowed;
    EXPECT_EQ(Form->Controls(), (std::vector<TControl*>{Kept}));
    EXPECT_FALSE(IsWindow(Child)) << "a deleted windowed control left its window behind";
    EXPECT_EQ(Form->Components().size(), 1u);
    EXPECT_EQ(Notes, (std::vector<std::string>{"Gone"}));
    // Kept notes into this scope's list: it goes before the list does.
    Forget(Form);
    delete Form;
    EXPECT_EQ(Notes, (std::vector<std::string>{"Gone", "Kept"}));
  }
  {
    SCOPED_TRACE("a form deletes its controls and their windows");
    std::vector<std::string> Notes;
    auto* Form = NewForm();
    auto* First = new TNoted<TGraphicControl>(Form, "First", Notes);
    First->SetParent(Form);
    auto* Windowed = new TNoted<TCustomControl>(Form, "Windowed", Notes);
    Windowed->SetBounds(10, 10, 40, 40);
    Windowed->SetParent(Form);
    auto* Last = new TNoted<TGraphicControl>(Form, "Last", Notes);
    Last->SetParent(Windowed);
    ShowInFront(Form);
    HWND Window = Form->Handle(), Child = Windowed->Handle();
    Forget(Form);
    delete Form;
    EXPECT_EQ(Notes, (std::vector<std::string>{"Windowed", "Last", "First"}));
    EXPECT_FALSE(IsWindow(Child));
    EXPECT_FALSE(IsWindow(Window));
  }
  {
    SCOPED_TRACE("a windowed control without a parent has no window");
    TWinControl Orphan(nullptr);
    Orphan.SetName("Orphan");
    try {
      Orphan.Handle();
      ADD_FAILURE() << "a window was made without a parent";
    } catch (const Exception& E) {
      EXPECT_EQ(E.Message(), "Control 'Orphan' has no parent window");
    }
    EXPECT_FALSE(Orphan.HandleAllocated());
  }
}

}  // namespace
