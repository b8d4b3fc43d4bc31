// Program entry: the installer window as the main window, then the message
// loop until it closes.
#include <windows.h>

#include <cstdlib>

#include "Forms.h"
#include "MainWin.h"
#include "SystemFiles.h"

// The library's default handler prints the exception's demangled type to a
// console this program does not have; replacing it keeps the demangler (some
// 45 KiB) out of the image. Uncaught exceptions still end the process.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Before anything can load a DLL by name.
  RestrictDllSearch();
  // An error in FormCreate is shown and the window still shows; one that
  // stops the window from being built at all ends the program.
  try {
    Application->Initialize();
    InstallerForm = Application->CreateForm<TInstallerForm>();
  } catch (...) {
    Application->HandleException();
    return 1;
  }
  Application->Run();
  return 0;
}
