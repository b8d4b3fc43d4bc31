// Program entry. Until the picture window lands this shows a plain window
// with an "Install" button that runs the install procedure.
#include <windows.h>

#include "Forms.h"
#include "InstallProcedure.h"
#include "MainWin.h"

namespace {

constexpr int InstallButtonId = 1;

LRESULT CALLBACK WindowProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case WM_COMMAND:
      if (LOWORD(WParam) == InstallButtonId && HIWORD(WParam) == BN_CLICKED) {
        try {
          TSystemShell Shell;
          InstallScreensaver(ModuleFileName(), WithTrailingBackslash(SystemDirectory()), Shell);
          DestroyWindow(Window);
        } catch (...) {
          Application->HandleException();
        }
        return 0;
      }
      break;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(Window, Msg, WParam, LParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE Instance, HINSTANCE, LPSTR, int) {
  WNDCLASSA Class{};
  Class.lpfnWndProc = WindowProc;
  Class.hInstance = Instance;
  Class.hIcon = LoadIconA(Instance, "MAINICON");
  Class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  Class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  Class.lpszClassName = "TInstallerForm";
  RegisterClassA(&Class);

  const DWORD Style = WS_CAPTION | WS_SYSMENU | WS_BORDER;
  RECT Bounds{0, 0, 443, 304};
  AdjustWindowRect(&Bounds, Style, FALSE);
  const int Width = Bounds.right - Bounds.left, Height = Bounds.bottom - Bounds.top;
  HWND Window = CreateWindowExA(0, Class.lpszClassName, "Install Screensaver", Style,
                                (GetSystemMetrics(SM_CXSCREEN) - Width) / 2, (GetSystemMetrics(SM_CYSCREEN) - Height) / 2,
                                Width, Height, nullptr, nullptr, Instance, nullptr);
  CreateWindowExA(0, "BUTTON", "Install", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 351, 210, 73, 25, Window,
                  reinterpret_cast<HMENU>(InstallButtonId), Instance, nullptr);
  Application->SetHandle(Window);
  ShowWindow(Window, SW_SHOWNORMAL);

  MSG Msg;
  while (GetMessageA(&Msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&Msg);
    DispatchMessageA(&Msg);
  }
  return 0;
}
