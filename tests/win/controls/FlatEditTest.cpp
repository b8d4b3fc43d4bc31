// The flat edit in real windows: its frame's pixels, its sizes, the colours
// it takes from its parent, the highlight from focus and from the pointer,
// and its properties as a window description sets them.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "ComponentStream.h"
#include "FormReader.h"
#include "Forms.h"
#include "RealInput.h"
#include "StdCtrls.h"
#include "SysUtils.h"
#include "TFlatEditUnit.h"
#include "WinTestSupport.h"

namespace {

using namespace WinTest;

std::string Hex(COLORREF C) {
  std::ostringstream S;
  S << "0x" << std::hex << C;
  return S.str();
}

COLORREF WindowPixel(HWND Window, int X, int Y) {
  HDC DC = GetWindowDC(Window);
  COLORREF C = GetPixel(DC, X, Y);
  ReleaseDC(Window, DC);
  return C;
}

COLORREF ClientPixel(HWND Window, int X, int Y) {
  HDC DC = GetDC(Window);
  COLORREF C = GetPixel(DC, X, Y);
  ReleaseDC(Window, DC);
  return C;
}

// Empty when the edit's window shows a one-pixel outline in Outline, two
// rings and the text area in Interior; else the first pixel that differs.
std::string FrameMismatch(TWinControl* Edit, TColor Outline, TColor Interior, bool WithTextArea = true) {
  HWND W = Edit->Handle();
  RECT R;
  GetWindowRect(W, &R);
  const int Wd = R.right - R.left, Ht = R.bottom - R.top;
  const COLORREF O = ColorToRGB(Outline), I = ColorToRGB(Interior);
  struct TProbe {
    int X, Y;
    COLORREF Want;
  };
  const std::vector<TProbe> Probes{
      {0, 0, O},           {Wd - 1, 0, O},      {0, Ht - 1, O},      {Wd - 1, Ht - 1, O}, {Wd / 2, 0, O},
      {0, Ht / 2, O},      {Wd - 1, Ht / 2, O}, {Wd / 2, Ht - 1, O}, {1, 1, I},           {2, 2, I},
      {Wd - 2, Ht - 2, I}, {Wd - 3, Ht - 3, I}, {Wd / 2, 1, I},      {Wd / 2, 2, I},      {1, Ht / 2, I},
      {2, Ht / 2, I},      {Wd - 2, Ht / 2, I}, {Wd - 3, Ht / 2, I}, {Wd / 2, Ht - 2, I}, {Wd / 2, Ht - 3, I},
  };
  for (const auto& P : Probes) {
    const COLORREF Got = WindowPixel(W, P.X, P.Y);
    if (Got != P.Want)
      return "frame pixel (" + std::to_string(P.X) + ", " + std::to_string(P.Y) + ") is " + Hex(Got) + ", not " +
             Hex(P.Want);
  }
  if (WithTextArea) {
    RECT C;
    GetClientRect(W, &C);
    const COLORREF Got = ClientPixel(W, C.right - 2, C.bottom / 2);
    if (Got != I)
      return "text area shows " + Hex(Got) + ", not " + Hex(I);
  }
  return {};
}

// Pumps until the frame shows the colours; the mismatch left when it never does.
std::string AwaitFrame(TWinControl* Edit, TColor Outline, TColor Interior) {
  std::string Why;
  PumpUntil([&] { return (Why = FrameMismatch(Edit, Outline, Interior)).empty(); }, 1500);
  return Why;
}

// Shows what the flat edit keeps to itself.
class TTestFlatEdit : public TFlatEdit {
 public:
  using TFlatEdit::TFlatEdit;
  bool PointerOver() const { return FPointerOver; }
  bool AutoSizeOn() const { return AutoSize(); }
};

constexpr TColor Outline = RGBColor(10, 20, 30);
constexpr TColor Flat = RGBColor(200, 220, 240);
constexpr TColor Focus = RGBColor(255, 250, 200);

class FlatEdit : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterFlatEdit(TClassRegistry::Instance());
    MoveTo(RootPoint);
    ASSERT_TRUE(PumpUntil([] { return Application->MouseControl() == nullptr; }))
        << "the pointer is still over a control";
  }

  void TearDown() override {
    for (auto It = FForms.rbegin(); It != FForms.rend(); ++It)
      delete *It;
    Application->ProcessMessages();
  }

  TForm* NewForm() {
    auto* Form = new TForm(nullptr);
    FForms.push_back(Form);
    Form->SetName("Form");
    Form->SetBounds(100, 100, Form->Width(), Form->Height());
    Form->SetClientSize(400, 200);
    return Form;
  }

  // For forms built by ReadDescription.
  TForm* Keep(TForm* Form) {
    FForms.push_back(Form);
    return Form;
  }

  template <typename T>
  static T* Add(TWinControl* Parent, const std::string& Name, int Left, int Top) {
    auto* Control = new T(Parent);
    Control->SetName(Name);
    Control->SetParent(Parent);
    Control->SetBounds(Left, Top, Control->Width(), Control->Height());
    return Control;
  }

  // A flat edit in the test's colours, on Parent.
  static TTestFlatEdit* AddFlat(TWinControl* Parent, const std::string& Name, int Left, int Top) {
    auto* Edit = Add<TTestFlatEdit>(Parent, Name, Left, Top);
    Edit->SetColorBorder(Outline);
    Edit->SetColorFlat(Flat);
    Edit->SetColorFocused(Focus);
    return Edit;
  }

  static void ShowInFront(TCustomForm* Form) {
    Form->Show();
    SetForegroundWindow(Form->Handle());
    ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == Form->Handle(); }))
        << "the form did not come to the foreground";
    Application->ProcessMessages();
  }

  // Gives the keyboard focus to a plain edit, so that no flat edit has it.
  static void FocusElsewhere(TForm* Form) {
    auto* Taker = Add<TEdit>(Form, "Taker", 20, 150);
    Taker->SetFocus();
    ASSERT_TRUE(PumpUntil([&] { return Taker->Focused(); })) << "the plain edit did not take the focus";
  }

  // Moves the pointer onto Control and waits until the framework has seen it.
  static void PointerOnto(TControl* Control) {
    MoveTo(Control->ClientToScreen({Control->ClientWidth() / 2, Control->ClientHeight() / 2}));
    ASSERT_TRUE(PumpUntil([&] { return Application->MouseControl() == Control; }))
        << "the pointer did not reach " << Control->Name();
  }

 private:
  std::vector<TForm*> FForms;
};

