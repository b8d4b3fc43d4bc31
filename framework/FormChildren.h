// The form's children as screen readers see them: in creation order, its
// windowed children in sight and its simple elements, numbered from 1. Both
// the form's handler of screen readers and its client object list them here,
// so neither needs the other to.
#pragma once

#include <windows.h>

class TControl;
class TCustomForm;

class TFormChildren {
 public:
  static LONG Count(TCustomForm& Form);
  // Child number Id, or nullptr.
  static TControl* Child(TCustomForm& Form, LONG Id);
  // The number of Control among its form's children; 0 when it is none.
  static LONG IdOf(TControl& Control);
  // Whether Control is a simple element: windowless, shown and enabled,
  // clickable, and at least partly in its form's client area.
  static bool IsElement(TControl& Control);
};
