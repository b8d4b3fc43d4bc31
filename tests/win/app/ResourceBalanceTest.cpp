// The installer window and each flat control, created, shown, hovered,
// pressed, painted and destroyed a thousand times, give back every GDI object
// and kernel handle they took.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "Forms.h"
#include "MainWin.h"
#include "Messages.h"
#include "RealInput.h"
#include "ResourceCount.h"
#include "TFlatButtonUnit.h"
#include "TFlatEditUnit.h"
#include "TFlatProgressBarUnit.h"

using namespace WinTest;

namespace {

constexpr int Cycles = 1000;

// Paints the whole of Control and its children anew.
void Repaint(TWinControl* Control) {
  RedrawWindow(Control->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
  Settle(Control);
}

// A press and release at (X, Y) of Control, through its own message handling.
void Press(TControl* Control, int X, int Y) {
  const LPARAM At = MAKELPARAM(X, Y);
  if (auto* Windowed = dynamic_cast<TWinControl*>(Control)) {
    SendMessageA(Windowed->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At);
    SendMessageA(Windowed->Handle(), WM_LBUTTONUP, 0, At);
  } else {
    Control->Perform(WM_LBUTTONDOWN, MK_LBUTTON, At);
    Control->Perform(WM_LBUTTONUP, 0, At);
  }
}

void Hover(TControl* Control, TWinControl* Form) {
  Control->Perform(CM_MOUSEENTER);
  Repaint(Form);
  Control->Perform(CM_MOUSELEAVE);
}

// The form the flat controls are made on, shown once for all their rounds.
class FlatControlBalance : public ::testing::Test {
 protected:
  void SetUp() override {
    Form = new TForm(nullptr);
    Form->SetBounds(40, 40, 320, 200);
    Form->Show();
    Repaint(Form);
  }
  void TearDown() override { delete Form; }
  TForm* Form = nullptr;
};

void ExpectBalanced(const TUsage& L, const char* What) {
  EXPECT_EQ(L.Gdi, 0) << L.Gdi << " GDI objects more after " << Cycles << " " << What;
  EXPECT_EQ(L.Handles, 0) << L.Handles << " kernel handles more after " << Cycles << " " << What;
}

TEST(ResourceBalance, CountsSeeOneObjectAndOneHandle) {
  // The counts themselves are exact here, or the tests below prove nothing.
  ASSERT_GT(KernelHandlesInUse(), 0);
  const TUsage Before = Usage();
  HBRUSH Brush = CreateSolidBrush(RGB(1, 2, 3));
  HANDLE Event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const TUsage During = Usage();
  DeleteObject(Brush);
  CloseHandle(Event);
  const TUsage After = Usage();
  EXPECT_EQ(During.Gdi - Before.Gdi, 1);
  EXPECT_EQ(During.Handles - Before.Handles, 1);
  EXPECT_EQ(After.Gdi, Before.Gdi);
  EXPECT_EQ(After.Handles, Before.Handles);
}

TEST(ResourceBalance, InstallerWindow) {
  // As the program has it: the application's window owns the form, which is the main form.
  Application->Initialize();
  HWND App = Application->Handle();
  int Clicks = 0;
  const TUsage L = LeftBehind(
      [&](int Round) {
        auto* Form = Application->CreateForm<TInstallerForm>();
        Form->Show();
        Repaint(Form);
        // The taskbar entry activated, and its thumbnail asked for.
        SetActiveWindow(App);
        SendMessageA(App, WM_DWMSENDICONICTHUMBNAIL, 0, MAKELPARAM(120, 200));
        // The picture button: hover and press, which would install; here it counts.
        Form->MouseEffectImage1->OnClick = [&](TObject*) { ++Clicks; };
        Hover(Form->MouseEffectImage1, Form);
        Press(Form->MouseEffectImage1, 3, 3);
        Hover(Form->btnInstall, Form);
        Press(Form->btnInstall, 4, 4);
        Press(Form->btnBrowse, 4, 4);
        Hover(Form->edtDestPath, Form);
        Form->FlatProgressBar1->SetPosition(Round % 100);
        Repaint(Form);
        Form->Hide();
        delete Form;
        Application->ProcessMessages();
      },
      Cycles);
  ExpectBalanced(L, "installer windows");
  EXPECT_EQ(Clicks, Cycles + 3);
}

TEST_F(FlatControlBalance, FlatButton) {
  TBitmap Glyph;
  Glyph.SetSize(32, 16);
  Glyph.Canvas().Brush().SetColor(clRed);
  Glyph.Canvas().FillRect(RECT{0, 0, 16, 16});
  int Clicks = 0;
  const TUsage L = LeftBehind(
      [&](int Round) {
        auto* Button = new TFlatButton(Form);
        TControl* Control = Button;
        Button->SetBounds(10, 10, 90, 25);
        Button->SetParent(Form);
        Button->SetCaption("&Button " + std::to_string(Round));
        Button->SetGlyph(&Glyph);
        Button->SetNumGlyphs(2);
        Button->OnClick = [&](TObject*) { ++Clicks; };
        Repaint(Form);
        Hover(Button, Form);
        Press(Button, 5, 5);
        Button->SetEnabled(false);
        Repaint(Form);
        Button->SetEnabled(true);
        Button->SetFocus();
        Repaint(Form);
        delete Control;
        Application->ProcessMessages();
      },
      Cycles);
  ExpectBalanced(L, "flat buttons");
  EXPECT_EQ(Clicks, Cycles + 3);
}

TEST_F(FlatControlBalance, FlatEdit) {
  const TUsage L = LeftBehind(
      [&](int Round) {
        auto* Edit = new TFlatEdit(Form);
        TControl* Control = Edit;
        Edit->SetBounds(10, 10, 150, 21);
        Edit->SetParent(Form);
        Edit->SetText("C:\\windows\\system32\\" + std::to_string(Round));
        Repaint(Form);
        Hover(Edit, Form);
        Press(Edit, 5, 5);
        Edit->SetFocus();
        Edit->SetColorFlat(Round % 2 ? clWindow : clBtnFace);
        Repaint(Form);
        Edit->SetEnabled(false);
        Repaint(Form);
        delete Control;
        Application->ProcessMessages();
      },
      Cycles);
  ExpectBalanced(L, "flat edits");
}

TEST_F(FlatControlBalance, FlatProgressBar) {
  const TUsage L = LeftBehind(
      [&](int Round) {
        auto* Bar = new TFlatProgressBar(Form);
        TControl* Control = Bar;
        Bar->SetBounds(10, 10, 200, 16);
        Bar->SetParent(Form);
        Bar->SetPosition(Round % 100);
        Repaint(Form);
        Hover(Bar, Form);
        Press(Bar, 5, 5);
        Bar->SetTransparent(Round % 2 == 0);
        Bar->SetPosition(100 - Round % 100);
        Repaint(Form);
        delete Control;
        Application->ProcessMessages();
      },
      Cycles);
  ExpectBalanced(L, "flat progress bars");
}

}  // namespace
