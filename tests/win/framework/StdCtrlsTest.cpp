// The label and the edit against real GDI and the native EDIT window: a
// label's size is measured again here in a font made independently, and the
// edit is typed into with the characters a keyboard would send.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "GraphicsTestSupport.h"
#include "StdCtrls.h"

using namespace GfxTest;

namespace {

// A font made the way any program would make it, not through TFont.
class TOwnFont {
 public:
  TOwnFont(const char* Name, int Height, bool Bold = false) {
    LOGFONTA Log{};
    Log.lfHeight = Height;
    Log.lfWeight = Bold ? FW_BOLD : FW_NORMAL;
    Log.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(Log.lfFaceName, Name, LF_FACESIZE);
    FFont = CreateFontIndirectA(&Log);
  }
  ~TOwnFont() { DeleteObject(FFont); }
  TOwnFont(const TOwnFont&) = delete;
  TOwnFont& operator=(const TOwnFont&) = delete;

  SIZE Extent(const std::string& Text) const {
    HDC DC = GetDC(nullptr);
    HGDIOBJ Old = SelectObject(DC, FFont);
    SIZE Size{};
    GetTextExtentPoint32A(DC, Text.c_str(), static_cast<int>(Text.size()), &Size);
    SelectObject(DC, Old);
    ReleaseDC(nullptr, DC);
    return Size;
  }
  SIZE CalcRect(const std::string& Text, UINT Flags) const {
    HDC DC = GetDC(nullptr);
    HGDIOBJ Old = SelectObject(DC, FFont);
    RECT R{0, 0, 0, 0};
    DrawTextA(DC, Text.c_str(), static_cast<int>(Text.size()), &R, Flags | DT_CALCRECT);
    SelectObject(DC, Old);
    ReleaseDC(nullptr, DC);
    return {R.right, R.bottom};
  }
  int LineHeight() const {
    HDC DC = GetDC(nullptr);
    HGDIOBJ Old = SelectObject(DC, FFont);
    TEXTMETRICA Metrics{};
    GetTextMetricsA(DC, &Metrics);
    SelectObject(DC, Old);
    ReleaseDC(nullptr, DC);
    return Metrics.tmHeight;
  }

 private:
  HFONT FFont;
};

// The label's size as "W x H", so a mismatch shows both sides.
std::string SizeOf(const TControl* Control) {
  return std::to_string(Control->Width()) + " x " + std::to_string(Control->Height());
}
std::string SizeOf(SIZE Size) { return std::to_string(Size.cx) + " x " + std::to_string(Size.cy); }

class LabelTest : public FormTest {};
class EditTest : public FormTest {};

// Types the characters into the window as WM_CHAR messages, after the text.
void Type(HWND Window, const std::string& Text) {
  const int Length = GetWindowTextLengthA(Window);
  SendMessageA(Window, EM_SETSEL, Length, Length);
  for (char C : Text)
    SendMessageA(Window, WM_CHAR, static_cast<unsigned char>(C), 1);
}

std::string WindowText(HWND Window) {
  char Buffer[256] = "";
  GetWindowTextA(Window, Buffer, sizeof Buffer);
  return Buffer;
}

}  // namespace

// ---------------------------------------------------------------- TLabel

TEST_F(LabelTest, ItsSizeIsTheExtentOfItsCaptionInItsFont) {
  auto* Form = NewForm();
  auto* Label = AddControl<TLabel>(Form, 12, 34, 200, 50);
  Label->SetCaption("Hello, world");
  const TOwnFont Font("MS Sans Serif", -11);
  EXPECT_EQ(SizeOf(Label), SizeOf(Font.Extent("Hello, world")));
  EXPECT_EQ(SizeOf(Label), SizeOf(Font.CalcRect("Hello, world", DT_LEFT)));
  EXPECT_EQ(Label->Left(), 12);
  EXPECT_EQ(Label->Top(), 34);
  EXPECT_TRUE(Label->AutoSize());
}

