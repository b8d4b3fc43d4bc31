// Prints the model of a window description (ComponentStream.h) as its text
// form (ComponentText.h).
#pragma once

#include <functional>
#include <string>

#include "ComponentStream.h"

// Keeps a picture met while printing and returns the file name the text gives
// for it, or "" to print the value as hex.
using TPictureSaver =
    std::function<std::string(const TStreamObject& Owner, const std::string& PropName, const TPictureValue& Picture)>;

// Text that ParseComponentText turns back into an equal model.
std::string PrintComponentText(const TStreamObject& Root, const TPictureSaver& Saver = {});
