#include "OffscreenAccessible.h"

#include <utility>

#include "Forms.h"
#include "OleAcc.h"

bool TOffscreenAccessible::OutOfSight(TWinControl& Control) {
  TCustomForm* Form = Control.ParentForm();
  if (!Form || Form == &Control || !Control.HandleAllocated() || !Form->HandleAllocated())
    return false;
  RECT Window, Client, Common;
  GetWindowRect(Control.Handle(), &Window);
  GetClientRect(Form->Handle(), &Client);
  MapWindowPoints(Form->Handle(), HWND_DESKTOP, reinterpret_cast<POINT*>(&Client), 2);
  return !IntersectRect(&Common, &Window, &Client);
}

bool TOffscreenAccessible::Answer(TWinControl& Control, TMessage& Message) {
  const auto Id = static_cast<LONG>(static_cast<DWORD>(Message.LParam));
  if (Message.Msg != WM_GETOBJECT || (Id != OBJID_CLIENT && Id != OBJID_WINDOW) || !OutOfSight(Control))
    return false;
  const TOleAcc* Library = TOleAcc::Get();
  TComRef<IAccessible> Standard;
  if (!Library || FAILED(Library->CreateStdAccessibleObject(Control.Handle(), Id, __uuidof(IAccessible),
                                                            reinterpret_cast<void**>(Standard.Put()))))
    return false;
  TComRef<IAccessible> Object;
  Object.Attach(new TOffscreenAccessible(Control.Handle(), std::move(Standard)));
  Message.Result = Library->LresultFromObject(__uuidof(IAccessible), Message.WParam, Object.Get());
  return true;
}

HRESULT TOffscreenAccessible::get_accState(VARIANT Child, VARIANT* State) {
  if (!IsSelf(Child) || !State || !Standard())
    return TAccessibleProxy::get_accState(Child, State);
  // A standard object may have no state to give (Wine's window object).
  if (FAILED(TAccessibleProxy::get_accState(Child, State)) || State->vt != VT_I4) {
    State->vt = VT_I4;
    State->lVal = 0;
  }
  State->lVal |= STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN;
  return S_OK;
}
