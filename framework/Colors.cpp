#include "Colors.h"

#ifdef _WIN32
#include <windows.h>
#endif

std::uint32_t ColorToRGB(TColor Color) {
  if (Color >= 0)
    return static_cast<std::uint32_t>(Color);
#ifdef _WIN32
  return GetSysColor(Color & 0xFF);
#else
  switch (Color & 0xFF) {
    case 5:
      return 0xFFFFFF;  // window
    case 8:
      return 0x000000;  // window text
    case 15:
      return 0xC0C0C0;  // button face
    case 16:
      return 0x808080;  // button shadow
    case 20:
      return 0xFFFFFF;  // button highlight
    default:
      return 0x000000;
  }
#endif
}
