// The JPEG decoder against the host's djpeg: the pictures in JPEG_FIXTURES
// were written by ImageMagick and cjpeg at build time, or come from libjpeg's
// own tests, each with its djpeg output (default settings) as NAME.ppm beside it.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <cctype>
#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <csetjmp>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include "JpegDecoder.h"
#include "SysUtils.h"
#include "WinTestSupport.h"

using namespace WinTest;

namespace {

std::string FixturePath(const std::string& Name) { return WindowsPathFromUnix(JPEG_FIXTURES, true) + Name; }
Bytes Fixture(const std::string& Name) { return ReadFileBytes(FixturePath(Name)); }

TDecodedImage Decode(const Bytes& Data) { return DecodeJpeg(Data.data(), Data.size()); }

// The message DecodeJpeg raised, or "no error".
std::string DecodeError(const Bytes& Data) {
  try {
    Decode(Data);
  } catch (const EInvalidGraphic& E) {
    return E.Message();
  }
  return "no error";
}

// A binary PPM (P6) or PGM (P5) as djpeg writes it, as RGB triples.
struct TPixmap {
  int Width = 0, Height = 0;
  Bytes Rgb;
};

TPixmap ReadPixmap(const std::string& Name) {
  const Bytes File = Fixture(Name);
  std::size_t Pos = 2;
  auto Number = [&] {
    while (Pos < File.size() && std::isspace(File[Pos]))
      ++Pos;
    int Value = 0;
    while (Pos < File.size() && std::isdigit(File[Pos]))
      Value = Value * 10 + (File[Pos++] - '0');
    return Value;
  };
  TPixmap Map;
  const bool Grey = File.size() > 2 && File[0] == 'P' && File[1] == '5';
  if (!Grey && !(File.size() > 2 && File[0] == 'P' && File[1] == '6'))
    return Map;
  Map.Width = Number();
  Map.Height = Number();
  if (Number() != 255)
    return {};
  ++Pos;  // the one whitespace byte before the samples
  const std::size_t Pixels = static_cast<std::size_t>(Map.Width) * Map.Height;
  if (File.size() - Pos != Pixels * (Grey ? 1 : 3))
    return {};
  Map.Rgb.resize(Pixels * 3);
  for (std::size_t I = 0; I < Pixels; ++I)
    for (int C = 0; C < 3; ++C)
      Map.Rgb[I * 3 + C] = Grey ? File[Pos + I] : File[Pos + I * 3 + C];
  return Map;
}

// Offset of the first (or last) marker FF Code; npos if none.
std::size_t FindMarker(const Bytes& Data, std::uint8_t Code, bool Last = false) {
  std::size_t Found = std::string::npos;
  for (std::size_t I = 0; I + 1 < Data.size(); ++I)
    if (Data[I] == 0xFF && Data[I + 1] == Code) {
      Found = I;
      if (!Last)
        break;
    }
  return Found;
}

// The JPEG with its frame header claiming Width x Height.
Bytes WithClaimedSize(Bytes Data, int Width, int Height) {
  std::size_t Sof = FindMarker(Data, 0xC0);
  if (Sof == std::string::npos)
    Sof = FindMarker(Data, 0xC2);
  EXPECT_NE(Sof, std::string::npos);
  Data[Sof + 5] = static_cast<std::uint8_t>(Height >> 8);
  Data[Sof + 6] = static_cast<std::uint8_t>(Height);
  Data[Sof + 7] = static_cast<std::uint8_t>(Width >> 8);
  Data[Sof + 8] = static_cast<std::uint8_t>(Width);
  return Data;
}

// The process's private bytes (Wine fills in only the basic counters).
SIZE_T PrivateBytes() {
  PROCESS_MEMORY_COUNTERS Counters{};
  Counters.cb = sizeof Counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &Counters, sizeof Counters))
    return 0;
  return Counters.PagefileUsage;
}

