// The mouse capture as the framework last set it: TControl sets it,
// TWinControl hears of its loss and the tracker forgets a control that goes.
// Not for callers, who ask GetCaptureControl, which checks with the system.
#pragma once

class TControl;

namespace ControlsPrivate {
extern TControl* CaptureControl;
}  // namespace ControlsPrivate
