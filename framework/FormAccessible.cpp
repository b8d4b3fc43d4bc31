#include "FormAccessible.h"

#include <utility>

#include "FormChildren.h"
#include "Forms.h"
#include "LanguageTexts.h"
#include "OleAcc.h"

namespace {

VARIANT IdVariant(LONG Id) {
  VARIANT V;
  V.vt = VT_I4;
  V.lVal = Id;
  return V;
}

BSTR NewString(const std::string& Text) {
  const int Length = MultiByteToWideChar(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0);
  BSTR Result = TOleAcc::Get()->SysAllocStringLen(nullptr, static_cast<UINT>(Length));
  if (Result)
    MultiByteToWideChar(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()), Result, Length);
  return Result;
}

IDispatch* WindowObject(TControl* Control) {
  IDispatch* Object = nullptr;
  TOleAcc::Get()->AccessibleObjectFromWindow(static_cast<TWinControl*>(Control)->Handle(), OBJID_WINDOW,
                                             __uuidof(IDispatch), reinterpret_cast<void**>(&Object));
  return Object;
}

}  // namespace

TFormAccessible::TFormAccessible(TCustomForm& Form, TComRef<IAccessible> Standard)
    : TAccessibleProxy(Form.Handle(), std::move(Standard)), FForm(&Form) {}

void TFormAccessible::Disconnect() {
  FForm = nullptr;
  TAccessibleProxy::Disconnect();
}

bool TFormAccessible::Pressable() const { return FForm && IsWindowEnabled(FForm->Handle()); }

TControl* TFormAccessible::Element(const VARIANT& Id) const {
  TControl* Control = Id.vt == VT_I4 && FForm ? TFormChildren::Child(*FForm, Id.lVal) : nullptr;
  return Control && !Control->IsWindowed() ? Control : nullptr;
}

HRESULT TFormAccessible::NoText(const VARIANT& Id, BSTR* Text) const {
  if (!Element(Id))
    return E_INVALIDARG;
  if (!Text)
    return E_POINTER;
  *Text = nullptr;
  return S_FALSE;
}

HRESULT TFormAccessible::ChildVariant(LONG Id, VARIANT* Result) const {
  TControl* Control = TFormChildren::Child(*FForm, Id);
  if (!Control)
    return S_FALSE;
  if (!Control->IsWindowed()) {
    *Result = IdVariant(Id);
    return S_OK;
  }
  Result->pdispVal = WindowObject(Control);
  Result->vt = Result->pdispVal ? VT_DISPATCH : VT_EMPTY;
  return Result->pdispVal ? S_OK : E_FAIL;
}

// The standard object counts every child window, in sight or not.
HRESULT TFormAccessible::get_accChildCount(LONG* Count) {
  if (!Count)
    return E_POINTER;
  if (!FForm)
    return E_FAIL;
  *Count = TFormChildren::Count(*FForm);
  return S_OK;
}

HRESULT TFormAccessible::get_accChild(VARIANT Id, IDispatch** Object) {
  if (!Object)
    return E_POINTER;
  *Object = nullptr;
  TControl* Child = Id.vt == VT_I4 && FForm ? TFormChildren::Child(*FForm, Id.lVal) : nullptr;
  if (!Child)
    return E_INVALIDARG;
  if (!Child->IsWindowed())
    return S_FALSE;
  *Object = WindowObject(Child);
  return *Object ? S_OK : E_FAIL;
}

HRESULT TFormAccessible::get_accName(VARIANT Id, BSTR* Name) {
  if (IsSelf(Id))
    return TAccessibleProxy::get_accName(Id, Name);
  TControl* Control = Element(Id);
  if (!Control)
    return E_INVALIDARG;
  if (!Name)
    return E_POINTER;
  *Name = NewString(Control->Hint());
  return *Name ? S_OK : E_OUTOFMEMORY;
}

HRESULT TFormAccessible::get_accValue(VARIANT Id, BSTR* Value) {
  return IsSelf(Id) ? TAccessibleProxy::get_accValue(Id, Value) : NoText(Id, Value);
}

HRESULT TFormAccessible::get_accDescription(VARIANT Id, BSTR* Description) {
  return IsSelf(Id) ? TAccessibleProxy::get_accDescription(Id, Description) : NoText(Id, Description);
}

HRESULT TFormAccessible::get_accHelp(VARIANT Id, BSTR* Help) {
  return IsSelf(Id) ? TAccessibleProxy::get_accHelp(Id, Help) : NoText(Id, Help);
}

HRESULT TFormAccessible::get_accHelpTopic(BSTR* File, VARIANT Id, LONG* Topic) {
  if (IsSelf(Id))
    return TAccessibleProxy::get_accHelpTopic(File, Id, Topic);
  if (!Topic && Element(Id))
    return E_POINTER;
  if (Topic)
    *Topic = 0;
  return NoText(Id, File);
}

HRESULT TFormAccessible::get_accKeyboardShortcut(VARIANT Id, BSTR* Shortcut) {
  return IsSelf(Id) ? TAccessibleProxy::get_accKeyboardShortcut(Id, Shortcut) : NoText(Id, Shortcut);
}

HRESULT TFormAccessible::get_accRole(VARIANT Id, VARIANT* Role) {
  if (IsSelf(Id))
    return TAccessibleProxy::get_accRole(Id, Role);
  if (!Element(Id))
    return E_INVALIDARG;
  if (!Role)
    return E_POINTER;
  *Role = IdVariant(ROLE_SYSTEM_PUSHBUTTON);
  return S_OK;
}

