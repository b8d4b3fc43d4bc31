#include "ComponentText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <system_error>

#include "SysUtils.h"

namespace {

// Words the parser gives a meaning somewhere; the printer escapes names equal to one.
constexpr std::string_view Keywords[] = {"object", "inherited", "inline", "end",    "item",     "true",
                                         "false",  "nil",       "null",   "file",   "as",       "single",
                                         "double", "extended",  "date",   "currency", "wide", "utf8"};

bool SameText(std::string_view A, std::string_view B) {
  if (A.size() != B.size())
    return false;
  for (std::size_t I = 0; I < A.size(); ++I) {
    auto X = static_cast<unsigned char>(A[I]), Y = static_cast<unsigned char>(B[I]);
    if (X >= 'A' && X <= 'Z')
      X = static_cast<unsigned char>(X - 'A' + 'a');
    if (Y >= 'A' && Y <= 'Z')
      Y = static_cast<unsigned char>(Y - 'A' + 'a');
    if (X != Y)
      return false;
  }
  return true;
}

bool IsKeyword(std::string_view S) {
  return std::any_of(std::begin(Keywords), std::end(Keywords), [&](std::string_view K) { return SameText(S, K); });
}

bool IsIdentStart(char C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || C == '_'; }
bool IsIdentChar(char C) { return IsIdentStart(C) || (C >= '0' && C <= '9'); }
bool IsDigit(char C) { return C >= '0' && C <= '9'; }
bool IsHexDigit(char C) { return IsDigit(C) || (C >= 'A' && C <= 'F') || (C >= 'a' && C <= 'f'); }
int HexValue(char C) { return IsDigit(C) ? C - '0' : (C | 0x20) - 'a' + 10; }

// Dotted identifiers such as Font.Height can be written bare.
bool IsPlainName(std::string_view S) {
  if (S.empty())
    return false;
  bool AtStart = true;
  for (char C : S) {
    if (AtStart) {
      if (!IsIdentStart(C))
        return false;
      AtStart = false;
    } else if (C == '.') {
      AtStart = true;
    } else if (!IsIdentChar(C)) {
      return false;
    }
  }
  return !AtStart;
}

// ---------------------------------------------------------------- tokens

enum class TTokenKind { tkEnd, tkName, tkInteger, tkFloat, tkString, tkBinary, tkSymbol };

struct TStringPiece {
  bool IsCode;
  std::string Bytes;  // a quoted run, as written
  std::uint32_t Code;  // a #N
};

struct TToken {
  TTokenKind Kind = TTokenKind::tkEnd;
  int Line = 1;
  std::string Text;  // name, number or binary bytes
  bool Escaped = false;  // a name written with '&', never a keyword
  std::vector<TStringPiece> Pieces;
  char Symbol = 0;
};

[[noreturn]] void Fail(int Line, const std::string& Message) {
  throw EParserError("Line " + std::to_string(Line) + ": " + Message);
}

std::string DecodeAnsi(const std::vector<TStringPiece>& Pieces, int Line) {
  std::string S;
  for (const auto& P : Pieces) {
    if (!P.IsCode)
      S += P.Bytes;
    else if (P.Code > 255)
      Fail(Line, "character #" + std::to_string(P.Code) + " does not fit in a byte (only a Wide string takes it)");
    else
      S += static_cast<char>(P.Code);
  }
  return S;
}

std::u16string DecodeWide(const std::vector<TStringPiece>& Pieces, int Line) {
  std::u16string S;
  for (const auto& P : Pieces) {
    if (P.IsCode) {
      if (P.Code > 0xFFFF)
        Fail(Line, "character #" + std::to_string(P.Code) + " is not a UTF-16 code unit (at most #65535)");
      S += static_cast<char16_t>(P.Code);
      continue;
    }
    const auto& B = P.Bytes;
    for (std::size_t I = 0; I < B.size();) {
      auto C = static_cast<unsigned char>(B[I]);
      int Extra = C < 0x80 ? 0 : (C & 0xE0) == 0xC0 ? 1 : (C & 0xF0) == 0xE0 ? 2 : (C & 0xF8) == 0xF0 ? 3 : -1;
      if (Extra < 0 || B.size() - I <= static_cast<std::size_t>(Extra))
        Fail(Line, "a Wide string holds bytes that are not UTF-8; write such characters as #N");
      std::uint32_t Cp = Extra == 0 ? C : C & (0x3F >> Extra);
      for (int K = 1; K <= Extra; ++K) {
        auto T = static_cast<unsigned char>(B[I + static_cast<std::size_t>(K)]);
        if ((T & 0xC0) != 0x80)
          Fail(Line, "a Wide string holds bytes that are not UTF-8; write such characters as #N");
        Cp = (Cp << 6) | (T & 0x3F);
      }
      static constexpr std::uint32_t MinForLength[] = {0, 0x80, 0x800, 0x10000};
      if (Cp < MinForLength[Extra] || Cp > 0x10FFFF || (Cp >= 0xD800 && Cp <= 0xDFFF))
        Fail(Line, "a Wide string holds bytes that are not UTF-8; write such characters as #N");
      if (Cp >= 0x10000) {
        Cp -= 0x10000;
        S += static_cast<char16_t>(0xD800 + (Cp >> 10));
        S += static_cast<char16_t>(0xDC00 + (Cp & 0x3FF));
      } else {
        S += static_cast<char16_t>(Cp);
      }
      I += 1 + static_cast<std::size_t>(Extra);
    }
  }
  return S;
}

class TLexer {
public:
  explicit TLexer(std::string_view Text) : FText(Text) {}

