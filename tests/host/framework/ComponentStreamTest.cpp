// The stored window description: binary stream, model, text form and pictures.
#include "ComponentStream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "ComponentText.h"
#include "SysUtils.h"

namespace {

using TBytes = std::vector<std::uint8_t>;

// Assembles a stream by hand, byte by byte, as the format describes it.
struct TAsm {
  TBytes B;
  TAsm& Raw(std::initializer_list<int> Bytes) {
    for (int X : Bytes)
      B.push_back(static_cast<std::uint8_t>(X));
    return *this;
  }
  TAsm& Raw(const TBytes& Bytes) {
    B.insert(B.end(), Bytes.begin(), Bytes.end());
    return *this;
  }
  TAsm& Chars(std::string_view S) {
    B.insert(B.end(), S.begin(), S.end());
    return *this;
  }
  TAsm& Short(std::string_view S) {
    B.push_back(static_cast<std::uint8_t>(S.size()));
    return Chars(S);
  }
  TAsm& LE(std::uint64_t V, int N) {
    for (int I = 0; I < N; ++I)
      B.push_back(static_cast<std::uint8_t>(V >> (8 * I)));
    return *this;
  }
  TAsm& Signature() { return Chars("TPF0"); }
};

TStreamObject Read(const TBytes& Bytes) {
  TMemoryStream S(Bytes);
  return ReadComponentStream(S);
}

TBytes Write(const TStreamObject& Obj) {
  TMemoryStream S;
  WriteComponentStream(S, Obj);
  return S.Data();
}

// The message of the framework error that reading raises; "" when it loads.
std::string ReadError(const TBytes& Bytes) {
  try {
    Read(Bytes);
  } catch (const EReadError& E) {
    return E.Message();
  }
  return "";
}

std::string ParseError(std::string_view Text, const TFileLoader& Loader = {}) {
  try {
    ParseComponentText(Text, Loader);
  } catch (const EParserError& E) {
    return E.Message();
  }
  return "";
}

TBytes MakeJpeg(std::size_t Size) {
  TBytes J(Size);
  for (std::size_t I = 0; I < Size; ++I)
    J[I] = static_cast<std::uint8_t>(I * 37 + 11);
  J[0] = 0xFF, J[1] = 0xD8, J[2] = 0xFF, J[3] = 0xE0;
  J[Size - 2] = 0xFF, J[Size - 1] = 0xD9;
  return J;
}

TBytes MakeIcon() {
  TBytes I = {0, 0, 1, 0, 1, 0, 32, 32, 16, 0};
  for (int K = 0; K < 40; ++K)
    I.push_back(static_cast<std::uint8_t>(K));
  return I;
}

// One property of every value type, each in the form the writer itself chooses.
TBytes EveryValueTypeStream() {
  TAsm A;
  A.Signature().Short("TForm1").Short("Form1");
  A.Short("PNull").Raw({vaNull});
  A.Short("PList").Raw({vaList, vaInt8, 1, vaString}).Short("x").Raw({vaList, vaNull, vaNull});
  A.Short("PInt8").Raw({vaInt8, 0x80});
  A.Short("PInt16").Raw({vaInt16}).LE(static_cast<std::uint16_t>(-300), 2);
  A.Short("PInt32").Raw({vaInt32}).LE(100000, 4);
  A.Short("PExtended").Raw({vaExtended, 0xCD, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xFB, 0x3F});  // 0.1
  A.Short("PExtendedHalf").Raw({vaExtended, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x3F});                   // 1.5
  A.Short("PString").Raw({vaString}).Short("It's\r\n\x01\xE9");
  A.Short("PIdent").Raw({vaIdent}).Short("clBtnFace");
  A.Short("PIdentKeyword").Raw({vaIdent}).Short("True");
  A.Short("PIdentOdd").Raw({vaIdent}).Short("a b'c");
  A.Short("PFalse").Raw({vaFalse});
  A.Short("PTrue").Raw({vaTrue});
  A.Short("PBinary").Raw({vaBinary}).LE(40, 4);
  for (int I = 0; I < 40; ++I)
    A.Raw({I * 7});
  A.Short("PSet").Raw({vaSet}).Short("biSystemMenu").Short("biMinimize").Raw({0});
  A.Short("PEmptySet").Raw({vaSet, 0});
  std::string Long(300, 'L');
  Long[7] = '\'';
  Long[100] = '\n';
  A.Short("PLString").Raw({vaLString}).LE(Long.size(), 4).Chars(Long);
  A.Short("PNil").Raw({vaNil});
  A.Short("PCollection").Raw({vaCollection, vaList}).Short("Caption").Raw({vaString}).Short("a").Raw({0});
  A.Raw({vaInt16}).LE(1000, 2).Raw({vaList}).Short("Width").Raw({vaInt8, 5}).Raw({0});
  A.Raw({vaList, 0});  // an item with no properties
  A.Raw({vaNull});
  A.Short("PEmptyCollection").Raw({vaCollection, vaNull});
  A.Short("PSingle").Raw({vaSingle}).LE(0x3DCCCCCD, 4);     // 0.1f
  A.Short("PSingleNaN").Raw({vaSingle}).LE(0x7FA00001, 4);  // a signalling NaN with a payload
  A.Short("PCurrency").Raw({vaCurrency}).LE(static_cast<std::uint64_t>(-123456789), 8);
  A.Short("PDate").Raw({vaDate}).LE(0x40E5F9D000000000, 8);  // 45006.5
  A.Short("PWString").Raw({vaWString}).LE(5, 4).LE(u'c', 2).LE(0xE9, 2).LE(0xD83D, 2).LE(0xDE00, 2).LE(0xDC00, 2);
  A.Short("PInt64").Raw({vaInt64}).LE(0x123456789ABCDEF0, 8);
  A.Short("PUTF8").Raw({vaUTF8String}).LE(6, 4).Chars("caf\xC3\xA9!");
  A.Short("PDouble").Raw({vaDouble}).LE(0x3FB999999999999A, 8);  // 0.1
  A.Short("PDoubleInf").Raw({vaDouble}).LE(0xFFF0000000000000, 8);
  A.Raw({0});                                                       // end of properties
  A.Raw({0xF3, vaInt8, 2}).Short("TButton").Short("").Raw({0, 0});  // inherited, child position 2
  A.Raw({0xF4}).Short("TFrame").Short("Frame1").Short("Left").Raw({vaInt8, 3}).Raw({0, 0});
  A.Raw({0xF0 | ffInherited | ffInline}).Short("TPanel").Short("end").Raw({0, 0});
  A.Raw({0});  // end of children
  return A.B;
}

// The small form of the installer: a window with one picture whose JPEG is 551 bytes.
TBytes SmallFormStream(const TBytes& Jpeg) {
  TAsm A;
  A.Signature().Short("TInstallerForm").Short("InstallerForm");
  A.Short("BorderStyle").Raw({vaIdent}).Short("bsSingle");
  A.Short("Caption").Raw({vaString}).Short("Install Screensaver");
  A.Short("ClientHeight").Raw({vaInt16}).LE(304, 2);
  A.Short("Color").Raw({vaIdent}).Short("clBtnFace");
  A.Short("Font.Height").Raw({vaInt8, 0xF5});
  A.Short("Font.Name").Raw({vaString}).Short("MS Sans Serif");
  A.Short("Font.Style").Raw({vaSet, 0});
  A.Short("BorderIcons").Raw({vaSet}).Short("biSystemMenu").Raw({0});
  A.Short("OnCreate").Raw({vaIdent}).Short("FormCreate");
  A.Raw({0});
  A.Short("TImage").Short("Image1");
  A.Short("Left").Raw({vaInt8, 0xF8});
  A.Short("AutoSize").Raw({vaTrue});
  A.Short("Picture.Data").Raw({vaBinary}).LE(1 + 10 + 4 + Jpeg.size(), 4);
  A.Short("TJPEGImage").LE(Jpeg.size(), 4).Raw(Jpeg);
  A.Raw({0, 0});
  A.Raw({0});
  return A.B;
}

const char* SmallFormText =
    "object InstallerForm: TInstallerForm\n"
    "  BorderStyle = bsSingle\n"
    "  Caption = 'Install Screensaver'\n"
    "  ClientHeight = 304\n"
    "  Color = clBtnFace\n"
    "  Font.Height = -11\n"
    "  Font.Name = 'MS Sans Serif'\n"
    "  Font.Style = []\n"
    "  BorderIcons = [biSystemMenu]\n"
    "  OnCreate = FormCreate\n"
    "  object Image1: TImage\n"
    "    Left = -8\n"
    "    AutoSize = True\n"
    "    Picture.Data = file 'background.jpg' as TJPEGImage\n"
    "  end\n"
    "end\n";

// Binary -> model -> binary, and model -> text -> model -> binary -> text.
void ExpectRoundTrips(const TBytes& Bytes) {
  const auto Model = Read(Bytes);
  ASSERT_EQ(Write(Model), Bytes);
  const auto Text = PrintComponentText(Model);
  const auto Reparsed = ParseComponentText(Text);
  ASSERT_EQ(Reparsed, Model) << Text;
  ASSERT_EQ(Write(Reparsed), Bytes) << Text;
  ASSERT_EQ(PrintComponentText(Reparsed), Text);
}

// ---------------------------------------------------------------- binary

TEST(ComponentStream, EveryValueTypeRoundTripsByteIdentically) {
  const auto Bytes = EveryValueTypeStream();
  const auto M = Read(Bytes);
  EXPECT_EQ(M.ClassName, "TForm1");
  EXPECT_EQ(M.Name, "Form1");
  std::map<std::string, TValueKind> Kinds;
  for (const auto& P : M.Properties)
    Kinds[P.Name] = P.Value.Kind();
  const std::map<std::string, TValueKind> Expected = {
      {"PNull", TValueKind::vkNull},
      {"PList", TValueKind::vkList},
      {"PInt8", TValueKind::vkInteger},
      {"PInt16", TValueKind::vkInteger},
      {"PInt32", TValueKind::vkInteger},
      {"PExtended", TValueKind::vkExtended},
      {"PExtendedHalf", TValueKind::vkExtended},
      {"PString", TValueKind::vkString},
      {"PIdent", TValueKind::vkIdent},
      {"PIdentKeyword", TValueKind::vkIdent},
      {"PIdentOdd", TValueKind::vkIdent},
      {"PFalse", TValueKind::vkBoolean},
      {"PTrue", TValueKind::vkBoolean},
      {"PBinary", TValueKind::vkBinary},
      {"PSet", TValueKind::vkSet},
      {"PEmptySet", TValueKind::vkSet},
      {"PLString", TValueKind::vkString},
      {"PNil", TValueKind::vkNil},
      {"PCollection", TValueKind::vkCollection},
      {"PEmptyCollection", TValueKind::vkCollection},
      {"PSingle", TValueKind::vkSingle},
      {"PSingleNaN", TValueKind::vkSingle},
      {"PCurrency", TValueKind::vkCurrency},
      {"PDate", TValueKind::vkDate},
      {"PWString", TValueKind::vkWideString},
      {"PInt64", TValueKind::vkInteger},
      {"PUTF8", TValueKind::vkUtf8String},
      {"PDouble", TValueKind::vkDouble},
      {"PDoubleInf", TValueKind::vkDouble},
  };
  EXPECT_EQ(Kinds, Expected);

  EXPECT_EQ(*M.FindProperty("PInt8")->Get<std::int64_t>(), -128);
  EXPECT_EQ(*M.FindProperty("PInt16")->Get<std::int64_t>(), -300);
  EXPECT_EQ(*M.FindProperty("PInt64")->Get<std::int64_t>(), 0x123456789ABCDEF0);
  EXPECT_EQ(*M.FindProperty("PString")->Get<std::string>(), "It's\r\n\x01\xE9");
  EXPECT_EQ(M.FindProperty("PLString")->Get<std::string>()->size(), 300u);
  EXPECT_DOUBLE_EQ(M.FindProperty("PExtended")->Get<TExtendedValue>()->ToDouble(), 0.1);
  EXPECT_EQ(M.FindProperty("PExtendedHalf")->Get<TExtendedValue>()->ToDouble(), 1.5);
  EXPECT_EQ(M.FindProperty("PSingle")->Get<TSingleValue>()->ToFloat(), 0.1f);
  EXPECT_EQ(M.FindProperty("PCurrency")->Get<TCurrencyValue>()->Scaled, -123456789);
  EXPECT_EQ(M.FindProperty("PDate")->Get<TDateValue>()->ToDouble(), 45006.5);
  EXPECT_EQ(M.FindProperty("PWString")->Get<TWideStringValue>()->Units,
            (std::u16string{u'c', 0xE9, 0xD83D, 0xDE00, 0xDC00}));
  EXPECT_EQ(M.FindProperty("PUTF8")->Get<TUtf8StringValue>()->Bytes, "caf\xC3\xA9!");
  EXPECT_EQ(M.FindProperty("PDouble")->Get<TDoubleValue>()->ToDouble(), 0.1);
  EXPECT_EQ(M.FindProperty("PSet")->Get<TSetValue>()->Names, (std::vector<std::string>{"biSystemMenu", "biMinimize"}));
  const auto& Coll = M.FindProperty("PCollection")->Get<TCollectionValue>()->Items;
  ASSERT_EQ(Coll.size(), 3u);
  EXPECT_FALSE(Coll[0].Order);
  EXPECT_EQ(Coll[1].Order, 1000);
  EXPECT_TRUE(Coll[2].Properties.empty());
  const auto& List = *M.FindProperty("PList")->Get<std::vector<TStreamValue>>();
  ASSERT_EQ(List.size(), 3u);
  EXPECT_EQ(List[2].Kind(), TValueKind::vkList);

  ASSERT_EQ(M.Children.size(), 3u);
  EXPECT_EQ(M.Children[0].Flags, ffInherited | ffChildPos);
  EXPECT_EQ(M.Children[0].ChildPos, 2);
  EXPECT_EQ(M.Children[0].Name, "");
  EXPECT_EQ(M.Children[1].Flags, ffInline);
  EXPECT_EQ(M.Children[2].Flags, ffInherited | ffInline);

  ExpectRoundTrips(Bytes);
}

TEST(ComponentStream, IntegerWidthRule) {
  struct Case {
    std::int64_t Value;
    TValueType Type;
    std::size_t Size;
  } const Cases[] = {
      {0, vaInt8, 1},
      {-128, vaInt8, 1},
      {127, vaInt8, 1},
      {-129, vaInt16, 2},
      {128, vaInt16, 2},
      {-32768, vaInt16, 2},
      {32767, vaInt16, 2},
      {-32769, vaInt32, 4},
      {32768, vaInt32, 4},
      {std::numeric_limits<std::int32_t>::min(), vaInt32, 4},
      {std::numeric_limits<std::int32_t>::max(), vaInt32, 4},
      {std::int64_t{std::numeric_limits<std::int32_t>::min()} - 1, vaInt64, 8},
      {std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1, vaInt64, 8},
      {std::numeric_limits<std::int64_t>::min(), vaInt64, 8},
      {std::numeric_limits<std::int64_t>::max(), vaInt64, 8},
  };
  for (auto C : Cases) {
    EXPECT_EQ(IntegerValueType(C.Value), C.Type) << C.Value;
    TStreamObject Obj{0, {}, "T", "N", {{"P", TStreamValue::Integer(C.Value)}}, {}};
    const auto Bytes = Write(Obj);
    TAsm Expected;
    Expected.Signature()
        .Short("T")
        .Short("N")
        .Short("P")
        .Raw({C.Type})
        .LE(static_cast<std::uint64_t>(C.Value), static_cast<int>(C.Size))
        .Raw({0, 0});
    EXPECT_EQ(Bytes, Expected.B) << C.Value;
    EXPECT_EQ(*Read(Bytes).FindProperty("P")->Get<std::int64_t>(), C.Value);
    ExpectRoundTrips(Bytes);
  }
  // Any stored width is just an integer: a 5 stored in 64 bits comes back in 8.
  TAsm Wide;
  Wide.Signature().Short("T").Short("").Short("P").Raw({vaInt64}).LE(5, 8).Raw({0, 0});
  TAsm Narrow;
  Narrow.Signature().Short("T").Short("").Short("P").Raw({vaInt8, 5}).Raw({0, 0});
  EXPECT_EQ(Write(Read(Wide.B)), Narrow.B);
  // The child position and a collection item's order follow the same rule.
  TStreamObject Obj{0, {}, "T", "", {{"C", TStreamValue::Collection({{300, {}}})}}, {}};
  Obj.Children.push_back({0, 70000, "TChild", "", {}, {}});
  TAsm E;
  E.Signature().Short("T").Short("").Short("C").Raw({vaCollection, vaInt16}).LE(300, 2).Raw({vaList, 0, vaNull, 0});
  E.Raw({0xF2, vaInt32}).LE(70000, 4).Short("TChild").Short("").Raw({0, 0, 0});
  EXPECT_EQ(Write(Obj), E.B);
}

TEST(ComponentStream, StringsUpTo255BytesAreShortLongerOnesLong) {
  for (std::size_t N : {0u, 1u, 255u, 256u, 70000u}) {
    TStreamObject Obj{0, {}, "T", "", {{"S", TStreamValue::String(std::string(N, 'q'))}}, {}};
    const auto Bytes = Write(Obj);
    TAsm E;
    E.Signature().Short("T").Short("").Short("S");
    if (N <= 255)
      E.Raw({vaString}).Short(std::string(N, 'q'));
    else
      E.Raw({vaLString}).LE(N, 4).Chars(std::string(N, 'q'));
    E.Raw({0, 0});
    EXPECT_EQ(Bytes, E.B) << N;
    ExpectRoundTrips(Bytes);
  }
}

TEST(ComponentStream, SmallFormWithAJpegPictureDecodesToTheModel) {
  const auto Jpeg = MakeJpeg(551);
  const auto Bytes = SmallFormStream(Jpeg);
  const auto M = Read(Bytes);
  EXPECT_EQ(M.Flags, 0);
  EXPECT_FALSE(M.ChildPos);
  EXPECT_EQ(M.ClassName, "TInstallerForm");
  EXPECT_EQ(M.Name, "InstallerForm");
  ASSERT_EQ(M.Properties.size(), 9u);
  EXPECT_EQ(M.Properties[0], (TStreamProperty{"BorderStyle", TStreamValue::Ident("bsSingle")}));
  EXPECT_EQ(M.Properties[1], (TStreamProperty{"Caption", TStreamValue::String("Install Screensaver")}));
  EXPECT_EQ(M.Properties[2], (TStreamProperty{"ClientHeight", TStreamValue::Integer(304)}));
  EXPECT_EQ(M.Properties[4], (TStreamProperty{"Font.Height", TStreamValue::Integer(-11)}));
  EXPECT_EQ(M.Properties[6], (TStreamProperty{"Font.Style", TStreamValue::Set({})}));
  EXPECT_EQ(M.Properties[7], (TStreamProperty{"BorderIcons", TStreamValue::Set({"biSystemMenu"})}));
  EXPECT_EQ(M.Properties[8], (TStreamProperty{"OnCreate", TStreamValue::Ident("FormCreate")}));
  ASSERT_EQ(M.Children.size(), 1u);
  const auto& Image = M.Children[0];
  EXPECT_EQ(Image.ClassName, "TImage");
  EXPECT_EQ(Image.Name, "Image1");
  EXPECT_TRUE(Image.Children.empty());
  EXPECT_EQ(*Image.FindProperty("Left")->Get<std::int64_t>(), -8);
  EXPECT_EQ(*Image.FindProperty("AutoSize")->Get<bool>(), true);
  const auto* Data = Image.FindProperty("Picture.Data")->Get<TBinaryValue>();
  ASSERT_NE(Data, nullptr);
  EXPECT_EQ(Data->Bytes.size(), 566u);
  const auto Pic = DecodePictureValue(Data->Bytes);
  EXPECT_EQ(Pic.ClassName, "TJPEGImage");
  EXPECT_EQ(Pic.Data, Jpeg);
  EXPECT_EQ(EncodePictureValue(Pic), Data->Bytes);
  EXPECT_EQ(Write(M), Bytes);

  // The text form compiles to the very same bytes, the picture read through the loader.
  std::vector<std::string> Asked;
  const auto FromText = ParseComponentText(SmallFormText, [&](const std::string& Name) {
    Asked.push_back(Name);
    return Jpeg;
  });
  EXPECT_EQ(Asked, std::vector<std::string>{"background.jpg"});
  EXPECT_EQ(FromText, M);
  EXPECT_EQ(Write(FromText), Bytes);
  ExpectRoundTrips(Bytes);
}

TEST(ComponentStream, ReadsFromTheStreamPositionAndStopsAfterTheObject) {
  const auto Form = SmallFormStream(MakeJpeg(551));
  TBytes Bytes = {1, 2, 3};
  Bytes.insert(Bytes.end(), Form.begin(), Form.end());
  Bytes.insert(Bytes.end(), {9, 9});
  TMemoryStream S(Bytes);
  S.SetPosition(3);
  EXPECT_EQ(ReadComponentStream(S).Name, "InstallerForm");
  EXPECT_EQ(S.Position(), static_cast<std::int64_t>(3 + Form.size()));
}

TEST(ComponentStream, PictureValues) {
  const auto Jpeg = MakeJpeg(551);
  const auto Value = EncodePictureValue({"TJPEGImage", Jpeg});
  ASSERT_EQ(Value.size(), 566u);
  EXPECT_EQ(Value[0], 10);
  EXPECT_EQ(std::string(Value.begin() + 1, Value.begin() + 11), "TJPEGImage");
  EXPECT_EQ(Value[11] | Value[12] << 8 | Value[13] << 16 | Value[14] << 24, 551);
  EXPECT_TRUE(std::equal(Jpeg.begin(), Jpeg.end(), Value.begin() + 15));

  const auto Icon = MakeIcon();
  const auto IconValue = EncodePictureValue({"TIcon", Icon});
  EXPECT_EQ(IconValue.size(), 1 + 5 + Icon.size());
  EXPECT_EQ(DecodePictureValue(IconValue), (TPictureValue{"TIcon", Icon}));

  auto Message = [](const TBytes& B) {
    try {
      DecodePictureValue(B);
    } catch (const EReadError& E) {
      return E.Message();
    }
    return std::string();
  };
  TAsm Bitmap;
  Bitmap.Short("TBitmap").Raw({1, 2, 3});
  EXPECT_NE(Message(Bitmap.B).find("unknown graphic class 'TBitmap'"), std::string::npos) << Message(Bitmap.B);
  auto Short = Value;
  Short.pop_back();
  EXPECT_NE(Message(Short).find("byte count is 551 but 550 bytes follow"), std::string::npos) << Message(Short);
  EXPECT_NE(Message({}).find("class name"), std::string::npos);
  EXPECT_NE(Message({20, 'T'}).find("class name"), std::string::npos);
  auto Long = Value;
  Long.push_back(0xD9);
  EXPECT_NE(Message(Long).find("byte count is 551 but 552 bytes follow"), std::string::npos) << Message(Long);
  TAsm Huge;
  Huge.Short("TJPEGImage").LE(0xFFFFFFFF, 4).Raw({0xFF, 0xD8});
  EXPECT_NE(Message(Huge.B).find("byte count is 4294967295 but 2 bytes follow"), std::string::npos) << Message(Huge.B);
  for (int Left = 1; Left < 4; ++Left) {
    TAsm NoCount;
    NoCount.Short("TJPEGImage").Raw(TBytes(static_cast<std::size_t>(Left), 0));
    EXPECT_NE(Message(NoCount.B).find("byte count needs 4 bytes, " + std::to_string(Left) + " left"), std::string::npos)
        << Message(NoCount.B);
  }
  // A class name and nothing else: a JPEG lacks its byte count, an icon file is empty.
  TAsm JpegName, IconName;
  JpegName.Short("TJPEGImage");
  EXPECT_NE(Message(JpegName.B).find("byte count needs 4 bytes, 0 left"), std::string::npos) << Message(JpegName.B);
  IconName.Short("TIcon");
  EXPECT_EQ(DecodePictureValue(IconName.B), (TPictureValue{"TIcon", {}}));
  EXPECT_EQ(EncodePictureValue({"TIcon", {}}), IconName.B);
  EXPECT_THROW(EncodePictureValue({"TBitmap", {1}}), EWriteError);
}

// ---------------------------------------------------------------- refusals

TEST(ComponentStream, TruncationAtEveryOffsetIsAClearError) {
  for (const auto& Bytes : {EveryValueTypeStream(), SmallFormStream(MakeJpeg(551))}) {
    for (std::size_t N = 0; N < Bytes.size(); ++N) {
      const auto Message = ReadError(TBytes(Bytes.begin(), Bytes.begin() + static_cast<std::ptrdiff_t>(N)));
      if (N < 4)
        EXPECT_EQ(Message, "Invalid stream format") << N;
      else
        EXPECT_EQ(Message.rfind("Stream read error: ", 0), 0u) << N << ": " << Message;
    }
  }
  // The message says what was being read, where, and what is missing.
  TAsm A;
  A.Signature().Short("TForm").Short("F").Short("Caption").Raw({vaString, 10}).Chars("abc");
  EXPECT_EQ(ReadError(A.B), "Stream read error: a string value at offset 21 needs 11 bytes, 4 left");
}

TEST(ComponentStream, MalformedStreamsNameTheProblemAndTheOffset) {
  EXPECT_EQ(ReadError({'T', 'P', 'F', '1', 0, 0, 0, 0}), "Invalid stream format");
  EXPECT_EQ(ReadError({}), "Invalid stream format");

  TAsm Bad;
  Bad.Signature().Short("TForm").Short("F").Short("Caption").Raw({0x16, 0, 0});
  EXPECT_EQ(ReadError(Bad.B), "Invalid property value type 0x16 at offset 20 (property 'Caption')");

  // Lengths are checked against what is left before anything is allocated.
  struct Case {
    std::uint8_t Type;
    std::uint32_t Length;
    const char* Expected;
  } const Cases[] = {
      {vaBinary, 0x7FFFFFFF, "Stream read error: a binary value at offset 14 has length 2147483647, only 2 bytes left"},
      {vaBinary, 0xFFFFFFFF, "Stream read error: a binary value at offset 14 has a negative length -1"},
      {vaLString, 1000, "Stream read error: a long string value at offset 14 has length 1000, only 2 bytes left"},
      {vaUTF8String, 3, "Stream read error: a UTF-8 string value at offset 14 has length 3, only 2 bytes left"},
      {vaWString, 0x40000000,
       "Stream read error: a wide string value at offset 14 has length 1073741824, only 2 bytes left"},
      {vaWString, 2, "Stream read error: a wide string value at offset 14 has length 2, only 2 bytes left"},
  };
  for (auto C : Cases) {
    TAsm A;
    A.Signature().Short("T").Short("F").Short("Data").Raw({C.Type}).LE(C.Length, 4).Raw({0, 0});
    EXPECT_EQ(ReadError(A.B), C.Expected);
  }

  TAsm Flags;
  Flags.Signature().Raw({0xF8}).Short("T").Short("").Raw({0, 0});
  EXPECT_EQ(ReadError(Flags.B), "Invalid stream format: unknown object flags 0x08 at offset 4");

  TAsm Pos;
  Pos.Signature().Raw({0xF2, vaString}).Short("x").Short("T").Short("").Raw({0, 0});
  EXPECT_EQ(ReadError(Pos.B),
            "Invalid integer value type 0x06 at offset 5 (the child position of the object at offset 4)");

  TAsm Item;
  Item.Signature().Short("T").Short("").Short("Items").Raw({vaCollection, vaInt8, 1, vaInt8, 0, 0, 0, 0});
  EXPECT_EQ(ReadError(Item.B),
            "Invalid collection item at offset 14 (property 'Items'): expected 0x01 at offset 16, found 0x02");

  TAsm Order;
  Order.Signature().Short("T").Short("").Short("Items").Raw({vaCollection, vaString, 0, 0, 0, 0});
  EXPECT_EQ(ReadError(Order.B),
            "Invalid integer value type 0x06 at offset 14 (the order of a collection item of property 'Items')");
}

// Streams nested Levels deep (the root object is level 1), as bytes and as the
// model they hold, for each kind of nesting.
struct TNesting {
  const char* Kind;
  TBytes (*Bytes)(int Levels);
  TStreamObject (*Model)(int Levels);
};

const TNesting Nestings[] = {
    {"an object",
     [](int Levels) {
       TAsm A;
       A.Signature();
       for (int I = 0; I < Levels; ++I)
         A.Short("T").Short("").Raw({0});
       for (int I = 0; I < Levels; ++I)
         A.Raw({0});
       return A.B;
     },
     [](int Levels) {
       TStreamObject Obj{0, {}, "T", "", {}, {}};
       for (int I = 1; I < Levels; ++I)
         Obj = TStreamObject{0, {}, "T", "", {}, {Obj}};
       return Obj;
     }},
    {"a list",
     [](int Levels) {
       TAsm A;
       A.Signature().Short("T").Short("").Short("L");
       for (int I = 1; I < Levels; ++I)
         A.Raw({vaList});
       for (int I = 1; I < Levels; ++I)
         A.Raw({vaNull});
       A.Raw({0, 0});
       return A.B;
     },
     [](int Levels) {
       auto V = TStreamValue::List({});
       for (int I = 2; I < Levels; ++I)
         V = TStreamValue::List({V});
       return TStreamObject{0, {}, "T", "", {{"L", V}}, {}};
     }},
    {"a collection item",
     [](int Levels) {
       TAsm A;
       A.Signature().Short("T").Short("");
       for (int I = 1; I < Levels; ++I)
         A.Short("C").Raw({vaCollection, vaList});
       A.Raw({0});  // the innermost item's properties end
       for (int I = 1; I < Levels; ++I)
         A.Raw({vaNull, 0});  // each collection ends, then what holds it
       A.Raw({0});
       return A.B;
     },
     [](int Levels) {
       std::vector<TStreamProperty> Props;
       for (int I = 1; I < Levels; ++I)
         Props = {{"C", TStreamValue::Collection({{std::nullopt, Props}})}};
       return TStreamObject{0, {}, "T", "", Props, {}};
     }},
};

TEST(ComponentStream, NestingIsBoundedAlikeForReaderAndWriter) {
  for (const auto& N : Nestings) {
    SCOPED_TRACE(N.Kind);
    // At the limit both take it, and the writer gives the very bytes.
    const auto Deepest = N.Bytes(MaxComponentNesting);
    EXPECT_EQ(ReadError(Deepest), "");
    EXPECT_EQ(Write(N.Model(MaxComponentNesting)), Deepest);
    // One level more and both refuse.
    const auto Message = ReadError(N.Bytes(MaxComponentNesting + 1));
    EXPECT_EQ(Message.rfind(std::string("Invalid stream format: ") + N.Kind + " at offset", 0), 0u) << Message;
    EXPECT_NE(Message.find("nests deeper than 64 levels"), std::string::npos) << Message;
    try {
      Write(N.Model(MaxComponentNesting + 1));
      ADD_FAILURE() << "written";
    } catch (const EWriteError& E) {
      EXPECT_NE(E.Message().find("nests deeper than 64 levels"), std::string::npos) << E.Message();
    }
  }
  ExpectRoundTrips(Nestings[0].Bytes(MaxComponentNesting));
  // Far deeper input fails the same way instead of exhausting the stack.
  EXPECT_NE(ReadError(Nestings[1].Bytes(100000)).find("nests deeper than 64 levels"), std::string::npos);
}

TEST(ComponentStream, WriterRefusesWhatTheFormatCannotHold) {
  auto Refusal = [](const TStreamObject& Obj) {
    try {
      Write(Obj);
    } catch (const EWriteError& E) {
      return E.Message();
    }
    return std::string();
  };
  EXPECT_EQ(Refusal({0, {}, std::string(256, 'T'), "N", {}, {}}),
            "the class name of object 'N' is longer than 255 bytes");
  EXPECT_EQ(Refusal({0, {}, "T", "N", {{"", TStreamValue::Nil()}}, {}}),
            "A property name of object 'N' is empty, which would end its properties");
  EXPECT_EQ(Refusal({0, {}, "T", "N", {{"C", TStreamValue::Collection({{1, {{"", TStreamValue::Nil()}}}})}}, {}}),
            "A property name of a collection item in property 'C' is empty, which would end its properties");
  EXPECT_NE(Refusal({0, {}, "T", std::string(256, 'N'), {}, {}}).find("is longer than 255 bytes"), std::string::npos);
  EXPECT_EQ(Refusal({0, {}, "T", "N", {{"L", TStreamValue::List({TStreamValue::Null()})}}, {}}),
            "A list in property 'L' holds a null value, which would end it");
  EXPECT_EQ(Refusal({0, {}, "T", "N", {{"S", TStreamValue::Set({"a", ""})}}, {}}),
            "A set member of property 'S' is empty, which would end the set");
  EXPECT_EQ(Refusal({0, {}, "T", "N", {{"I", TStreamValue::Ident(std::string(300, 'i'))}}, {}}),
            "The identifier of property 'I' is longer than 255 bytes");
  EXPECT_EQ(Refusal({8, {}, "T", "N", {}, {}}), "Object 'N' has unknown flags 0x08");
}

TEST(ComponentStream, ClassNamesThatWouldReadBareAsSomethingElseStandBehindAPrefix) {
  // Bare, a length byte from 0xF0 up reads as a prefix and a child's empty class
  // name as the end of the children; a prefix with no flags keeps them apart.
  for (std::size_t N : {0u, 1u, 16u, 239u, 240u, 255u}) {
    SCOPED_TRACE(N);
    const std::string Class(N, 'C');
    TStreamObject Root{0, {}, Class, "Root", {}, {}};
    Root.Children.push_back({0, {}, Class, "Child", {{"Tag", TStreamValue::Integer(1)}}, {}});
    Root.Children.push_back({0, {}, "TAfter", "After", {}, {}});
    TAsm E;
    E.Signature();
    if (N >= 0xF0)
      E.Raw({0xF0});
    E.Short(Class).Short("Root").Raw({0});
    if (N == 0 || N >= 0xF0)
      E.Raw({0xF0});
    E.Short(Class).Short("Child").Short("Tag").Raw({vaInt8, 1, 0, 0});
    E.Short("TAfter").Short("After").Raw({0, 0});
    E.Raw({0});
    EXPECT_EQ(Write(Root), E.B);
    EXPECT_EQ(Read(E.B), Root);
    ExpectRoundTrips(E.B);
  }
}

TEST(ComponentStream, NegativeChildPositionsAndItemOrdersKeepTheirSign) {
  TAsm A;
  A.Signature().Short("T").Short("").Short("C").Raw({vaCollection, vaInt8, 0xFE, vaList, 0, vaInt16});
  A.LE(static_cast<std::uint16_t>(-300), 2).Raw({vaList, 0, vaInt32}).LE(static_cast<std::uint32_t>(-70000), 4);
  A.Raw({vaList, 0, vaInt64}).LE(0x8000000000000000, 8).Raw({vaList, 0, vaNull, 0});
  A.Raw({0xF2, vaInt8, 0xFF}).Short("TChild").Short("").Raw({0, 0});
  A.Raw({0xF3, vaInt16}).LE(static_cast<std::uint16_t>(-129), 2).Short("TChild").Short("").Raw({0, 0});
  A.Raw({0xF2, vaInt32}).LE(static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::min()), 4);
  A.Short("TChild").Short("").Raw({0, 0});
  A.Raw({0});
  const auto M = Read(A.B);
  const auto& Items = M.FindProperty("C")->Get<TCollectionValue>()->Items;
  ASSERT_EQ(Items.size(), 4u);
  EXPECT_EQ(Items[0].Order, -2);
  EXPECT_EQ(Items[1].Order, -300);
  EXPECT_EQ(Items[2].Order, -70000);
  EXPECT_EQ(Items[3].Order, std::numeric_limits<std::int64_t>::min());
  ASSERT_EQ(M.Children.size(), 3u);
  EXPECT_EQ(M.Children[0].ChildPos, -1);
  EXPECT_EQ(M.Children[1].ChildPos, -129);
  EXPECT_EQ(M.Children[2].ChildPos, std::numeric_limits<std::int32_t>::min());
  ExpectRoundTrips(A.B);

