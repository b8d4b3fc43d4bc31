// Shared by the flat button's tests: real pointer and keyboard input, pixels
// read back from the button's window, and a fixture with a fresh form.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "Forms.h"
#include "RealInput.h"
#include "TFlatButtonUnit.h"

namespace FlatTest {

using namespace WinTest;

inline COLORREF Pixel(TWinControl* Control, int X, int Y) {
  HDC DC = GetDC(Control->Handle());
  const COLORREF Color = GetPixel(DC, X, Y);
  ReleaseDC(Control->Handle(), DC);
  return Color;
}

inline COLORREF RGBOf(TColor Color) { return ColorToRGB(Color); }

inline std::string Hex(COLORREF C) {
  std::ostringstream S;
  S << "RGB(" << int(GetRValue(C)) << "," << int(GetGValue(C)) << "," << int(GetBValue(C)) << ")";
  return S.str();
}

// Pixels expected at points of a control's client area.
struct TPixelRule {
  int X, Y;
  COLORREF Color;
};

// Waits until every rule holds; on time-out names the pixels that differ.
inline ::testing::AssertionResult Shows(TWinControl* Control, const std::vector<TPixelRule>& Rules,
                                        int TimeoutMs = 2000) {
  auto Misses = [&] {
    std::string Text;
    for (const auto& R : Rules)
      if (COLORREF Got = Pixel(Control, R.X, R.Y); Got != R.Color)
        Text +=
            " (" + std::to_string(R.X) + "," + std::to_string(R.Y) + ") is " + Hex(Got) + " not " + Hex(R.Color) + ";";
    return Text;
  };
  if (PumpUntil([&] { return Misses().empty(); }, TimeoutMs))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << Misses();
}

// The border (TopLeft on the left column and top row without their far
// pixels, BottomRight on the right column and bottom row) Width rings deep,
// and the face just inside it and in the middle.
inline std::vector<TPixelRule> LookRules(TControl* C, COLORREF TopLeft, COLORREF BottomRight, COLORREF Face,
                                         int Width = 1) {
  const int W = C->Width(), H = C->Height();
  std::vector<TPixelRule> Rules;
  for (int I = 0; I < Width; ++I) {
    Rules.push_back({I, I, TopLeft});
    Rules.push_back({I, H - 2 - I, TopLeft});
    Rules.push_back({W - 2 - I, I, TopLeft});
    Rules.push_back({W - 1 - I, I, BottomRight});
    Rules.push_back({I, H - 1 - I, BottomRight});
    Rules.push_back({W - 1 - I, H - 1 - I, BottomRight});
  }
  Rules.push_back({Width, Width, Face});
  Rules.push_back({W - 1 - Width, H - 1 - Width, Face});
  Rules.push_back({W / 2, H / 2, Face});
  return Rules;
}

// The default colours of a new button.
inline const COLORREF BorderRGB = RGB(160, 150, 131), FocusedRGB = RGB(235, 234, 225), DownRGB = RGB(217, 214, 197),
                      White = RGB(255, 255, 255), Black = RGB(0, 0, 0);

// A form that counts the focus notifications it gets.
class TCountingForm : public TForm {
 public:
  using TForm::TForm;
  int FocusChanged = 0;
  LPARAM LastFocusParam = 0;
  void Dispatch(TMessage& Message) override {
    if (Message.Msg == CM_FOCUSCHANGED) {
      ++FocusChanged;
      LastFocusParam = Message.LParam;
    }
    TForm::Dispatch(Message);
  }
};

// Each test gets a fresh form near (100, 100) of the screen, the pointer
// parked on the root window and no button or modifier held.
class FlatButtonFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ReleaseInput();
    MoveTo(RootPoint);
    Form = new TCountingForm(nullptr);
    Form->SetName("Form");
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(100, 100, 300, 200);
  }

  void TearDown() override {
    ReleaseInput();
    delete Form;
    Form = nullptr;
    MoveTo(RootPoint);
    Application->ProcessMessages();
  }

  template <typename T = TFlatButton>
  T* AddButton(int Left, int Top, const std::string& Name = "Button") {
    auto* Button = new T(Form);
    Button->SetName(Name);
    Button->SetLeft(Left);
    Button->SetTop(Top);
    Button->SetParent(Form);
    Button->OnClick = [this](TObject* Sender) { Clicked.push_back(static_cast<TControl*>(Sender)->Name()); };
    return Button;
  }

  // Shows the form in the foreground, painted.
  void ShowInFront() {
    Form->Show();
    SetForegroundWindow(Form->Handle());
    ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == Form->Handle(); }))
        << "the form did not come to the foreground";
    Application->ProcessMessages();
  }

  static void ReleaseInput() {
    if (GetAsyncKeyState(VK_LBUTTON) < 0)
      LeftUp();
    for (WORD Vk : {VK_MENU, VK_SHIFT, VK_CONTROL, VK_SPACE})
      if (GetAsyncKeyState(Vk) < 0)
        Key(Vk, true);
  }

  TCountingForm* Form = nullptr;
  std::vector<std::string> Clicked;
};

}  // namespace FlatTest
