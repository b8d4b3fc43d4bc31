#include "InstallPaths.h"

std::string ScreensaverBaseName(std::string_view OwnPath, TLeadBytePredicate IsLeadByte) {
  static constexpr std::string_view Prefix = "Install-";
  auto Name = ExtractFileName(OwnPath, IsLeadByte);
  if (std::string_view(Name).substr(0, Prefix.size()) == Prefix)
    Name.erase(0, Prefix.size());
  return Name;
}

std::string ScreensaverPath(std::string_view DestDir, std::string_view OwnPath, TLeadBytePredicate IsLeadByte) {
  return ChangeFileExt(std::string(DestDir) + ScreensaverBaseName(OwnPath, IsLeadByte), ".scr", IsLeadByte);
}