  TToken Next() {
    SkipBlanks();
    TToken T;
    T.Line = FLine;
    if (FPos >= FText.size())
      return T;
    const char C = FText[FPos];
    if (C == '&') {
      ++FPos;
      T.Kind = TTokenKind::tkName;
      T.Escaped = true;
      if (FPos < FText.size() && (FText[FPos] == '\'' || FText[FPos] == '#')) {
        T.Text = DecodeAnsi(StringPieces(), T.Line);
      } else if (FPos < FText.size() && IsIdentStart(FText[FPos])) {
        T.Text = NameText();
      } else {
        Fail(FLine, "expected a name or a quoted string after '&'");
      }
    } else if (IsIdentStart(C)) {
      T.Kind = TTokenKind::tkName;
      T.Text = NameText();
    } else if (IsDigit(C) || (C == '-' && FPos + 1 < FText.size() && IsDigit(FText[FPos + 1]))) {
      Number(T);
    } else if (C == '\'' || C == '#') {
      T.Kind = TTokenKind::tkString;
      T.Pieces = StringPieces();
    } else if (C == '{') {
      T.Kind = TTokenKind::tkBinary;
      T.Text = Binary();
    } else if (std::string_view("=:[](),<>+").find(C) != std::string_view::npos) {
      T.Kind = TTokenKind::tkSymbol;
      T.Symbol = C;
      ++FPos;
    } else {
      auto U = static_cast<unsigned char>(C);
      Fail(FLine, U >= 0x21 && U <= 0x7E ? "unexpected character '" + std::string(1, C) + "'"
                                          : "unexpected character #" + std::to_string(U));
    }
    return T;
  }

private:
  std::string_view FText;
  std::size_t FPos = 0;
  int FLine = 1;

  void SkipBlanks() {
    while (FPos < FText.size()) {
      char C = FText[FPos];
      if (C == '\n') {
        ++FLine;
        ++FPos;
      } else if (C == ' ' || C == '\t' || C == '\r') {
        ++FPos;
      } else if (C == '/' && FPos + 1 < FText.size() && FText[FPos + 1] == '/') {
        while (FPos < FText.size() && FText[FPos] != '\n')
          ++FPos;
      } else {
        break;
      }
    }
  }

  std::string NameText() {
    auto Start = FPos;
    for (;;) {
      while (FPos < FText.size() && IsIdentChar(FText[FPos]))
        ++FPos;
      if (FPos + 1 < FText.size() && FText[FPos] == '.' && IsIdentStart(FText[FPos + 1]))
        ++FPos;
      else
        break;
    }
    return std::string(FText.substr(Start, FPos - Start));
  }

