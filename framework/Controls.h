// Components, controls and windowed controls, one include for them all:
// ownership, bounds, colour and font inheritance, message dispatch by number,
// windowless children painted and fed with the mouse by their parent, focus
// and tab order.
#pragma once

#include "Component.h"
#include "Control.h"
#include "ControlTracker.h"
#include "CustomControl.h"
#include "GraphicControl.h"
#include "WinControl.h"
