// Compiles the text form of a window description (ComponentText.h) into the
// model of ComponentStream.h.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ComponentStream.h"

// Returns the bytes of a file named in the text (relative to the text's folder);
// raises Exception when it cannot.
using TFileLoader = std::function<std::vector<std::uint8_t>(const std::string& FileName)>;

// Raises EParserError starting "Line N:" and naming what was expected.
TStreamObject ParseComponentText(std::string_view Text, const TFileLoader& Loader = {});
