#include "AccessibleProxy.h"

#include <utility>

#include "OleAcc.h"

TAccessibleProxy::TAccessibleProxy(HWND Window, TComRef<IAccessible> Standard)
    : FWindow(Window), FStandard(std::move(Standard)) {}

TAccessibleProxy::~TAccessibleProxy() = default;

void TAccessibleProxy::Disconnect() { FStandard.Reset(); }

HRESULT TAccessibleProxy::QueryInterface(REFIID Iid, void** Object) {
  if (!Object)
    return E_POINTER;
  // Nothing else of the standard object is passed on: its child enumerator
  // would list children this object does not have.
  if (Iid == __uuidof(IUnknown) || Iid == __uuidof(IDispatch) || Iid == __uuidof(IAccessible))
    *Object = static_cast<IAccessible*>(this);
  else {
    *Object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG TAccessibleProxy::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&FReferences)); }

ULONG TAccessibleProxy::Release() {
  const LONG Left = InterlockedDecrement(&FReferences);
  if (Left == 0)
    delete this;
  return static_cast<ULONG>(Left);
}

namespace {

// IAccessible's type information from oleacc's own type library, for clients
// that call by name (scripts). Kept, as the libraries are.
ITypeInfo* AccessibleTypeInfo() {
  // COM calls the objects on the GUI thread alone, their apartment's.
  static ITypeInfo* Info = nullptr;
  static bool Tried = false;
  if (!std::exchange(Tried, true)) {
    // LIBID_Accessibility, version 1.1.
    static constexpr GUID Library = {0x1EA4DBF0, 0x3C3B, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
    // Only an object made with the library asks.
    TComRef<ITypeLib> Types;
    if (SUCCEEDED(TOleAcc::Get()->LoadRegTypeLib(Library, 1, 1, 0, Types.Put())))
      Types->GetTypeInfoOfGuid(__uuidof(IAccessible), &Info);
  }
  return Info;
}

}  // namespace

HRESULT TAccessibleProxy::GetTypeInfoCount(UINT* Count) {
  if (!Count)
    return E_POINTER;
  *Count = AccessibleTypeInfo() ? 1 : 0;
  return S_OK;
}

HRESULT TAccessibleProxy::GetTypeInfo(UINT Index, LCID, ITypeInfo** Info) {
  if (!Info)
    return E_POINTER;
  *Info = nullptr;
  if (Index != 0)
    return DISP_E_BADINDEX;
  ITypeInfo* Types = AccessibleTypeInfo();
  return Types ? Types->QueryInterface(__uuidof(ITypeInfo), reinterpret_cast<void**>(Info)) : E_NOTIMPL;
}

HRESULT TAccessibleProxy::GetIDsOfNames(REFIID, LPOLESTR* Names, UINT Count, LCID, DISPID* Ids) {
  ITypeInfo* Types = AccessibleTypeInfo();
  return Types ? TOleAcc::Get()->DispGetIDsOfNames(Types, Names, Count, Ids) : E_NOTIMPL;
}

HRESULT TAccessibleProxy::Invoke(DISPID Id, REFIID, LCID, WORD Flags, DISPPARAMS* Parameters, VARIANT* Result,
                                 EXCEPINFO* Exception, UINT* ArgumentError) {
  ITypeInfo* Types = AccessibleTypeInfo();
  return Types ? TOleAcc::Get()->DispInvoke(static_cast<IAccessible*>(this), Types, Id, Flags, Parameters, Result,
                                            Exception, ArgumentError)
               : E_NOTIMPL;
}

// A disconnected object answers every question with the same failure.
#define FORWARD(Call) return FStandard ? FStandard->Call : E_FAIL

HRESULT TAccessibleProxy::get_accParent(IDispatch** Parent) { FORWARD(get_accParent(Parent)); }
HRESULT TAccessibleProxy::get_accChildCount(LONG* Count) { FORWARD(get_accChildCount(Count)); }
HRESULT TAccessibleProxy::get_accChild(VARIANT Child, IDispatch** Object) { FORWARD(get_accChild(Child, Object)); }
HRESULT TAccessibleProxy::get_accName(VARIANT Child, BSTR* Name) { FORWARD(get_accName(Child, Name)); }
HRESULT TAccessibleProxy::get_accValue(VARIANT Child, BSTR* Value) { FORWARD(get_accValue(Child, Value)); }
HRESULT TAccessibleProxy::get_accDescription(VARIANT Child, BSTR* Description) {
  FORWARD(get_accDescription(Child, Description));
}
HRESULT TAccessibleProxy::get_accRole(VARIANT Child, VARIANT* Role) { FORWARD(get_accRole(Child, Role)); }
HRESULT TAccessibleProxy::get_accState(VARIANT Child, VARIANT* State) { FORWARD(get_accState(Child, State)); }
HRESULT TAccessibleProxy::get_accHelp(VARIANT Child, BSTR* Help) { FORWARD(get_accHelp(Child, Help)); }
HRESULT TAccessibleProxy::get_accHelpTopic(BSTR* File, VARIANT Child, LONG* Topic) {
  FORWARD(get_accHelpTopic(File, Child, Topic));
}
HRESULT TAccessibleProxy::get_accKeyboardShortcut(VARIANT Child, BSTR* Shortcut) {
  FORWARD(get_accKeyboardShortcut(Child, Shortcut));
}
HRESULT TAccessibleProxy::get_accFocus(VARIANT* Focus) { FORWARD(get_accFocus(Focus)); }
HRESULT TAccessibleProxy::get_accSelection(VARIANT* Selection) { FORWARD(get_accSelection(Selection)); }
HRESULT TAccessibleProxy::get_accDefaultAction(VARIANT Child, BSTR* Action) {
  FORWARD(get_accDefaultAction(Child, Action));
}
HRESULT TAccessibleProxy::accSelect(LONG Flags, VARIANT Child) { FORWARD(accSelect(Flags, Child)); }
HRESULT TAccessibleProxy::accLocation(LONG* Left, LONG* Top, LONG* Width, LONG* Height, VARIANT Child) {
  FORWARD(accLocation(Left, Top, Width, Height, Child));
}
HRESULT TAccessibleProxy::accNavigate(LONG Direction, VARIANT Start, VARIANT* End) {
  FORWARD(accNavigate(Direction, Start, End));
}
HRESULT TAccessibleProxy::accHitTest(LONG X, LONG Y, VARIANT* Child) { FORWARD(accHitTest(X, Y, Child)); }
HRESULT TAccessibleProxy::accDoDefaultAction(VARIANT Child) { FORWARD(accDoDefaultAction(Child)); }
HRESULT TAccessibleProxy::put_accName(VARIANT Child, BSTR Name) { FORWARD(put_accName(Child, Name)); }
HRESULT TAccessibleProxy::put_accValue(VARIANT Child, BSTR Value) { FORWARD(put_accValue(Child, Value)); }

#undef FORWARD
