// The program's texts in the user's language: string tables chosen by the
// program itself, a text at a time, with English behind every one.
#pragma once

#include <windows.h>

#include <span>
#include <string>
#include <string_view>

#include "Languages.h"

class TLanguageTexts {
 public:
  // The running program's tables, for the user's UI languages, spelt in the
  // ANSI code page.
  static const TLanguageTexts& Program();
  // Module's table for the first of UiLanguages that has one (else English);
  // texts are spelt in CodePage.
  TLanguageTexts(HMODULE Module, std::span<const LANGID> UiLanguages, UINT CodePage = CP_ACP);

  // The table chosen: English (0x0409) when no other serves.
  LANGID Language() const { return FLanguage; }
  // Id's text in the chosen table, else the English table's, else English.
  std::wstring_view Wide(TTextId Id, std::wstring_view English) const;
  // The same spelt in the code page; where the chosen text cannot be spelt
  // without loss, the English one. Translated tells which was given.
  std::string Ansi(TTextId Id, const char* English, bool* Translated = nullptr) const;
  // One of the framework's messages (EnglishTexts with "%s" filled in) in the
  // chosen language; any other message as it is.
  std::string Message(const std::string& English, bool* Translated = nullptr) const;
  // Message-box flags for a text given by Ansi or Message: right-to-left
  // reading for a translated text in Arabic, Hebrew or Persian.
  UINT BoxFlags(bool Translated) const;

 private:
  HMODULE FModule;
  UINT FCodePage;
  LANGID FLanguage = EnglishTable;
};

// The user's UI languages, preferred first, into Buffer: the thread's
// preferred list, or the user's default UI language where there is none.
std::span<const LANGID> UserUiLanguages(std::span<LANGID, 16> Buffer);
