// Forms, the screen and the application object with its message loop and
// default error handler, one include for them all.
#pragma once

#include "Application.h"
#include "Controls.h"
#include "CustomForm.h"
#include "Screen.h"
