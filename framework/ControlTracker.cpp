#include "ControlTracker.h"

#include "Application.h"
#include "Control.h"
#include "ControlsPrivate.h"

namespace {

// The innermost live tracker; each links to the one made before it.
TControlTracker* TopTracker = nullptr;

}  // namespace

TControlTracker::TControlTracker(TControl* Control) : FControl(Control), FBelow(TopTracker) { TopTracker = this; }

TControlTracker::~TControlTracker() { TopTracker = FBelow; }

void ControlDestroying(TControl* Control) {
  if (ControlsPrivate::CaptureControl == Control)
    ControlsPrivate::CaptureControl = nullptr;
  for (auto* Tracker = TopTracker; Tracker; Tracker = Tracker->FBelow)
    if (Tracker->FControl == Control)
      Tracker->FControl = nullptr;
  // The form gives the focus back to its active control when it is activated.
  if (auto* Form = Control->ParentForm(); Form && Form->ActiveControl() == Control)
    Form->SetActiveControl(nullptr);
  if (Application)
    Application->ControlDestroying(Control);
}
