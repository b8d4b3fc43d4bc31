#include "JpegDecoder.h"

// jpeglib.h needs FILE (and on Windows the Windows types) declared before it.
// Portable: the package maker checks pictures with this same decoder.
#ifdef _WIN32
#include <windows.h>
#endif
#include <stdio.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <csetjmp>
#include <cstring>

#include <jpeglib.h>

#include "SysUtils.h"

namespace {

// Real progressive files have about ten scans; a damaged one can claim
// thousands, each a pass over the whole picture.
constexpr int MaxScans = 500;

bool FitsLimits(JDIMENSION Width, JDIMENSION Height) {
  return Width > 0 && Height > 0 && std::uint64_t{Width} * Height <= MaxJpegPixels;
}

// Owns a jpeg_decompress_struct. libjpeg reports a fatal error by calling
// error_exit, which must not return: ours jumps back into Run, and only C
// frames and frames without destructors lie between the two.
class TDecompressor {
 public:
  TDecompressor(const std::uint8_t* Data, std::size_t Size) : FData(Data), FSize(Size) {
    // Zeroed, destroying is harmless even when creating failed half-way.
    std::memset(&FInfo, 0, sizeof FInfo);
    std::memset(&FProgress, 0, sizeof FProgress);
    FInfo.err = jpeg_std_error(&FErr);
    FErr.error_exit = ErrorExit;
    FErr.output_message = KeepFirstWarning;
    FInfo.client_data = this;
    FProgress.progress_monitor = LimitScans;
  }
  ~TDecompressor() { jpeg_destroy_decompress(&FInfo); }
  TDecompressor(const TDecompressor&) = delete;
  TDecompressor& operator=(const TDecompressor&) = delete;

  jpeg_decompress_struct& Info() { return FInfo; }

  // Runs Step, which calls libjpeg; false when libjpeg gave up.
  template <class TStep>
  bool Run(TStep&& Step) {
    if (setjmp(FJump) != 0)
      return false;
    Step();
    return true;
  }

  void ReadHeader() {
    jpeg_create_decompress(&FInfo);
    FInfo.progress = &FProgress;
    jpeg_mem_src(&FInfo, FData, static_cast<unsigned long>(FSize));
    jpeg_read_header(&FInfo, TRUE);
  }

  [[noreturn]] void Raise() const {
    if (FOwnError)
      throw EInvalidGraphic(FText);
    throw EInvalidGraphic("JPEG error #" + std::to_string(FCode) + ": " + FText);
  }

  const char* Warning() const { return FWarning; }

 private:
  static TDecompressor& Self(j_common_ptr Info) { return *static_cast<TDecompressor*>(Info->client_data); }

  [[noreturn]] static void ErrorExit(j_common_ptr Info) {
    TDecompressor& D = Self(Info);
    D.FCode = Info->err->msg_code;
    Info->err->format_message(Info, D.FText);
    std::longjmp(D.FJump, 1);
  }

  // libjpeg passes only the first warning here (and writes it to stderr by default).
  static void KeepFirstWarning(j_common_ptr Info) {
    TDecompressor& D = Self(Info);
    if (D.FWarning[0] == '\0')
      Info->err->format_message(Info, D.FWarning);
  }

  static void LimitScans(j_common_ptr Info) {
    if (reinterpret_cast<j_decompress_ptr>(Info)->input_scan_number <= MaxScans)
      return;
    TDecompressor& D = Self(Info);
    D.FOwnError = true;
    // Built by hand: a printf here would link a whole formatting library.
    static constexpr char Head[] = "JPEG image has more than ", Tail[] = " scans";
    char* P = std::copy(Head, Head + sizeof Head - 1, D.FText);
    P = std::to_chars(P, P + 10, MaxScans).ptr;
    std::copy(Tail, Tail + sizeof Tail, P);
    std::longjmp(D.FJump, 1);
  }

