// The words of the text form of a window description (ComponentText.h):
// names (dotted, or escaped with '&'), numbers, strings as their quoted runs
// and #N codes, binary values and symbols, each with the line it starts on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ComponentText {

enum class TTokenKind { tkEnd, tkName, tkInteger, tkFloat, tkString, tkBinary, tkSymbol };

struct TStringPiece {
  bool IsCode;
  std::string Bytes;   // a quoted run, as written
  std::uint32_t Code;  // a #N
};

struct TToken {
  TTokenKind Kind = TTokenKind::tkEnd;
  int Line = 1;
  std::string Text;      // name, number or binary bytes
  bool Escaped = false;  // a name written with '&', never a keyword
  std::vector<TStringPiece> Pieces;
  char Symbol = 0;
};

class TLexer {
 public:
  explicit TLexer(std::string_view Text) : FText(Text) {}
  // The next word; one of kind tkEnd at the end of the text.
  TToken Next();

 private:
  std::string_view FText;
  std::size_t FPos = 0;
  int FLine = 1;

  void SkipBlanks();
  std::string NameText();
  void Number(TToken& T);

  // 'quoted' runs and #N / #$HH codes written back to back.
  std::vector<TStringPiece> StringPieces();
  std::string Binary();
};

// Raises EParserError "Line N: Message".
[[noreturn]] void Fail(int Line, const std::string& Message);
// A string's pieces as bytes; a #N above 255 fails.
std::string DecodeAnsi(const std::vector<TStringPiece>& Pieces, int Line);
// A string's pieces as UTF-16 units: quoted runs are read as UTF-8, #N as one unit.
std::u16string DecodeWide(const std::vector<TStringPiece>& Pieces, int Line);

// Equal but for the case of ASCII letters, as words of the text are compared.
bool SameText(std::string_view A, std::string_view B);
// A word the parser gives a meaning somewhere; the printer escapes names equal to one.
bool IsKeyword(std::string_view S);
bool IsDigit(char C);
// Dotted identifiers such as Font.Height can be written bare.
bool IsPlainName(std::string_view S);

}  // namespace ComponentText