  // The child-position flag follows the position: set with it, left out without it.
  TStreamObject Loose{0, {}, "T", "", {}, {{0, -5, "TChild", "", {}, {}}, {ffChildPos, {}, "TChild", "", {}, {}}}};
  const auto Back = Read(Write(Loose));
  EXPECT_EQ(Back, Loose);
  EXPECT_EQ(Back.Children[0].Flags, ffChildPos);
  EXPECT_EQ(Back.Children[1].Flags, 0);
}

// Mutations of valid streams: each ends in a framework error or in a model that
// writes and reads back to itself; under the sanitizers any crash fails the run.
TEST(ComponentStream, TenThousandMutatedStreamsNeverCrash) {
  const std::vector<TBytes> Seeds = {EveryValueTypeStream(), SmallFormStream(MakeJpeg(60))};
  std::mt19937 Rng(20240607);
  auto Pick = [&](std::size_t N) { return std::uniform_int_distribution<std::size_t>(0, N - 1)(Rng); };
  int Loaded = 0, Refused = 0;
  for (int Round = 0; Round < 10000; ++Round) {
    auto B = Seeds[Round % Seeds.size()];
    const int Mutations = 1 + static_cast<int>(Pick(4));
    for (int M = 0; M < Mutations && !B.empty(); ++M) {
      switch (Pick(6)) {
        case 0:
          B[Pick(B.size())] ^= static_cast<std::uint8_t>(1u << Pick(8));
          break;
        case 1:
          B[Pick(B.size())] = static_cast<std::uint8_t>(Pick(256));
          break;
        case 2:
          B.insert(B.begin() + static_cast<std::ptrdiff_t>(Pick(B.size() + 1)), static_cast<std::uint8_t>(Pick(256)));
          break;
        case 3: {
          auto At = Pick(B.size());
          B.erase(B.begin() + static_cast<std::ptrdiff_t>(At),
                  B.begin() + static_cast<std::ptrdiff_t>(std::min(B.size(), At + 1 + Pick(8))));
          break;
        }
        case 4: {  // a huge or negative length field
          static constexpr std::uint32_t Huge[] = {0xFFFFFFFF, 0x7FFFFFFF, 0x80000000, 0x40000000, 0x0000FFFF};
          auto V = Huge[Pick(std::size(Huge))];
          auto At = Pick(B.size());
          for (std::size_t I = 0; I < 4 && At + I < B.size(); ++I)
            B[At + I] = static_cast<std::uint8_t>(V >> (8 * I));
          break;
        }
        case 5:
          B.resize(Pick(B.size() + 1));
          break;
      }
    }
    try {
      const auto Model = Read(B);
      const auto Again = Write(Model);
      ASSERT_EQ(Read(Again), Model) << "round " << Round;
      ASSERT_EQ(ParseComponentText(PrintComponentText(Model)), Model) << "round " << Round;
      ++Loaded;
    } catch (const Exception& E) {
      ASSERT_FALSE(E.Message().empty()) << "round " << Round;
      ++Refused;
    } catch (const std::exception& E) {
      FAIL() << "round " << Round << " raised a non-framework error: " << E.what();
    }
  }
  // Both outcomes occur, so the test does exercise both paths.
  EXPECT_GT(Loaded, 100);
  EXPECT_GT(Refused, 100);
}