TEST_F(LabelTest, ItFollowsCaptionAndFontChanges) {
  auto* Form = NewForm();
  auto* Label = AddControl<TLabel>(Form, 0, 0, 10, 10);
  Label->SetCaption("Short");
  const TOwnFont Normal("MS Sans Serif", -11);
  EXPECT_EQ(SizeOf(Label), SizeOf(Normal.Extent("Short")));
  Label->SetCaption("A rather longer caption");
  EXPECT_EQ(SizeOf(Label), SizeOf(Normal.Extent("A rather longer caption")));

  Label->Font().SetStyle(fsBold);
  const TOwnFont Bold("MS Sans Serif", -11, true);
  EXPECT_EQ(SizeOf(Label), SizeOf(Bold.Extent("A rather longer caption")));

  Label->Font().SetStyle(0);
  Label->Font().SetName("Courier New");
  Label->Font().SetHeight(-17);
  const TOwnFont Courier("Courier New", -17);
  EXPECT_EQ(SizeOf(Label), SizeOf(Courier.Extent("A rather longer caption")));

  // A label with its parent's font follows the parent's.
  auto* Follower = AddControl<TLabel>(Form, 0, 40, 10, 10);
  Follower->SetCaption("Parent font");
  EXPECT_TRUE(Follower->ParentFont());
  Form->Font().SetHeight(-19);
  const TOwnFont Big("MS Sans Serif", -19);
  EXPECT_EQ(SizeOf(Follower), SizeOf(Big.Extent("Parent font")));
}

TEST_F(LabelTest, ABiggerFontGivesABiggerLabel) {
  auto* Form = NewForm();
  auto* Small = AddControl<TLabel>(Form, 0, 0, 10, 10);
  auto* Large = AddControl<TLabel>(Form, 0, 50, 10, 10);
  Small->SetCaption("Size me");
  Large->SetCaption("Size me");
  Large->Font().SetHeight(-26);
  EXPECT_GT(Large->Width(), Small->Width() * 3 / 2);
  EXPECT_GT(Large->Height(), Small->Height() * 3 / 2);
  const TOwnFont Font("MS Sans Serif", -26);
  EXPECT_EQ(SizeOf(Large), SizeOf(Font.Extent("Size me")));
}

TEST_F(LabelTest, TrailingBlanksCount) {
  auto* Form = NewForm();
  auto* Label = AddControl<TLabel>(Form, 0, 0, 10, 10);
  Label->SetCaption("Abc");
  const int Bare = Label->Width();
  Label->SetCaption("Abc   ");
  const TOwnFont Font("MS Sans Serif", -11);
  EXPECT_EQ(SizeOf(Label), SizeOf(Font.Extent("Abc   ")));
  EXPECT_GT(Label->Width(), Bare);
  Label->SetCaption("   ");
  EXPECT_EQ(Label->Width(), Font.Extent("   ").cx);
  EXPECT_GT(Label->Width(), 0);
}

TEST_F(LabelTest, AnEmptyCaptionHasNoWidthAndTheHeightOfALine) {
  auto* Form = NewForm();
  auto* Label = AddControl<TLabel>(Form, 5, 5, 80, 80);
  Label->SetCaption("x");
  Label->SetCaption("");
  const TOwnFont Font("MS Sans Serif", -11);
  EXPECT_EQ(Label->Width(), 0);
  EXPECT_EQ(Label->Height(), Font.LineHeight());
}

TEST_F(LabelTest, TheAcceleratorMarkIsNotMeasuredUnlessShownAsText) {
  auto* Form = NewForm();
  auto* Label = AddControl<TLabel>(Form, 0, 0, 10, 10);
  Label->SetCaption("&File && more");
  const TOwnFont Font("MS Sans Serif", -11);
  EXPECT_EQ(Label->Width(), Font.Extent("File & more").cx);
  Label->SetShowAccelChar(false);
  EXPECT_EQ(Label->Width(), Font.Extent("&File && more").cx);
}