// A plain property entry of a description.
TStreamProperty Prop(const std::string& Name, TStreamValue Value) { return {Name, std::move(Value)}; }

TStreamObject FormDescription(std::vector<TStreamProperty> FormProps, std::vector<TStreamProperty> EditProps) {
  TStreamObject Edit;
  Edit.ClassName = "TFlatEdit";
  Edit.Name = "edtDestPath";
  Edit.Properties = std::move(EditProps);
  TStreamObject Root;
  Root.ClassName = "TForm";
  Root.Name = "Form";
  Root.Properties = {Prop("Left", TStreamValue::Integer(100)), Prop("Top", TStreamValue::Integer(100)),
                     Prop("ClientWidth", TStreamValue::Integer(400)), Prop("ClientHeight", TStreamValue::Integer(200))};
  for (auto& P : FormProps)
    Root.Properties.push_back(std::move(P));
  Root.Children.push_back(std::move(Edit));
  return Root;
}

// The installer window's field as its description stores it, placed at 20, 20.
std::vector<TStreamProperty> FieldProps(std::vector<TStreamProperty> More = {}) {
  std::vector<TStreamProperty> Props{Prop("Left", TStreamValue::Integer(20)), Prop("Top", TStreamValue::Integer(20)),
                                     Prop("Width", TStreamValue::Integer(150)),
                                     Prop("Height", TStreamValue::Integer(40))};
  for (auto& P : More)
    Props.push_back(std::move(P));
  return Props;
}

int CharHeight(TFont& Font) {
  HDC DC = GetDC(nullptr);
  HGDIOBJ Old = SelectObject(DC, Font.Handle());
  TEXTMETRICA M{};
  GetTextMetricsA(DC, &M);
  SelectObject(DC, Old);
  ReleaseDC(nullptr, DC);
  return M.tmHeight;
}

// ---------------------------------------------------------------- construction and sizes

TEST_F(FlatEdit, ConstructionGivesTheInitialValuesAndDrawsNothing) {
  TTestFlatEdit Edit(nullptr);
  EXPECT_EQ(Edit.ColorFocused(), 0xFFFFFF);
  EXPECT_EQ(Edit.ColorBorder(), 0x8396A0);
  EXPECT_EQ(Edit.ColorFlat(), 0xE1EAEB);
  EXPECT_TRUE(Edit.ParentColor());
  EXPECT_FALSE(Edit.UseAdvColors());
  EXPECT_EQ(Edit.AdvColorFocused(), 10);
  EXPECT_EQ(Edit.AdvColorBorder(), 50);
  EXPECT_FALSE(Edit.PointerOver());
  EXPECT_TRUE(Edit.ParentFont());
  EXPECT_FALSE(Edit.AutoSizeOn());
  EXPECT_FALSE(Edit.Ctl3D());
  EXPECT_EQ(Edit.BorderStyle(), bsNone);
  EXPECT_EQ(Edit.Left(), 0);
  EXPECT_EQ(Edit.Top(), 0);
  EXPECT_EQ(Edit.Width(), 121);
  EXPECT_EQ(Edit.Height(), 19);
  EXPECT_FALSE(Edit.HandleAllocated()) << "construction must not make a window";
}

