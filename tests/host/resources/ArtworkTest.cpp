// The artwork's formats, read from the committed files themselves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadArtwork(const std::string& Name) {
  std::ifstream In(std::string(ARTWORK_DIR) + "/" + Name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(In), {});
}

int Be16(const Bytes& B, std::size_t At) { return B.at(At) << 8 | B.at(At + 1); }
int Le16(const Bytes& B, std::size_t At) { return B.at(At) | B.at(At + 1) << 8; }
std::uint32_t Le32(const Bytes& B, std::size_t At) {
  return static_cast<std::uint32_t>(Le16(B, At)) | static_cast<std::uint32_t>(Le16(B, At + 2)) << 16;
}

struct TJpegFacts {
  bool Jfif = false;
  int JfifVersion = 0, DensityUnits = -1, DensityX = 0, DensityY = 0;
  int FrameMarker = 0, Precision = 0, Width = 0, Height = 0, Components = 0;
};

// Walks the markers up to the first frame header.
TJpegFacts ReadJpeg(const Bytes& B) {
  TJpegFacts F;
  EXPECT_EQ(Be16(B, 0), 0xFFD8) << "no start of image";
  std::size_t At = 2;
  while (At + 4 <= B.size() && B[At] == 0xFF) {
    const int Marker = B[At + 1];
    const int Length = Be16(B, At + 2);
    const std::size_t Body = At + 4;
    if (Marker == 0xE0 && std::string(B.begin() + Body, B.begin() + Body + 5) == std::string("JFIF\0", 5)) {
      F.Jfif = true;
      F.JfifVersion = B.at(Body + 5) << 8 | B.at(Body + 6);
      F.DensityUnits = B.at(Body + 7);
      F.DensityX = Be16(B, Body + 8);
      F.DensityY = Be16(B, Body + 10);
    } else if (Marker >= 0xC0 && Marker <= 0xCF && Marker != 0xC4 && Marker != 0xC8 && Marker != 0xCC) {
      F.FrameMarker = Marker;
      F.Precision = B.at(Body);
      F.Height = Be16(B, Body + 1);
      F.Width = Be16(B, Body + 3);
      F.Components = B.at(Body + 5);
      return F;
    }
    At += 2 + static_cast<std::size_t>(Length);
  }
  ADD_FAILURE() << "no frame header";
  return F;
}

TEST(Artwork, PicturesAreBaselineJfifJpegsOfTheirSizes) {
  struct Case {
    const char* File;
    int Width, Height;
  } const Cases[] = {{"background.jpg", 450, 304},     {"button-normal.jpg", 28, 9},
                     {"button-hover.jpg", 28, 9},      {"background-2x.jpg", 900, 608},
                     {"button-normal-2x.jpg", 56, 18}, {"button-hover-2x.jpg", 56, 18}};
  for (auto C : Cases) {
    SCOPED_TRACE(C.File);
    auto F = ReadJpeg(ReadArtwork(C.File));
    EXPECT_TRUE(F.Jfif);
    EXPECT_EQ(F.JfifVersion, 0x0101);
    EXPECT_EQ(F.DensityUnits, 1);  // dots per inch
    EXPECT_EQ(F.DensityX, 72);
    EXPECT_EQ(F.DensityY, 72);
    EXPECT_EQ(F.FrameMarker, 0xC0) << "baseline";
    EXPECT_EQ(F.Precision, 8);
    EXPECT_EQ(F.Components, 3);
    EXPECT_EQ(F.Width, C.Width);
    EXPECT_EQ(F.Height, C.Height);
  }
}

TEST(Artwork, IconHasOne32By32ImageOf16Colours) {
  auto B = ReadArtwork("main.ico");
  ASSERT_GE(B.size(), 22u);
  EXPECT_EQ(Le16(B, 0), 0);
  EXPECT_EQ(Le16(B, 2), 1);  // an icon
  EXPECT_EQ(Le16(B, 4), 1);  // one image
  EXPECT_EQ(B[6], 32);
  EXPECT_EQ(B[7], 32);
  EXPECT_EQ(B[8], 16);        // colours
  EXPECT_EQ(Le16(B, 12), 4);  // bits per pixel
  const auto Size = Le32(B, 14), Offset = Le32(B, 18);
  EXPECT_EQ(Size, 744u);
  ASSERT_EQ(Offset + Size, B.size());
  // The image itself: a 40-byte header, 16-entry palette, 4-bit colour and 1-bit mask rows.
  EXPECT_EQ(Le32(B, Offset), 40u);
  EXPECT_EQ(Le32(B, Offset + 4), 32u);
  EXPECT_EQ(Le32(B, Offset + 8), 64u);
  EXPECT_EQ(Le16(B, Offset + 14), 4);
}

// MAINICON: the title icon's very image first, so that whatever takes the
// first image gets today's, then the sizes dense screens ask for.
TEST(Artwork, ApplicationIconStartsWithTheTitleIconThenTheDenserSizes) {
  const auto Title = ReadArtwork("main.ico");
  const auto B = ReadArtwork("app.ico");
  ASSERT_GE(B.size(), 6u);
  EXPECT_EQ(Le16(B, 0), 0);
  EXPECT_EQ(Le16(B, 2), 1);
  const int Count = Le16(B, 4);
  ASSERT_EQ(Count, 7);
  const int Sizes[] = {32, 16, 20, 24, 40, 48, 64};
  std::size_t End = 6 + 16 * Count;
  for (int I = 0; I < Count; ++I) {
    SCOPED_TRACE(I);
    const std::size_t Entry = 6 + 16 * static_cast<std::size_t>(I);
    const int Bits = I == 0 ? 4 : 32;
    EXPECT_EQ(B.at(Entry), Sizes[I]);
    EXPECT_EQ(B.at(Entry + 1), Sizes[I]);
    EXPECT_EQ(B.at(Entry + 2), I == 0 ? 16 : 0);  // colours
    EXPECT_EQ(Le16(B, Entry + 6), Bits);
    const auto Size = Le32(B, Entry + 8), Offset = Le32(B, Entry + 12);
    EXPECT_EQ(Offset, End) << "images follow each other";
    End = Offset + Size;
    ASSERT_LE(End, B.size());
    EXPECT_EQ(Le32(B, Offset + 4), static_cast<std::uint32_t>(Sizes[I]));
    EXPECT_EQ(Le32(B, Offset + 8), static_cast<std::uint32_t>(2 * Sizes[I]));
    EXPECT_EQ(Le16(B, Offset + 14), Bits);
    if (I == 0) {
      EXPECT_TRUE(std::equal(B.begin() + Offset, B.begin() + End, Title.begin() + 22, Title.end()));
      EXPECT_EQ(Size, Title.size() - 22);
    } else {
      // Colour rows and the mask rows, each padded to 4 bytes.
      const std::uint32_t Mask = (Sizes[I] + 31) / 32 * 4;
      EXPECT_EQ(Size, 40u + Sizes[I] * (Sizes[I] * 4u + Mask));
    }
  }
  EXPECT_EQ(End, B.size());
}

}  // namespace
