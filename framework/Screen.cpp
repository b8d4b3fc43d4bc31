#include "Screen.h"

#include "CustomForm.h"

namespace {
// Trivially made and never torn down: safe to use from any other global's
// constructor or destructor.
constinit TScreen TheScreen;
}  // namespace

TScreen* Screen = &TheScreen;

void TScreen::ControlDestroying(TControl* Control) {
  if (FActiveControl == Control)
    FActiveControl = nullptr;
  if (FActiveForm == Control)
    FActiveForm = nullptr;
}
