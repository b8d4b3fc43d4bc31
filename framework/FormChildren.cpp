#include "FormChildren.h"

#include "Forms.h"

namespace {

bool InClientArea(TCustomForm& Form, const RECT& Bounds) {
  const RECT Client = Form.ClientRect();
  RECT Common;
  return IntersectRect(&Common, &Bounds, &Client);
}

bool IsChild(TCustomForm& Form, TControl& Control) {
  if (!Control.IsWindowed())
    return TFormChildren::IsElement(Control);
  auto& Window = static_cast<TWinControl&>(Control);
  return Window.HandleAllocated() && IsWindowVisible(Window.Handle()) && InClientArea(Form, Window.BoundsRect());
}

}  // namespace

bool TFormChildren::IsElement(TControl& Control) {
  TCustomForm* Form = Control.ParentForm();
  return !Control.IsWindowed() && Form && Control.Parent() == Form && Control.Visible() && Control.Enabled() &&
         (Control.ControlStyle() & csClickEvents) && Control.OnClick && InClientArea(*Form, Control.BoundsRect());
}

LONG TFormChildren::Count(TCustomForm& Form) {
  LONG Count = 0;
  for (TControl* Control : Form.Controls())
    Count += IsChild(Form, *Control);
  return Count;
}

TControl* TFormChildren::Child(TCustomForm& Form, LONG Id) {
  for (TControl* Control : Form.Controls())
    if (IsChild(Form, *Control) && --Id == 0)
      return Control;
  return nullptr;
}

LONG TFormChildren::IdOf(TControl& Control) {
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
