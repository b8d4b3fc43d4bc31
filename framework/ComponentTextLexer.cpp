#include "ComponentTextLexer.h"

#include <algorithm>
#include <iterator>

#include "SysUtils.h"

namespace ComponentText {

namespace {

constexpr std::string_view Keywords[] = {"object", "inherited", "inline", "end",      "item", "true",
                                         "false",  "nil",       "null",   "file",     "as",   "single",
                                         "double", "extended",  "date",   "currency", "wide", "utf8"};

bool IsIdentStart(char C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || C == '_'; }
bool IsIdentChar(char C) { return IsIdentStart(C) || (C >= '0' && C <= '9'); }
bool IsHexDigit(char C) { return IsDigit(C) || (C >= 'A' && C <= 'F') || (C >= 'a' && C <= 'f'); }
int HexValue(char C) { return IsDigit(C) ? C - '0' : (C | 0x20) - 'a' + 10; }

}  // namespace

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

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

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

TToken TLexer::Next() {
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

void TLexer::SkipBlanks() {
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

std::string TLexer::NameText() {
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

void TLexer::Number(TToken& T) {
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
std::vector<TStringPiece> TLexer::StringPieces() {
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

std::string TLexer::Binary() {
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

}  // namespace ComponentText