TEST_F(LabelTest, WithoutAutoSizeTheSizeStays) {
  auto* Form = NewForm();
  auto* Label = AddControl<TLabel>(Form, 0, 0, 70, 30);
  Label->SetAutoSize(false);
  Label->SetCaption("Some caption that is wider than seventy pixels");
  Label->Font().SetHeight(-30);
  EXPECT_EQ(SizeOf(Label), "70 x 30");
  Label->SetAutoSize(true);
  const TOwnFont Font("MS Sans Serif", -30);
  EXPECT_EQ(SizeOf(Label), SizeOf(Font.Extent("Some caption that is wider than seventy pixels")));
}

TEST_F(LabelTest, ItPaintsItsCaptionInsideItsBoundsInItsFontColour) {
  auto* Form = NewForm(200, 100, clLime);
  auto* Label = AddControl<TLabel>(Form, 20, 30, 10, 10);
  Label->SetCaption("Painted text");
  Label->Font().SetColor(clRed);
  ShowPainted(Form);
  const TPixels Whole = ClientPixels(Form, 0, 0, 200, 100);
  const TPixels Inside = ClientPixels(Form, 20, 30, Label->Width(), Label->Height());
  EXPECT_GT(Inside.Count(RGB(255, 0, 0)), 20);
  EXPECT_EQ(Whole.Count(RGB(0, 255, 0)), 200 * 100 - Inside.Width() * Inside.Height() + Inside.Count(RGB(0, 255, 0)))
      << "something was painted outside the label";
  // Inside, the label's (the parent's) colour and the text's, and (smoothed
  // edges of letters) mixtures of the two: nothing with any blue in it.
  int Foreign = 0;
  for (int Y = 0; Y < Inside.Height(); ++Y)
    for (int X = 0; X < Inside.Width(); ++X)
      Foreign += GetBValue(Inside.At(X, Y)) != 0;
  EXPECT_EQ(Foreign, 0);

  // Recoloured, the text is repainted.
  Label->Font().SetColor(clBlue);
  Settle(Form);
  EXPECT_EQ(ClientPixels(Form, 0, 0, 200, 100).Count(RGB(255, 0, 0)), 0);
  EXPECT_GT(ClientPixels(Form, 20, 30, Label->Width(), Label->Height()).Count(RGB(0, 0, 255)), 20);
}

TEST_F(LabelTest, ATransparentLabelLeavesWhatIsBehindIt) {
  auto* Form = NewForm(200, 100, clLime);
  auto* Label = AddControl<TLabel>(Form, 20, 30, 10, 10);
  Label->SetCaption("Over the form");
  Label->SetColor(clYellow);
  ShowPainted(Form);
  const int Box = Label->Width() * Label->Height();
  TPixels Inside = ClientPixels(Form, 20, 30, Label->Width(), Label->Height());
  EXPECT_GT(Inside.Count(RGB(255, 255, 0)), Box / 2);
  EXPECT_EQ(Inside.Count(RGB(0, 255, 0)), 0);

  Label->SetTransparent(true);
  Settle(Form);
  Inside = ClientPixels(Form, 20, 30, Label->Width(), Label->Height());
  EXPECT_EQ(Inside.Count(RGB(255, 255, 0)), 0) << "the label's colour is still painted";
  EXPECT_GT(Inside.Count(RGB(0, 255, 0)), Box / 2);
  EXPECT_LT(Inside.Count(RGB(0, 255, 0)), Box) << "the text went too";
}

// ---------------------------------------------------------------- TEdit

TEST_F(EditTest, TextGoesToAndComesFromTheNativeWindow) {
  auto* Form = NewForm();
  auto* Edit = AddControl<TEdit>(Form, 10, 10, 150, 25);
  Edit->SetText("before the window");
  EXPECT_FALSE(Edit->HandleAllocated());
  HWND Window = Edit->Handle();
  char Class[32] = "";
  GetClassNameA(Window, Class, sizeof Class);
  EXPECT_STREQ(Class, "TEdit");
  EXPECT_EQ(WindowText(Window), "before the window");

  Edit->SetText("set through the control");
  EXPECT_EQ(WindowText(Window), "set through the control");
  SetWindowTextA(Window, "set on the window");
  EXPECT_EQ(Edit->Text(), "set on the window");
  Type(Window, " and typed");
  EXPECT_EQ(Edit->Text(), "set on the window and typed");
  EXPECT_FALSE(GetWindowLongA(Window, GWL_STYLE) & ES_MULTILINE);
  EXPECT_TRUE(GetWindowLongA(Window, GWL_STYLE) & ES_AUTOHSCROLL);
}

