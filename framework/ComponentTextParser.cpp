#include "ComponentTextParser.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <system_error>

#include "ComponentTextLexer.h"
#include "SysUtils.h"

using namespace ComponentText;

namespace {

class TTextParser {
 public:
  TTextParser(std::string_view Text, const TFileLoader& Loader) : FLexer(Text), FLoader(Loader) { Advance(); }

  TStreamObject ParseRoot() {
    if (!IsHeaderWord())
      Expected("'object', 'inherited' or 'inline' to start the description");
    auto Root = ParseObject();
    if (FTok.Kind != TTokenKind::tkEnd)
      Expected("the end of the text after the last 'end'");
    return Root;
  }

 private:
  TLexer FLexer;
  TToken FTok;
  const TFileLoader& FLoader;
  int FDepth = 0;

  void Advance() { FTok = FLexer.Next(); }

  static std::string Describe(const TToken& T) {
    switch (T.Kind) {
      case TTokenKind::tkEnd:
        return "the end of the text";
      case TTokenKind::tkName:
        return (T.Escaped ? "name '&" : "'") + T.Text + "'";
      case TTokenKind::tkInteger:
      case TTokenKind::tkFloat:
        return "number " + T.Text;
      case TTokenKind::tkString:
        return "a string";
      case TTokenKind::tkBinary:
        return "a binary value";
      case TTokenKind::tkSymbol:
        return "'" + std::string(1, T.Symbol) + "'";
    }
    return "?";
  }

  [[noreturn]] void Expected(const std::string& What) const {
    Fail(FTok.Line, "expected " + What + ", found " + Describe(FTok));
  }

  bool IsWord(std::string_view Word) const {
    return FTok.Kind == TTokenKind::tkName && !FTok.Escaped && SameText(FTok.Text, Word);
  }
  bool IsSymbol(char C) const { return FTok.Kind == TTokenKind::tkSymbol && FTok.Symbol == C; }
  bool IsHeaderWord() const { return IsWord("object") || IsWord("inherited") || IsWord("inline"); }

  void ExpectSymbol(char C, const std::string& Context) {
    if (!IsSymbol(C))
      Expected("'" + std::string(1, C) + "' " + Context);
    Advance();
  }

  void Enter() {
    if (++FDepth > MaxComponentNesting)
      Fail(FTok.Line,
           "objects, lists and collection items nest deeper than " + std::to_string(MaxComponentNesting) + " levels");
  }
  void Leave() { --FDepth; }

  std::string ShortName(const std::string& What) {
    if (FTok.Kind != TTokenKind::tkName)
      Expected(What);
    if (FTok.Text.size() > 255)
      Fail(FTok.Line, What + " is longer than 255 bytes");
    auto Name = FTok.Text;
    Advance();
    return Name;
  }

  std::int64_t IntegerToken(const std::string& What) {
    if (FTok.Kind != TTokenKind::tkInteger)
      Expected(What);
    std::int64_t Value = 0;
    const auto& S = FTok.Text;
    auto [End, Ec] = std::from_chars(S.data(), S.data() + S.size(), Value);
    if (Ec != std::errc() || End != S.data() + S.size())
      Fail(FTok.Line, "integer " + S + " does not fit in 64 bits");
    Advance();
    return Value;
  }

  std::optional<std::int64_t> Position(const std::string& What) {
    if (!IsSymbol('['))
      return std::nullopt;
    Advance();
    auto Value = IntegerToken("an integer " + What);
    ExpectSymbol(']', "after " + What);
    return Value;
  }

