// The application object: its title and its default error handler.
#pragma once

#include <exception>
#include <string>

#include <windows.h>

class TApplication {
public:
  // The title set by the program, else the default made from the program's path.
  std::string Title() const;
  void SetTitle(const std::string& Value) { FTitle = Value; FTitleSet = true; }

  // Window that owns error boxes; the active window when none is set.
  HWND Handle() const { return FHandle; }
  void SetHandle(HWND Value) { FHandle = Value; }

  // The default error handler: shows E's message in an error box (OK, stop
  // icon) captioned with the title; the caller's loop goes on.
  void ShowException(const std::exception& E);
  // For catch blocks: shows the exception being handled.
  void HandleException();

private:
  std::string FTitle;
  bool FTitleSet = false;
  HWND FHandle = nullptr;
};

extern TApplication* Application;

// The running program's own module file name, however long.
std::string ModuleFileName(HMODULE Module = nullptr);
