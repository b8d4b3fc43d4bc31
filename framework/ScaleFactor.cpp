#include "ScaleFactor.h"

#include <algorithm>
#include <string>

#include "SysUtils.h"

TScaleFactor::TScaleFactor(int M) : FM(M) {
  if (M < Unit || M > MaxWithDoubleArt)
    throw ERangeError("Scale " + std::to_string(M) + "/8 out of range");
}

TScaleFactor TScaleFactor::ForDensity(int Dpi, int DesignDpi, int Cap) {
  if (Dpi <= 0 || DesignDpi <= 0)
    return TScaleFactor();
  // round(8 * Dpi / DesignDpi), halves up: both are positive.
  const long long M = (2LL * Unit * Dpi + DesignDpi) / (2LL * DesignDpi);
  return TScaleFactor(static_cast<int>(std::clamp<long long>(M, Unit, std::clamp(Cap, Unit, MaxWithDoubleArt))));
}

TScaleFactor TScaleFactor::Fitting(TScaleSize Client, TScaleSize Frame, TScaleSize WorkArea) const {
  for (int M = FM; M > Unit; --M) {
    const TScaleFactor Candidate(M);
    const TScaleSize Scaled = Candidate.Apply(Client);
    if (Scaled.Width + Frame.Width <= WorkArea.Width && Scaled.Height + Frame.Height <= WorkArea.Height)
      return Candidate;
  }
  return TScaleFactor();
}

int TScaleFactor::Apply(int Length) const {
  const long long Product = static_cast<long long>(Length) * FM;
  const long long Half = Unit / 2;
  return static_cast<int>(Product >= 0 ? (Product + Half) / Unit : -((-Product + Half) / Unit));
}