  TStreamObject ParseObject() {
    const int Line = FTok.Line;
    Enter();
    TStreamObject Obj;
    while (IsHeaderWord()) {
      if (IsWord("inherited"))
        Obj.Flags |= ffInherited;
      else if (IsWord("inline"))
        Obj.Flags |= ffInline;
      Advance();
    }
    std::string First;
    if (!IsSymbol(':'))
      First = ShortName("an object name or class name");
    if (IsSymbol(':')) {
      Advance();
      Obj.Name = std::move(First);
      Obj.ClassName = ShortName("a class name after ':'");
    } else {
      Obj.ClassName = std::move(First);
    }
    Obj.ChildPos = Position("child position");
    if (Obj.ChildPos)
      Obj.Flags |= ffChildPos;
    for (;;) {
      if (IsWord("end")) {
        Advance();
        break;
      }
      if (IsHeaderWord()) {
        Obj.Children.push_back(ParseObject());
        continue;
      }
      if (FTok.Kind == TTokenKind::tkEnd)
        Fail(FTok.Line, "the object that starts on line " + std::to_string(Line) + " has no 'end'");
      if (FTok.Kind != TTokenKind::tkName)
        Expected("a property name, 'object' or 'end'");
      if (!Obj.Children.empty())
        Fail(FTok.Line, "property '" + FTok.Text + "' follows a child object; properties come first");
      Obj.Properties.push_back(ParseProperty());
    }
    Leave();
    return Obj;
  }

  TStreamProperty ParseProperty() {
    TStreamProperty P;
    if (FTok.Text.empty())
      Fail(FTok.Line, "a property name is empty");
    P.Name = ShortName("a property name");
    ExpectSymbol('=', "after property name '" + P.Name + "'");
    P.Value = ParseValue(P.Name);
    return P;
  }

  std::vector<TStringPiece> StringLiteral(const std::string& Context) {
    if (FTok.Kind != TTokenKind::tkString)
      Expected("a string " + Context);
    auto Pieces = std::move(FTok.Pieces);
    Advance();
    while (IsSymbol('+')) {
      Advance();
      if (FTok.Kind != TTokenKind::tkString)
        Expected("a string after '+'");
      Pieces.insert(Pieces.end(), FTok.Pieces.begin(), FTok.Pieces.end());
      Advance();
    }
    return Pieces;
  }

  // The number token as a T; a number beyond T's range fails, Range naming the type.
  template <typename T>
  T NumberToken(const std::string& Expectation, const std::string& Range = "") {
    if (FTok.Kind != TTokenKind::tkFloat && FTok.Kind != TTokenKind::tkInteger)
      Expected(Expectation);
    T Value = 0;
    const auto& S = FTok.Text;
    auto [End, Ec] = std::from_chars(S.data(), S.data() + S.size(), Value);
    if (Ec != std::errc() || End != S.data() + S.size())
      Fail(FTok.Line, "number " + S + " is out of range" + Range);
    Advance();
    return Value;
  }

  double FloatToken(const std::string& Context) { return NumberToken<double>("a number " + Context); }

  // The stored bytes of a float, when its type word is followed by { hex }.
  std::optional<std::string> RawFloat(std::size_t Size, const std::string& Type) {
    if (FTok.Kind != TTokenKind::tkBinary)
      return std::nullopt;
    if (FTok.Text.size() != Size)
      Fail(FTok.Line,
           Type + " {..} needs " + std::to_string(Size) + " bytes, found " + std::to_string(FTok.Text.size()));
    auto Bytes = FTok.Text;
    Advance();
    return Bytes;
  }

  static std::uint64_t LittleEndian(const std::string& Bytes) {
    std::uint64_t V = 0;
    for (std::size_t I = Bytes.size(); I-- > 0;)
      V = (V << 8) | static_cast<unsigned char>(Bytes[I]);
    return V;
  }

  std::int64_t CurrencyToken() {
    if (FTok.Kind != TTokenKind::tkFloat && FTok.Kind != TTokenKind::tkInteger)
      Expected("a number after 'Currency'");
    const auto& S = FTok.Text;
    std::size_t I = 0;
    const bool Negative = S[0] == '-';
    if (Negative)
      ++I;
    constexpr std::uint64_t Limit = std::uint64_t{1} << 63;
    // Integer part and up to four decimals are read as one integer of ten-thousandths.
    std::uint64_t Value = 0;
    int Decimals = -1;
    for (; I < S.size(); ++I) {
      if (S[I] == '.') {
        Decimals = 0;
        continue;
      }
      if (!IsDigit(S[I]))
        Fail(FTok.Line, "currency " + S + " takes no exponent");
      if (Decimals >= 0 && ++Decimals > 4)
        Fail(FTok.Line, "currency " + S + " has more than four decimals");
      if (Value > (Limit - static_cast<std::uint64_t>(S[I] - '0')) / 10)
        Fail(FTok.Line, "currency " + S + " is out of range");
      Value = Value * 10 + static_cast<std::uint64_t>(S[I] - '0');
    }
    for (int K = std::max(Decimals, 0); K < 4; ++K) {
      if (Value > Limit / 10)
        Fail(FTok.Line, "currency " + S + " is out of range");
      Value *= 10;
    }
    if (Value == Limit && !Negative)
      Fail(FTok.Line, "currency " + S + " is out of range");
    Advance();
    return Negative ? static_cast<std::int64_t>(~Value + 1) : static_cast<std::int64_t>(Value);
  }