struct TFixture {
  const char* Name;
  int Width, Height;
  const char* Warning;
};

// Kept in step with the fixtures made in tests/win/CMakeLists.txt.
const TFixture Fixtures[] = {
    {"gradient", 450, 304, ""},     // 4:2:0
    {"progressive", 450, 304, ""},  // 4:2:2
    {"grey", 101, 67, ""},
    {"cmyk", 64, 43, ""},
    {"rgb", 45, 30, ""},   // stored as RGB
    {"small", 28, 9, ""},  // 4:2:2
    {"odd", 13, 7, ""},    // 4:2:0, rows padded by 1 byte
    {"pixel", 1, 1, ""},
    {"truncated", 450, 304, "Premature end of JPEG file"},  // the first half of gradient
    // libjpeg's own pictures, and cjpeg's progressive codings of them.
    {"testorig", 227, 149, ""},
    {"testimgint", 227, 149, ""},
    {"testorig_progressive", 227, 149, ""},
    {"testimgint_progressive", 227, 149, ""},
    // Progressive with coefficients left unrefined, which libjpeg smooths.
    {"unrefined", 227, 149, ""},
    {"cut_progressive", 227, 149, "Premature end of JPEG file"},
};

// Names the fixture in test names instead of dumping its bytes.
void PrintTo(const TFixture& F, std::ostream* Out) { *Out << F.Name; }

class JpegFixture : public ::testing::TestWithParam<TFixture> {};

// Expects Image to hold, pixel for pixel, what djpeg wrote into PpmName.
void ExpectAsDjpeg(const TDecodedImage& Image, const std::string& PpmName, int Width, int Height) {
  const TPixmap Expected = ReadPixmap(PpmName);
  ASSERT_EQ(Expected.Width, Width) << "unreadable " << PpmName;
  ASSERT_EQ(Expected.Height, Height);
  ASSERT_EQ(Image.Width, Width);
  ASSERT_EQ(Image.Height, Height);
  const std::size_t Stride = (Width * 3 + 3) / 4 * 4;
  EXPECT_EQ(static_cast<std::size_t>(Image.Stride()), Stride);
  ASSERT_EQ(Image.Bits.size(), Stride * Height);

  int Mismatches = 0;
  std::string First;
  for (int Y = 0; Y < Height; ++Y) {
    const std::uint8_t* Row = Image.Bits.data() + (Height - 1 - Y) * Stride;  // bottom-up
    for (int X = 0; X < Width; ++X) {
      const std::uint8_t* Want = Expected.Rgb.data() + (static_cast<std::size_t>(Y) * Width + X) * 3;
      const std::uint8_t* Got = Row + X * 3;
      if (Got[0] != Want[2] || Got[1] != Want[1] || Got[2] != Want[0]) {
        if (Mismatches++ == 0)
          First = "(" + std::to_string(X) + "," + std::to_string(Y) + ") BGR " + std::to_string(Got[0]) + " " +
                  std::to_string(Got[1]) + " " + std::to_string(Got[2]) + ", djpeg RGB " + std::to_string(Want[0]) +
                  " " + std::to_string(Want[1]) + " " + std::to_string(Want[2]);
      }
    }
    for (std::size_t P = Width * 3; P < Stride; ++P)
      EXPECT_EQ(Row[P], 0) << "padding of row " << Y;
  }
  EXPECT_EQ(Mismatches, 0) << "first at " << First;
}

TEST_P(JpegFixture, DecodesPixelForPixelAsTheHostDecoder) {
  const TFixture& F = GetParam();
  const TDecodedImage Image = Decode(Fixture(std::string(F.Name) + ".jpg"));
  EXPECT_EQ(Image.Warning, F.Warning);
  ExpectAsDjpeg(Image, std::string(F.Name) + ".ppm", F.Width, F.Height);
}

