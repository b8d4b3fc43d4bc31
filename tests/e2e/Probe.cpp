// Prints the text of the visible message box captioned argv[1], waiting for it
// up to argv[2] seconds (default 10); exits 1 when none shows. End-to-end tests
// run it beside the program under test, in the same prefix and display.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc < 2)
    return 2;
  const DWORD Deadline = GetTickCount() + 1000 * (argc > 2 ? std::atoi(argv[2]) : 10);
  while (GetTickCount() < Deadline) {
    HWND Box = FindWindowA("#32770", argv[1]);
    if (Box && IsWindowVisible(Box)) {
      std::string Text;
      EnumChildWindows(
          Box,
          [](HWND Child, LPARAM Param) -> BOOL {
            char Class[16] = {}, Buffer[1024] = {};
            GetClassNameA(Child, Class, sizeof Class);
            LONG Style = GetWindowLongA(Child, GWL_STYLE);
            if (lstrcmpiA(Class, "Static") == 0 && (Style & SS_TYPEMASK) != SS_ICON &&
                GetWindowTextA(Child, Buffer, sizeof Buffer) > 0)
              *reinterpret_cast<std::string*>(Param) = Buffer;
            return TRUE;
          },
          reinterpret_cast<LPARAM>(&Text));
      std::printf("%s\n", Text.c_str());
      return 0;
    }
    Sleep(50);
  }
  return 1;
}
