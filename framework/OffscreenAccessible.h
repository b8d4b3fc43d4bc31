// The standard object of a windowed control that lies wholly outside its
// form's client area, which says so: invisible and off-screen, so that a
// screen reader never offers what no user can see or reach.
#pragma once

#include "AccessibleProxy.h"
#include "Messages.h"

class TWinControl;

class TOffscreenAccessible : public TAccessibleProxy {
 public:
  using TAccessibleProxy::TAccessibleProxy;

  // Answers WM_GETOBJECT for the control's window or client object while it
  // lies out of sight; false (nothing done) otherwise.
  static bool Answer(TWinControl& Control, TMessage& Message);
  // Whether no part of the control's window lies in its form's client area.
  static bool OutOfSight(TWinControl& Control);

  HRESULT STDMETHODCALLTYPE get_accState(VARIANT Child, VARIANT* State) override;
};
