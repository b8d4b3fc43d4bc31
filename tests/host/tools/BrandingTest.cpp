// Tests of the branding of a host: its pictures and their double sizes.
#include "PeImageTestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace PeImageTestSupport;

// --- Double-size pictures in branding -------------------------------------------------------

Bytes BrandFixture(const std::string& Name) {
  std::ifstream In(std::string(BRAND_FIXTURES) + "/" + Name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(In), {});
}

Bytes Stream(const TStreamObject& Root) {
  TMemoryStream Out;
  WriteComponentStream(Out, Root);
  return Out.Data();
}

TStreamValue Jpeg(const Bytes& Data) { return TStreamValue::Binary(EncodePictureValue({"TJPEGImage", Data})); }

// A host with a window description holding the two picture controls, and,
// when `DoubleKeys` is not empty, double-size pictures under these keys.
Bytes BrandableHost(const std::vector<std::string>& DoubleKeys) {
  TStreamObject Form{0, {}, "TInstallerForm", "InstallerForm", {}, {}};
  TStreamObject Image{0, {}, "TImage", "Image1", {{"Picture.Data", Jpeg(Pattern(40, 1))}}, {}};
  TStreamObject Button{0, {}, "TMouseEffectImage", "MouseEffectImage1", {}, {}};
  for (const char* Property : {"Picture.Data", "OriginPicture.Data", "OverPicture.Data", "DownPicture.Data"})
    Button.Properties.push_back({Property, Jpeg(Pattern(20, 2))});
  Form.Children = {Image, Button};
  auto Resources = SampleResources();
  Resources.erase(Resources.begin() + 6);  // the description in a second language
  Resources[0].Data = Stream(Form);
  if (!DoubleKeys.empty()) {
    TStreamObject Twice{0, {}, "TInstallerForm", "InstallerForm", {}, {}};
    for (const std::string& Key : DoubleKeys)
      Twice.Properties.push_back({Key, Jpeg(Pattern(80, 3))});
    Resources.push_back(
        Res(TResourceId::Number(RtRcData), TResourceId::Named("TINSTALLERFORM2X"), 1033, Stream(Twice)));
  }
  return BuildImage(SampleSections(), Resources);
}

TBrandFile Given(const char* Role, const std::string& Fixture) { return {true, Role, BrandFixture(Fixture)}; }

// The keys of the branded host's double-size pictures, in order, each with
// its picture's bytes; nullopt when it has none.
std::optional<std::vector<std::pair<std::string, Bytes>>> Doubles(const Bytes& Branded) {
  const TPeImage Image = TPeImage::Parse(Branded);
  const TResource* Twice = Image.Find(TResourceId::Number(RtRcData), TResourceId::Named("TINSTALLERFORM2X"));
  if (!Twice)
    return std::nullopt;
  EXPECT_EQ(Twice->Language, 1033);
  TMemoryStream In(Twice->Data);
  const TStreamObject Root = ReadComponentStream(In);
  EXPECT_EQ(Root.Name, "InstallerForm");
  EXPECT_EQ(Root.ClassName, "TInstallerForm");
  EXPECT_TRUE(Root.Children.empty());
  std::vector<std::pair<std::string, Bytes>> Found;
  for (const TStreamProperty& P : Root.Properties)
    Found.emplace_back(P.Name, DecodePictureValue(std::get<TBinaryValue>(P.Value.Data).Bytes).Data);
  return Found;
}

const char* const kButtonKeys[] = {"MouseEffectImage1.Picture", "MouseEffectImage1.OriginPicture",
                                   "MouseEffectImage1.DownPicture"};

TEST(Branding, DoubleSizePicturesGoUnderTheKeysTheyDouble) {
  const Bytes Background = BrandFixture("background-2x.jpg"), Button = BrandFixture("button-2x.jpg");
  TBrandFiles Files;
  Files.Background2x = Given("background-2x", "background-2x.jpg");
  Files.Hover2x = Given("hover-2x", "button-2x.jpg");
  // A host without any gets the resource, in the description's language.
  auto Stored = Doubles(BrandHost(BrandableHost({}), "host", Files));
  ASSERT_TRUE(Stored);
  using TEntries = std::vector<std::pair<std::string, Bytes>>;
  EXPECT_EQ(*Stored, (TEntries{{"Image1.Picture", Background}, {"MouseEffectImage1.OverPicture", Button}}));

  // A host with some keeps those not given and replaces the others.
  Files = {};
  Files.Button2x = Given("button-2x", "button-2x.jpg");
  Stored = Doubles(BrandHost(BrandableHost({"Image1.Picture", "MouseEffectImage1.Picture"}), "host", Files));
  ASSERT_TRUE(Stored);
  TEntries Want{{"Image1.Picture", Pattern(80, 3)}};
  for (const char* Key : kButtonKeys)
    Want.push_back({Key, Button});
  EXPECT_EQ(*Stored, Want);
}

// A distributor's picture must not show as the host's demo art on a dense screen.
TEST(Branding, ASinglePictureWithoutItsDoubleDropsTheHostsDouble) {
  const std::vector<std::string> All{"Image1.Picture", "MouseEffectImage1.Picture", "MouseEffectImage1.OriginPicture",
                                     "MouseEffectImage1.DownPicture", "MouseEffectImage1.OverPicture"};
  TBrandFiles Files;
  Files.Button = Given("button", "button.jpg");
  auto Stored = Doubles(BrandHost(BrandableHost(All), "host", Files));
  ASSERT_TRUE(Stored);
  std::vector<std::string> Keys;
  for (const auto& [Key, _] : *Stored)
    Keys.push_back(Key);
  EXPECT_EQ(Keys, (std::vector<std::string>{"Image1.Picture", "MouseEffectImage1.OverPicture"}));

  // With every single picture given and no double, the resource goes.
  Files.Background = Given("background", "background.jpg");
  Files.Hover = Given("hover", "button.jpg");
  EXPECT_FALSE(Doubles(BrandHost(BrandableHost(All), "host", Files)));
  // The icon or the skin alone leaves the doubles as they are.
  Files = {};
  Files.Skin = {true, "skin", Pattern(10, 4)};
  Stored = Doubles(BrandHost(BrandableHost(All), "host", Files));
  ASSERT_TRUE(Stored);
  EXPECT_EQ(Stored->size(), All.size());
  // And a host without doubles gets none from single pictures.
  Files.Background = Given("background", "background.jpg");
  EXPECT_FALSE(Doubles(BrandHost(BrandableHost({}), "host", Files)));
}

TEST(Branding, DoubleSizePicturesThatCannotBeReadRefuseTheHost) {
  TBrandFiles Files;
  Files.Background2x = Given("background-2x", "background-2x.jpg");
  Bytes Host = BrandableHost({"Image1.Picture"});
  TPeImage Image = TPeImage::Parse(Host);
  Image.Find(TResourceId::Number(RtRcData), TResourceId::Named("TINSTALLERFORM2X"))->Data = Pattern(30, 9);
  try {
    BrandHost(Image.Write(), "host 'h.exe'", Files);
    FAIL();
  } catch (const EFailure& Failure) {
    EXPECT_EQ(std::string(Failure.what()).rfind("host 'h.exe' has double-size pictures that cannot be read: ", 0), 0u)
        << Failure.what();
  }
}

}  // namespace