HRESULT TFormAccessible::get_accState(VARIANT Id, VARIANT* State) {
  if (IsSelf(Id))
    return TAccessibleProxy::get_accState(Id, State);
  TControl* Control = Element(Id);
  if (!Control)
    return E_INVALIDARG;
  if (!State)
    return E_POINTER;
  // Never focusable: the keyboard does not reach a windowless control.
  POINT P;
  const bool Hot = GetCursorPos(&P) && FindControlAtScreenPos(P) == Control;
  *State = IdVariant((Hot ? STATE_SYSTEM_HOTTRACKED : 0) | (Pressable() ? 0 : STATE_SYSTEM_UNAVAILABLE));
  return S_OK;
}

HRESULT TFormAccessible::get_accDefaultAction(VARIANT Id, BSTR* Action) {
  if (IsSelf(Id))
    return TAccessibleProxy::get_accDefaultAction(Id, Action);
  if (!Element(Id))
    return E_INVALIDARG;
  if (!Action)
    return E_POINTER;
  const std::wstring_view Press = TLanguageTexts::Program().Wide(txPressAction, L"Press");
  *Action = TOleAcc::Get()->SysAllocStringLen(Press.data(), static_cast<UINT>(Press.size()));
  return *Action ? S_OK : E_OUTOFMEMORY;
}

HRESULT TFormAccessible::accSelect(LONG Flags, VARIANT Id) {
  if (IsSelf(Id))
    return TAccessibleProxy::accSelect(Flags, Id);
  // Neither focusable nor selectable.
  return Element(Id) ? DISP_E_MEMBERNOTFOUND : E_INVALIDARG;
}

HRESULT TFormAccessible::accLocation(LONG* Left, LONG* Top, LONG* Width, LONG* Height, VARIANT Id) {
  if (IsSelf(Id))
    return TAccessibleProxy::accLocation(Left, Top, Width, Height, Id);
  TControl* Control = Element(Id);
  if (!Control)
    return E_INVALIDARG;
  if (!Left || !Top || !Width || !Height)
    return E_POINTER;
  const POINT At = Control->ClientToScreen({0, 0});
  *Left = At.x;
  *Top = At.y;
  *Width = Control->Width();
  *Height = Control->Height();
  return S_OK;
}

HRESULT TFormAccessible::accNavigate(LONG Direction, VARIANT Start, VARIANT* End) {
  if (!End)
    return E_POINTER;
  End->vt = VT_EMPTY;
  const bool FromSelf = IsSelf(Start);
  if (!FForm || (!FromSelf && (Start.vt != VT_I4 || !TFormChildren::Child(*FForm, Start.lVal))))
    return E_INVALIDARG;
  if (FromSelf && Direction == NAVDIR_FIRSTCHILD)
    return ChildVariant(1, End);
  if (FromSelf && Direction == NAVDIR_LASTCHILD)
    return ChildVariant(TFormChildren::Count(*FForm), End);
  // Siblings of the client area are the standard object's to find.
  if (FromSelf)
    return TAccessibleProxy::accNavigate(Direction, Start, End);
  if (Direction == NAVDIR_NEXT || Direction == NAVDIR_PREVIOUS)
    return ChildVariant(Start.lVal + (Direction == NAVDIR_NEXT ? 1 : -1), End);
  return Direction == NAVDIR_FIRSTCHILD || Direction == NAVDIR_LASTCHILD ? S_FALSE : DISP_E_MEMBERNOTFOUND;
}

HRESULT TFormAccessible::accHitTest(LONG X, LONG Y, VARIANT* Child) {
  if (!Child)
    return E_POINTER;
  Child->vt = VT_EMPTY;
  if (!FForm)
    return E_FAIL;
  const POINT P = FForm->ScreenToClient({X, Y});
  const RECT Client = FForm->ClientRect();
  if (!PtInRect(&Client, P))
    return S_FALSE;
  // Child windows lie above every windowless control.
  for (LONG Id = TFormChildren::Count(*FForm); Id > 0; --Id) {
    TControl* Control = TFormChildren::Child(*FForm, Id);
    RECT R;
    if (Control->IsWindowed() && GetWindowRect(static_cast<TWinControl*>(Control)->Handle(), &R) &&
        PtInRect(&R, POINT{X, Y}))
      return ChildVariant(Id, Child);
  }
  // A windowless control that is no element may lie over one.
  TControl* Top = FForm->ControlAtPos(P, true);
  *Child = IdVariant(Top ? TFormChildren::IdOf(*Top) : CHILDID_SELF);
  return S_OK;
}

HRESULT TFormAccessible::accDoDefaultAction(VARIANT Id) {
  if (IsSelf(Id))
    return TAccessibleProxy::accDoDefaultAction(Id);
  TControl* Control = Element(Id);
  if (!Control)
    return E_INVALIDARG;
  if (!Pressable())
    return DISP_E_MEMBERNOTFOUND;
  // The click runs later, from the message loop: it may ask a question in a
  // box of its own, which must not hold up the client that asked.
  return PostMessageA(FForm->Handle(), CM_DEFAULTACTION, 0, reinterpret_cast<LPARAM>(Control)) ? S_OK : E_FAIL;
}

HRESULT TFormAccessible::put_accName(VARIANT Id, BSTR Name) {
  return IsSelf(Id) ? TAccessibleProxy::put_accName(Id, Name) : E_NOTIMPL;
}

HRESULT TFormAccessible::put_accValue(VARIANT Id, BSTR Value) {
  return IsSelf(Id) ? TAccessibleProxy::put_accValue(Id, Value) : E_NOTIMPL;
}