  void Number(TToken& T) {
    auto Start = FPos;
    bool Float = false;
    if (FText[FPos] == '-')
      ++FPos;
    auto Digits = [&] {
      auto From = FPos;
      while (FPos < FText.size() && IsDigit(FText[FPos]))
        ++FPos;
      return FPos > From;
    };
    Digits();
    if (FPos < FText.size() && FText[FPos] == '.') {
      ++FPos;
      Float = true;
      if (!Digits())
        Fail(FLine, "expected digits after the '.' of a number");
    }
    if (FPos < FText.size() && (FText[FPos] == 'e' || FText[FPos] == 'E')) {
      ++FPos;
      Float = true;
      if (FPos < FText.size() && (FText[FPos] == '+' || FText[FPos] == '-'))
        ++FPos;
      if (!Digits())
        Fail(FLine, "expected digits in the exponent of a number");
    }
    if (FPos < FText.size() && (IsIdentChar(FText[FPos]) || FText[FPos] == '.'))
      Fail(FLine, "invalid number '" + std::string(FText.substr(Start, FPos + 1 - Start)) + "'");
    T.Kind = Float ? TTokenKind::tkFloat : TTokenKind::tkInteger;
    T.Text = std::string(FText.substr(Start, FPos - Start));
  }

  // 'quoted' runs and #N / #$HH codes written back to back.
  std::vector<TStringPiece> StringPieces() {
    std::vector<TStringPiece> Pieces;
    while (FPos < FText.size() && (FText[FPos] == '\'' || FText[FPos] == '#')) {
      if (FText[FPos] == '\'') {
        ++FPos;
        std::string Run;
        for (;;) {
          if (FPos >= FText.size() || FText[FPos] == '\n' || FText[FPos] == '\r')
            Fail(FLine, "unterminated string (a string ends on the line it starts; join lines with '+')");
          if (FText[FPos] == '\'') {
            if (FPos + 1 < FText.size() && FText[FPos + 1] == '\'') {
              Run += '\'';
              FPos += 2;
              continue;
            }
            ++FPos;
            break;
          }
          Run += FText[FPos++];
        }
        Pieces.push_back({false, std::move(Run), 0});
      } else {
        ++FPos;
        const bool Hex = FPos < FText.size() && FText[FPos] == '$';
        if (Hex)
          ++FPos;
        std::uint32_t Code = 0;
        int Count = 0;
        while (FPos < FText.size() && (Hex ? IsHexDigit(FText[FPos]) : IsDigit(FText[FPos]))) {
          Code = Code * (Hex ? 16 : 10) + static_cast<std::uint32_t>(HexValue(FText[FPos++]));
          if (Code > 0x10FFFF)
            Fail(FLine, "character code after '#' is too large");
          ++Count;
        }
        if (Count == 0)
          Fail(FLine, Hex ? "expected hex digits after '#$'" : "expected digits after '#'");
        Pieces.push_back({true, {}, Code});
      }
    }
    return Pieces;
  }

  std::string Binary() {
    const int StartLine = FLine;
    ++FPos;
    std::string Bytes;
    int High = -1;
    for (;;) {
      if (FPos >= FText.size())
        Fail(StartLine, "binary value '{' is not closed with '}'");
      char C = FText[FPos++];
      if (C == '}')
        break;
      if (C == '\n') {
        ++FLine;
      } else if (C == ' ' || C == '\t' || C == '\r') {
      } else if (IsHexDigit(C)) {
        if (High < 0) {
          High = HexValue(C);
        } else {
          Bytes += static_cast<char>(High * 16 + HexValue(C));
          High = -1;
        }
      } else {
        Fail(FLine, "expected hex digits or '}' in a binary value, found '" + std::string(1, C) + "'");
      }
    }
    if (High >= 0)
      Fail(FLine, "a binary value has an odd number of hex digits");
    return Bytes;
  }
};

// ---------------------------------------------------------------- parser

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
      case TTokenKind::tkEnd: return "the end of the text";
      case TTokenKind::tkName: return (T.Escaped ? "name '&" : "'") + T.Text + "'";
      case TTokenKind::tkInteger:
      case TTokenKind::tkFloat: return "number " + T.Text;
      case TTokenKind::tkString: return "a string";
      case TTokenKind::tkBinary: return "a binary value";
      case TTokenKind::tkSymbol: return "'" + std::string(1, T.Symbol) + "'";
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
      Fail(FTok.Line, "objects, lists and collection items nest deeper than " + std::to_string(MaxComponentNesting) +
                          " levels");
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

