// Names the install derives from the installer's own path.
#pragma once

#include <string>
#include <string_view>

#include "SysUtils.h"

inline constexpr const char* SkinFileName = "swing.mskn";

// The installer's file name less a leading "Install-" (case counts).
std::string ScreensaverBaseName(std::string_view OwnPath, TLeadBytePredicate IsLeadByte = IsSystemLeadByte);

// DestDir (ending in "\") followed by the base name, its extension made ".scr";
// a "." in the directory part is never taken for the extension.
std::string ScreensaverPath(std::string_view DestDir, std::string_view OwnPath,
                            TLeadBytePredicate IsLeadByte = IsSystemLeadByte);
