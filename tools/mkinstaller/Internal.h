// What the package maker's writer, brander and reader share about the host,
// so that they look for the same resources and read its window description
// the way the installer does.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "ComponentStream.h"
#include "PeImage.h"

namespace mkinstaller {

// How much of a file is read or copied at a time.
inline constexpr std::size_t BlockSize = 64 * 1024;

// The ProductName of the host's version information.
inline constexpr const char* HostProduct = "InstallerWin";

inline const TResourceId FormType = TResourceId::Number(RtRcData);
inline const TResourceId FormName = TResourceId::Named("TINSTALLERFORM");
// The double-size pictures, a description of their own.
inline const TResourceId DoubleSizeName = TResourceId::Named("TINSTALLERFORM2X");
inline const TResourceId SkinType = TResourceId::Named("EXEFILE"), SkinName = TResourceId::Named("SKINRES");
inline const TResourceId IconGroupType = TResourceId::Number(RtGroupIcon);
inline const TResourceId MainIconName = TResourceId::Named("MAINICON");
// The texts' string tables: their first block (ids 0-15), one a language.
inline const TResourceId TextTableType = TResourceId::Number(RtString), TextTableName = TResourceId::Number(1);

inline std::string Dimensions(int Width, int Height) { return std::to_string(Width) + " x " + std::to_string(Height); }

// The first control of that name at any depth under Parent, or null.
inline const TStreamObject* FindControl(const TStreamObject& Parent, const std::string& Name) {
  for (const TStreamObject& Child : Parent.Children) {
    if (Child.Name == Name)
      return &Child;
    if (const TStreamObject* Found = FindControl(Child, Name))
      return Found;
  }
  return nullptr;
}
inline TStreamObject* FindControl(TStreamObject& Parent, const std::string& Name) {
  return const_cast<TStreamObject*>(FindControl(std::as_const(Parent), Name));
}

// The installer's reader sets properties in stream order, so of several with
// one name the last is the one that counts. Null without Object or property.
inline const TStreamProperty* LastProperty(const TStreamObject* Object, std::string_view Name) {
  const TStreamProperty* Found = nullptr;
  if (Object)
    for (const TStreamProperty& P : Object->Properties)
      if (P.Name == Name)
        Found = &P;
  return Found;
}
inline TStreamProperty* LastProperty(TStreamObject* Object, std::string_view Name) {
  return const_cast<TStreamProperty*>(LastProperty(static_cast<const TStreamObject*>(Object), Name));
}

}  // namespace mkinstaller
