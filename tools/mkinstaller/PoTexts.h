// The installer's texts in a language, from a gettext PO file: the program's
// own translations at build time, a distributor's own words in a package.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Languages.h"

namespace mkinstaller {

struct TPoTexts {
  const TLanguage* Language = nullptr;
  // The file's msgstr for each text; none where it has no entry, or only an
  // untranslated or fuzzy one.
  std::array<std::optional<std::u16string>, TextCount> Texts;
};

// Reads and checks a PO file named Name (for messages). Throws EFailure,
// one line naming the file: not UTF-8, no or an unknown "Language:", a
// charset other than UTF-8, a msgid that is not one of EnglishTexts, two
// entries for one msgid, or a msgstr that TextProblem or its language's code
// page refuses.
TPoTexts ReadPoTexts(const std::vector<std::uint8_t>& Data, const std::string& Name);

// Decodes UTF-8; false for anything else (overlong forms and surrogates too).
bool DecodeUtf8(const std::string& Text, std::u32string& Points);
std::u16string Utf16(const std::u32string& Points);
// UTF-16 as UTF-8, a lone surrogate as '?'.
std::string Utf8(const std::u16string& Units);

// Why a text may not be shown (empty when it may): a control character (C0,
// DEL, C1), a bidirectional control, or nothing but white space.
std::string TextProblem(const std::u32string& Text);

// The first block of a string table (identifiers 0 to 15): sixteen counted
// UTF-16 strings, an empty one where a text is missing.
std::vector<std::uint8_t> StringBlock(const std::array<std::u16string, 16>& Texts);
// The strings of such a block; EFailure unless it is one.
std::array<std::u16string, 16> ReadStringBlock(const std::vector<std::uint8_t>& Block);

// Whether every character of Text has a spelling of its own (no best fit,
// no default character) in the Windows code page CodePage.
bool SpellableIn(unsigned CodePage, const std::u16string& Text);

}  // namespace mkinstaller
