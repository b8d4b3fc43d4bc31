#include "FormAccessibility.h"

#include "ComRef.h"
#include "FormAccessible.h"
#include "Forms.h"
#include "OleAcc.h"

namespace {

bool InClientArea(TCustomForm& Form, const RECT& Bounds) {
  const RECT Client = Form.ClientRect();
  RECT Common;
  return IntersectRect(&Common, &Bounds, &Client);
}

bool IsChild(TCustomForm& Form, TControl& Control) {
  if (!Control.IsWindowed())
    return TFormAccessibility::IsElement(Control);
  auto& Window = static_cast<TWinControl&>(Control);
  return Window.HandleAllocated() && IsWindowVisible(Window.Handle()) && InClientArea(Form, Window.BoundsRect());
}

}  // namespace

TFormAccessibility::~TFormAccessibility() { Release(); }

void TFormAccessibility::Release() {
  if (!FObject)
    return;
  FObject->Disconnect();
  // Clients in other processes hold the object through its stub.
  TOleAcc::Get()->CoDisconnectObject(static_cast<IAccessible*>(FObject), 0);
  FObject->Release();
  FObject = nullptr;
}

bool TFormAccessibility::IsElement(TControl& Control) {
  TCustomForm* Form = Control.ParentForm();
  return !Control.IsWindowed() && Form && Control.Parent() == Form && Control.Visible() && Control.Enabled() &&
         (Control.ControlStyle() & csClickEvents) && Control.OnClick && InClientArea(*Form, Control.BoundsRect());
}

LONG TFormAccessibility::ChildCount(TCustomForm& Form) {
  LONG Count = 0;
  for (TControl* Control : Form.Controls())
    Count += IsChild(Form, *Control);
  return Count;
}

TControl* TFormAccessibility::Child(TCustomForm& Form, LONG Id) {
  for (TControl* Control : Form.Controls())
    if (IsChild(Form, *Control) && --Id == 0)
      return Control;
  return nullptr;
}

LONG TFormAccessibility::ChildId(TControl& Control) {
  TCustomForm* Form = Control.ParentForm();
  if (!Form || Control.Parent() != Form || !IsChild(*Form, Control))
    return 0;
  LONG Id = 1;
  for (TControl* Other : Form->Controls()) {
    if (Other == &Control)
      return Id;
    Id += IsChild(*Form, *Other);
  }
  return 0;
}

bool TFormAccessibility::Dispatch(TMessage& Message) {
  if (Message.Msg == WM_ENABLE) {
    // A box that waits disables the form: its elements become unavailable.
    for (TControl* Control : FForm.Controls())
      if (IsElement(*Control))
        StateChanged(*Control);
    return false;
  }
  if (Message.Msg == CM_DEFAULTACTION) {
    // The control may have gone, or changed, since the client asked; and a
    // box may wait, whose loop delivers this to the disabled form.
    for (TControl* Control : FForm.Controls())
      if (Control == reinterpret_cast<TControl*>(Message.LParam) && IsElement(*Control) &&
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
    Elements = Elements || IsElement(*Control);
  const TOleAcc* Library = Elements ? TOleAcc::Get() : nullptr;
  if (!Library || !Library->OwnObjects)
    return false;
  // A window made anew (a new border style) needs a standard object of its own.
  if (FObject && FObject->Window() != FForm.Handle())
    Release();
  if (!FObject) {
    TComRef<IAccessible> Standard;
    if (FAILED(Library->CreateStdAccessibleObject(FForm.Handle(), OBJID_CLIENT, __uuidof(IAccessible),
                                                  reinterpret_cast<void**>(Standard.Put()))))
      return false;
    FObject = new TFormAccessible(FForm, Standard.Get());
  }
  auto* Object = static_cast<IAccessible*>(FObject);
  Message.Result = Library->LresultFromObject(__uuidof(IAccessible), Message.WParam, Object);
  return true;
}

void TFormAccessibility::StateChanged(TControl& Control) {
  TCustomForm* Form = Control.ParentForm();
  const LONG Id = Control.IsWindowed() ? 0 : ChildId(Control);
  if (Id && Form->HandleAllocated())
    NotifyWinEvent(EVENT_OBJECT_STATECHANGE, Form->Handle(), OBJID_CLIENT, Id);
}
