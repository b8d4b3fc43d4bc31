// Decoding a JPEG file held in memory into the rows of a 24-bit DIB.
//
// What counts as broken: anything libjpeg cannot decode at all (not a JPEG,
// headers cut short or inconsistent, no image) raises EInvalidGraphic. Damage
// libjpeg recovers from (data cut short, whose missing rows it fills with
// grey; bad entropy-coded data) still yields the picture, as other viewers
// show it, with libjpeg's first warning kept in Warning.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TDecodedImage {
  int Width = 0, Height = 0;
  // Bottom-up 24-bit BGR rows of Stride() bytes each, the padding zero:
  // ready for SetDIBitsToDevice with a positive biHeight.
  std::vector<std::uint8_t> Bits;
  // libjpeg's first warning about damaged data; empty for a clean file.
  std::string Warning;
  // Colour components of the file (1 grey, 3 colour, 4 CMYK), for callers
  // that take less than the decoder does.
  int Components = 0;

  static int StrideFor(int Width) { return (Width * 3 + 3) & ~3; }
  int Stride() const { return StrideFor(Width); }
};

// Largest picture decoded, in pixels, as stored and as scaled; larger ones
// are refused before any pixel memory is taken.
inline constexpr std::uint64_t MaxJpegPixels = 64ull * 1024 * 1024;

// Scales libjpeg's IDCT takes here, in eighths: 8 is full size, 16 the
// largest, 5 the smallest (double-size artwork on a 125 % screen; libjpeg is
// built without the smaller ones).
inline constexpr int MinJpegScale = 5, MaxJpegScale = 16;

// The width or height libjpeg gives a picture side of Length decoded at
// Scale/8: Length * Scale / 8 rounded up.
constexpr int ScaledJpegLength(int Length, int Scale) {
  return static_cast<int>((static_cast<long long>(Length) * Scale + 7) / 8);
}

// Decodes with libjpeg's default settings, so the pixels are the ones its
// djpeg gives (with -scale Scale/8). The scale is applied by libjpeg's IDCT
// itself, not by stretching the decoded picture; it must lie in
// MinJpegScale..MaxJpegScale. Greyscale and CMYK pictures come out as BGR
// too. Raises EInvalidGraphic ("JPEG error #N: <libjpeg's message>", or
// "Invalid JPEG image" for no data at all).
TDecodedImage DecodeJpeg(const std::uint8_t* Data, std::size_t Size, int Scale = 8);

// The picture's size from its header alone; false where DecodeJpeg would
// refuse the header.
bool ReadJpegSize(const std::uint8_t* Data, std::size_t Size, int& Width, int& Height) noexcept;