  TStreamValue Picture(const std::string& Prop) {
    const int Line = FTok.Line;
    auto FileName = DecodeAnsi(StringLiteral("with the file name after 'file'"), Line);
    if (!IsWord("as"))
      Expected("'as' and the picture class after the file name");
    Advance();
    const int ClassLine = FTok.Line;
    TPictureValue Pic;
    Pic.ClassName = ShortName("a picture class (TJPEGImage or TIcon) after 'as'");
    const bool Jpeg = Pic.ClassName == "TJPEGImage";
    if (!Jpeg && Pic.ClassName != "TIcon")
      Fail(ClassLine, "unknown picture class '" + Pic.ClassName + "' (expected TJPEGImage or TIcon)");
    if (!FLoader)
      Fail(Line, "cannot load picture file '" + FileName + "' of property '" + Prop + "': no files can be read here");
    try {
      Pic.Data = FLoader(FileName);
    } catch (const Exception& E) {
      Fail(Line, "cannot load picture file '" + FileName + "': " + E.Message());
    }
    static constexpr std::uint8_t JpegStart[] = {0xFF, 0xD8, 0xFF};
    static constexpr std::uint8_t IconStart[] = {0x00, 0x00, 0x01, 0x00};
    auto StartsWith = [&](const auto& Magic) {
      return Pic.Data.size() >= std::size(Magic) && std::equal(std::begin(Magic), std::end(Magic), Pic.Data.begin());
    };
    if (Jpeg ? !StartsWith(JpegStart) : !StartsWith(IconStart))
      Fail(Line, "picture file '" + FileName + "' is not " + (Jpeg ? "a JPEG file" : "an icon file"));
    try {
      return TStreamValue::Binary(EncodePictureValue(Pic));
    } catch (const Exception& E) {
      Fail(Line, E.Message());
    }
  }

  TStreamValue ParseValue(const std::string& Prop) {
    const std::string After = "for property '" + Prop + "'";
    switch (FTok.Kind) {
      case TTokenKind::tkInteger:
        return TStreamValue::Integer(IntegerToken("an integer"));
      case TTokenKind::tkFloat:
        return TStreamValue::Extended(FloatToken(After));
      case TTokenKind::tkString: {
        const int Line = FTok.Line;
        return TStreamValue::String(DecodeAnsi(StringLiteral(After), Line));
      }
      case TTokenKind::tkBinary: {
        std::vector<std::uint8_t> Bytes(FTok.Text.begin(), FTok.Text.end());
        Advance();
        return TStreamValue::Binary(std::move(Bytes));
      }
      case TTokenKind::tkSymbol:
        if (IsSymbol('['))
          return SetValue();
        if (IsSymbol('('))
          return ListValue(Prop);
        if (IsSymbol('<'))
          return CollectionValue();
        break;
      case TTokenKind::tkName:
        return NamedValue(Prop);
      case TTokenKind::tkEnd:
        break;
    }
    Expected("a value " + After);
  }

