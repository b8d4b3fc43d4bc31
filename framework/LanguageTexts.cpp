#include "LanguageTexts.h"

#include <string_view>

#include "SysUtils.h"

namespace {

// String Id of the table in Language; empty when the table or the string is missing.
std::wstring_view TableText(HMODULE Module, LANGID Language, unsigned Id) {
  HRSRC Info = FindResourceExA(Module, MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(Id / 16 + 1), Language);
  HGLOBAL Block = Info ? LoadResource(Module, Info) : nullptr;
  const auto* At = Block ? static_cast<const WCHAR*>(LockResource(Block)) : nullptr;
  if (!At)
    return {};
  // Sixteen counted strings; a damaged block gives what lies inside it.
  const WCHAR* End = At + SizeofResource(Module, Info) / sizeof(WCHAR);
  for (unsigned Skip = Id % 16; Skip > 0 && At < End; --Skip)
    At += 1 + *At;
  if (At >= End || *At > End - At - 1)
    return {};
  return {At + 1, *At};
}

// Text in CodePage, or false when a character would be lost or spelt otherwise.
bool Spell(std::wstring_view Text, UINT CodePage, std::string& Out) {
  if (Text.empty())
    return false;
  const int Length = static_cast<int>(Text.size());
  // UTF-8 spells everything, and refuses both the flag and the question.
  const bool Utf8 = (CodePage == CP_ACP ? GetACP() : CodePage) == CP_UTF8;
  const DWORD Flags = Utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL Lost = FALSE;
  const int Size =
      WideCharToMultiByte(CodePage, Flags, Text.data(), Length, nullptr, 0, nullptr, Utf8 ? nullptr : &Lost);
  if (Size <= 0 || Lost)
    return false;
  Out.resize(static_cast<std::size_t>(Size));
  WideCharToMultiByte(CodePage, Flags, Text.data(), Length, Out.data(), Size, nullptr, nullptr);
  return true;
}

}  // namespace

const TLanguageTexts& TLanguageTexts::Program() {
  static const TLanguageTexts Texts = [] {
    LANGID Buffer[16];
    return TLanguageTexts(GetModuleHandleA(nullptr), UserUiLanguages(Buffer));
  }();
  return Texts;
}

TLanguageTexts::TLanguageTexts(HMODULE Module, std::span<const LANGID> UiLanguages, UINT CodePage)
    : FModule(Module), FCodePage(CodePage) {
  for (LANGID Ui : UiLanguages) {
    const LANGID Table = TableLanguage(Ui);
    if (Table && FindResourceExA(Module, MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(1), Table)) {
      FLanguage = Table;
      return;
    }
  }
}

std::wstring_view TLanguageTexts::Wide(TTextId Id, std::wstring_view English) const {
  for (LANGID Table : {FLanguage, LANGID{EnglishTable}})
    if (const auto Text = TableText(FModule, Table, Id); !Text.empty())
      return Text;
  return English;
}

std::string TLanguageTexts::Ansi(TTextId Id, const char* English, bool* Translated) const {
  std::string Out;
  const bool Own = FLanguage != EnglishTable && Spell(TableText(FModule, FLanguage, Id), FCodePage, Out);
  if (Translated)
    *Translated = Own;
  if (Own || Spell(TableText(FModule, EnglishTable, Id), FCodePage, Out))
    return Out;
  return English;
}

std::string TLanguageTexts::Message(const std::string& English, bool* Translated) const {
  const std::string_view Text = English;
  for (unsigned Id = txFOpenError; Id <= txParentRequired; ++Id) {
    const std::string_view Template = EnglishTexts[Id];
    const std::size_t At = Template.find("%s");
    const auto Head = Template.substr(0, At);
    const auto Tail = At == Template.npos ? std::string_view() : Template.substr(At + 2);
    if (At == Template.npos
            ? Text != Template
            : Text.size() < Head.size() + Tail.size() || !Text.starts_with(Head) || !Text.ends_with(Tail))
      continue;
    const std::string Own = Ansi(static_cast<TTextId>(Id), EnglishTexts[Id], Translated);
    return At == Template.npos ? Own : Format(Own, Text.substr(Head.size(), Text.size() - Head.size() - Tail.size()));
  }
  if (Translated)
    *Translated = false;
  return English;
}

UINT TLanguageTexts::BoxFlags(bool Translated) const {
  return Translated && RightToLeft(FLanguage) ? MB_RTLREADING | MB_RIGHT : 0;
}

std::span<const LANGID> UserUiLanguages(std::span<LANGID, 16> Buffer) {
  std::size_t Count = 0;
  ULONG Languages = 0;
  WCHAR Names[16 * 5 + 1];
  ULONG Size = sizeof Names / sizeof *Names;
  // Four hex digits each, NUL-separated, an empty one last.
  if (GetThreadPreferredUILanguages(MUI_LANGUAGE_ID | MUI_MERGE_USER_FALLBACK, &Languages, Names, &Size))
    for (const WCHAR* At = Names; *At && Count < Buffer.size(); ++At) {
      unsigned Value = 0;
      for (; *At; ++At)
        Value = Value * 16 + (*At <= L'9' ? *At - L'0' : (*At | 0x20) - L'a' + 10);
      Buffer[Count++] = static_cast<LANGID>(Value);
    }
  if (Count == 0)
    Buffer[Count++] = GetUserDefaultUILanguage();
  return Buffer.first(Count);
}