TEST_F(EditTest, ReadOnlyBlocksTyping) {
  auto* Form = NewForm();
  auto* Edit = AddControl<TEdit>(Form, 10, 10, 150, 25);
  Edit->SetText("fixed");
  Edit->SetReadOnly(true);
  HWND Window = Edit->Handle();
  EXPECT_TRUE(GetWindowLongA(Window, GWL_STYLE) & ES_READONLY);
  Type(Window, "xyz");
  SendMessageA(Window, WM_CHAR, VK_BACK, 1);
  EXPECT_EQ(Edit->Text(), "fixed");

  Edit->SetReadOnly(false);
  EXPECT_FALSE(GetWindowLongA(Window, GWL_STYLE) & ES_READONLY);
  Type(Window, "!");
  EXPECT_EQ(Edit->Text(), "fixed!");

  // Read-only set on a window that exists.
  Edit->SetReadOnly(true);
  EXPECT_TRUE(Edit->ReadOnly());
  Type(Window, "?");
  EXPECT_EQ(Edit->Text(), "fixed!");
  // The program still sets the text.
  Edit->SetText("by program");
  EXPECT_EQ(WindowText(Window), "by program");
}

TEST_F(EditTest, MaxLengthLimitsTypedText) {
  auto* Form = NewForm();
  auto* Edit = AddControl<TEdit>(Form, 10, 10, 150, 25);
  Edit->SetMaxLength(5);
  HWND Window = Edit->Handle();
  EXPECT_EQ(SendMessageA(Window, EM_GETLIMITTEXT, 0, 0), 5);
  Type(Window, "12345678");
  EXPECT_EQ(Edit->Text(), "12345");

  Edit->SetMaxLength(7);
  EXPECT_EQ(SendMessageA(Window, EM_GETLIMITTEXT, 0, 0), 7);
  Type(Window, "abcdef");
  EXPECT_EQ(Edit->Text(), "12345ab");
  Edit->SetMaxLength(0);
  Type(Window, "cdef");
  EXPECT_EQ(Edit->Text(), "12345abcdef");
}

