#include "CustomForm.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "Application.h"
#include "Screen.h"
#include "ScreenDensity.h"
#include "SysUtils.h"

TCustomForm::TCustomForm(TComponent* Owner) : TWinControl(Owner) {
  FVisible = false;
  FParentColor = false;
  FParentFont = false;
  SetColor(clBtnFace);
  FFont.SetName("MS Sans Serif");
  FFont.SetHeight(-11);
  FFont.SetCharset(DEFAULT_CHARSET);
  FFont.SetColor(clWindowText);
  FParentFont = false;
  ApplyClientSize();
}

TCustomForm::~TCustomForm() {
  if (Screen->ActiveForm() == this)
    Screen->SetActiveForm(nullptr);
}

void TCustomForm::AfterConstruction() {
  // Like every event handler's, an error in OnCreate is shown and the form goes on.
  try {
    if (OnCreate)
      OnCreate(this);
  } catch (...) {
    Application->HandleException();
  }
}

namespace {

// Where a window of this size lies centred on the primary screen.
POINT ScreenCentreFor(std::int64_t Width, std::int64_t Height) {
  return {ClampedSum(GetSystemMetrics(SM_CXSCREEN), -Width) / 2,
          ClampedSum(GetSystemMetrics(SM_CYSCREEN), -Height) / 2};
}

}  // namespace

void TCustomForm::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.WinClassName = "TForm";
  Params.Style = WS_CLIPCHILDREN;
  Params.ExStyle = 0;
  switch (FBorderStyle) {
    case bsNone:
      Params.Style |= WS_POPUP;
      break;
    case bsSingle:
      Params.Style |= WS_CAPTION;
      break;
    case bsSizeable:
      Params.Style |= WS_CAPTION | WS_THICKFRAME;
      break;
    case bsDialog:
      Params.Style |= WS_POPUP | WS_CAPTION;
      Params.ExStyle |= WS_EX_DLGMODALFRAME;
      break;
    case bsToolWindow:
      Params.Style |= WS_CAPTION;
      Params.ExStyle |= WS_EX_TOOLWINDOW;
      break;
    case bsSizeToolWin:
      Params.Style |= WS_CAPTION | WS_THICKFRAME;
      Params.ExStyle |= WS_EX_TOOLWINDOW;
      break;
  }
  if (FBorderStyle != bsNone && (FBorderIcons & biSystemMenu)) {
    Params.Style |= WS_SYSMENU;
    // Dialog frames and tool windows have no room for these buttons.
    if (FBorderStyle != bsDialog && FBorderStyle != bsToolWindow && FBorderStyle != bsSizeToolWin) {
      if (FBorderIcons & biMinimize)
        Params.Style |= WS_MINIMIZEBOX;
      if (FBorderIcons & biMaximize)
        Params.Style |= WS_MAXIMIZEBOX;
    }
  }
  if (!FEnabled)
    Params.Style |= WS_DISABLED;
  // Made where it will show: moving a window costs about as much as making it.
  if (!FPositioned && FPosition == poScreenCenter) {
    POINT Centre = ScreenCentreFor(Params.Width, Params.Height);
    Params.X = Centre.x;
    Params.Y = Centre.y;
  }
  // Owned by the application's window, a form has no taskbar entry of its own.
  Params.WndParent = Application->Handle();
}