  const std::uint8_t* FData;
  std::size_t FSize;
  jpeg_decompress_struct FInfo;
  jpeg_error_mgr FErr;
  jpeg_progress_mgr FProgress;
  std::jmp_buf FJump;
  int FCode = 0;
  bool FOwnError = false;
  char FText[JMSG_LENGTH_MAX] = {};
  char FWarning[JMSG_LENGTH_MAX] = {};
};

// The conversion djpeg applies to CMYK output: Adobe's inverted CMYK, as
// practically every CMYK JPEG is stored. Rounds c*k/255 to nearest.
void CmykRowToBgr(const JSAMPLE* Cmyk, std::uint8_t* Bgr, int Width) {
  for (int X = 0; X < Width; ++X, Cmyk += 4, Bgr += 3) {
    unsigned K = Cmyk[3];
    Bgr[0] = static_cast<std::uint8_t>((2 * Cmyk[2] * K + 255) / 510);
    Bgr[1] = static_cast<std::uint8_t>((2 * Cmyk[1] * K + 255) / 510);
    Bgr[2] = static_cast<std::uint8_t>((2 * Cmyk[0] * K + 255) / 510);
  }
}

}  // namespace

// libjpeg is built with only what these settings reach (scripts/setup): full
// colour, at full size or scaled by the IDCT, the accurate IDCT, fancy
// upsampling, Huffman coding. A file that needs more, arithmetic coding say,
// fails with libjpeg's own error.
TDecodedImage DecodeJpeg(const std::uint8_t* Data, std::size_t Size, int Scale) {
  if (Scale < MinJpegScale || Scale > MaxJpegScale)
    throw EInvalidGraphic("JPEG scale " + std::to_string(Scale) + "/8 is not supported");
  if (!Data || Size == 0)
    throw EInvalidGraphic("Invalid JPEG image");
  if (Size > ULONG_MAX)
    throw EInvalidGraphic("JPEG image too large");
  TDecompressor D(Data, Size);
  if (!D.Run([&] { D.ReadHeader(); }))
    D.Raise();
  jpeg_decompress_struct& Info = D.Info();
  if (!FitsLimits(Info.image_width, Info.image_height))
    throw EInvalidGraphic("JPEG image too large: " + std::to_string(Info.image_width) + " x " +
                          std::to_string(Info.image_height) + " pixels");

  // libjpeg converts every colour space to BGR but CMYK, which djpeg converts itself.
  const bool Cmyk = Info.jpeg_color_space == JCS_CMYK || Info.jpeg_color_space == JCS_YCCK;
  Info.out_color_space = Cmyk ? JCS_CMYK : JCS_EXT_BGR;
  Info.scale_num = static_cast<unsigned>(Scale);
  Info.scale_denom = 8;
  if (!D.Run([&] { jpeg_calc_output_dimensions(&Info); }))
    D.Raise();
  if (!FitsLimits(Info.output_width, Info.output_height))
    throw EInvalidGraphic("JPEG image too large: " + std::to_string(Info.output_width) + " x " +
                          std::to_string(Info.output_height) + " pixels");
  TDecodedImage Image;
  Image.Width = static_cast<int>(Info.output_width);
  Image.Height = static_cast<int>(Info.output_height);
  Image.Components = Info.num_components;
  const std::size_t Stride = static_cast<std::size_t>(Image.Stride());
  Image.Bits.resize(Stride * static_cast<std::size_t>(Image.Height));
  std::vector<JSAMPLE> CmykRow(Cmyk ? static_cast<std::size_t>(Image.Width) * 4 : 0);

  std::uint8_t* const Bits = Image.Bits.data();
  JSAMPLE* const CmykData = CmykRow.data();
  const bool Decoded = D.Run([&] {
    jpeg_start_decompress(&Info);
    while (Info.output_scanline < Info.output_height) {
      std::uint8_t* Dest = Bits + (Info.output_height - 1 - Info.output_scanline) * Stride;
      JSAMPROW Row = Cmyk ? CmykData : Dest;
      jpeg_read_scanlines(&Info, &Row, 1);
      if (Cmyk)
        CmykRowToBgr(CmykData, Dest, static_cast<int>(Info.output_width));
    }
    // What follows the last row is not read: trailing damage spoils nothing.
  });
  if (!Decoded)
    D.Raise();
  Image.Warning = D.Warning();
  return Image;
}

bool ReadJpegSize(const std::uint8_t* Data, std::size_t Size, int& Width, int& Height) noexcept {
  if (!Data || Size == 0 || Size > ULONG_MAX)
    return false;
  TDecompressor D(Data, Size);
  if (!D.Run([&] { D.ReadHeader(); }))
    return false;
  const jpeg_decompress_struct& Info = D.Info();
  if (!FitsLimits(Info.image_width, Info.image_height))
    return false;
  Width = static_cast<int>(Info.image_width);
  Height = static_cast<int>(Info.image_height);
  return true;
}