// Full size asked for by name is the default decoding, byte for byte.
TEST_P(JpegFixture, ScaleEightEighthsIsTheDefault) {
  const TFixture& F = GetParam();
  const Bytes Data = Fixture(std::string(F.Name) + ".jpg");
  const TDecodedImage Default = Decode(Data);
  const TDecodedImage Full = DecodeJpeg(Data.data(), Data.size(), 8);
  EXPECT_EQ(Full.Width, Default.Width);
  EXPECT_EQ(Full.Height, Default.Height);
  EXPECT_EQ(Full.Warning, Default.Warning);
  EXPECT_TRUE(Full.Bits == Default.Bits);
}

TEST_P(JpegFixture, ReadsTheSizeFromTheHeader) {
  const TFixture& F = GetParam();
  const Bytes Data = Fixture(std::string(F.Name) + ".jpg");
  int Width = -1, Height = -1;
  ASSERT_TRUE(ReadJpegSize(Data.data(), Data.size(), Width, Height));
  EXPECT_EQ(Width, F.Width);
  EXPECT_EQ(Height, F.Height);
}

INSTANTIATE_TEST_SUITE_P(Jpeg, JpegFixture, ::testing::ValuesIn(Fixtures),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// Each fixture that djpeg also scaled (tests/win/CMakeLists.txt), at each scale.
struct TScaledFixture {
  TFixture Picture;
  int Scale;
};

void PrintTo(const TScaledFixture& F, std::ostream* Out) { *Out << F.Picture.Name << " at " << F.Scale << "/8"; }

std::vector<TScaledFixture> ScaledFixtures() {
  std::vector<TScaledFixture> Result;
  for (const TFixture& F : Fixtures)
    for (const char* Name : {"gradient", "progressive", "grey", "cmyk", "rgb", "small", "odd", "pixel", "testorig",
                             "testorig_progressive", "unrefined"})
      if (std::string(F.Name) == Name)
        for (int Scale : {5, 6, 10, 12, 16})
          Result.push_back({F, Scale});
  return Result;
}

class JpegScaledFixture : public ::testing::TestWithParam<TScaledFixture> {};

TEST_P(JpegScaledFixture, DecodesPixelForPixelAsTheHostDecoderScales) {
  const TScaledFixture& F = GetParam();
  const Bytes Data = Fixture(std::string(F.Picture.Name) + ".jpg");
  const TDecodedImage Image = DecodeJpeg(Data.data(), Data.size(), F.Scale);
  EXPECT_EQ(Image.Warning, "");
  ExpectAsDjpeg(Image, std::string(F.Picture.Name) + "-" + std::to_string(F.Scale) + ".ppm",
                ScaledJpegLength(F.Picture.Width, F.Scale), ScaledJpegLength(F.Picture.Height, F.Scale));
}

INSTANTIATE_TEST_SUITE_P(Jpeg, JpegScaledFixture, ::testing::ValuesIn(ScaledFixtures()), [](const auto& Info) {
  return std::string(Info.param.Picture.Name) + "_" + std::to_string(Info.param.Scale);
});

TEST(JpegDecoder, ScaledSizesRoundUpAsLibjpegDoes) {
  EXPECT_EQ(ScaledJpegLength(450, 8), 450);
  EXPECT_EQ(ScaledJpegLength(450, 10), 563);  // 562.5
  EXPECT_EQ(ScaledJpegLength(304, 10), 380);
  EXPECT_EQ(ScaledJpegLength(450, 12), 675);
  EXPECT_EQ(ScaledJpegLength(304, 12), 456);
  EXPECT_EQ(ScaledJpegLength(450, 16), 900);
  EXPECT_EQ(ScaledJpegLength(13, 10), 17);  // 16.25
  EXPECT_EQ(ScaledJpegLength(1, 9), 2);
  EXPECT_EQ(ScaledJpegLength(0, 16), 0);
}

TEST(JpegDecoder, ScalesOutsideTheIdctsRangeAreRefused) {
  const Bytes Data = Fixture("small.jpg");
  EXPECT_EQ(DecodeJpeg(Data.data(), Data.size(), 5).Width, 18);  // 17.5
  EXPECT_EQ(DecodeJpeg(Data.data(), Data.size(), 16).Width, 56);
  for (int Scale : {4, 17, 0, -8}) {
    try {
      DecodeJpeg(Data.data(), Data.size(), Scale);
      FAIL() << Scale;
    } catch (const EInvalidGraphic& E) {
      EXPECT_EQ(E.Message(), "JPEG scale " + std::to_string(Scale) + "/8 is not supported");
    }
  }
}

// The scaled size counts against the limit, before any pixel memory is taken
// (a picture at the limit itself would take 192 MB to decode).
TEST(JpegDecoder, AbsurdScaledSizesAreRefusedBeforeDecoding) {
  const Bytes Small = Fixture("small.jpg");
  const Bytes OverLimit = WithClaimedSize(Small, 4096, 4097);
  try {
    DecodeJpeg(OverLimit.data(), OverLimit.size(), 16);
    FAIL();
  } catch (const EInvalidGraphic& E) {
    EXPECT_EQ(E.Message(), "JPEG image too large: 8192 x 8194 pixels");
  }
  EXPECT_EQ(DecodeJpeg(OverLimit.data(), OverLimit.size(), 8).Width, 4096);
}

TEST(JpegDecoder, EmptyInputIsInvalid) {
  EXPECT_THROW(DecodeJpeg(nullptr, 0), EInvalidGraphic);
  const std::uint8_t Byte = 0xFF;
  try {
    DecodeJpeg(&Byte, 0);
    FAIL();
  } catch (const EInvalidGraphic& E) {
    EXPECT_EQ(E.Message(), "Invalid JPEG image");
  }
  int Width = 7, Height = 7;
  EXPECT_FALSE(ReadJpegSize(&Byte, 0, Width, Height));
  EXPECT_EQ(Width, 7);
  EXPECT_EQ(Height, 7);
}

TEST(JpegDecoder, OtherFilesAreNotJpegs) {
  // A PNG under a .jpg name.
  EXPECT_EQ(DecodeError(Fixture("not-a-jpeg.jpg")), "JPEG error #53: Not a JPEG file: starts with 0x89 0x50");
  Bytes Noise = RandomBytes(4096, 7);
  Noise[0] = 0x12;
  Noise[1] = 0x34;
  EXPECT_EQ(DecodeError(Noise), "JPEG error #53: Not a JPEG file: starts with 0x12 0x34");
  int Width, Height;
  EXPECT_FALSE(ReadJpegSize(Noise.data(), Noise.size(), Width, Height));
}

TEST(JpegDecoder, NoiseAfterTheStartMarkerIsAnError) {
  for (std::uint32_t Seed = 1; Seed <= 20; ++Seed) {
    Bytes Noise = RandomBytes(8192, Seed);
    Noise[0] = 0xFF;
    Noise[1] = 0xD8;
    const std::string Error = DecodeError(Noise);
    EXPECT_EQ(Error.rfind("JPEG error #", 0), 0u) << "seed " << Seed << ": " << Error;
  }
  const Bytes Empty{0xFF, 0xD8, 0xFF, 0xD9};
  EXPECT_EQ(DecodeError(Empty), "JPEG error #51: JPEG datastream contains no image");
}

TEST(JpegDecoder, HeadersCutShortAreAnError) {
  const Bytes Whole = Fixture("gradient.jpg");
  const std::size_t Sos = FindMarker(Whole, 0xDA);
  ASSERT_NE(Sos, std::string::npos);
  const Bytes Headers(Whole.begin(), Whole.begin() + static_cast<std::ptrdiff_t>(Sos));
  EXPECT_EQ(DecodeError(Headers), "JPEG error #59: Invalid JPEG file structure: missing SOS marker");
  int Width, Height;
  EXPECT_FALSE(ReadJpegSize(Headers.data(), Headers.size(), Width, Height));
  // Cut inside the tables, before the frame header.
  const Bytes Tables(Whole.begin(), Whole.begin() + 100);
  EXPECT_EQ(DecodeError(Tables).rfind("JPEG error #", 0), 0u) << DecodeError(Tables);
}

TEST(JpegDecoder, EveryPrefixEitherDecodesOrRaises) {
  const Bytes Whole = Fixture("small.jpg");
  int Decoded = 0;
  for (std::size_t Length = 0; Length <= Whole.size(); ++Length) {
    const Bytes Prefix(Whole.begin(), Whole.begin() + static_cast<std::ptrdiff_t>(Length));
    try {
      const TDecodedImage Image = Decode(Prefix);
      EXPECT_EQ(Image.Width, 28);
      EXPECT_EQ(Image.Height, 9);
      EXPECT_EQ(Image.Bits.size(), 9u * Image.Stride());
      if (Length == Whole.size()) {
        EXPECT_EQ(Image.Warning, "");
      }
      ++Decoded;
    } catch (const EInvalidGraphic& E) {
      EXPECT_EQ(E.Message().rfind("JPEG error #", 0) == 0 || Length == 0, true) << E.Message();
    }
  }
  // Everything from the first scan on is picture data, filled in with grey.
  EXPECT_GT(Decoded, 0);
}

TEST(JpegDecoder, DamagedBytesNeverCrash) {
  for (const char* Name : {"small.jpg", "progressive.jpg", "grey.jpg"}) {
    const Bytes Whole = Fixture(Name);
    std::mt19937 Rng(2024);
    for (int Round = 0; Round < 150; ++Round) {
      Bytes Damaged = Whole;
      const int Flips = 1 + static_cast<int>(Rng() % 4);
      for (int I = 0; I < Flips; ++I)
        Damaged[Rng() % Damaged.size()] = static_cast<std::uint8_t>(Rng());
      try {
        const TDecodedImage Image = Decode(Damaged);
        EXPECT_GT(Image.Width, 0);
        EXPECT_GT(Image.Height, 0);
        EXPECT_EQ(Image.Bits.size(), static_cast<std::size_t>(Image.Stride()) * Image.Height);
      } catch (const EInvalidGraphic& E) {
        EXPECT_FALSE(E.Message().empty());
      }
    }
  }
}

TEST(JpegDecoder, AbsurdSizesAreRefusedBeforeDecoding) {
  const Bytes Small = Fixture("small.jpg");
  const Bytes Huge = WithClaimedSize(Small, 65000, 65000);
  EXPECT_EQ(DecodeError(Huge), "JPEG image too large: 65000 x 65000 pixels");
  int Width = 0, Height = 0;
  EXPECT_FALSE(ReadJpegSize(Huge.data(), Huge.size(), Width, Height));
  // 64 Mpixel exactly passes, one row more does not.
  const Bytes AtLimit = WithClaimedSize(Small, 8192, 8192);
  EXPECT_TRUE(ReadJpegSize(AtLimit.data(), AtLimit.size(), Width, Height));
  EXPECT_EQ(Width, 8192);
  EXPECT_EQ(Height, 8192);
  const Bytes OverLimit = WithClaimedSize(Small, 8192, 8193);
  EXPECT_FALSE(ReadJpegSize(OverLimit.data(), OverLimit.size(), Width, Height));
  EXPECT_EQ(DecodeError(OverLimit), "JPEG image too large: 8192 x 8193 pixels");
  // Beyond what the JPEG format allows at all.
  EXPECT_EQ(DecodeError(WithClaimedSize(Small, 65535, 1)),
            "JPEG error #41: Maximum supported image dimension is 65500 pixels");
  EXPECT_EQ(DecodeError(WithClaimedSize(Small, 0, 9)), "JPEG error #32: Empty JPEG image (DNL not supported)");
}

// The progressive fixture with its first scan's spectral selection made impossible,
// which libjpeg finds only after taking the memory for the whole picture.
Bytes WithBadFirstScan() {
  Bytes Data = Fixture("progressive.jpg");
  const std::size_t Sos = FindMarker(Data, 0xDA);
  EXPECT_NE(Sos, std::string::npos);
  const std::size_t Components = Data[Sos + 4];
  Data[Sos + 5 + 2 * Components] = 64;  // Ss
  return Data;
}

TEST(JpegDecoder, ErrorsInsideTheImageDataAreRaised) {
  const std::string Error = DecodeError(WithBadFirstScan());
  EXPECT_EQ(Error.rfind("JPEG error #16: Invalid progressive parameters Ss=64 ", 0), 0u) << Error;
}

TEST(JpegDecoder, EndlessScansAreCutOff) {
  const Bytes Progressive = Fixture("progressive.jpg");
  const std::size_t LastScan = FindMarker(Progressive, 0xDA, true);
  const std::size_t End = FindMarker(Progressive, 0xD9, true);
  ASSERT_LT(LastScan, End);
  Bytes Endless(Progressive.begin(), Progressive.begin() + static_cast<std::ptrdiff_t>(End));
  for (int I = 0; I < 600; ++I)
    Endless.insert(Endless.end(), Progressive.begin() + static_cast<std::ptrdiff_t>(LastScan),
                   Progressive.begin() + static_cast<std::ptrdiff_t>(End));
  Endless.insert(Endless.end(), {0xFF, 0xD9});
  EXPECT_EQ(DecodeError(Endless), "JPEG image has more than 500 scans");
}

TEST(JpegDecoder, RepeatedDecodingKeepsNoMemory) {
  const Bytes Good = Fixture("gradient.jpg");
  const Bytes Progressive = Fixture("progressive.jpg");
  const Bytes Bad = WithBadFirstScan();
  const Bytes Truncated = Fixture("truncated.jpg");
  auto Round = [&] {
    EXPECT_EQ(Decode(Good).Width, 450);
    EXPECT_EQ(Decode(Progressive).Width, 450);
    EXPECT_EQ(Decode(Truncated).Width, 450);
    EXPECT_THROW(Decode(Bad), EInvalidGraphic);
    int Width, Height;
    EXPECT_TRUE(ReadJpegSize(Good.data(), Good.size(), Width, Height));
  };
  for (int I = 0; I < 10; ++I)
    Round();
  const SIZE_T Before = PrivateBytes();
  ASSERT_GT(Before, 0u);
  for (int I = 0; I < 200; ++I)
    Round();
  const SIZE_T After = PrivateBytes();
  // A decompressor left behind would cost at least 40 KB a round, the bad
  // progressive one over 400 KB.
  EXPECT_LT(static_cast<long long>(After) - static_cast<long long>(Before), 4ll << 20)
      << "before " << Before << ", after " << After;
}

// Pictures libjpeg's own tests carry that this decoder does not take: its
// library is built without arithmetic decoding, and for 8-bit samples.
TEST(JpegDecoder, LibjpegsOwnPicturesItCannotDecodeFailWithLibjpegsMessage) {
  const Bytes Arithmetic = Fixture("testimgari.jpg");
  EXPECT_EQ(DecodeError(Arithmetic), "JPEG error #1: Sorry, arithmetic coding is not implemented");
  int Width = 0, Height = 0;
  ASSERT_TRUE(ReadJpegSize(Arithmetic.data(), Arithmetic.size(), Width, Height));  // the header is sound
  EXPECT_EQ(Width, 227);
  EXPECT_EQ(Height, 149);

  const Bytes TwelveBit = Fixture("testorig12.jpg");
  EXPECT_EQ(DecodeError(TwelveBit), "JPEG error #15: Unsupported JPEG data precision 12");
  EXPECT_FALSE(ReadJpegSize(TwelveBit.data(), TwelveBit.size(), Width, Height));
}

// libjpeg is built without what the decoder's settings never reach; asking
// the library itself for it fails with its own error. Scaling by the IDCT is
// built in from 5/8 up.
struct TFailingDecode {
  jpeg_error_mgr Err;
  std::jmp_buf Jump;
  int Code = 0;
};

// libjpeg's error code from starting to decode Data with Settings applied
// (0 for none), and the output width it settled on.
template <class TSettings>
std::pair<int, JDIMENSION> StartDecompress(const Bytes& Data, TSettings Settings) {
  jpeg_decompress_struct Info{};
  TFailingDecode Fail;
  Info.err = jpeg_std_error(&Fail.Err);
  Fail.Err.error_exit = [](j_common_ptr I) {
    auto& F = *static_cast<TFailingDecode*>(I->client_data);
    F.Code = I->err->msg_code;
    std::longjmp(F.Jump, 1);
  };
  Info.client_data = &Fail;
  JDIMENSION Width = 0;
  if (setjmp(Fail.Jump) == 0) {
    jpeg_create_decompress(&Info);
    jpeg_mem_src(&Info, Data.data(), static_cast<unsigned long>(Data.size()));
    jpeg_read_header(&Info, TRUE);
    Settings(Info);
    jpeg_start_decompress(&Info);
    Width = Info.output_width;
  }
  jpeg_destroy_decompress(&Info);
  return {Fail.Code, Width};
}

TEST(JpegDecoder, StagesTheDecoderNeverUsesAreLeftOutOfLibjpeg) {
  const Bytes Data = Fixture("gradient.jpg");
  using TResult = std::pair<int, JDIMENSION>;
  EXPECT_EQ(StartDecompress(Data, [](jpeg_decompress_struct&) {}), TResult(0, 450));
  EXPECT_EQ(StartDecompress(Data, [](jpeg_decompress_struct& I) { I.quantize_colors = TRUE; }),
            TResult(JERR_NOT_COMPILED, 0));
  EXPECT_EQ(StartDecompress(Data, [](jpeg_decompress_struct& I) { I.dct_method = JDCT_IFAST; }),
            TResult(JERR_NOT_COMPILED, 0));
  EXPECT_EQ(StartDecompress(Data, [](jpeg_decompress_struct& I) { I.dct_method = JDCT_FLOAT; }),
            TResult(JERR_NOT_COMPILED, 0));
  EXPECT_EQ(StartDecompress(Data, [](jpeg_decompress_struct& I) { I.scale_denom = 2; }), TResult(JERR_BAD_DCTSIZE, 0));
  EXPECT_EQ(StartDecompress(Data,
                            [](jpeg_decompress_struct& I) {
                              I.scale_num = 5;
                              I.scale_denom = 8;
                            }),
            TResult(0, 282));
  EXPECT_EQ(StartDecompress(Data,
                            [](jpeg_decompress_struct& I) {
                              I.scale_num = 12;
                              I.scale_denom = 8;
                            }),
            TResult(0, 675));
  // Packed RGB in either order is written; the other layouts are not.
  for (J_COLOR_SPACE Space : {JCS_RGB, JCS_EXT_RGB, JCS_EXT_BGR})
    EXPECT_EQ(StartDecompress(Data, [Space](jpeg_decompress_struct& I) { I.out_color_space = Space; }), TResult(0, 450))
        << Space;
  for (J_COLOR_SPACE Space : {JCS_RGB565, JCS_EXT_BGRX, JCS_EXT_BGRA, JCS_EXT_RGBX, JCS_EXT_ABGR, JCS_EXT_XRGB})
    EXPECT_EQ(StartDecompress(Data, [Space](jpeg_decompress_struct& I) { I.out_color_space = Space; }),
              TResult(JERR_CONVERSION_NOTIMPL, 0))
        << Space;
}

}  // namespace
