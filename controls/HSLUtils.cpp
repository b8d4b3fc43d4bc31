#include "HSLUtils.h"

#include <algorithm>
#include <cfenv>
#include <cmath>

#include "Checked.h"

namespace {

// Nearest integer, ties to even.
std::int64_t Round(double X) {
  if (!(std::fabs(X) < 9.2e18))
    throw ERangeError(Consts::SRangeError);
  return static_cast<std::int64_t>(std::nearbyint(X));
}

std::uint8_t Channel(double V) { return static_cast<std::uint8_t>(TSubrange<0, 255>(Round(V * 255))); }

}  // namespace

void ColorToHslFractions(TColor Color, double& H, double& S, double& L) {
  if (Color < 0)
    throw ERangeError(Consts::SRangeError);
  const double R = RedOf(Color) / 255.0, G = GreenOf(Color) / 255.0, B = BlueOf(Color) / 255.0;
  const double Max = std::max(R, std::max(G, B)), Min = std::min(R, std::min(G, B));
  L = (Max + Min) / 2;
  if (Max == Min) {
    H = S = 0;
    return;
  }
  const double D = Max - Min;
  S = L < 0.5 ? D / (Max + Min) : D / (2 - Max - Min);
  if (R == Max)
    H = (G - B) / D;
  else if (G == Max)
    H = 2 + (B - R) / D;
  else
    H = 4 + (R - G) / D;
  H /= 6;
  if (H < 0)
    H += 1;
}

void ColorToScaledHsl(TColor Color, std::int32_t& H, std::int32_t& S, std::int32_t& L) {
  double Hf, Sf, Lf;
  ColorToHslFractions(Color, Hf, Sf, Lf);
  H = RangeChecked<std::int32_t>(Round(Hf * (HslScale - 1)));
  S = RangeChecked<std::int32_t>(Round(Sf * HslScale));
  L = RangeChecked<std::int32_t>(Round(Lf * HslScale));
}

TColor HslFractionsToColor(double H, double S, double L) {
  std::uint8_t Red, Green, Blue;
  if (S == 0) {
    Red = Green = Blue = Channel(L);
  } else {
    const double M2 = L <= 0.5 ? L * (1 + S) : L + S - L * S;
    const double M1 = 2 * L - M2;
    auto HueToChannel = [M1, M2](double X) {
      if (X < 0)
        X += 1;
      else if (X > 1)
        X -= 1;
      double V;
      if (6 * X < 1)
        V = M1 + (M2 - M1) * X * 6;
      else if (2 * X < 1)
        V = M2;
      else if (3 * X < 2)
        V = M1 + (M2 - M1) * (2.0 / 3 - X) * 6;
      else
        V = M1;
      return Channel(V);
    };
    Red = HueToChannel(H + 1.0 / 3);
    Green = HueToChannel(H);
    Blue = HueToChannel(H - 1.0 / 3);
  }
  return RGBColor(Red, Green, Blue);
}

TColor ScaledHslToColor(std::int32_t H, std::int32_t S, std::int32_t L) {
  return HslFractionsToColor(static_cast<double>(H) / (HslScale - 1), static_cast<double>(S) / HslScale,
                             static_cast<double>(L) / HslScale);
}
