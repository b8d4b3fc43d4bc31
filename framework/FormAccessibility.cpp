#include "FormAccessibility.h"

#include <utility>

#include "FormAccessible.h"
#include "FormChildren.h"
#include "Forms.h"
#include "OleAcc.h"

TFormAccessibility::TFormAccessibility(TCustomForm& Form) : FForm(Form) {}

TFormAccessibility::~TFormAccessibility() { Disconnect(); }

void TFormAccessibility::Disconnect() {
  if (!FObject)
    return;
  FObject->Disconnect();
  // Clients in other processes hold the object through its stub.
  TOleAcc::Get()->CoDisconnectObject(static_cast<IAccessible*>(FObject.Get()), 0);
  FObject.Reset();
}

bool TFormAccessibility::Dispatch(TMessage& Message) {
  if (Message.Msg == WM_ENABLE) {
    // A box that waits disables the form: its elements become unavailable.
    // StateChanged tells of elements alone.
    for (TControl* Control : FForm.Controls())
      StateChanged(*Control);
    return false;
  }
  if (Message.Msg == CM_DEFAULTACTION) {
    // The control may have gone, or changed, since the client asked; and a
    // box may wait, whose loop delivers this to the disabled form.
    for (TControl* Control : FForm.Controls())
      if (Control == reinterpret_cast<TControl*>(Message.LParam) && TFormChildren::IsElement(*Control) &&
          IsWindowEnabled(FForm.Handle())) {
        Control->Click();
        break;
      }
    return true;
  }
  if (Message.Msg != WM_GETOBJECT || static_cast<LONG>(static_cast<DWORD>(Message.LParam)) != OBJID_CLIENT)
    return false;
  // A form without windowless controls to show is what the system's object says it is.
  bool Elements = false;
  for (TControl* Control : FForm.Controls())
    Elements = Elements || TFormChildren::IsElement(*Control);
  const TOleAcc* Library = Elements ? TOleAcc::Get() : nullptr;
  if (!Library)
    return false;
  // A window made anew (a new border style) needs a standard object of its own.
  if (FObject && FObject->Window() != FForm.Handle())
    Disconnect();
  if (!FObject) {
    TComRef<IAccessible> Standard;
    if (FAILED(Library->CreateStdAccessibleObject(FForm.Handle(), OBJID_CLIENT, __uuidof(IAccessible),
                                                  reinterpret_cast<void**>(Standard.Put()))))
      return false;
    FObject.Attach(new TFormAccessible(FForm, std::move(Standard)));
  }
  auto* Object = static_cast<IAccessible*>(FObject.Get());
  Message.Result = Library->LresultFromObject(__uuidof(IAccessible), Message.WParam, Object);
  return true;
}

void TFormAccessibility::StateChanged(TControl& Control) {
  TCustomForm* Form = Control.ParentForm();
  const LONG Id = Control.IsWindowed() ? 0 : TFormChildren::IdOf(Control);
  if (Id && Form->HandleAllocated())
    NotifyWinEvent(EVENT_OBJECT_STATECHANGE, Form->Handle(), OBJID_CLIENT, Id);
}