// ---------------------------------------------------------------- text

// Mutated texts: each ends in a parse error or in a model the writer takes.
TEST(ComponentText, MutatedTextsNeverCrash) {
  TStreamObject Seed = Read(EveryValueTypeStream());
  Seed.Properties.push_back({"Pic", TStreamValue::Binary(EncodePictureValue({"TJPEGImage", MakeJpeg(40)}))});
  const auto Text = PrintComponentText(
      Seed, [](const TStreamObject&, const std::string&, const TPictureValue&) { return std::string("p.jpg"); });
  const TFileLoader Loader = [](const std::string& Name) {
    if (Name != "p.jpg")
      throw Exception("no file " + Name);
    return MakeJpeg(40);
  };
  ASSERT_EQ(Write(ParseComponentText(Text, Loader)), Write(Seed));
  static constexpr std::string_view Alphabet = "=:[](){}<>,+-.'#$&/ \n\t0123456789AaEeFfxend";
  std::mt19937 Rng(7);
  auto Pick = [&](std::size_t N) { return std::uniform_int_distribution<std::size_t>(0, N - 1)(Rng); };
  int Parsed = 0, Refused = 0;
  for (int Round = 0; Round < 3000; ++Round) {
    auto T = Text;
    for (int M = 0, N = 1 + static_cast<int>(Pick(3)); M < N && !T.empty(); ++M) {
      auto At = Pick(T.size());
      switch (Pick(4)) {
        case 0:
          T[At] = Alphabet[Pick(Alphabet.size())];
          break;
        case 1:
          T.insert(At, 1, Alphabet[Pick(Alphabet.size())]);
          break;
        case 2:
          T.erase(At, 1 + Pick(6));
          break;
        case 3:
          T[At] = static_cast<char>(Pick(256));
          break;
      }
    }
    try {
      Write(ParseComponentText(T, Loader));
      ++Parsed;
    } catch (const EParserError& E) {
      ASSERT_EQ(E.Message().rfind("Line ", 0), 0u) << E.Message();
      ++Refused;
    } catch (const std::exception& E) {
      FAIL() << "round " << Round << " raised " << E.what() << " for:\n" << T;
    }
  }
  EXPECT_GT(Parsed, 100);
  EXPECT_GT(Refused, 100);
}

