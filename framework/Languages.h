// The languages the installer can speak and the texts it shows a person.
// One map serves the program (which table a UI language reads), the build
// (which LANGID a PO file's table gets) and the package maker (which
// "Language:" values it takes, and the code page a text must be spelt in).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

struct TLanguage {
  // The PO header's "Language:" value.
  const char* Code;
  // The UI languages it serves: this LANGID exactly, or with no sublanguage
  // (the top six bits zero) every LANGID of the primary language.
  std::uint16_t Match;
  // The LANGID its string table is stored under.
  std::uint16_t Table;
  // The ANSI code page of a Windows in that language.
  std::uint16_t CodePage;
};

// A table tagged German (Germany) must still serve a Swiss German user, so
// most entries match a whole primary language. Chinese goes by script, and
// Portuguese by country, as their spellings differ.
inline constexpr TLanguage Languages[] = {
    {"en", 0x0009, 0x0409, 1252},    {"de", 0x0007, 0x0407, 1252},   {"fr", 0x000C, 0x040C, 1252},
    {"es", 0x000A, 0x0C0A, 1252},    {"it", 0x0010, 0x0410, 1252},   {"pt_BR", 0x0416, 0x0416, 1252},
    {"pt_PT", 0x0816, 0x0816, 1252}, {"nl", 0x0013, 0x0413, 1252},   {"pl", 0x0015, 0x0415, 1250},
    {"cs", 0x0005, 0x0405, 1250},    {"sk", 0x001B, 0x041B, 1250},   {"sl", 0x0024, 0x0424, 1250},
    {"hu", 0x000E, 0x040E, 1250},    {"ro", 0x0018, 0x0418, 1250},   {"sv", 0x001D, 0x041D, 1252},
    {"da", 0x0006, 0x0406, 1252},    {"fi", 0x000B, 0x040B, 1252},   {"nb", 0x0014, 0x0414, 1252},
    {"ca", 0x0003, 0x0403, 1252},    {"id", 0x0021, 0x0421, 1252},   {"tr", 0x001F, 0x041F, 1254},
    {"el", 0x0008, 0x0408, 1253},    {"ru", 0x0019, 0x0419, 1251},   {"uk", 0x0022, 0x0422, 1251},
    {"bg", 0x0002, 0x0402, 1251},    {"et", 0x0025, 0x0425, 1257},   {"lv", 0x0026, 0x0426, 1257},
    {"lt", 0x0027, 0x0427, 1257},    {"ja", 0x0011, 0x0411, 932},    {"ko", 0x0012, 0x0412, 949},
    {"zh_CN", 0x0804, 0x0804, 936},  {"zh_SG", 0x1004, 0x0804, 936}, {"zh_TW", 0x0404, 0x0404, 950},
    {"zh_HK", 0x0C04, 0x0404, 950},  {"zh_MO", 0x1404, 0x0404, 950}, {"th", 0x001E, 0x041E, 874},
    {"vi", 0x002A, 0x042A, 1258},    {"ar", 0x0001, 0x0401, 1256},   {"he", 0x000D, 0x040D, 1255},
    {"fa", 0x0029, 0x0429, 1256},
};

inline constexpr std::uint16_t EnglishTable = 0x0409;

// The map as the program needs it, without the codes: Match in the low half,
// Table in the high half.
inline constexpr auto LanguageTables = [] {
  std::array<std::uint32_t, std::size(Languages)> Result{};
  for (std::size_t I = 0; I < Result.size(); ++I)
    Result[I] = Languages[I].Match | std::uint32_t{Languages[I].Table} << 16;
  return Result;
}();

// The table serving UiLanguage, or 0 when none does.
constexpr std::uint16_t TableLanguage(std::uint16_t UiLanguage) {
  for (std::uint32_t Entry : LanguageTables) {
    const std::uint16_t Match = Entry & 0xFFFF;
    if (Match == UiLanguage || (Match < 0x0400 && Match == (UiLanguage & 0x03FF)))
      return static_cast<std::uint16_t>(Entry >> 16);
  }
  return 0;
}

// Text is read right to left in the language of this table.
constexpr bool RightToLeft(std::uint16_t Table) {
  const unsigned Primary = Table & 0x03FF;
  return Primary == 0x01 || Primary == 0x0D || Primary == 0x29;
}

// The first entry whose table is stored under LANGID Table, or null.
constexpr const TLanguage* FindLanguageOfTable(std::uint16_t Table) {
  for (const TLanguage& Language : Languages)
    if (Language.Table == Table)
      return &Language;
  return nullptr;
}

// The entry of a PO "Language:" value, or null.
constexpr const TLanguage* FindLanguage(std::string_view Code) {
  for (const TLanguage& Language : Languages)
    if (Code == Language.Code)
      return &Language;
  return nullptr;
}

// The texts, by their string identifier in every table (all in the first
// block of sixteen). The English text is the PO files' msgid.
enum TTextId : unsigned {
  txInstallQuestion,
  txConfirm,
  txFOpenError,
  txFCreateError,
  txReadError,
  txWriteError,
  txRegSetDataFailed,
  txRangeError,
  txIntOverflow,
  txParentRequired,
  txWindowCaption,
  txInstallName,
  txPressAction,
  TextCount
};

inline constexpr const char* EnglishTexts[TextCount] = {
    "Screensaver installation completed, run it now?",
    "Confirm",
    "Cannot open file %s",
    "Cannot create file %s",
    "Stream read error",
    "Stream write error",
    "Failed to set data for '%s'",
    "Range check error",
    "Integer overflow",
    "Control '%s' has no parent window",
    "Install Screensaver",
    "Install",
    "Press",
};
