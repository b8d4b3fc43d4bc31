// Shared by the real-window tests of the control framework: probe controls
// that record the notifications they get, real mouse and keyboard input, and
// a fixture that gives each test fresh forms and a parked pointer.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Controls.h"
#include "Forms.h"
#include "RealInput.h"

namespace CtlTest {

// Enter and leave notifications as the probes heard them: "A enter", "B leave".
class TEventLog {
 public:
  void Add(std::string Event) { FEvents.push_back(std::move(Event)); }
  std::size_t Size() const { return FEvents.size(); }
  void Clear() { FEvents.clear(); }
  // Everything heard so far, forgotten afterwards.
  std::vector<std::string> Take() { return std::exchange(FEvents, {}); }

 private:
  std::vector<std::string> FEvents;
};

inline TEventLog Log;

// Records what reaches Dispatch, then hands the message on as any handler does.
template <typename Base>
class TProbe : public Base {
 public:
  explicit TProbe(TComponent* Owner) : Base(Owner) {}

  int CountOf(UINT Msg) const {
    auto It = FCounts.find(Msg);
    return It == FCounts.end() ? 0 : It->second;
  }
  // Enter/leave a child passed on to this control: the message and the child.
  std::vector<std::pair<UINT, TControl*>> ChildNotes;
  std::vector<WPARAM> DialogChars;
  // Answers CM_DIALOGCHAR with Result 1, as a control owning the accelerator does.
  bool ClaimDialogChar = false;

  void Dispatch(TMessage& Message) override {
    ++FCounts[Message.Msg];
    if (Message.Msg == CM_MOUSEENTER || Message.Msg == CM_MOUSELEAVE) {
      if (Message.LParam == 0)
        Log.Add(this->Name() + (Message.Msg == CM_MOUSEENTER ? " enter" : " leave"));
      else
        ChildNotes.emplace_back(Message.Msg, reinterpret_cast<TControl*>(Message.LParam));
    }
    if (Message.Msg == CM_DIALOGCHAR)
      DialogChars.push_back(Message.WParam);
    Base::Dispatch(Message);
    if (Message.Msg == CM_DIALOGCHAR && ClaimDialogChar)
      Message.Result = 1;
  }

 private:
  std::map<UINT, int> FCounts;
};

// A windowless probe filled with Fill, or with its own Color when Fill is clNone.
class TProbeGraphic : public TProbe<TGraphicControl> {
 public:
  using TProbe::TProbe;
  TColor Fill = clNone;
  // Paints far beyond its bounds, for the clip to cut.
  bool Spill = false;

 protected:
  void Paint() override {
    Canvas().Brush().SetColor(Fill != clNone ? Fill : Color());
    Canvas().FillRect(Spill ? RECT{-1000, -1000, 2000, 2000} : RECT{0, 0, Width(), Height()});
  }
};

// A windowed probe with a canvas, filled like TProbeGraphic.
class TProbeCustom : public TProbe<TCustomControl> {
 public:
  using TProbe::TProbe;
  TColor Fill = clNone;
  // The kind of context (OBJ_DC, OBJ_MEMDC) the last paint drew on.
  DWORD PaintedOn = 0;

 protected:
  void Paint() override {
    PaintedOn = GetObjectType(Canvas().Handle());
    Canvas().Brush().SetColor(Fill != clNone ? Fill : Color());
    Canvas().FillRect(RECT{0, 0, Width(), Height()});
  }
};

// A bare windowed probe: its window only erases itself with its colour.
using TProbeWin = TProbe<TWinControl>;
using TProbeForm = TProbe<TForm>;

// Makes a control owned and parented by Parent.
template <typename T>
T* AddControl(TWinControl* Parent, const std::string& Name, int Left, int Top, int Width, int Height) {
  auto* Control = new T(Parent);
  Control->SetName(Name);
  Control->SetBounds(Left, Top, Width, Height);
  Control->SetParent(Parent);
  return Control;
}

using namespace WinTest;

// Where the pointer is and who has the input, for failure messages.
inline std::string InputState() {
  POINT P{};
  GetCursorPos(&P);
  HWND Over = WindowFromPoint(P);
  char Class[64] = {};
  GetClassNameA(Over, Class, sizeof Class);
  DWORD Pid = 0;
  GetWindowThreadProcessId(Over, &Pid);
  char Text[256];
  std::snprintf(Text, sizeof Text, "pointer at %ld,%ld over %s window %p (%s), foreground %p, capture %p", P.x, P.y,
                Pid == GetCurrentProcessId() ? "our" : "another program's", static_cast<void*>(Over), Class,
                static_cast<void*>(GetForegroundWindow()), static_cast<void*>(GetCapture()));
  return Text;
}

// Gives each test fresh forms, deleted afterwards, with the pointer parked on
// the root window, no button or modifier held and an empty event log.
class FormFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    MoveTo(RootPoint);
    ASSERT_TRUE(PumpUntil([] { return Application->MouseControl() == nullptr; }))
        << "the pointer is still over a control";
    Log.Clear();
  }

  void TearDown() override {
    ReleaseInput();
    while (!FForms.empty()) {
      delete FForms.back();
      FForms.pop_back();
    }
    Application->ProcessMessages();
    Log.Clear();
  }

  // A form of ClientWidth x ClientHeight with its client area's top left
  // corner near (100, 100) of the screen, deleted after the test.
  template <typename T = TProbeForm>
  T* NewForm(int ClientWidth = 400, int ClientHeight = 300) {
    auto* Form = new T(nullptr);
    FForms.push_back(Form);
    Form->SetName("Form");
    Form->SetLeft(100);
    Form->SetTop(100);
    Form->SetClientSize(ClientWidth, ClientHeight);
    return Form;
  }

  // For a form the test deletes itself.
  void Forget(TCustomForm* Form) { std::erase(FForms, Form); }

  // Shows the form, painted and in the foreground, with no other program's
  // window over it: real input would go there.
  static void ShowInFront(TCustomForm* Form) {
    Form->Show();
    ASSERT_TRUE(BringToFront(Form->Handle())) << "the form did not come to the foreground";
    Application->ProcessMessages();
    const RECT R = Form->ClientRect();
    for (POINT P : {POINT{R.left, R.top}, POINT{R.right - 1, R.top}, POINT{R.left, R.bottom - 1},
                    POINT{R.right - 1, R.bottom - 1}, POINT{R.right / 2, R.bottom / 2}}) {
      HWND Over = WindowFromPoint(Form->ClientToScreen(P));
      DWORD Pid = 0;
      GetWindowThreadProcessId(Over, &Pid);
      if (Pid != GetCurrentProcessId()) {
        char Class[64] = {}, Title[64] = {};
        GetClassNameA(Over, Class, sizeof Class);
        GetWindowTextA(Over, Title, sizeof Title);
        FAIL() << "another program's window (" << Class << " '" << Title << "') covers the form";
      }
    }
  }

  static void ReleaseInput() {
    if (GetAsyncKeyState(VK_LBUTTON) < 0)
      SendMouse(MOUSEEVENTF_LEFTUP);
    if (GetAsyncKeyState(VK_RBUTTON) < 0)
      SendMouse(MOUSEEVENTF_RIGHTUP);
    if (GetAsyncKeyState(VK_MBUTTON) < 0)
      SendMouse(MOUSEEVENTF_MIDDLEUP);
    for (WORD Vk : {VK_MENU, VK_SHIFT, VK_CONTROL})
      if (GetAsyncKeyState(Vk) < 0)
        Key(Vk, true);
  }

 private:
  std::vector<TCustomForm*> FForms;
};

}  // namespace CtlTest
