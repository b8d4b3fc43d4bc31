// The stored window description in its binary form: streams, model and pictures.
#include "ComponentStreamTestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace ComponentStreamTestSupport;

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

  // What lies after the position counts against the 2 GiB limit: a stream that
  // only reports its size reaches the read at 2^31 - 1 bytes and is refused at 2^31.
  struct TSizeOnly : TStream {
    std::int64_t Reported;
    explicit TSizeOnly(std::int64_t Size) : Reported(Size) {}
    std::int32_t Read(void*, std::int32_t) override { return 0; }
    std::int32_t Write(const void*, std::int32_t) override { return 0; }
    std::int64_t Seek(std::int64_t, TSeekOrigin) override { return 3; }
    std::int64_t Size() override { return Reported; }
  };
  for (const auto& [After, Refusal] :
       {std::pair{0x7FFFFFFFLL, "Stream read error"}, std::pair{0x80000000LL, "the stream is larger than 2 GiB"}}) {
    TSizeOnly Sized(3 + After);
    try {
      ReadComponentStream(Sized);
      ADD_FAILURE() << After << " bytes were read";
    } catch (const EReadError& E) {
      EXPECT_NE(E.Message().find(Refusal), std::string::npos) << After << ": " << E.Message();
    }
  }
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

}  // namespace