  double FloatToken(const std::string& Context) {
    if (FTok.Kind != TTokenKind::tkFloat && FTok.Kind != TTokenKind::tkInteger)
      Expected("a number " + Context);
    double Value = 0;
    const auto& S = FTok.Text;
    auto [End, Ec] = std::from_chars(S.data(), S.data() + S.size(), Value);
    if (Ec != std::errc() || End != S.data() + S.size())
      Fail(FTok.Line, "number " + S + " is out of range");
    Advance();
    return Value;
  }

  // The stored bytes of a float, when its type word is followed by { hex }.
  std::optional<std::string> RawFloat(std::size_t Size, const std::string& Type) {
    if (FTok.Kind != TTokenKind::tkBinary)
      return std::nullopt;
    if (FTok.Text.size() != Size)
      Fail(FTok.Line, Type + " {..} needs " + std::to_string(Size) + " bytes, found " +
                          std::to_string(FTok.Text.size()));
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
      case TTokenKind::tkInteger: return TStreamValue::Integer(IntegerToken("an integer"));
      case TTokenKind::tkFloat: return TStreamValue::Extended(FloatToken(After));
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
      case TTokenKind::tkName: return NamedValue(Prop);
      case TTokenKind::tkEnd: break;
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
    if (IsWord("object") || IsWord("inherited") || IsWord("inline") || IsWord("end") || IsWord("item") ||
        IsWord("as"))
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
      if (FTok.Kind != TTokenKind::tkFloat && FTok.Kind != TTokenKind::tkInteger)
        Expected("a number or {hex} " + After);
      float Value = 0;
      const auto& S = FTok.Text;
      auto [End, Ec] = std::from_chars(S.data(), S.data() + S.size(), Value);
      if (Ec != std::errc() || End != S.data() + S.size())
        Fail(FTok.Line, "number " + S + " is out of range for Single");
      Advance();
      return TStreamValue::Single(Value);
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

// ---------------------------------------------------------------- printer

constexpr std::size_t StringChunk = 64;
constexpr std::size_t BinaryLineBytes = 32;

// Units printable as ASCII go in quotes, every other one as #N.
template <class TUnits>
std::string Literal(const TUnits& Units, const std::string& Pad, bool Split = true) {
  std::vector<std::string> Chunks;
  std::string Cur;
  bool InQuote = false;
  for (std::size_t I = 0; I < Units.size(); ++I) {
    auto U = static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<typename TUnits::value_type>>(Units[I]));
    if (U >= 0x20 && U <= 0x7E) {
      if (!InQuote)
        Cur += '\'';
      InQuote = true;
      Cur += U == '\'' ? "''" : std::string(1, static_cast<char>(U));
    } else {
      if (InQuote)
        Cur += '\'';
      InQuote = false;
      Cur += '#' + std::to_string(U);
    }
    if (Split && Cur.size() >= StringChunk && I + 1 < Units.size()) {
      if (InQuote)
        Cur += '\'';
      InQuote = false;
      Chunks.push_back(std::move(Cur));
      Cur.clear();
    }
  }
  if (InQuote)
    Cur += '\'';
  if (Cur.empty())
    Cur = "''";
  Chunks.push_back(std::move(Cur));
  std::string Out = Chunks[0];
  for (std::size_t I = 1; I < Chunks.size(); ++I)
    Out += " +\n" + Pad + Chunks[I];
  return Out;
}

std::string Name(const std::string& S) {
  if (IsPlainName(S))
    return IsKeyword(S) ? "&" + S : S;
  return "&" + Literal(S, "", false);
}

std::string HexBytes(const std::uint8_t* P, std::size_t N) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  std::string Out;
  for (std::size_t I = 0; I < N; ++I) {
    Out += Digits[P[I] >> 4];
    Out += Digits[P[I] & 15];
  }
  return Out;
}