TEST_F(FlatEdit, OnAFormTheWindowIs121By19AndTheTextArea6SmallerEachWay) {
  auto* Form = NewForm();
  auto* Edit = Add<TTestFlatEdit>(Form, "Edit", 20, 20);
  ShowInFront(Form);
  RECT W, C;
  GetWindowRect(Edit->Handle(), &W);
  GetClientRect(Edit->Handle(), &C);
  EXPECT_EQ(W.right - W.left, 121);
  EXPECT_EQ(W.bottom - W.top, 19);
  EXPECT_EQ(C.right, 115);
  EXPECT_EQ(C.bottom, 13);
  // The text area starts 3 pixels in.
  POINT Origin{0, 0};
  ClientToScreen(Edit->Handle(), &Origin);
  EXPECT_EQ(Origin.x - W.left, 3);
  EXPECT_EQ(Origin.y - W.top, 3);
  // No native border of its own.
  EXPECT_FALSE(GetWindowLongA(Edit->Handle(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  EXPECT_FALSE(GetWindowLongA(Edit->Handle(), GWL_STYLE) & WS_BORDER);
}

TEST_F(FlatEdit, ResizedTheTextAreaStays6SmallerEachWay) {
  auto* Form = NewForm();
  auto* Edit = Add<TTestFlatEdit>(Form, "Edit", 20, 20);
  Edit->SetBounds(20, 20, 200, 31);
  RECT C;
  GetClientRect(Edit->Handle(), &C);
  EXPECT_EQ(C.right, 194);
  EXPECT_EQ(C.bottom, 25);
  EXPECT_EQ(Edit->ClientWidth(), 194);
}

TEST_F(FlatEdit, LoadedFromADescriptionItsHeightIsTheFontsCharacterHeightPlus6) {
  auto* Form = Keep(new TForm(nullptr));
  ReadDescription(*Form, FormDescription({}, FieldProps()));
  auto* Edit = dynamic_cast<TFlatEdit*>(Form->FindComponent("edtDestPath"));
  ASSERT_NE(Edit, nullptr);
  const int Expected = CharHeight(Edit->Font()) + 6;
  EXPECT_EQ(Edit->Height(), Expected) << "the stored height of 40 must give way to the font's";
  EXPECT_EQ(Edit->Width(), 150);
  RECT W, C;
  GetWindowRect(Edit->Handle(), &W);
  GetClientRect(Edit->Handle(), &C);
  EXPECT_EQ(W.bottom - W.top, Expected);
  EXPECT_EQ(C.right, 150 - 6);
  EXPECT_EQ(C.bottom, Expected - 6);
}

TEST_F(FlatEdit, LoadedWithABigFontTheHeightFollowsThatFont) {
  auto* Form = Keep(new TForm(nullptr));
  // A scalable face: the bitmap MS Sans Serif stops growing at 24 points.
  ReadDescription(*Form, FormDescription({}, FieldProps({Prop("Font.Name", TStreamValue::String("Tahoma")),
                                                         Prop("Font.Height", TStreamValue::Integer(-27))})));
  auto* Edit = dynamic_cast<TFlatEdit*>(Form->FindComponent("edtDestPath"));
  ASSERT_NE(Edit, nullptr);
  const int Expected = CharHeight(Edit->Font()) + 6;
  EXPECT_GT(Expected, 19 + 10);
  EXPECT_EQ(Edit->Height(), Expected);
  RECT C;
  GetClientRect(Edit->Handle(), &C);
  EXPECT_EQ(C.bottom, Expected - 6);
}

TEST_F(FlatEdit, AFontChangeRefitsTheHeight) {
  TTestFlatEdit Edit(nullptr);
  Edit.Font().SetName("Tahoma");  // scalable, unlike the bitmap MS Sans Serif
  Edit.Font().SetHeight(-30);
  const int Expected = CharHeight(Edit.Font()) + 6;
  EXPECT_GT(Expected, 30);
  EXPECT_EQ(Edit.Height(), Expected);
  EXPECT_EQ(Edit.Width(), 121);
}

TEST_F(FlatEdit, InAFormDesignerLoadingKeepsTheStoredHeight) {
  TTestFlatEdit Edit(nullptr);
  Edit.SetDesigning(true);
  Edit.BeginLoading();
  Edit.SetHeight(40);
  Edit.Font().SetHeight(-30);
  EXPECT_EQ(Edit.Height(), 40) << "a font read in a designer must not fit the height";
  Edit.Loaded();
  EXPECT_EQ(Edit.Height(), 40) << "Loaded in a designer must not fit the height";
  // Once loaded, a font change fits it even in the designer.
  Edit.Font().SetHeight(-31);
  EXPECT_EQ(Edit.Height(), CharHeight(Edit.Font()) + 6);
}

// ---------------------------------------------------------------- the frame on screen

// A form whose focus rests on a plain edit, with a flat edit beside it.
class FlatEditOnForm : public FlatEdit {
 protected:
  void SetUp() override {
    FlatEdit::SetUp();
    Form = NewForm();
    Other = Add<TEdit>(Form, "Other", 20, 150);
    A = AddFlat(Form, "A", 20, 20);
    B = AddFlat(Form, "B", 200, 20);
    ShowInFront(Form);
    ASSERT_TRUE(PumpUntil([&] { return Other->Focused(); })) << "the plain edit did not take the focus";
  }

  TForm* Form = nullptr;
  TEdit* Other = nullptr;
  TTestFlatEdit *A = nullptr, *B = nullptr;
};

TEST_F(FlatEditOnForm, TheNormalFrameIsAnOutlineAndTwoRingsInColorFlat) {
  EXPECT_EQ(AwaitFrame(A, Outline, Flat), "");
  EXPECT_EQ(A->Color(), Flat) << "the text area's colour shows the state";
}

TEST_F(FlatEditOnForm, ChangingAColourRedrawsTheFrameAtOnce) {
  ASSERT_EQ(AwaitFrame(A, Outline, Flat), "");
  A->SetColorBorder(clRed);
  EXPECT_EQ(FrameMismatch(A, clRed, Flat, false), "");
  A->SetColorFlat(clLime);
  EXPECT_EQ(FrameMismatch(A, clRed, clLime, false), "");
  EXPECT_EQ(AwaitFrame(A, clRed, clLime), "");
}

TEST_F(FlatEditOnForm, SystemColoursAreResolvedForTheBrushes) {
  A->SetColorBorder(clBtnShadow);
  A->SetColorFlat(clBtnFace);
  EXPECT_EQ(AwaitFrame(A, clBtnShadow, clBtnFace), "");
}

TEST_F(FlatEditOnForm, TheFocusedEditShowsColorFocusedAndLosingTheFocusRestoresColorFlat) {
  A->SetFocus();
  ASSERT_TRUE(PumpUntil([&] { return A->Focused(); }));
  EXPECT_EQ(AwaitFrame(A, Outline, Focus), "");
  EXPECT_EQ(A->Color(), Focus);
  Other->SetFocus();
  ASSERT_TRUE(PumpUntil([&] { return Other->Focused(); }));
  EXPECT_EQ(AwaitFrame(A, Outline, Flat), "");
}

TEST_F(FlatEditOnForm, AFrameDrawnOverIsRepaintedByTheNonClientPaint) {
  ASSERT_EQ(AwaitFrame(A, Outline, Flat), "");
  HDC DC = GetWindowDC(A->Handle());
  RECT R{0, 0, A->Width(), A->Height()};
  FillRect(DC, &R, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  ReleaseDC(A->Handle(), DC);
  ASSERT_NE(FrameMismatch(A, Outline, Flat, false), "");
  RedrawWindow(A->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
  EXPECT_EQ(AwaitFrame(A, Outline, Flat), "");
}

TEST_F(FlatEditOnForm, DisablingRedrawsTheFrameAtOnceInTheNormalState) {
  A->SetFocus();
  ASSERT_TRUE(PumpUntil([&] { return A->Focused(); }));
  ASSERT_EQ(AwaitFrame(A, Outline, Focus), "");
  HDC DC = GetWindowDC(A->Handle());
  RECT R{0, 0, A->Width(), A->Height()};
  FillRect(DC, &R, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  ReleaseDC(A->Handle(), DC);
  A->SetEnabled(false);
  // Drawn before any message is handled: the disabled edit has lost the focus.
  EXPECT_EQ(FrameMismatch(A, Outline, Flat, false), "");
  EXPECT_FALSE(IsWindowEnabled(A->Handle()));
  EXPECT_EQ(AwaitFrame(A, Outline, Flat), "");
  A->SetEnabled(true);
  EXPECT_TRUE(IsWindowEnabled(A->Handle()));
  EXPECT_EQ(AwaitFrame(A, Outline, Flat), "");
  // Without the focus in play: the change of state alone redraws.
  for (bool Enabled : {false, true}) {
    ASSERT_EQ(AwaitFrame(B, Outline, Flat), "");
    DC = GetWindowDC(B->Handle());
    FillRect(DC, &R, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    ReleaseDC(B->Handle(), DC);
    B->SetEnabled(Enabled);
    EXPECT_EQ(FrameMismatch(B, Outline, Flat, false), "") << "Enabled " << Enabled;
  }
}

TEST_F(FlatEditOnForm, InAFormDesignerTheFrameKeepsTheNormalState) {
  A->SetDesigning(true);
  A->SetFocus();
  ASSERT_TRUE(PumpUntil([&] { return A->Focused(); }));
  EXPECT_EQ(AwaitFrame(A, Outline, Flat), "") << "a focus change must not highlight in a designer";
  A->SetColorFocused(clRed);
  EXPECT_EQ(FrameMismatch(A, Outline, Flat, false), "") << "a redraw in a designer shows the normal state";
}

// ---------------------------------------------------------------- the pointer

TEST_F(FlatEditOnForm, ThePointerOverTheEditHighlightsItUntilItLeaves) {
  PointerOnto(A);
  EXPECT_TRUE(A->PointerOver());
  EXPECT_EQ(AwaitFrame(A, Outline, Focus), "");
  EXPECT_EQ(AwaitFrame(B, Outline, Flat), "");
  PointerOnto(B);
  EXPECT_FALSE(A->PointerOver());
  EXPECT_EQ(AwaitFrame(A, Outline, Flat), "");
  EXPECT_EQ(AwaitFrame(B, Outline, Focus), "");
  MoveTo(RootPoint);
  ASSERT_TRUE(PumpUntil([] { return Application->MouseControl() == nullptr; }));
  EXPECT_EQ(AwaitFrame(B, Outline, Flat), "");
}

TEST_F(FlatEditOnForm, NoHighlightFromThePointerWhileAnotherFlatEditHasTheFocus) {
  B->SetFocus();
  ASSERT_TRUE(PumpUntil([&] { return B->Focused(); }));
  ASSERT_EQ(Screen->ActiveControl(), B);
  PointerOnto(A);
  EXPECT_TRUE(A->PointerOver()) << "the pointer is over it all the same";
  PumpFor(150);
  EXPECT_EQ(FrameMismatch(A, Outline, Flat), "");
  EXPECT_EQ(FrameMismatch(B, Outline, Focus, false), "");
}

TEST_F(FlatEditOnForm, TheFocusedEditStaysHighlightedWhenThePointerLeavesIt) {
  A->SetFocus();
  ASSERT_TRUE(PumpUntil([&] { return A->Focused(); }));
  PointerOnto(A);
  MoveTo(RootPoint);
  ASSERT_TRUE(PumpUntil([] { return Application->MouseControl() == nullptr; }));
  EXPECT_FALSE(A->PointerOver());
  EXPECT_EQ(AwaitFrame(A, Outline, Focus), "");
}

// A top-level window of another thread, in the foreground: our thread then
// has no active window.
class TForeignWindow {
 public:
  TForeignWindow() : FThread([this] { Run(); }) {
    while (!FReady)
      Sleep(5);
  }
  ~TForeignWindow() {
    PostThreadMessageA(FThreadId, WM_QUIT, 0, 0);
    FThread.Join();
  }
  HWND Window() const { return FWindow; }

 private:
  void Run() {
    FThreadId = GetCurrentThreadId();
    WNDCLASSA Class{};
    Class.lpfnWndProc = DefWindowProcA;
    Class.hInstance = GetModuleHandleA(nullptr);
    Class.lpszClassName = "FlatEditTestForeign";
    RegisterClassA(&Class);
    FWindow = CreateWindowExA(0, "FlatEditTestForeign", "Foreign", WS_POPUP | WS_VISIBLE, 700, 500, 100, 100, nullptr,
                              nullptr, Class.hInstance, nullptr);
    SetForegroundWindow(FWindow);
    MSG Msg;
    PeekMessageA(&Msg, nullptr, 0, 0, PM_NOREMOVE);
    FReady = true;
    while (GetMessageA(&Msg, nullptr, 0, 0) > 0)
      DispatchMessageA(&Msg);
    DestroyWindow(FWindow);
  }
  HWND FWindow = nullptr;
  DWORD FThreadId = 0;
  std::atomic<bool> FReady{false};
  TThread FThread;
};

TEST_F(FlatEditOnForm, NoHighlightFromThePointerWhileTheApplicationIsInactive) {
  {
    TForeignWindow Foreign;
    ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == Foreign.Window() && !GetActiveWindow(); }))
        << "the form stayed active";
    PointerOnto(A);
    PumpFor(150);
    EXPECT_FALSE(A->PointerOver());
    EXPECT_EQ(FrameMismatch(A, Outline, Flat), "");
    MoveTo(RootPoint);
    ASSERT_TRUE(PumpUntil([] { return Application->MouseControl() == nullptr; }));
  }
  // Active again, the same move highlights.
  ShowInFront(Form);
  Other->SetFocus();
  PointerOnto(A);
  EXPECT_TRUE(A->PointerOver());
  EXPECT_EQ(AwaitFrame(A, Outline, Focus), "");
}

// ---------------------------------------------------------------- following the parent's colour

TEST_F(FlatEdit, OnAParentTheEditTakesTheParentsColourAndFollowsIt) {
  auto* Form = NewForm();
  Form->SetColor(RGBColor(30, 60, 90));
  auto* Edit = Add<TTestFlatEdit>(Form, "Edit", 20, 20);
  EXPECT_TRUE(Edit->ParentColor());
  EXPECT_EQ(Edit->ColorFlat(), RGBColor(30, 60, 90));
  Form->SetColor(RGBColor(90, 60, 30));
  EXPECT_EQ(Edit->ColorFlat(), RGBColor(90, 60, 30));
  ShowInFront(Form);
  // The only control, it has the focus.
  ASSERT_TRUE(Edit->Focused());
  EXPECT_EQ(AwaitFrame(Edit, 0x8396A0, 0xFFFFFF), "");
  FocusElsewhere(Form);
  EXPECT_EQ(AwaitFrame(Edit, 0x8396A0, RGBColor(90, 60, 30)), "");
}

TEST_F(FlatEdit, WritingColorFlatClearsParentColorAndTheParentsChangesPassItBy) {
  auto* Form = NewForm();
  auto* Edit = Add<TTestFlatEdit>(Form, "Edit", 20, 20);
  Edit->SetColorFlat(Flat);
  EXPECT_FALSE(Edit->ParentColor());
  Form->SetColor(RGBColor(90, 60, 30));
  EXPECT_EQ(Edit->ColorFlat(), Flat);
  SendMessageA(Form->Handle(), WM_SYSCOLORCHANGE, 0, 0);
  EXPECT_EQ(Edit->ColorFlat(), Flat);
  // Back to True it takes the parent's colour at once, and draws it.
  Edit->SetParentColor(true);
  EXPECT_EQ(Edit->ColorFlat(), RGBColor(90, 60, 30));
  ShowInFront(Form);
  FocusElsewhere(Form);
  EXPECT_EQ(AwaitFrame(Edit, 0x8396A0, RGBColor(90, 60, 30)), "");
  // False again leaves the colour where it is.
  Edit->SetParentColor(false);
  EXPECT_EQ(Edit->ColorFlat(), RGBColor(90, 60, 30));
}

TEST_F(FlatEdit, LoadingColorFlatThenParentColorTrueEndsWithTheWindowsColour) {
  auto* Form = Keep(new TForm(nullptr));
  ReadDescription(
      *Form,
      FormDescription(
          {Prop("Color", TStreamValue::Integer(RGBColor(40, 80, 120)))},
          FieldProps({Prop("ColorFlat", TStreamValue::Ident("clBtnFace")),
                      Prop("ParentColor", TStreamValue::Boolean(true)), Prop("Enabled", TStreamValue::Boolean(false)),
                      Prop("ReadOnly", TStreamValue::Boolean(true)), Prop("TabOrder", TStreamValue::Integer(0))})));
  auto* Edit = dynamic_cast<TFlatEdit*>(Form->FindComponent("edtDestPath"));
  ASSERT_NE(Edit, nullptr);
  EXPECT_TRUE(Edit->ParentColor());
  EXPECT_EQ(Edit->ColorFlat(), RGBColor(40, 80, 120));
  EXPECT_FALSE(Edit->Enabled());
  EXPECT_TRUE(Edit->ReadOnly());
  Form->SetColor(RGBColor(120, 80, 40));
  EXPECT_EQ(Edit->ColorFlat(), RGBColor(120, 80, 40));
  ShowInFront(Form);
  // Disabled, it shows the normal state.
  EXPECT_EQ(AwaitFrame(Edit, 0x8396A0, RGBColor(120, 80, 40)), "");
}

TEST_F(FlatEdit, LoadingColorFlatAloneKeepsItAgainstTheWindowsColour) {
  auto* Form = Keep(new TForm(nullptr));
  ReadDescription(*Form, FormDescription({Prop("Color", TStreamValue::Integer(RGBColor(40, 80, 120)))},
                                         FieldProps({Prop("ColorFlat", TStreamValue::Ident("clBtnFace"))})));
  auto* Edit = dynamic_cast<TFlatEdit*>(Form->FindComponent("edtDestPath"));
  ASSERT_NE(Edit, nullptr);
  EXPECT_FALSE(Edit->ParentColor());
  EXPECT_EQ(Edit->ColorFlat(), clBtnFace);
  Form->SetColor(RGBColor(120, 80, 40));
  EXPECT_EQ(Edit->ColorFlat(), clBtnFace);
  ShowInFront(Form);
  FocusElsewhere(Form);
  EXPECT_EQ(AwaitFrame(Edit, 0x8396A0, clBtnFace), "");
}

TEST_F(FlatEdit, ADescriptionSetsEveryOwnProperty) {
  auto* Form = Keep(new TForm(nullptr));
  ReadDescription(*Form, FormDescription({}, FieldProps({Prop("ColorFocused", TStreamValue::Integer(0x010203)),
                                                         Prop("ColorBorder", TStreamValue::Ident("clRed")),
                                                         Prop("AdvColorFocused", TStreamValue::Integer(0)),
                                                         Prop("AdvColorBorder", TStreamValue::Integer(100)),
                                                         Prop("ParentColor", TStreamValue::Boolean(false)),
                                                         Prop("Text", TStreamValue::String("C:\\WINDOWS\\"))})));
  auto* Edit = dynamic_cast<TFlatEdit*>(Form->FindComponent("edtDestPath"));
  ASSERT_NE(Edit, nullptr);
  EXPECT_EQ(Edit->ColorFocused(), 0x010203);
  EXPECT_EQ(Edit->ColorBorder(), clRed);
  EXPECT_EQ(Edit->AdvColorFocused(), 0);
  EXPECT_EQ(Edit->AdvColorBorder(), 100);
  EXPECT_FALSE(Edit->ParentColor());
  EXPECT_EQ(Edit->Text(), "C:\\WINDOWS\\");

  auto* Adv = Keep(new TForm(nullptr));
  ReadDescription(*Adv, FormDescription({Prop("Color", TStreamValue::Integer(RGBColor(192, 192, 192)))},
                                        FieldProps({Prop("UseAdvColors", TStreamValue::Boolean(true))})));
  auto* AdvEdit = dynamic_cast<TFlatEdit*>(Adv->FindComponent("edtDestPath"));
  ASSERT_NE(AdvEdit, nullptr);
  EXPECT_TRUE(AdvEdit->UseAdvColors());
  EXPECT_EQ(AdvEdit->ColorBorder(), RGBColor(150, 150, 150));
}

TEST_F(FlatEdit, ADescriptionCannotSetWhatTheFlatEditDrivesItself) {
  for (const char* Hidden : {"Color", "BorderStyle", "Ctl3D", "AutoSize"}) {
    TForm Form(nullptr);
    const auto Value = std::string(Hidden) == "BorderStyle" ? TStreamValue::Ident("bsSingle")
                       : std::string(Hidden) == "Color"     ? TStreamValue::Integer(0)
                                                            : TStreamValue::Boolean(true);
    try {
      ReadDescription(Form, FormDescription({}, FieldProps({Prop(Hidden, Value)})));
      ADD_FAILURE() << Hidden << " was accepted";
    } catch (const EReadError& E) {
      EXPECT_EQ(E.Message(),
                std::string("Error reading TFlatEdit.") + Hidden + ": Property " + Hidden + " does not exist");
    }
  }
}

// ---------------------------------------------------------------- advanced colours

TEST_F(FlatEdit, UseAdvColorsDerivesFromAGreyParent) {
  auto* Form = NewForm();
  Form->SetColor(RGBColor(192, 192, 192));
  auto* Other = Add<TEdit>(Form, "Other", 20, 150);
  auto* Edit = AddFlat(Form, "Edit", 20, 20);
  ASSERT_FALSE(Edit->ParentColor());
  Edit->SetUseAdvColors(true);
  EXPECT_TRUE(Edit->ParentColor());
  EXPECT_EQ(Edit->ColorFlat(), RGBColor(192, 192, 192)) << "the parent's colour is taken at once";
  EXPECT_EQ(Edit->ColorFocused(), RGBColor(106, 106, 106));
  EXPECT_EQ(Edit->ColorBorder(), RGBColor(150, 150, 150));
  ShowInFront(Form);
  ASSERT_TRUE(Other->Focused());
  EXPECT_EQ(AwaitFrame(Edit, RGBColor(150, 150, 150), RGBColor(192, 192, 192)), "");
  Edit->SetFocus();
  EXPECT_EQ(AwaitFrame(Edit, RGBColor(150, 150, 150), RGBColor(106, 106, 106)), "");
  // Switched off: ParentColor goes too, the colours stay.
  Edit->SetUseAdvColors(false);
  EXPECT_FALSE(Edit->ParentColor());
  EXPECT_EQ(Edit->ColorFlat(), RGBColor(192, 192, 192));
  EXPECT_EQ(Edit->ColorFocused(), RGBColor(106, 106, 106));
  EXPECT_EQ(Edit->ColorBorder(), RGBColor(150, 150, 150));
}

TEST_F(FlatEdit, WithUseAdvColorsTheParentsColourIsFollowedWhateverParentColorSays) {
  auto* Form = NewForm();
  auto* Edit = AddFlat(Form, "Edit", 20, 20);
  Edit->SetUseAdvColors(true);
  Edit->SetColorFlat(clRed);
  ASSERT_FALSE(Edit->ParentColor());
  Form->SetColor(clBlack);
  EXPECT_EQ(Edit->ColorFlat(), clBlack);
  EXPECT_EQ(Edit->ColorFocused(), RGBColor(21, 21, 21));
  EXPECT_EQ(Edit->ColorBorder(), clBlack);
  // A system colour change does the same.
  Form->SetColor(RGBColor(192, 192, 192));
  Edit->SetColorFlat(clRed);
  SendMessageA(Form->Handle(), WM_SYSCOLORCHANGE, 0, 0);
  EXPECT_EQ(Edit->ColorFlat(), RGBColor(192, 192, 192));
  EXPECT_EQ(Edit->ColorFocused(), RGBColor(106, 106, 106));
  EXPECT_EQ(Edit->ColorBorder(), RGBColor(150, 150, 150));
}

TEST_F(FlatEdit, APercentageOf0LeavesItsColourAtDerivation) {
  auto* Form = NewForm();
  Form->SetColor(RGBColor(192, 192, 192));
  auto* Edit = AddFlat(Form, "Edit", 20, 20);
  Edit->SetAdvColorFocused(0);
  Edit->SetUseAdvColors(true);
  EXPECT_EQ(Edit->ColorFocused(), Focus);
  EXPECT_EQ(Edit->ColorBorder(), RGBColor(150, 150, 150));
  Edit->SetColorBorder(clBlue);
  Edit->SetAdvColorBorder(0);
  EXPECT_EQ(Edit->ColorBorder(), clBlue);
  Edit->SetAdvColorFocused(10);
  EXPECT_EQ(Edit->ColorFocused(), RGBColor(106, 106, 106)) << "a percentage written while on derives at once";
}

TEST_F(FlatEdit, PercentagesWrittenWhileUseAdvColorsIsOffChangeNothing) {
  auto* Form = NewForm();
  Form->SetColor(RGBColor(192, 192, 192));
  auto* Edit = AddFlat(Form, "Edit", 20, 20);
  Edit->SetAdvColorFocused(70);
  Edit->SetAdvColorBorder(20);
  EXPECT_EQ(Edit->AdvColorFocused(), 70);
  EXPECT_EQ(Edit->AdvColorBorder(), 20);
  EXPECT_EQ(Edit->ColorFocused(), Focus);
  EXPECT_EQ(Edit->ColorBorder(), Outline);
  EXPECT_EQ(Edit->ColorFlat(), Flat);
}

TEST_F(FlatEdit, APercentageAbove100IsARangeError) {
  auto* Form = NewForm();
  auto* Edit = AddFlat(Form, "Edit", 20, 20);
  try {
    Edit->SetAdvColorFocused(101);
    ADD_FAILURE() << "101 was accepted";
  } catch (const ERangeError& E) {
    EXPECT_EQ(E.Message(), "Range check error");
  }
  EXPECT_THROW(Edit->SetAdvColorBorder(255), ERangeError);
  EXPECT_THROW(Edit->SetAdvColorBorder(-1), ERangeError);
  EXPECT_EQ(Edit->AdvColorFocused(), 10);
  EXPECT_EQ(Edit->AdvColorBorder(), 50);
  Edit->SetAdvColorBorder(100);
  EXPECT_EQ(Edit->AdvColorBorder(), 100);

  TForm Described(nullptr);
  try {
    ReadDescription(Described, FormDescription({}, FieldProps({Prop("AdvColorBorder", TStreamValue::Integer(101))})));
    ADD_FAILURE() << "a description with 101 was accepted";
  } catch (const ERangeError& E) {
    EXPECT_EQ(E.Message(), "Range check error");
  }
}

// ---------------------------------------------------------------- without a parent

TEST_F(FlatEdit, SettersThatDrawRaiseWithoutAParentAndKeepTheValue) {
  TTestFlatEdit Edit(nullptr);
  Edit.SetName("Name");
  const std::string NoParent = "Control 'Name' has no parent window";
  auto ExpectNoParent = [&](auto Setter, const char* What) {
    try {
      Setter();
      ADD_FAILURE() << What << " did not raise";
    } catch (const Exception& E) {
      EXPECT_EQ(E.Message(), NoParent) << What;
    }
  };
  ExpectNoParent([&] { Edit.SetColorFocused(0x010101); }, "ColorFocused");
  EXPECT_EQ(Edit.ColorFocused(), 0x010101);
  ExpectNoParent([&] { Edit.SetColorBorder(0x020202); }, "ColorBorder");
  EXPECT_EQ(Edit.ColorBorder(), 0x020202);
  ExpectNoParent([&] { Edit.SetColorFlat(0x030303); }, "ColorFlat");
  EXPECT_EQ(Edit.ColorFlat(), 0x030303);
  EXPECT_FALSE(Edit.ParentColor());
  ExpectNoParent([&] { Edit.SetParentColor(true); }, "ParentColor True");
  EXPECT_TRUE(Edit.ParentColor());
  EXPECT_EQ(Edit.ColorFlat(), 0x030303) << "no parent, no colour to copy";
  // These draw nothing, so they work.
  EXPECT_NO_THROW(Edit.SetParentColor(false));
  EXPECT_FALSE(Edit.ParentColor());
  EXPECT_NO_THROW(Edit.SetAdvColorFocused(30));
  EXPECT_EQ(Edit.AdvColorFocused(), 30);
  ExpectNoParent([&] { Edit.SetUseAdvColors(true); }, "UseAdvColors");
  EXPECT_TRUE(Edit.UseAdvColors());
  EXPECT_TRUE(Edit.ParentColor());
  ExpectNoParent([&] { Edit.SetAdvColorBorder(40); }, "AdvColorBorder while UseAdvColors");
  EXPECT_EQ(Edit.AdvColorBorder(), 40);
  EXPECT_FALSE(Edit.HandleAllocated());
}

}  // namespace
