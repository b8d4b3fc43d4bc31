#include "PoTexts.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <string_view>

#include "Files.h"
#include "PeImage.h"

namespace mkinstaller {

namespace {

// A PO file's quoted string, escapes resolved; false when it is not one.
bool Unquote(std::string_view Line, std::string& Out) {
  while (!Line.empty() && (Line.back() == ' ' || Line.back() == '\t' || Line.back() == '\r'))
    Line.remove_suffix(1);
  if (Line.size() < 2 || Line.front() != '"' || Line.back() != '"')
    return false;
  Line = Line.substr(1, Line.size() - 2);
  for (std::size_t I = 0; I < Line.size(); ++I) {
    char C = Line[I];
    if (C == '"')
      return false;
    if (C != '\\') {
      Out += C;
      continue;
    }
    if (++I == Line.size())
      return false;
    static constexpr std::string_view From = "ntr\"\\abfv", To = "\n\t\r\"\\\a\b\f\v";
    if (const auto At = From.find(Line[I]); At != From.npos) {
      Out += To[At];
    } else if (Line[I] >= '0' && Line[I] <= '7') {
      unsigned Value = 0;
      for (int K = 0; K < 3 && I < Line.size() && Line[I] >= '0' && Line[I] <= '7'; ++K, ++I)
        Value = Value * 8 + static_cast<unsigned>(Line[I] - '0');
      --I;
      Out += static_cast<char>(Value);
    } else {
      return false;
    }
  }
  return true;
}

std::size_t Count(std::string_view Text, std::string_view What) {
  std::size_t N = 0;
  for (auto At = Text.find(What); At != Text.npos; At = Text.find(What, At + What.size()))
    ++N;
  return N;
}

// The value of Field in a PO header ("Language: de\n..."), trimmed.
std::optional<std::string> HeaderField(const std::string& Header, std::string_view Field) {
  for (std::size_t Start = 0; Start < Header.size();) {
    std::size_t End = Header.find('\n', Start);
    if (End == std::string::npos)
      End = Header.size();
    std::string_view Line(Header.data() + Start, End - Start);
    if (Line.size() > Field.size() && Line.substr(0, Field.size()) == Field && Line[Field.size()] == ':') {
      Line.remove_prefix(Field.size() + 1);
      while (!Line.empty() && Line.front() == ' ')
        Line.remove_prefix(1);
      while (!Line.empty() && Line.back() == ' ')
        Line.remove_suffix(1);
      return std::string(Line);
    }
    Start = End + 1;
  }
  return std::nullopt;
}

struct TEntry {
  bool Fuzzy = false;
  std::optional<std::string> Id, Str;
  int Line = 0;
};

}  // namespace

bool DecodeUtf8(const std::string& Text, std::u32string& Points) {
  Points.clear();
  for (std::size_t I = 0; I < Text.size();) {
    const auto Lead = static_cast<unsigned char>(Text[I]);
    const std::size_t Length = Lead < 0x80                   ? 1
                               : Lead >= 0xC2 && Lead < 0xE0 ? 2
                               : Lead >= 0xE0 && Lead < 0xF0 ? 3
                               : Lead >= 0xF0 && Lead < 0xF5 ? 4
                                                             : 0;
    if (Length == 0 || I + Length > Text.size())
      return false;
    char32_t Point = Length == 1 ? Lead : Lead & (0x7F >> Length);
    for (std::size_t K = 1; K < Length; ++K) {
      const auto Next = static_cast<unsigned char>(Text[I + K]);
      if ((Next & 0xC0) != 0x80)
        return false;
      Point = (Point << 6) | (Next & 0x3F);
    }
    const char32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (Point < Least[Length] || Point > 0x10FFFF || (Point >= 0xD800 && Point < 0xE000))
      return false;
    Points.push_back(Point);
    I += Length;
  }
  return true;
}

std::u16string Utf16(const std::u32string& Points) {
  std::u16string Units;
  for (char32_t Point : Points) {
    if (Point < 0x10000) {
      Units.push_back(static_cast<char16_t>(Point));
    } else {
      Units.push_back(static_cast<char16_t>(0xD800 + ((Point - 0x10000) >> 10)));
      Units.push_back(static_cast<char16_t>(0xDC00 + ((Point - 0x10000) & 0x3FF)));
    }
  }
  return Units;
}

std::string Utf8(const std::u16string& Units) {
  std::string Out;
  for (std::size_t I = 0; I < Units.size(); ++I) {
    char32_t C = Units[I];
    if (C >= 0xD800 && C < 0xDC00 && I + 1 < Units.size() && Units[I + 1] >= 0xDC00 && Units[I + 1] < 0xE000)
      C = 0x10000 + ((C - 0xD800) << 10) + (Units[++I] - 0xDC00);
    else if (C >= 0xD800 && C < 0xE000)
      C = '?';
    if (C < 0x80) {
      Out += static_cast<char>(C);
    } else if (C < 0x800) {
      Out += {static_cast<char>(0xC0 | C >> 6), static_cast<char>(0x80 | (C & 0x3F))};
    } else if (C < 0x10000) {
      Out += {static_cast<char>(0xE0 | C >> 12), static_cast<char>(0x80 | (C >> 6 & 0x3F)),
              static_cast<char>(0x80 | (C & 0x3F))};
    } else {
      Out += {static_cast<char>(0xF0 | C >> 18), static_cast<char>(0x80 | (C >> 12 & 0x3F)),
              static_cast<char>(0x80 | (C >> 6 & 0x3F)), static_cast<char>(0x80 | (C & 0x3F))};
    }
  }
  return Out;
}

std::string TextProblem(const std::u32string& Text) {
  bool Blank = true;
  for (char32_t C : Text) {
    if (C < 0x20 || (C >= 0x7F && C < 0xA0))
      return "holds a control character";
    if ((C >= 0x202A && C <= 0x202E) || (C >= 0x2066 && C <= 0x2069))
      return "holds a bidirectional control";
    // White space, and the spaces of no width that show nothing either.
    const bool Space = C == 0x20 || C == 0xA0 || C == 0x1680 || (C >= 0x2000 && C <= 0x200D) || C == 0x2028 ||
                       C == 0x2029 || C == 0x202F || C == 0x205F || C == 0x3000 || C == 0xFEFF;
    Blank = Blank && Space;
  }
  return Blank ? "is empty or only white space" : "";
}

TPoTexts ReadPoTexts(const std::vector<std::uint8_t>& Data, const std::string& Name) {
  std::string Text(Data.begin(), Data.end());
  std::u32string Points;
  if (!DecodeUtf8(Text, Points))
    throw EFailure(Name + " is not UTF-8 text");
  if (Text.starts_with("\xEF\xBB\xBF"))
    Text.erase(0, 3);

  // Entries as gettext writes them: comments, then msgid and msgstr, each a
  // quoted string continued by quoted lines.
  std::vector<TEntry> Entries(1);
  std::optional<std::string>* Field = nullptr;
  int LineNumber = 0;
  auto Fail = [&](const std::string& What) {
    throw EFailure(Name + " line " + std::to_string(LineNumber) + ": " + What);
  };
  for (std::size_t Start = 0; Start < Text.size();) {
    std::size_t End = Text.find('\n', Start);
    if (End == std::string::npos)
      End = Text.size();
    std::string_view Line(Text.data() + Start, End - Start);
    Start = End + 1;
    ++LineNumber;
    while (!Line.empty() && (Line.front() == ' ' || Line.front() == '\t'))
      Line.remove_prefix(1);
    if (Line.empty() || Line == "\r") {
      Field = nullptr;
      continue;
    }
    TEntry* Entry = &Entries.back();
    if (Line.front() == '#') {
      if (Entry->Id)
        Entry = &Entries.emplace_back();
      if (Line.starts_with("#,") && Line.find("fuzzy") != Line.npos)
        Entry->Fuzzy = true;
      Field = nullptr;
      continue;
    }
    if (Line.front() == '"') {
      if (!Field || !Unquote(Line, **Field))
        Fail("a string that continues nothing, or is not quoted");
      continue;
    }
    const std::size_t Space = Line.find_first_of(" \t");
    const std::string_view Keyword = Line.substr(0, Space);
    if (Keyword == "msgid") {
      if (Entry->Id)
        Entry = &Entries.emplace_back();
      Entry->Line = LineNumber;
      Field = &Entry->Id;
    } else if (Keyword == "msgstr") {
      if (!Entry->Id || Entry->Str)
        Fail("msgstr without its msgid");
      Field = &Entry->Str;
    } else {
      Fail("'" + std::string(Keyword) + "' is not taken here (one msgid and one msgstr an entry)");
    }
    *Field = std::string();
    if (Space == Line.npos || !Unquote(Line.substr(Space + 1), **Field))
      Fail("a string that is not quoted");
  }

  TPoTexts Result;
  bool HeaderSeen = false;
  std::array<bool, TextCount> Seen{};
  for (const TEntry& Entry : Entries) {
    if (!Entry.Id)
      continue;
    LineNumber = Entry.Line;
    if (!Entry.Str)
      Fail("msgid without msgstr");
    if (Entry.Id->empty()) {
      if (HeaderSeen)
        Fail("a second header");
      HeaderSeen = true;
      const auto Type = HeaderField(*Entry.Str, "Content-Type");
      if (!Type || !Type->ends_with("charset=UTF-8"))
        Fail("the header does not say charset=UTF-8");
      const auto Code = HeaderField(*Entry.Str, "Language");
      if (!Code || Code->empty())
        Fail("the header names no Language:");
      Result.Language = FindLanguage(*Code);
      if (!Result.Language)
        Fail("unknown Language: '" + Printable(std::u16string(Code->begin(), Code->end())) + "'");
      continue;
    }
    unsigned Id = 0;
    while (Id < TextCount && *Entry.Id != EnglishTexts[Id])
      ++Id;
    if (Id == TextCount) {
      DecodeUtf8(*Entry.Id, Points);
      Fail("unknown msgid \"" + Printable(Utf16(Points)) + "\"");
    }
    // A fuzzy or empty entry is not used, but is a second entry all the same.
    if (Seen[Id])
      Fail("a second entry for \"" + *Entry.Id + "\"");
    Seen[Id] = true;
    if (Entry.Fuzzy || Entry.Str->empty())
      continue;
    const std::string Quoted = "the msgstr of \"" + *Entry.Id + "\" ";
    // The file is UTF-8, but an octal escape may give any byte.
    if (!DecodeUtf8(*Entry.Str, Points))
      Fail(Quoted + "is not UTF-8 once its escapes are read");
    if (const std::string Problem = TextProblem(Points); !Problem.empty())
      Fail(Quoted + Problem);
    const std::size_t Placeholders = Count(*Entry.Id, "%s");
    if (Count(*Entry.Str, "%s") != Placeholders || (Placeholders > 0 && Count(*Entry.Str, "%") != Placeholders))
      Fail(Quoted + "must keep its " + std::to_string(Placeholders) + " %s and no other %");
    Result.Texts[Id] = Utf16(Points);
  }
  if (!HeaderSeen || !Result.Language)
    throw EFailure(Name + " has no header naming its Language:");
  for (unsigned Id = 0; Id < TextCount; ++Id)
    if (Result.Texts[Id] && !SpellableIn(Result.Language->CodePage, *Result.Texts[Id]))
      throw EFailure(Name + ": the msgstr of \"" + EnglishTexts[Id] + "\" has characters that code page " +
                     std::to_string(Result.Language->CodePage) + " (" + Result.Language->Code + ") cannot spell");
  return Result;
}

std::vector<std::uint8_t> StringBlock(const std::array<std::u16string, 16>& Texts) {
  std::vector<std::uint8_t> Block;
  auto Put = [&](char16_t Unit) {
    Block.push_back(static_cast<std::uint8_t>(Unit & 0xFF));
    Block.push_back(static_cast<std::uint8_t>(Unit >> 8));
  };
  for (const std::u16string& Text : Texts) {
    if (Text.size() > 0xFFFF)
      throw EFailure("a text of " + std::to_string(Text.size()) + " UTF-16 units; a string table takes 65535");
    Put(static_cast<char16_t>(Text.size()));
    for (char16_t Unit : Text)
      Put(Unit);
  }
  return Block;
}

std::array<std::u16string, 16> ReadStringBlock(const std::vector<std::uint8_t>& Block) {
  std::array<std::u16string, 16> Texts;
  std::size_t At = 0;
  auto Get = [&] {
    if (At + 2 > Block.size())
      throw EFailure("a string table that ends early");
    At += 2;
    return static_cast<char16_t>(Block[At - 2] | Block[At - 1] << 8);
  };
  for (std::u16string& Text : Texts)
    for (std::size_t Length = Get(); Length > 0; --Length)
      Text.push_back(Get());
  return Texts;
}

#ifdef _WIN32
bool SpellableIn(unsigned CodePage, const std::u16string& Text) {
  if (Text.empty())
    return true;
  BOOL Lost = FALSE;
  const auto* Wide = reinterpret_cast<const wchar_t*>(Text.data());
  return WideCharToMultiByte(CodePage, WC_NO_BEST_FIT_CHARS, Wide, static_cast<int>(Text.size()), nullptr, 0, nullptr,
                             &Lost) > 0 &&
         !Lost;
}
#else
// glibc's tables of the Windows code pages; without //TRANSLIT a character
// with no spelling of its own stops the conversion.
bool SpellableIn(unsigned CodePage, const std::u16string& Text) {
  const iconv_t Converter = iconv_open(("CP" + std::to_string(CodePage)).c_str(), "UTF-16LE");
  if (Converter == reinterpret_cast<iconv_t>(-1))
    return false;
  std::string In;
  for (char16_t Unit : Text) {
    In += static_cast<char>(Unit & 0xFF);
    In += static_cast<char>(Unit >> 8);
  }
  std::string Out(In.size() * 2 + 16, '\0');
  char* InAt = In.data();
  char* OutAt = Out.data();
  std::size_t InLeft = In.size(), OutLeft = Out.size();
  const bool Done = iconv(Converter, &InAt, &InLeft, &OutAt, &OutLeft) != static_cast<std::size_t>(-1) && InLeft == 0;
  iconv_close(Converter);
  return Done;
}
#endif

}  // namespace mkinstaller
