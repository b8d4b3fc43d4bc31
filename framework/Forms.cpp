#include "Forms.h"

#include <vector>

#include "SysUtils.h"

namespace {
TApplication TheApplication;
}

TApplication* Application = &TheApplication;

std::string ModuleFileName(HMODULE Module) {
  // Grow the buffer until the name fits: a path longer than MAX_PATH is legal.
  std::vector<char> Buffer(MAX_PATH + 1);
  for (;;) {
    DWORD Len = GetModuleFileNameA(Module, Buffer.data(), static_cast<DWORD>(Buffer.size()));
    if (Len == 0)
      return {};
    if (Len < Buffer.size() || Buffer.size() > 0x10000)
      return std::string(Buffer.data(), Len);
    Buffer.resize(Buffer.size() * 2);
  }
}

std::string TApplication::Title() const {
  return FTitleSet ? FTitle : DefaultApplicationTitle(ModuleFileName());
}

void TApplication::ShowException(const std::exception& E) {
  const auto* Framework = dynamic_cast<const Exception*>(&E);
  auto Text = ErrorBoxText(Framework ? Framework->Message() : std::string(E.what()));
  auto Caption = Title();
  MessageBoxA(FHandle ? FHandle : GetActiveWindow(), Text.c_str(), Caption.c_str(), MB_OK | MB_ICONSTOP);
}

void TApplication::HandleException() {
  try {
    throw;
  } catch (const std::exception& E) {
    ShowException(E);
  }
}