std::string Binary(const std::vector<std::uint8_t>& Bytes, const std::string& Pad) {
  if (Bytes.size() <= BinaryLineBytes)
    return "{" + HexBytes(Bytes.data(), Bytes.size()) + "}";
  std::string Out = "{";
  for (std::size_t I = 0; I < Bytes.size(); I += BinaryLineBytes)
    Out += "\n" + Pad + HexBytes(Bytes.data() + I, std::min(BinaryLineBytes, Bytes.size() - I));
  return Out + "}";
}

std::string LittleEndianHex(std::uint64_t Bits, std::size_t N) {
  std::uint8_t B[8];
  for (std::size_t I = 0; I < N; ++I)
    B[I] = static_cast<std::uint8_t>(Bits >> (8 * I));
  return "{" + HexBytes(B, N) + "}";
}

// Shortest decimal that reads back as the same bits; none for NaN or infinity.
template <class TFloat>
std::optional<std::string> Decimal(TFloat Value) {
  if (!std::isfinite(Value))
    return std::nullopt;
  char Buf[64];
  auto [End, Ec] = std::to_chars(Buf, Buf + sizeof Buf, Value);
  if (Ec != std::errc())
    return std::nullopt;
  std::string S(Buf, End);
  if (S.find_first_of(".e") == std::string::npos)
    S += ".0";
  return S;
}

std::string CurrencyText(std::int64_t Scaled) {
  const bool Negative = Scaled < 0;
  const std::uint64_t Abs = Negative ? ~static_cast<std::uint64_t>(Scaled) + 1 : static_cast<std::uint64_t>(Scaled);
  std::string Out = (Negative ? "-" : "") + std::to_string(Abs / 10000);
  if (auto Frac = Abs % 10000) {
    char Buf[8];
    std::snprintf(Buf, sizeof Buf, ".%04u", static_cast<unsigned>(Frac));
    std::string F = Buf;
    while (F.back() == '0')
      F.pop_back();
    Out += F;
  }
  return Out;
}

class TTextPrinter {
public:
  explicit TTextPrinter(const TPictureSaver& Saver) : FSaver(Saver) {}

  std::string Out;

  void Object(const TStreamObject& Obj, int Indent) {
    const std::string Pad(static_cast<std::size_t>(Indent) * 2, ' ');
    Out += Pad;
    if (Obj.Flags & ffInherited)
      Out += "inherited";
    if (Obj.Flags & ffInline)
      Out += Obj.Flags & ffInherited ? " inline" : "inline";
    if (!(Obj.Flags & (ffInherited | ffInline)))
      Out += "object";
    Out += ' ';
    if (!Obj.Name.empty())
      Out += Name(Obj.Name) + ": ";
    Out += Name(Obj.ClassName);
    if (Obj.ChildPos)
      Out += " [" + std::to_string(*Obj.ChildPos) + "]";
    Out += '\n';
    Properties(Obj.Properties, Obj, Indent + 1);
    for (const auto& Child : Obj.Children)
      Object(Child, Indent + 1);
    Out += Pad + "end\n";
  }

private:
  const TPictureSaver& FSaver;

  void Properties(const std::vector<TStreamProperty>& Props, const TStreamObject& Owner, int Indent) {
    const std::string Pad(static_cast<std::size_t>(Indent) * 2, ' ');
    for (const auto& P : Props)
      Out += Pad + Name(P.Name) + " = " + Value(P.Value, Owner, P.Name, Indent) + "\n";
  }

  std::optional<std::string> PictureFile(const TBinaryValue& V, const TStreamObject& Owner, const std::string& Prop) {
    if (!FSaver)
      return std::nullopt;
    TPictureValue Pic;
    try {
      Pic = DecodePictureValue(V.Bytes);
      if (EncodePictureValue(Pic) != V.Bytes)
        return std::nullopt;
    } catch (const Exception&) {
      return std::nullopt;
    }
    auto FileName = FSaver(Owner, Prop, Pic);
    if (FileName.empty())
      return std::nullopt;
    return "file " + Literal(FileName, "") + " as " + Name(Pic.ClassName);
  }