void TCustomForm::ApplyClientSize() {
  TCreateParams Params;
  CreateParams(Params);
  // The frame around an empty client, added to the client size here: a stored
  // size near the end of the int range must not overflow inside the system.
  TScaleSize Frame;
  if (FDpi)
    Frame = WindowFrameSize(Params.Style, Params.ExStyle, FDpi);
  else {
    RECT R{0, 0, 0, 0};
    AdjustWindowRectEx(&R, Params.Style, FALSE, Params.ExStyle);
    Frame = {R.right - R.left, R.bottom - R.top};
  }
  const int Width = ClampedSum(FClientWidth, Frame.Width);
  const int Height = ClampedSum(FClientHeight, Frame.Height);
  if (FHandle)
    SetWindowPos(FHandle, nullptr, 0, 0, Width, Height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  else {
    FWidth = Width;
    FHeight = Height;
  }
}

RECT TCustomForm::ClientRect() const {
  if (FHandle)
    return TWinControl::ClientRect();
  return {0, 0, FClientWidth, FClientHeight};
}

void TCustomForm::SetClientSize(int Width, int Height) {
  FClientWidth = Width;
  FClientHeight = Height;
  ApplyClientSize();
}

void TCustomForm::ScaleForDensity(int Dpi, bool Fit) {
  if (FPixelsPerInch <= 0 || Dpi <= 0)
    return;
  auto Scale = TScaleFactor::ForDensity(Dpi, FPixelsPerInch,
                                        FHasDoubleSize ? TScaleFactor::MaxWithDoubleArt : TScaleFactor::Max);
  // At the design's own density nothing moves, to the pixel.
  if (!FDpi && !Scale.Scales())
    return;
  FDpi = Dpi;
  if (Fit) {
    TCreateParams Params;
    CreateParams(Params);
    const RECT Work = PrimaryWorkArea();
    const TScaleSize Client = FDesignKept ? FDesignClient : TScaleSize{FClientWidth, FClientHeight};
    Scale = Scale.Fitting(Client, WindowFrameSize(Params.Style, Params.ExStyle, Dpi),
                          {Work.right - Work.left, Work.bottom - Work.top});
  }
  FScale = Scale;
  ChangeScale(Scale);
  for (auto* Component : Components())
    if (auto* Control = dynamic_cast<TControl*>(Component))
      Control->ChangeScale(Scale);
  UpdateScrollRanges();
  Invalidate();
}

void TCustomForm::ChangeScale(TScaleFactor Scale) {
  if (!FDesignKept) {
    FDesignClient = {FClientWidth, FClientHeight};
    FDesignFontHeight = FFont.Height();
    FDesignKept = true;
  }
  FFont.SetHeight(Scale.Apply(FDesignFontHeight));
  SetClientSize(Scale.Apply(FDesignClient.Width), Scale.Apply(FDesignClient.Height));
}

void TCustomForm::SetBorderStyle(TFormBorderStyle Value) {
  if (Value == FBorderStyle)
    return;
  FBorderStyle = Value;
  SetAutoScroll(Value == bsSizeable || Value == bsSizeToolWin);
  RecreateWnd();
}

void TCustomForm::SetBorderIcons(unsigned Value) {
  if (Value == FBorderIcons)
    return;
  FBorderIcons = Value;
  RecreateWnd();
}

void TCustomForm::RecreateWnd() {
  if (!FHandle) {
    ApplyClientSize();
    return;
  }
  // Frame styles apply to a window as it is created: make it anew.
  const bool WasVisible = IsWindowVisible(FHandle);
  DestroyHandle();
  ApplyClientSize();
  CreateHandle();
  if (WasVisible)
    ShowWindow(FHandle, SW_SHOWNORMAL);
}

void TCustomForm::SetAutoScroll(bool Value) {
  FAutoScroll = Value;
  if (!Value)
    FHorzRange = FVertRange = 0;
  UpdateScrollRanges();
}

void TCustomForm::UpdateScrollRanges() {
  if (FAutoScroll) {
    FHorzRange = FVertRange = 0;
    for (auto* Control : Controls()) {
      if (!Control->Visible())
        continue;
      const RECT Bounds = Control->BoundsRect();
      FHorzRange = std::max(FHorzRange, static_cast<int>(Bounds.right));
      FVertRange = std::max(FVertRange, static_cast<int>(Bounds.bottom));
    }
  }
  if (!FHandle)
    return;
  RECT Client;
  GetClientRect(FHandle, &Client);
  // The room is the client area as it is now (bounds set or the window
  // resized), not counting our own scroll bars.
  const LONG Style = GetWindowLongA(FHandle, GWL_STYLE);
  const int Width = Client.right + ((Style & WS_VSCROLL) ? GetSystemMetrics(SM_CXVSCROLL) : 0);
  const int Height = Client.bottom + ((Style & WS_HSCROLL) ? GetSystemMetrics(SM_CYHSCROLL) : 0);
  const bool Horz = FAutoScroll && FHorzRange > Width;
  const bool Vert = FAutoScroll && FVertRange > Height;
  SCROLLINFO Info{sizeof Info, SIF_RANGE | SIF_PAGE, 0, 0, 0, 0, 0};
  Info.nMax = FHorzRange - 1;
  Info.nPage = static_cast<UINT>(Client.right);
  if (Horz)
    SetScrollInfo(FHandle, SB_HORZ, &Info, TRUE);
  ShowScrollBar(FHandle, SB_HORZ, Horz);
  Info.nMax = FVertRange - 1;
  Info.nPage = static_cast<UINT>(Client.bottom);
  if (Vert)
    SetScrollInfo(FHandle, SB_VERT, &Info, TRUE);
  ShowScrollBar(FHandle, SB_VERT, Vert);
}

namespace {

// The system sends WM_DPICHANGED and never posts it: a posted one is another
// program's, and its rectangle an address nobody gave. Every message loop of
// the thread, a message box's too, takes posted messages past this hook; a
// sent message never passes it.
LRESULT CALLBACK DropPostedDensityChange(int Code, WPARAM Removed, LPARAM Message) {
  auto* Posted = reinterpret_cast<MSG*>(Message);
  if (Code == HC_ACTION && Posted->message == WM_DPICHANGED)
    Posted->message = WM_NULL;
  return CallNextHookEx(nullptr, Code, Removed, Message);
}

}  // namespace

void TCustomForm::CreateWindowHandleDone() {
  // Once, for the GUI thread, before its first form can be sent anything.
  static const HHOOK Hook = SetWindowsHookExA(WH_GETMESSAGE, DropPostedDensityChange, nullptr, GetCurrentThreadId());
  (void)Hook;
  SetWindowTextA(FHandle, FText.c_str());
  UpdateScrollRanges();
}

void TCustomForm::SetVisible(bool Value) {
  if (!Value) {
    FVisible = false;
    if (FHandle)
      ShowWindow(FHandle, SW_HIDE);
    return;
  }
  HandleNeeded();
  if (!FPositioned && FPosition == poScreenCenter) {
    RECT R;
    GetWindowRect(FHandle, &R);
    const POINT Centre = ScreenCentreFor(std::int64_t{R.right} - R.left, std::int64_t{R.bottom} - R.top);
    if (Centre.x != R.left || Centre.y != R.top)
      SetWindowPos(FHandle, nullptr, Centre.x, Centre.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  FPositioned = true;
  FVisible = true;
  ShowWindow(FHandle, SW_SHOWNORMAL);
  UpdateWindow(FHandle);
  // No thumbnail is asked for before the form shows; loading the window
  // manager's library waits until the form is on the screen.
  if (Application->MainForm() == this)
    Application->EnableThumbnails();
}

void TCustomForm::Close() {
  if (Application->MainForm() == this)
    Application->Terminate();
  SetVisible(false);
}

void TCustomForm::SetActiveControl(TWinControl* Control) {
  FActiveControl = Control;
  if (Control && FHandle && IsWindowVisible(FHandle) && Control->CanFocus())
    Control->SetFocus();
}

void TCustomForm::SetFocusedControl(TWinControl* Control) {
  if (Control != this)
    FActiveControl = Control;
  Screen->SetActiveControl(Control);
  Screen->SetActiveForm(this);
  Perform(CM_FOCUSCHANGED, 0, reinterpret_cast<LPARAM>(Control));
}

void TCustomForm::SelectNext(TWinControl* Current, bool GoForward, bool CheckTabStop) {
  std::vector<TWinControl*> List;
  GetTabOrderList(List);
  if (List.empty())
    return;
  const int Count = static_cast<int>(List.size());
  int Start = -1;
  for (int I = 0; I < Count; ++I)
    if (List[I] == Current)
      Start = I;
  for (int Step = 1; Step <= Count; ++Step) {
    int I = Start < 0 ? (GoForward ? Step - 1 : Count - Step)
                      : ((Start + (GoForward ? Step : -Step)) % Count + Count) % Count;
    auto* Candidate = List[I];
    if (Candidate->CanFocus() && (!CheckTabStop || Candidate->TabStop())) {
      Candidate->SetFocus();
      return;
    }
  }
}

void TCustomForm::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case WM_CLOSE:
      // Disabled, the form has a box open that waits for an answer; a close
      // request (what taskkill without /F sends) must not end the program
      // under it.
      if (FHandle && !IsWindowEnabled(FHandle))
        return;
      Close();
      return;
    case WM_SYSCOLORCHANGE:
      DefaultHandler(Message);
      NotifyControls(CM_SYSCOLORCHANGE);
      return;
    case WM_GETOBJECT:
    case WM_ENABLE:
    case CM_DEFAULTACTION:
      if (FAccessibility.Dispatch(Message))
        return;
      break;
    case WM_ACTIVATE:
      DefaultHandler(Message);
      if (LOWORD(Message.WParam) != WA_INACTIVE) {
        Screen->SetActiveForm(this);
        if (FActiveControl && FActiveControl->CanFocus())
          FActiveControl->SetFocus();
        else
          SelectNext(nullptr, true, true);
      }
      return;
    case WM_SIZE:
      TWinControl::Dispatch(Message);
      UpdateScrollRanges();
      return;
    case WM_MOVE:
      TWinControl::Dispatch(Message);
      if (Application->MainForm() == this)
        Application->MainFormChanged();
      return;
    case WM_DPICHANGED: {
      // The density comes from the message: a window's own may lag behind.
      ScaleForDensity(ClampedDpi(LOWORD(Message.WParam)), false);
      const auto* Suggested = reinterpret_cast<const RECT*>(Message.LParam);
      if (FHandle && Suggested)
        SetWindowPos(FHandle, nullptr, Suggested->left, Suggested->top, Suggested->right - Suggested->left,
                     Suggested->bottom - Suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      Message.Result = 0;
      return;
    }
    case WM_SYSCOMMAND:
      // The program minimises as a whole, into its taskbar entry.
      if ((Message.WParam & 0xFFF0) == SC_MINIMIZE && Application->MainForm() == this && Application->Handle()) {
        Message.Result = SendMessageA(Application->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
        return;
      }
      break;
  }
  TWinControl::Dispatch(Message);
}

void TCustomForm::RegisterHandler(const std::string& Name, TNotifyEvent Handler) {
  ReplaceOrAppend(FHandlers, {Name, std::move(Handler)},
                  [](const auto& Entry) -> const std::string& { return Entry.first; });
}

TNotifyEvent TCustomForm::Handler(const std::string& Name) const {
  for (const auto& [Known, Event] : FHandlers)
    if (Known == Name)
      return Event;
  throw EReadError("Method " + Name + " not found");
}

void TCustomForm::AddField(const std::string& Name, void* Field, bool (*Bind)(void*, TComponent*)) {
  ReplaceOrAppend(FFields, {Name, Field, Bind}, [](const TField& Entry) -> const std::string& { return Entry.Name; });
}

void TCustomForm::BindField(const std::string& Name, TComponent* Component) {
  for (const auto& F : FFields)
    if (F.Name == Name && !F.Bind(F.Field, Component))
      throw EReadError("Field " + Name + " does not match the class of its component");
}