  TStreamValue NamedValue(const std::string& Prop) {
    if (FTok.Escaped) {
      if (FTok.Text.size() > 255)
        Fail(FTok.Line, "identifier is longer than 255 bytes");
      auto Name = FTok.Text;
      Advance();
      return TStreamValue::Ident(std::move(Name));
    }
    auto Take = [&](auto Value) {
      Advance();
      return TStreamValue{Value};
    };
    if (IsWord("true"))
      return Take(true);
    if (IsWord("false"))
      return Take(false);
    if (IsWord("nil"))
      return Take(TNilValue{});
    if (IsWord("null"))
      return Take(TNullValue{});
    if (IsWord("file")) {
      Advance();
      return Picture(Prop);
    }
    if (IsWord("object") || IsWord("inherited") || IsWord("inline") || IsWord("end") || IsWord("item") || IsWord("as"))
      Expected("a value for property '" + Prop + "'");
    const std::string Word = FTok.Text;
    const std::string After = "after '" + Word + "'";
    if (IsWord("extended")) {
      Advance();
      if (auto Raw = RawFloat(10, Word)) {
        TExtendedValue V;
        std::copy(Raw->begin(), Raw->end(), V.Bytes.begin());
        return {V};
      }
      return TStreamValue::Extended(FloatToken(After));
    }
    if (IsWord("single")) {
      Advance();
      if (auto Raw = RawFloat(4, Word))
        return {TSingleValue{static_cast<std::uint32_t>(LittleEndian(*Raw))}};
      return TStreamValue::Single(NumberToken<float>("a number or {hex} " + After, " for Single"));
    }
    if (IsWord("double") || IsWord("date")) {
      const bool Date = IsWord("date");
      Advance();
      std::uint64_t Bits;
      if (auto Raw = RawFloat(8, Word))
        Bits = LittleEndian(*Raw);
      else
        Bits = TDoubleValue::FromDouble(FloatToken(After)).Bits;
      return Date ? TStreamValue{TDateValue{Bits}} : TStreamValue{TDoubleValue{Bits}};
    }
    if (IsWord("currency")) {
      Advance();
      return TStreamValue::Currency(CurrencyToken());
    }
    if (IsWord("wide")) {
      Advance();
      const int Line = FTok.Line;
      return TStreamValue::WideString(DecodeWide(StringLiteral(After), Line));
    }
    if (IsWord("utf8")) {
      Advance();
      const int Line = FTok.Line;
      return TStreamValue::Utf8String(DecodeAnsi(StringLiteral(After), Line));
    }
    if (FTok.Text.size() > 255)
      Fail(FTok.Line, "identifier is longer than 255 bytes");
    auto Name = FTok.Text;
    Advance();
    return TStreamValue::Ident(std::move(Name));
  }

  TStreamValue SetValue() {
    Advance();
    std::vector<std::string> Names;
    if (!IsSymbol(']')) {
      for (;;) {
        if (FTok.Kind == TTokenKind::tkName && FTok.Text.empty())
          Fail(FTok.Line, "a set member is empty");
        Names.push_back(ShortName("a set member name"));
        if (IsSymbol(']'))
          break;
        ExpectSymbol(',', "or ']' after a set member");
      }
    }
    Advance();
    return TStreamValue::Set(std::move(Names));
  }

  TStreamValue ListValue(const std::string& Prop) {
    Enter();
    Advance();
    std::vector<TStreamValue> Items;
    while (!IsSymbol(')')) {
      if (FTok.Kind == TTokenKind::tkEnd)
        Expected("')' to close the list of property '" + Prop + "'");
      const int Line = FTok.Line;
      Items.push_back(ParseValue(Prop));
      if (Items.back().Kind() == TValueKind::vkNull)
        Fail(Line, "null cannot be a list element (it would end the list)");
    }
    Advance();
    Leave();
    return TStreamValue::List(std::move(Items));
  }

  TStreamValue CollectionValue() {
    Advance();
    std::vector<TCollectionItem> Items;
    while (!IsSymbol('>')) {
      if (!IsWord("item"))
        Expected("'item' or '>' in a collection");
      const int Line = FTok.Line;
      Advance();
      Enter();
      TCollectionItem Item;
      Item.Order = Position("item order");
      for (;;) {
        if (IsWord("end")) {
          Advance();
          break;
        }
        if (FTok.Kind == TTokenKind::tkEnd)
          Fail(FTok.Line, "the item that starts on line " + std::to_string(Line) + " has no 'end'");
        if (FTok.Kind != TTokenKind::tkName)
          Expected("a property name or 'end' in a collection item");
        Item.Properties.push_back(ParseProperty());
      }
      Leave();
      Items.push_back(std::move(Item));
    }
    Advance();
    return TStreamValue::Collection(std::move(Items));
  }
};

}  // namespace

TStreamObject ParseComponentText(std::string_view Text, const TFileLoader& Loader) {
  return TTextParser(Text, Loader).ParseRoot();
}