TEST(ComponentText, TextToBinaryToTextIsStable) {
  const char* Text =
      "// a comment line\n"
      "inherited Main: TForm1 [0]\n"
      "  Caption = 'It''s'#13#10'here' // trailing comment\n"
      "  Hint = 'abc' +\n"
      "    'def'\n"
      "  &Object = &True\n"
      "  Empty = ''\n"
      "  Odd = &'a b'#9\n"
      "  Scale = 1.25\n"
      "  Big = 1e300\n"
      "  Tenth = Extended 0.1\n"
      "  Raw = Extended {CDCCCCCCCCCCCCCCFB3F}\n"
      "  S = Single -2.5\n"
      "  SNaN = Single {0100C07F}\n"
      "  D = Double -0.0\n"
      "  When = Date 45006.5\n"
      "  Price = Currency -12.34\n"
      "  Max = Currency 922337203685477.5807\n"
      "  Min = Currency -922337203685477.5808\n"
      "  W = Wide 'caf\xC3\xA9 \xF0\x9F\x98\x80'#55296\n"
      "  U = Utf8 'caf'#195#169\n"
      "  Bits = {00 01 FF\n  fe}\n"
      "  NoBits = {}\n"
      "  Set = [a, &end, &'x y']\n"
      "  L = (1 -2 'x' () (nil null2))\n"
      "  C = <item A = 1 end item [ -5 ] end>\n"
      "  NoItems = <>\n"
      "  N = nil\n"
      "  Z = null\n"
      "  object : TUnnamed\n"
      "  end\n"
      "  inline inherited Frame: TFrame\n"
      "  end\n"
      "end\n";
  const auto M = ParseComponentText(Text);
  EXPECT_EQ(M.Flags, ffInherited | ffChildPos);
  EXPECT_EQ(M.ChildPos, 0);
  EXPECT_EQ(*M.FindProperty("Caption")->Get<std::string>(), "It's\r\nhere");
  EXPECT_EQ(*M.FindProperty("Hint")->Get<std::string>(), "abcdef");
  EXPECT_EQ(M.FindProperty("Object")->Get<TIdentValue>()->Name, "True");
  EXPECT_EQ(M.FindProperty("Odd")->Get<TIdentValue>()->Name, "a b\t");
  EXPECT_EQ(M.FindProperty("Scale")->Get<TExtendedValue>()->ToDouble(), 1.25);
  EXPECT_EQ(M.FindProperty("Raw")->Get<TExtendedValue>()->Bytes[9], 0x3F);
  EXPECT_EQ(M.FindProperty("S")->Get<TSingleValue>()->ToFloat(), -2.5f);
  EXPECT_EQ(M.FindProperty("SNaN")->Get<TSingleValue>()->Bits, 0x7FC00001u);
  EXPECT_TRUE(std::signbit(M.FindProperty("D")->Get<TDoubleValue>()->ToDouble()));
  EXPECT_EQ(M.FindProperty("Price")->Get<TCurrencyValue>()->Scaled, -123400);
  EXPECT_EQ(M.FindProperty("Max")->Get<TCurrencyValue>()->Scaled, std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(M.FindProperty("Min")->Get<TCurrencyValue>()->Scaled, std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(M.FindProperty("W")->Get<TWideStringValue>()->Units,
            (std::u16string{u'c', u'a', u'f', 0xE9, u' ', 0xD83D, 0xDE00, 0xD800}));
  EXPECT_EQ(M.FindProperty("U")->Get<TUtf8StringValue>()->Bytes, "caf\xC3\xA9");
  EXPECT_EQ(M.FindProperty("Bits")->Get<TBinaryValue>()->Bytes, (TBytes{0, 1, 0xFF, 0xFE}));
  EXPECT_EQ(M.FindProperty("Set")->Get<TSetValue>()->Names, (std::vector<std::string>{"a", "end", "x y"}));
  EXPECT_EQ(M.FindProperty("L")->Get<std::vector<TStreamValue>>()->size(), 5u);
  const auto& Items = M.FindProperty("C")->Get<TCollectionValue>()->Items;
  ASSERT_EQ(Items.size(), 2u);
  EXPECT_EQ(Items[1].Order, -5);
  EXPECT_EQ(M.FindProperty("Z")->Kind(), TValueKind::vkNull);
  ASSERT_EQ(M.Children.size(), 2u);
  EXPECT_EQ(M.Children[0].Name, "");
  EXPECT_EQ(M.Children[0].ClassName, "TUnnamed");
  EXPECT_EQ(M.Children[1].Flags, ffInherited | ffInline);

  const auto Bytes = Write(M);
  ExpectRoundTrips(Bytes);
  // What no decimal can give exactly is printed as stored bytes.
  const auto Printed = PrintComponentText(M);
  EXPECT_NE(Printed.find("Tenth = 0.1\n"), std::string::npos) << Printed;
  EXPECT_NE(Printed.find("Raw = Extended {CDCCCCCCCCCCCCCCFB3F}"), std::string::npos) << Printed;
  EXPECT_NE(Printed.find("SNaN = Single {0100C07F}"), std::string::npos) << Printed;
  EXPECT_NE(Printed.find("Object = &True"), std::string::npos) << Printed;
  EXPECT_NE(Printed.find("Price = Currency -12.34"), std::string::npos) << Printed;
}

TEST(ComponentText, LongStringsAndBinariesAreSplitOverLines) {
  TStreamObject Obj{0, {}, "T", "N", {}, {}};
  Obj.Properties.push_back({"S", TStreamValue::String(std::string(200, 'x') + "\r\n" + std::string(100, 'y'))});
  Obj.Properties.push_back({"B", TStreamValue::Binary(TBytes(100, 0xAB))});
  const auto Text = PrintComponentText(Obj);
  EXPECT_NE(Text.find("' +\n    '"), std::string::npos) << Text;
  EXPECT_NE(Text.find("B = {\n    ABAB"), std::string::npos) << Text;
  EXPECT_EQ(ParseComponentText(Text), Obj);
}

TEST(ComponentText, PicturesAreReadFromFilesAndCanBeWrittenBack) {
  const auto Jpeg = MakeJpeg(551);
  const auto Icon = MakeIcon();
  const char* Text =
      "object F: TForm\n"
      "  object Image1: TImage\n"
      "    Picture.Data = file 'art/background.jpg' as TJPEGImage\n"
      "  end\n"
      "  object Title: TImage\n"
      "    Picture.Data = file 'main.ico' as TIcon\n"
      "  end\n"
      "end\n";
  std::map<std::string, TBytes> Files = {{"art/background.jpg", Jpeg}, {"main.ico", Icon}};
  const TFileLoader Loader = [&](const std::string& Name) {
    auto It = Files.find(Name);
    if (It == Files.end())
      throw Exception("no such file");
    return It->second;
  };
  const auto M = ParseComponentText(Text, Loader);
  const auto& JpegValue = M.Children[0].FindProperty("Picture.Data")->Get<TBinaryValue>()->Bytes;
  EXPECT_EQ(JpegValue.size(), 566u);
  EXPECT_EQ(DecodePictureValue(JpegValue), (TPictureValue{"TJPEGImage", Jpeg}));
  EXPECT_EQ(DecodePictureValue(M.Children[1].FindProperty("Picture.Data")->Get<TBinaryValue>()->Bytes),
            (TPictureValue{"TIcon", Icon}));

  // Without a saver pictures print as hex; with one they name files again.
  EXPECT_NE(PrintComponentText(M).find("Picture.Data = {\n      0A544A504547496D616765"), std::string::npos);
  std::map<std::string, TBytes> Saved;
  const auto Printed =
      PrintComponentText(M, [&](const TStreamObject& Owner, const std::string& Prop, const TPictureValue& P) {
        EXPECT_EQ(Prop, "Picture.Data");
        auto Name = Owner.Name + (P.ClassName == "TIcon" ? ".ico" : ".jpg");
        Saved[Name] = P.Data;
        return Name;
      });
  EXPECT_NE(Printed.find("Picture.Data = file 'Image1.jpg' as TJPEGImage"), std::string::npos) << Printed;
  EXPECT_NE(Printed.find("Picture.Data = file 'Title.ico' as TIcon"), std::string::npos) << Printed;
  Files = Saved;
  EXPECT_EQ(Write(ParseComponentText(Printed, Loader)), Write(M));
}

TEST(ComponentText, ParseErrorsNameTheLineAndWhatWasExpected) {
  struct Case {
    const char* Text;
    const char* Expected;
  } const Cases[] = {
      {"", "Line 1: expected 'object', 'inherited' or 'inline' to start the description, found the end of the text"},
      {"object F: TForm\n  Caption 'x'\nend\n", "Line 2: expected '=' after property name 'Caption', found a string"},
      {"object F: TForm\n  Left =\nend\n", "Line 3: expected a value for property 'Left', found 'end'"},
      {"object F: TForm\n  Caption = 'abc\nend\n",
       "Line 2: unterminated string (a string ends on the line it starts; join lines with '+')"},
      {"object F: TForm\n  Left = 12abc\nend\n", "Line 2: invalid number '12a'"},
      {"object F: TForm\n  Left = 99999999999999999999\nend\n",
       "Line 2: integer 99999999999999999999 does not fit in 64 bits"},
      {"object F: TForm\n  Left = 1\n", "Line 3: the object that starts on line 1 has no 'end'"},
      {"object F: TForm\n  object B: TButton\n  end\n  Left = 1\nend\n",
       "Line 4: property 'Left' follows a child object; properties come first"},
      {"object F: TForm\n  Data = {0A 1}\nend\n", "Line 2: a binary value has an odd number of hex digits"},
      {"object F: TForm\n\n  Data = {0A\n  zz}\nend\n",
       "Line 4: expected hex digits or '}' in a binary value, found 'z'"},
      {"object F: TForm\n  S = [a b]\nend\n", "Line 2: expected ',' or ']' after a set member, found 'b'"},
      {"object F: TForm\n  L = (1 null)\nend\n", "Line 2: null cannot be a list element (it would end the list)"},
      {"object F: TForm\n  C = <\n    item\n      A = 1\n  >\nend\n",
       "Line 5: expected a property name or 'end' in a collection item, found '>'"},
      {"object F: TForm\n  C = <A = 1>\nend\n", "Line 2: expected 'item' or '>' in a collection, found 'A'"},
      {"object F: TForm\n  X = Single 'a'\nend\n", "Line 2: expected a number or {hex} after 'Single', found a string"},
      {"object F: TForm\n  X = Extended {00}\nend\n", "Line 2: Extended {..} needs 10 bytes, found 1"},
      {"object F: TForm\n  X = Currency 1.23456\nend\n", "Line 2: currency 1.23456 has more than four decimals"},
      {"object F: TForm\n  X = Currency 922337203685477.5808\nend\n",
       "Line 2: currency 922337203685477.5808 is out of range"},
      {"object F: TForm\n  X = 'a'#300\nend\n",
       "Line 2: character #300 does not fit in a byte (only a Wide string takes it)"},
      {"object F: TForm\n  X = Wide '\xC3('\nend\n",
       "Line 2: a Wide string holds bytes that are not UTF-8; write such characters as #N"},
      {"object F: TForm\n  X = 1\nend\nextra\n",
       "Line 4: expected the end of the text after the last 'end', found 'extra'"},
      {"object F: TForm\n  X = @\nend\n", "Line 2: unexpected character '@'"},
      {"object F: TForm\n  &'' = 1\nend\n", "Line 2: a property name is empty"},
      {"object F: TForm\n  X = 1e999\nend\n", "Line 2: number 1e999 is out of range"},
      {"object F: TForm\n  X = Single 1e39\nend\n", "Line 2: number 1e39 is out of range for Single"},
      {"object F: TForm\n  P.Data = file 'a.png' as TPNGImage\nend\n",
       "Line 2: unknown picture class 'TPNGImage' (expected TJPEGImage or TIcon)"},
      {"object F: TForm\n  P.Data = file 'a.jpg' TJPEGImage\nend\n",
       "Line 2: expected 'as' and the picture class after the file name, found 'TJPEGImage'"},
      {"object F: TForm\n  P.Data = file 'a.jpg' as TJPEGImage\nend\n",
       "Line 2: cannot load picture file 'a.jpg' of property 'P.Data': no files can be read here"},
      // Hex digits end at F, in a binary value and after '#$' alike.
      {"object F: TForm\n  Data = {0AFG}\nend\n", "Line 2: expected hex digits or '}' in a binary value, found 'G'"},
      {"object F: TForm\n  Data = {0afg}\nend\n", "Line 2: expected hex digits or '}' in a binary value, found 'g'"},
      {"object F: TForm\n  X = #$G\nend\n", "Line 2: expected hex digits after '#$'"},
      {"object F: TForm\n  X = 'a'#$g0\nend\n", "Line 2: expected hex digits after '#$'"},
      {"object F: TForm\n  X = #256\nend\n",
       "Line 2: character #256 does not fit in a byte (only a Wide string takes it)"},
      {"object F: TForm\n  X = Utf8 #$100\nend\n",
       "Line 2: character #256 does not fit in a byte (only a Wide string takes it)"},
      // Overlong forms, surrogates and code points past U+10FFFF are no UTF-8.
      {"object F: TForm\n  X = Wide '\xC1\xBF'\nend\n",
       "Line 2: a Wide string holds bytes that are not UTF-8; write such characters as #N"},
      {"object F: TForm\n  X = Wide '\xE0\x9F\xBF'\nend\n",
       "Line 2: a Wide string holds bytes that are not UTF-8; write such characters as #N"},
      {"object F: TForm\n  X = Wide '\xF0\x8F\xBF\xBF'\nend\n",
       "Line 2: a Wide string holds bytes that are not UTF-8; write such characters as #N"},
      {"object F: TForm\n  X = Wide '\xED\xA0\x80'\nend\n",
       "Line 2: a Wide string holds bytes that are not UTF-8; write such characters as #N"},
      {"object F: TForm\n  X = Wide '\xED\xBF\xBF'\nend\n",
       "Line 2: a Wide string holds bytes that are not UTF-8; write such characters as #N"},
      {"object F: TForm\n  X = Wide '\xF4\x90\x80\x80'\nend\n",
       "Line 2: a Wide string holds bytes that are not UTF-8; write such characters as #N"},
      // One '/' is no comment.
      {"object F: TForm\n  X = 1 / 2\nend\n", "Line 2: unexpected character '/'"},
      {"object F: TForm\nend\n/", "Line 3: unexpected character '/'"},
      {"object F: TForm\n  X = 1.2.3\nend\n", "Line 2: invalid number '1.2.'"},
      {"object F: TForm\n  X = as\nend\n", "Line 2: expected a value for property 'X', found 'as'"},
      {"object F: TForm\n  X = Extended {00112233445566778899AA}\nend\n",
       "Line 2: Extended {..} needs 10 bytes, found 11"},
      {"object F: TForm\n  X = Extended {001122334455667788}\nend\n", "Line 2: Extended {..} needs 10 bytes, found 9"},
  };
  for (auto C : Cases)
    EXPECT_EQ(ParseError(C.Text), C.Expected) << C.Text;

  std::string Deep = "object F: TForm\n  L = ";
  for (int I = 0; I < 100; ++I)
    Deep += "(";
  EXPECT_EQ(ParseError(Deep), "Line 2: objects, lists and collection items nest deeper than 64 levels");

  const TFileLoader Missing = [](const std::string&) -> TBytes { throw Exception("cannot read 'x/a.jpg': gone"); };
  EXPECT_EQ(ParseError("object F: TForm\n\n  P.Data = file 'a.jpg' as TJPEGImage\nend\n", Missing),
            "Line 3: cannot load picture file 'a.jpg': cannot read 'x/a.jpg': gone");
  const TFileLoader NotJpeg = [](const std::string&) { return TBytes{0x89, 'P', 'N', 'G'}; };
  EXPECT_EQ(ParseError("object F: TForm\n  P.Data = file 'a.jpg' as TJPEGImage\nend\n", NotJpeg),
            "Line 2: picture file 'a.jpg' is not a JPEG file");
  EXPECT_EQ(ParseError("object F: TForm\n  P.Data = file 'a.ico' as TIcon\nend\n", NotJpeg),
            "Line 2: picture file 'a.ico' is not an icon file");
}

// What the lexer still takes beside each refusal above.
TEST(ComponentText, TheLastFormsTakenBesideEachRefusal) {
  const auto M = ParseComponentText(
      "object _F: T_Form\n"
      "  _Left = _x1\n"
      "  Data = {0AfF}\n"
      "  X = #$fF#$Aa'b'\n"
      "  B = #255\n"
      "  W = Wide '\xC2\x80\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF'#$FFFF\n"
      "  Half = 1.2 // a comment\n"
      "  Y = &as\n"
      "  E = Extended {00000000000000C0FF3F}\n"
      "end\n");
  EXPECT_EQ(M.Name, "_F");
  EXPECT_EQ(M.ClassName, "T_Form");
  ASSERT_FALSE(M.Properties.empty());
  EXPECT_EQ(M.Properties[0].Name, "_Left");
  EXPECT_EQ(M.FindProperty("_Left")->Get<TIdentValue>()->Name, "_x1");
  EXPECT_EQ(M.FindProperty("Data")->Get<TBinaryValue>()->Bytes, (TBytes{0x0A, 0xFF}));
  EXPECT_EQ(*M.FindProperty("X")->Get<std::string>(),
            "\xFF\xAA"
            "b");
  EXPECT_EQ(*M.FindProperty("B")->Get<std::string>(), "\xFF");
  EXPECT_EQ(M.FindProperty("W")->Get<TWideStringValue>()->Units,
            (std::u16string{0x80, 0xD7FF, 0xE000, 0xD800, 0xDC00, 0xDBFF, 0xDFFF, 0xFFFF}));
  EXPECT_EQ(M.FindProperty("Half")->Get<TExtendedValue>()->ToDouble(), 1.2);
  EXPECT_EQ(M.FindProperty("Y")->Get<TIdentValue>()->Name, "as");
  EXPECT_EQ(M.FindProperty("E")->Get<TExtendedValue>()->ToDouble(), 1.5);
  // Names that start with '_' are plain names; a keyword as a value is escaped.
  const auto Printed = PrintComponentText(M);
  EXPECT_EQ(Printed.rfind("object _F: T_Form\n  _Left = _x1\n", 0), 0u) << Printed;
  EXPECT_NE(Printed.find("\n  Y = &as\n"), std::string::npos) << Printed;
}

// The printer's exact text at the edges of its rules.
TEST(ComponentText, PrintedTextAtTheEdgesOfItsRules) {
  const auto Print = [](TStreamValue V) {
    TStreamObject Obj{0, {}, "T", "", {}, {}};
    Obj.Properties.push_back({"P", std::move(V)});
    return PrintComponentText(Obj);
  };
  // DEL is no printable character.
  EXPECT_EQ(Print(TStreamValue::String("a\x7F~ ")), "object T\n  P = 'a'#127'~ '\nend\n");
  EXPECT_EQ(Print(TStreamValue::String("\x1F")), "object T\n  P = #31\nend\n");
  // A chunk is 63 characters behind its quote: a string that ends with its first chunk stays on one line.
  const std::string Chunk(63, 'x');
  EXPECT_EQ(Print(TStreamValue::String(Chunk)), "object T\n  P = '" + Chunk + "'\nend\n");
  EXPECT_EQ(Print(TStreamValue::String(Chunk + "y")), "object T\n  P = '" + Chunk + "' +\n    'y'\nend\n");
  EXPECT_EQ(Print(TStreamValue::String(Chunk + Chunk)),
            "object T\n  P = '" + Chunk + "' +\n    '" + Chunk + "'\nend\n");
  // 32 bytes of binary fit on the line of their property, 33 do not.
  const std::string Hex32 = "000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F";
  TBytes Bytes(32);
  for (std::size_t I = 0; I < Bytes.size(); ++I)
    Bytes[I] = static_cast<std::uint8_t>(I);
  EXPECT_EQ(Print(TStreamValue::Binary(Bytes)), "object T\n  P = {" + Hex32 + "}\nend\n");
  Bytes.push_back(0x20);
  EXPECT_EQ(Print(TStreamValue::Binary(Bytes)), "object T\n  P = {\n    " + Hex32 + "\n    20}\nend\n");
  // Currency keeps its ten-thousandths.
  EXPECT_EQ(Print(TStreamValue::Currency(5)), "object T\n  P = Currency 0.0005\nend\n");
  EXPECT_EQ(Print(TStreamValue::Currency(-50)), "object T\n  P = Currency -0.005\nend\n");
  EXPECT_EQ(Print(TStreamValue::Currency(10000)), "object T\n  P = Currency 1\nend\n");
  EXPECT_EQ(
      ParseComponentText("object T\n  P = Currency 0.0005\nend\n").FindProperty("P")->Get<TCurrencyValue>()->Scaled, 5);
}

TEST(ComponentText, FloatsRoundTripExactly) {
  // Denormals, extremes and signed zero, each as extended, single, double and date.
  const double Doubles[] = {0.0,         -0.0, 0.1, 1.0 / 3, 5e-324, 2.2250738585072014e-308, 1.7976931348623157e308,
                            -123456.789, 1e21, 1e-7};
  const float Singles[] = {0.0f, -0.0f, 0.1f, 1e-45f, 3.4028235e38f, 1.17549435e-38f, -7.5f};
  TStreamObject Obj{0, {}, "T", "", {}, {}};
  for (double D : Doubles) {
    Obj.Properties.push_back({"E", TStreamValue::Extended(D)});
    Obj.Properties.push_back({"D", TStreamValue::Double(D)});
    Obj.Properties.push_back({"T", TStreamValue::Date(D)});
    EXPECT_EQ(TExtendedValue::FromDouble(D).ToDouble(), D);
    EXPECT_EQ(std::signbit(TExtendedValue::FromDouble(D).ToDouble()), std::signbit(D));
  }
  for (float F : Singles)
    Obj.Properties.push_back({"S", TStreamValue::Single(F)});
  Obj.Properties.push_back({"Inf", TStreamValue::Double(std::numeric_limits<double>::infinity())});
  Obj.Properties.push_back({"ENaN", {TExtendedValue{{1, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x7F}}}});
  Obj.Properties.push_back({"EUnnormal", {TExtendedValue{{0, 0, 0, 0, 0, 0, 0, 0x40, 0xFF, 0x3F}}}});
  Obj.Properties.push_back({"EHuge", {TExtendedValue{{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x7F}}}});
  ExpectRoundTrips(Write(Obj));
  EXPECT_EQ(TExtendedValue::FromDouble(1.0).Bytes,
            (std::array<std::uint8_t, 10>{0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}));
  EXPECT_TRUE(std::isinf(TExtendedValue{{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x7F}}.ToDouble()));
}

}  // namespace
