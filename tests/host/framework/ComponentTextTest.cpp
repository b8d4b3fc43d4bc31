// The window description in its text form, and back to binary.
#include "ComponentStreamTestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace ComponentStreamTestSupport;

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
