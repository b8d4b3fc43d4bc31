// What a form offers screen readers: its client object, made on the first
// request and answered with while the form lives, and the default actions
// that clients ask of its windowless controls.
#pragma once

#include "ComRef.h"
#include "Messages.h"

class TControl;
class TCustomForm;
class TFormAccessible;

class TFormAccessibility {
 public:
  explicit TFormAccessibility(TCustomForm& Form);
  // Cuts the client object off from clients that still hold it.
  ~TFormAccessibility();
  TFormAccessibility(const TFormAccessibility&) = delete;
  TFormAccessibility& operator=(const TFormAccessibility&) = delete;

  // Handles WM_GETOBJECT for the client area when the form has a windowless
  // control to show, and CM_DEFAULTACTION; false when the message is left
  // to the framework (which gives the system's standard object).
  bool Dispatch(TMessage& Message);

  // Tells screen readers that a simple element's state (hot-tracked) changed.
  static void StateChanged(TControl& Control);

 private:
  void Disconnect();
  TCustomForm& FForm;
  TComRef<TFormAccessible> FObject;
};
