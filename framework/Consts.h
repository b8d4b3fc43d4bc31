// Messages the framework raises; "%s" takes a file name or a value name.
// Their English is the one the string tables translate.
#pragma once

#include "Languages.h"

namespace Consts {
inline constexpr const char* SFOpenError = EnglishTexts[txFOpenError];
inline constexpr const char* SFCreateError = EnglishTexts[txFCreateError];
inline constexpr const char* SReadError = EnglishTexts[txReadError];
inline constexpr const char* SWriteError = EnglishTexts[txWriteError];
inline constexpr const char* SRegSetDataFailed = EnglishTexts[txRegSetDataFailed];
inline constexpr const char* SRangeError = EnglishTexts[txRangeError];
inline constexpr const char* SIntOverflow = EnglishTexts[txIntOverflow];
inline constexpr const char* SParentRequired = EnglishTexts[txParentRequired];
}  // namespace Consts
