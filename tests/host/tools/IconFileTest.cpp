// Tests of icon files and of replacing an image's icon group.
#include "PeImageTestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace PeImageTestSupport;

TEST(IconFile, MadeFilesParseBackAndBrokenOnesAreRefused) {
  const std::vector<TIconImage> Images{{32, 32, 0, 1, 32, DibImage(32, 1)}, {0, 0, 0, 0, 0, PngImage(2)}};
  const Bytes File = MakeIconFile(Images);
  EXPECT_EQ(Rd32(File, IconField(0, IconFileEntry::DataOffset)), IconField(2, 0));
  const auto Parsed = ParseIconFile(File);
  ASSERT_EQ(Parsed.size(), 2u);
  for (std::size_t I = 0; I < 2; ++I) {
    EXPECT_EQ(Parsed[I].Width, Images[I].Width);
    EXPECT_EQ(Parsed[I].Height, Images[I].Height);
    EXPECT_EQ(Parsed[I].Planes, Images[I].Planes);
    EXPECT_EQ(Parsed[I].BitCount, Images[I].BitCount);
    EXPECT_EQ(Parsed[I].Data, Images[I].Data);
  }
  EXPECT_THROW(MakeIconFile({}), EPeError);
  // The directory counts its images in 16 bits.
  const std::vector<TIconImage> Most(0xFFFF, TIconImage{16, 16, 0, 1, 32, {}});
  EXPECT_EQ(Rd16(MakeIconFile(Most), IconDirectory::Count), 0xFFFFu);
  std::vector<TIconImage> TooMany = Most;
  TooMany.push_back(Most.back());
  try {
    MakeIconFile(TooMany);
    ADD_FAILURE() << "65,536 images taken";
  } catch (const EPeError& E) {
    EXPECT_STREQ(E.what(), "an icon holds 1 to 65535 images, not 65536");
  }

  const std::uint32_t Second = Rd32(File, IconField(1, IconFileEntry::DataOffset));
  const struct {
    const char* what;
    std::function<void(Bytes&)> change;
    const char* error;
  } Cases[] = {
      {"too short", [](Bytes& B) { B.resize(5); }, "not an icon file"},
      {"a PNG file", [](Bytes& B) { B = PngImage(3); }, "not an icon file"},
      {"a cursor", [](Bytes& B) { Wr16(B, IconDirectory::Type, 2); }, "not an icon file"},
      {"reserved set", [](Bytes& B) { Wr16(B, IconDirectory::Reserved, 1); }, "not an icon file"},
      {"no images", [](Bytes& B) { Wr16(B, IconDirectory::Count, 0); }, "the icon file holds no images"},
      {"directory cut short", [](Bytes& B) { Wr16(B, IconDirectory::Count, 0x1000); },
       "the icon file's directory is cut short"},
      {"empty image", [](Bytes& B) { Wr32(B, IconField(1, IconFileEntry::DataSize), 0); }, "icon image 2 is empty"},
      {"image past the end", [](Bytes& B) { Wr32(B, IconField(1, IconFileEntry::DataSize), 0xFFFFFFF0); },
       "icon image 2 lies outside the file"},
      {"image in the directory",
       [](Bytes& B) { Wr32(B, IconField(0, IconFileEntry::DataOffset), IconDirectory::Size); },
       "icon image 1 lies outside the file"},
      {"not a picture", [](Bytes& B) { B[Rd32(B, IconField(0, IconFileEntry::DataOffset))] = 41; },
       "icon image 1 is neither a bitmap nor a PNG"},
      {"images overlap",
       [&](Bytes& B) {
         Wr32(B, IconField(1, IconFileEntry::DataOffset), Second - 16);
         std::copy_n(PngImage(2).begin(), 16, B.begin() + Second - 16);
       },
       "icon images 1 and 2 overlap"},
      {"a PNG signature alone", [](Bytes& B) { Wr32(B, IconField(1, IconFileEntry::DataSize), 8); },
       "icon image 2 is a PNG without its header chunk"},
      {"a PNG cut in its header chunk",
       [](Bytes& B) { Wr32(B, IconField(1, IconFileEntry::DataSize), 8 + 8 + 13 + 3); },
       "icon image 2 is a PNG without its header chunk"},
      {"a PNG of another first chunk", [&](Bytes& B) { B[Second + 12] = 'i'; },
       "icon image 2 is a PNG without its header chunk"},
      {"a bitmap shorter than its header", [](Bytes& B) { Wr32(B, IconField(0, IconFileEntry::DataSize), 39); },
       "icon image 1 is a bitmap shorter than its 40-byte header"},
      {"a directory cut in its last entry", [](Bytes& B) { B.resize(IconField(2, 0) - 1); },
       "the icon file's directory is cut short"},
      {"a directory without its images", [](Bytes& B) { B.resize(IconField(2, 0)); },
       "icon image 1 lies outside the file"},
  };
  for (const auto& C : Cases) {
    Bytes Broken = File;
    C.change(Broken);
    try {
      ParseIconFile(Broken);
      ADD_FAILURE() << C.what << ": parsed";
    } catch (const EPeError& E) {
      EXPECT_STREQ(E.what(), C.error) << C.what;
    }
  }
  // The shortest images taken: a PNG of signature and header chunk, a bitmap of its header alone.
  Bytes Shortest = File;
  Wr32(Shortest, IconField(0, IconFileEntry::DataSize), 40);
  Wr32(Shortest, IconField(1, IconFileEntry::DataSize), 8 + 8 + 13 + 4);
  const auto ParsedShortest = ParseIconFile(Shortest);
  ASSERT_EQ(ParsedShortest.size(), 2u);
  EXPECT_EQ(ParsedShortest[0].Data, Bytes(Images[0].Data.begin(), Images[0].Data.begin() + 40));
  EXPECT_EQ(ParsedShortest[1].Data, Bytes(Images[1].Data.begin(), Images[1].Data.begin() + 33));
  // Damage anywhere is read or refused with a message, never read past the file.
  std::mt19937 Rng(3);
  for (int Round = 0; Round < 3000; ++Round) {
    Bytes Broken = File;
    for (int Hits = 1 + Rng() % 3; Hits > 0; --Hits)
      Broken[Rng() % 64] = static_cast<std::uint8_t>(Rng());
    try {
      for (const TIconImage& Image : ParseIconFile(Broken))
        ASSERT_LE(Image.Data.size(), Broken.size());
    } catch (const EPeError& E) {
      ASSERT_STRNE(E.what(), "") << "round " << Round;
    }
  }
}