// The edit window takes WS_BORDER out of its style and draws that one-pixel
// frame itself, so the frames are told apart by what they look like: a
// sunken edge outside the client area, a frame-coloured line inside it, or
// nothing at all.
TEST_F(EditTest, BorderStyleAndCtl3DChooseTheWindowsFrame) {
  auto* Form = NewForm(200, 80, clLime);
  auto* Edit = new TEdit(Form);
  Edit->SetBounds(10, 10, 150, Edit->Height());
  Edit->SetParent(Form);
  Edit->SetColor(clYellow);
  Edit->SetText("kept");
  ShowPainted(Form);
  const int Line = TOwnFont("MS Sans Serif", -11).LineHeight();
  const int Border = GetSystemMetrics(SM_CYBORDER);
  const COLORREF Frame = GetSysColor(COLOR_WINDOWFRAME);
  auto ExStyle = [&] { return static_cast<DWORD>(GetWindowLongA(Edit->Handle(), GWL_EXSTYLE)); };
  // Window size less client size, and the edit's own top-left pixel.
  auto Margin = [&] {
    RECT Window, Client;
    GetWindowRect(Edit->Handle(), &Window);
    GetClientRect(Edit->Handle(), &Client);
    return (Window.right - Window.left) - Client.right;
  };
  auto Corner = [&] {
    Settle(Form);
    return Hex(TPixels::OfWindow(Edit->Handle(), 0, 0, 1, 1).At(0, 0));
  };

  EXPECT_TRUE(ExStyle() & WS_EX_CLIENTEDGE);
  EXPECT_EQ(Margin(), 4);
  EXPECT_EQ(Corner(), Hex(RGB(255, 255, 0)));
  EXPECT_EQ(Edit->Height(), Line + 8 * Border);

  Edit->SetCtl3D(false);
  EXPECT_FALSE(ExStyle() & WS_EX_CLIENTEDGE);
  EXPECT_EQ(Margin(), 0);
  EXPECT_EQ(Corner(), Hex(Frame)) << "no one-pixel frame";
  EXPECT_EQ(Edit->Height(), Line + 6 * Border);
  EXPECT_EQ(Edit->Text(), "kept");

  Edit->SetBorderStyle(bsNone);
  EXPECT_FALSE(ExStyle() & WS_EX_CLIENTEDGE);
  EXPECT_EQ(Margin(), 0);
  EXPECT_EQ(Corner(), Hex(RGB(255, 255, 0))) << "a frame where there should be none";
  EXPECT_EQ(Edit->Text(), "kept");

  Edit->SetCtl3D(true);
  EXPECT_FALSE(ExStyle() & WS_EX_CLIENTEDGE) << "no border at all, whatever Ctl3D says";
  EXPECT_EQ(Corner(), Hex(RGB(255, 255, 0)));
  Edit->SetBorderStyle(bsSingle);
  EXPECT_TRUE(ExStyle() & WS_EX_CLIENTEDGE);
  EXPECT_EQ(Margin(), 4);
  EXPECT_EQ(Edit->Text(), "kept");
  EXPECT_EQ(TWinControl::FromHandle(Edit->Handle()), Edit);

  // Without a window yet, the frame is there when it comes.
  auto* Other = NewForm(200, 80, clLime);
  auto* Flat = AddControl<TEdit>(Other, 10, 10, 150, 25);
  Flat->SetCtl3D(false);
  EXPECT_FALSE(Flat->HandleAllocated());
  ShowPainted(Other);
  EXPECT_FALSE(GetWindowLongA(Flat->Handle(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  EXPECT_EQ(Hex(TPixels::OfWindow(Flat->Handle(), 0, 0, 1, 1).At(0, 0)), Hex(Frame));
}

TEST_F(EditTest, ANewFrameKeepsReadOnlyMaxLengthAndTheTypedText) {
  auto* Form = NewForm();
  auto* Edit = AddControl<TEdit>(Form, 10, 10, 150, 25);
  HWND Window = Edit->Handle();
  Type(Window, "typed");
  Edit->SetMaxLength(6);
  Edit->SetReadOnly(true);
  Edit->SetCtl3D(false);
  Window = Edit->Handle();
  EXPECT_EQ(Edit->Text(), "typed");
  EXPECT_TRUE(GetWindowLongA(Window, GWL_STYLE) & ES_READONLY);
  Type(Window, "x");
  EXPECT_EQ(Edit->Text(), "typed");
  Edit->SetReadOnly(false);
  Type(Window, "xyz");
  EXPECT_EQ(Edit->Text(), "typedx");
  EXPECT_EQ(SendMessageA(Window, EM_GETLIMITTEXT, 0, 0), 6);
  EXPECT_EQ(TWinControl::FromHandle(Window), Edit);
}

TEST_F(EditTest, ItsBackgroundIsItsColour) {
  auto* Form = NewForm(200, 80, clLime);
  auto* Edit = AddControl<TEdit>(Form, 10, 10, 150, 25);
  Edit->SetColor(clYellow);
  Edit->SetText("ab");
  ShowPainted(Form);
  RECT Client;
  GetClientRect(Edit->Handle(), &Client);
  const TPixels Inside = TPixels::OfWindow(Edit->Handle(), Client.right - 30, 0, 28, Client.bottom);
  EXPECT_EQ(Inside.Count(RGB(255, 255, 0)), Inside.Width() * Inside.Height());

  Edit->SetColor(clAqua);
  Settle(Form);
  RedrawWindow(Edit->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  const TPixels After = TPixels::OfWindow(Edit->Handle(), Client.right - 30, 0, 28, Client.bottom);
  EXPECT_EQ(After.Count(RGB(0, 255, 255)), After.Width() * After.Height());
}
