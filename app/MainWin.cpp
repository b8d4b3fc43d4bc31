#include "MainWin.h"

#include <vector>

#include <windows.h>

std::string SystemDirectory() {
  std::vector<char> Buffer(256);
  UINT Len = GetSystemDirectoryA(Buffer.data(), 255);
  if (Len >= 255) {
    // Too long for the usual buffer: the answer is the size it needs.
    Buffer.assign(Len + 1, '\0');
    Len = GetSystemDirectoryA(Buffer.data(), static_cast<UINT>(Buffer.size()));
    if (Len >= Buffer.size())
      Len = 0;
  }
  return std::string(Buffer.data(), Len);
}

std::string WithTrailingBackslash(std::string Path) {
  if (Path.empty() || Path.back() != '\\')
    Path += '\\';
  return Path;
}
