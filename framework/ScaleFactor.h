// The factor M/8 by which a form designed at one screen density is laid out
// and drawn for another: every stored length L becomes MulDiv(L, M, 8).
// Eighths, because libjpeg's IDCT decodes a picture at M/8 of its size.
#pragma once

struct TScaleSize {
  int Width = 0, Height = 0;
};

class TScaleFactor {
 public:
  // M of the design density itself.
  static constexpr int Unit = 8;
  // The largest M: the largest scale libjpeg decodes a picture to, or twice
  // that where double-size pictures exist.
  static constexpr int Max = 16, MaxWithDoubleArt = 32;

  constexpr TScaleFactor() = default;
  // M must lie in Unit..MaxWithDoubleArt.
  explicit TScaleFactor(int M);

  // The factor for a screen of Dpi pixels per inch, the form being designed
  // at DesignDpi: M = round(8 * Dpi / DesignDpi), at least Unit and at most
  // Cap. A density that is not known (0 or less) leaves the form unscaled.
  static TScaleFactor ForDensity(int Dpi, int DesignDpi, int Cap = Max);

  // The largest factor up to this one at which a window fits WorkArea: its
  // client area Client (at the design density) scaled, plus Frame (the
  // width and height the frame and title bar add at the screen's density).
  // Unscaled when even that does not fit: a window never shrinks below its
  // design.
  TScaleFactor Fitting(TScaleSize Client, TScaleSize Frame, TScaleSize WorkArea) const;

  int M() const { return FM; }
  bool Scales() const { return FM != Unit; }
  // MulDiv(Length, M, 8): halves round away from zero.
  int Apply(int Length) const;
  TScaleSize Apply(TScaleSize Size) const { return {Apply(Size.Width), Apply(Size.Height)}; }

  friend bool operator==(TScaleFactor A, TScaleFactor B) { return A.FM == B.FM; }

 private:
  int FM = Unit;
};
