// Program entry: the installer window as the main window, then the message
// loop until it closes.
#include <windows.h>

#include "Forms.h"
#include "MainWin.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  Application->Initialize();
  try {
    InstallerForm = Application->CreateForm<TInstallerForm>();
  } catch (...) {
    Application->HandleException();
    return 1;
  }
  Application->Run();
  return 0;
}
