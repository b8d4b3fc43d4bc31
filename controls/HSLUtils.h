// Colours between RGB and hue/saturation/lightness, as fractions and on an
// integer scale of HslScale (hue on HslScale - 1). Range-checked: a negative
// (unresolved system) colour or a channel outside 0..255 raises "Range check error".
#pragma once

#include <cstdint>

#include "Colors.h"

inline const std::int32_t HslScale = 240;

void ColorToHslFractions(TColor Color, double& H, double& S, double& L);
void ColorToScaledHsl(TColor Color, std::int32_t& H, std::int32_t& S, std::int32_t& L);
TColor HslFractionsToColor(double H, double S, double L);
TColor ScaledHslToColor(std::int32_t H, std::int32_t S, std::int32_t L);