  // Continuation lines of a value are indented one level below its property.
  std::string Value(const TStreamValue& V, const TStreamObject& Owner, const std::string& Prop, int Indent) {
    const std::string Pad(static_cast<std::size_t>(Indent + 1) * 2, ' ');
    return std::visit(
        [&](const auto& X) -> std::string {
          using T = std::decay_t<decltype(X)>;
          if constexpr (std::is_same_v<T, TNullValue>) {
            return "null";
          } else if constexpr (std::is_same_v<T, std::vector<TStreamValue>>) {
            if (X.empty())
              return "()";
            std::string S = "(";
            for (const auto& Item : X)
              S += "\n" + Pad + Value(Item, Owner, Prop, Indent + 1);
            return S + ")";
          } else if constexpr (std::is_same_v<T, std::int64_t>) {
            return std::to_string(X);
          } else if constexpr (std::is_same_v<T, TExtendedValue>) {
            const double D = X.ToDouble();
            if (auto S = Decimal(D); S && TExtendedValue::FromDouble(D) == X)
              return *S;
            return "Extended " + std::string("{") + HexBytes(X.Bytes.data(), X.Bytes.size()) + "}";
          } else if constexpr (std::is_same_v<T, std::string>) {
            return Literal(X, Pad);
          } else if constexpr (std::is_same_v<T, TIdentValue>) {
            return Name(X.Name);
          } else if constexpr (std::is_same_v<T, bool>) {
            return X ? "True" : "False";
          } else if constexpr (std::is_same_v<T, TBinaryValue>) {
            if (auto File = PictureFile(X, Owner, Prop))
              return *File;
            return Binary(X.Bytes, Pad);
          } else if constexpr (std::is_same_v<T, TSetValue>) {
            std::string S = "[";
            for (std::size_t I = 0; I < X.Names.size(); ++I)
              S += (I ? ", " : "") + Name(X.Names[I]);
            return S + "]";
          } else if constexpr (std::is_same_v<T, TNilValue>) {
            return "nil";
          } else if constexpr (std::is_same_v<T, TCollectionValue>) {
            std::string S = "<";
            for (const auto& Item : X.Items) {
              S += "\n" + Pad + "item";
              if (Item.Order)
                S += " [" + std::to_string(*Item.Order) + "]";
              S += "\n";
              TTextPrinter Inner(FSaver);
              Inner.Properties(Item.Properties, Owner, Indent + 2);
              S += Inner.Out + Pad + "end";
            }
            return S + ">";
          } else if constexpr (std::is_same_v<T, TSingleValue>) {
            if (auto S = Decimal(X.ToFloat()); S && TSingleValue::FromFloat(X.ToFloat()) == X)
              return "Single " + *S;
            return "Single " + LittleEndianHex(X.Bits, 4);
          } else if constexpr (std::is_same_v<T, TCurrencyValue>) {
            return "Currency " + CurrencyText(X.Scaled);
          } else if constexpr (std::is_same_v<T, TDateValue>) {
            if (auto S = Decimal(X.ToDouble()))
              return "Date " + *S;
            return "Date " + LittleEndianHex(X.Bits, 8);
          } else if constexpr (std::is_same_v<T, TWideStringValue>) {
            return "Wide " + Literal(X.Units, Pad);
          } else if constexpr (std::is_same_v<T, TUtf8StringValue>) {
            return "Utf8 " + Literal(X.Bytes, Pad);
          } else if constexpr (std::is_same_v<T, TDoubleValue>) {
            if (auto S = Decimal(X.ToDouble()))
              return "Double " + *S;
            return "Double " + LittleEndianHex(X.Bits, 8);
          } else {
            static_assert(sizeof(T) == 0, "every value kind is printed");
          }
        },
        V.Data);
  }
};

}  // namespace

TStreamObject ParseComponentText(std::string_view Text, const TFileLoader& Loader) {
  return TTextParser(Text, Loader).ParseRoot();
}

std::string PrintComponentText(const TStreamObject& Root, const TPictureSaver& Saver) {
  TTextPrinter Printer(Saver);
  Printer.Object(Root, 0);
  return Printer.Out;
}
