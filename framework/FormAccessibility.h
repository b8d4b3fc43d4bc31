// What a form offers screen readers: its client object, made on the first
// request and answered with while the form lives, and the default actions
// that clients ask of its windowless controls.
#pragma once

#include "Messages.h"

class TControl;
class TCustomForm;
class TFormAccessible;

class TFormAccessibility {
 public:
  explicit TFormAccessibility(TCustomForm& Form) : FForm(Form) {}
  // Cuts the client object off from clients that still hold it.
  ~TFormAccessibility();
  TFormAccessibility(const TFormAccessibility&) = delete;
  TFormAccessibility& operator=(const TFormAccessibility&) = delete;

  // Handles WM_GETOBJECT for the client area when the form has a windowless
  // control to show, and CM_DEFAULTACTION; false when the message is left
  // to the framework (which gives the system's standard object).
  bool Dispatch(TMessage& Message);

  // The form's children as screen readers see them are, in creation order,
  // its windowed children in sight and its simple elements, numbered from 1.
  static LONG ChildCount(TCustomForm& Form);
  // Child number Id, or nullptr.
  static TControl* Child(TCustomForm& Form, LONG Id);
  // The number of Control among its form's children; 0 when it is none.
  static LONG ChildId(TControl& Control);
  // Whether Control is a simple element: windowless, shown and enabled,
  // clickable, and at least partly in its form's client area.
  static bool IsElement(TControl& Control);
  // Tells screen readers that a simple element's state (hot-tracked) changed.
  static void StateChanged(TControl& Control);

 private:
  void Release();
  TCustomForm& FForm;
  TFormAccessible* FObject = nullptr;
};