TEST(IconGroup, ReplacingAGroupDropsOnlyItsOwnImagesAndKeepsItsLanguage) {
  auto Resources = SampleResources();
  // A second group shares image 2; image 5 belongs to nobody.
  Resources.push_back(Res(TResourceId::Number(RtGroupIcon), TResourceId::Number(7), 1033, GroupDirectory({2, 3})));
  Resources.push_back(Res(TResourceId::Number(RtIcon), TResourceId::Number(3), 1033, DibImage(16, 11)));
  Resources.push_back(Res(TResourceId::Number(RtIcon), TResourceId::Number(5), 1033, DibImage(16, 12)));
  TPeImage Image = TPeImage::Parse(BuildImage(SampleSections(), Resources));

  // Planes and bit count left out of the file come from the bitmap itself.
  const std::vector<TIconImage> Icons{{32, 32, 0, 0, 0, DibImage(32, 20)},
                                      {48, 48, 0, 1, 32, DibImage(48, 21)},
                                      {0, 0, 0, 1, 32, PngImage(22)},
                                      {16, 16, 0, 1, 32, DibImage(16, 23)}};
  ReplaceIconGroup(Image, TResourceId::Named("mainicon"), Icons);
  const TPeImage Written = TPeImage::Parse(Image.Write());

  const TResource* Group = Written.Find(TResourceId::Number(RtGroupIcon), TResourceId::Named("MAINICON"));
  ASSERT_NE(Group, nullptr);
  EXPECT_EQ(Group->Language, 1033);
  ASSERT_EQ(Group->Data.size(), IconDirectory::Size + GroupIconEntry::Size * Icons.size());
  EXPECT_EQ(Rd16(Group->Data, IconDirectory::Type), 1u);
  EXPECT_EQ(Rd16(Group->Data, IconDirectory::Count), Icons.size());
  // Image 1 is freed, 2 stays for the other group, 3 and 5 are taken: ids 1, 4, 6, 7.
  const std::uint16_t WantIds[] = {1, 4, 6, 7};
  for (std::size_t I = 0; I < Icons.size(); ++I) {
    const std::size_t E = IconDirectory::Size + GroupIconEntry::Size * I;
    EXPECT_EQ(Group->Data[E + GroupIconEntry::Width], Icons[I].Width);
    EXPECT_EQ(Group->Data[E + GroupIconEntry::Height], Icons[I].Height);
    EXPECT_EQ(Rd16(Group->Data, E + GroupIconEntry::Planes), 1u) << I;
    EXPECT_EQ(Rd16(Group->Data, E + GroupIconEntry::BitCount), 32u) << I;
    EXPECT_EQ(Rd32(Group->Data, E + GroupIconEntry::DataSize), Icons[I].Data.size());
    EXPECT_EQ(Rd16(Group->Data, E + GroupIconEntry::Id), WantIds[I]);
    const TResource* Icon = Written.Find(TResourceId::Number(RtIcon), TResourceId::Number(WantIds[I]));
    ASSERT_NE(Icon, nullptr);
    EXPECT_EQ(Icon->Data, Icons[I].Data);
    EXPECT_EQ(Icon->Language, 1033);
  }
  EXPECT_EQ(Written.Find(TResourceId::Number(RtIcon), TResourceId::Number(2))->Data, DibImage(16, 3));
  EXPECT_EQ(Written.Find(TResourceId::Number(RtIcon), TResourceId::Number(5))->Data, DibImage(16, 12));
  EXPECT_EQ(std::count_if(Written.Resources().begin(), Written.Resources().end(),
                          [](const TResource& r) { return r.Type.Matches(TResourceId::Number(RtIcon)); }),
            7);

  // With every lower id taken, the last image may still have 65,535, and the next none. Group 9
  // lists only an image that others share, so replacing it frees no id.
  auto Crowded = Resources;
  Crowded.push_back(Res(TResourceId::Number(RtGroupIcon), TResourceId::Number(9), 1033, GroupDirectory({2})));
  TPeImage Full = TPeImage::Parse(BuildImage(SampleSections(), Crowded));
  std::set<std::uint16_t> Taken;
  for (const TResource& R : Full.Resources())
    if (R.Type.Matches(TResourceId::Number(RtIcon)))
      Taken.insert(R.Name.Id);
  for (std::uint32_t Id = 1; Id < 0xFFFF; ++Id)
    if (!Taken.count(static_cast<std::uint16_t>(Id)))
      Full.Resources().push_back(
          Res(TResourceId::Number(RtIcon), TResourceId::Number(static_cast<std::uint16_t>(Id)), 1033, {}));
  TPeImage OneMore = Full;
  ReplaceIconGroup(Full, TResourceId::Number(9), {Icons[0]});
  EXPECT_EQ(Rd16(Full.Find(TResourceId::Number(RtGroupIcon), TResourceId::Number(9))->Data,
                 IconDirectory::Size + GroupIconEntry::Id),
            0xFFFFu);
  EXPECT_THROW(ReplaceIconGroup(OneMore, TResourceId::Number(9), {Icons[0], Icons[1]}), EPeError);

  EXPECT_THROW(ReplaceIconGroup(Image, TResourceId::Named("OTHER"), Icons), EPeError);
  Image.Find(TResourceId::Number(RtGroupIcon), TResourceId::Number(7))->Data.resize(10);
  EXPECT_THROW(ReplaceIconGroup(Image, TResourceId::Number(7), Icons), EPeError);
  EXPECT_THROW(ReplaceIconGroup(Image, TResourceId::Named("MAINICON"), {}), EPeError);

  // A group directory is taken whole and of type 1 (icons) only.
  const auto ReplaceError = [&](const std::function<void(Bytes&)>& Change) -> std::string {
    TPeImage Copy = TPeImage::Parse(BuildImage(SampleSections(), Resources));
    Change(Copy.Find(TResourceId::Number(RtGroupIcon), TResourceId::Number(7))->Data);
    try {
      ReplaceIconGroup(Copy, TResourceId::Number(7), Icons);
    } catch (const EPeError& E) {
      return E.what();
    }
    return "(replaced)";
  };
  const std::size_t Whole = IconDirectory::Size + GroupIconEntry::Size * 2;
  EXPECT_EQ(ReplaceError([](Bytes&) {}), "(replaced)");
  EXPECT_EQ(ReplaceError([](Bytes& g) { Wr16(g, IconDirectory::Type, 2); }), "the icon group #7 is malformed");
  EXPECT_EQ(ReplaceError([](Bytes& g) { Wr16(g, IconDirectory::Reserved, 1); }), "the icon group #7 is malformed");
  EXPECT_EQ(ReplaceError([&](Bytes& g) { g.resize(Whole + 5); }), "(replaced)");
  EXPECT_EQ(ReplaceError([&](Bytes& g) { g.resize(Whole - 1); }), "the icon group #7 is malformed");
}

}  // namespace
