// The floor under the installer's start-up: a bare Win32 program with the
// installer's resources (manifest, icon), its system DLLs, and a window of the
// same caption, style and client size (scaled for the system's density as the
// installer scales its form), centred, painted once with one fill.
// What the installer takes beyond this is its own work. Not a test: the
// start-up benchmark runs it beside the installer.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>

namespace {

LRESULT CALLBACK FloorProc(HWND Window, UINT Message, WPARAM W, LPARAM L) {
  switch (Message) {
    case WM_PAINT: {
      PAINTSTRUCT Paint;
      HDC DC = BeginPaint(Window, &Paint);
      FillRect(DC, &Paint.rcPaint, GetSysColorBrush(COLOR_BTNFACE));
      EndPaint(Window, &Paint);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(Window, Message, W, L);
}

// Taken, never called: the installer imports these DLLs, so the floor loads them too.
[[maybe_unused]] void* volatile Imports[] = {reinterpret_cast<void*>(&RegCloseKey),
                                             reinterpret_cast<void*>(&ShellExecuteA),
                                             reinterpret_cast<void*>(&GetStockObject)};

// The installer's scale in eighths for the density of the primary monitor:
// GetDpiForSystem where it exists (Windows 10 1607 on), else the screen's.
int SystemScale() {
  using TGetDpiForSystem = UINT(WINAPI*)();
  int Dpi;
  if (auto GetDpi = reinterpret_cast<TGetDpiForSystem>(
          reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForSystem"))))
    Dpi = static_cast<int>(GetDpi());
  else {
    HDC Screen = GetDC(nullptr);
    Dpi = GetDeviceCaps(Screen, LOGPIXELSY);
    ReleaseDC(nullptr, Screen);
  }
  return std::clamp(MulDiv(Dpi, 8, 96), 8, 16);
}

}  // namespace

int WINAPI WinMain(HINSTANCE Instance, HINSTANCE, LPSTR, int Show) {
  WNDCLASSEXA Class{};
  Class.cbSize = sizeof Class;
  Class.lpfnWndProc = FloorProc;
  Class.hInstance = Instance;
  Class.hIcon = LoadIconA(Instance, "MAINICON");
  // Given, as the installer gives it, so that the system need not make it.
  Class.hIconSm = static_cast<HICON>(LoadImageA(Instance, "MAINICON", IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  Class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  Class.lpszClassName = "StartupFloor";
  if (!RegisterClassExA(&Class))
    return 1;
  const DWORD Style = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  const int Scale = SystemScale();
  RECT Frame{0, 0, MulDiv(443, Scale, 8), MulDiv(304, Scale, 8)};
  AdjustWindowRectEx(&Frame, Style, FALSE, 0);
  const int Width = Frame.right - Frame.left, Height = Frame.bottom - Frame.top;
  HWND Window =
      CreateWindowExA(0, Class.lpszClassName, "Install Screensaver", Style, (GetSystemMetrics(SM_CXSCREEN) - Width) / 2,
                      (GetSystemMetrics(SM_CYSCREEN) - Height) / 2, Width, Height, nullptr, nullptr, Instance, nullptr);
  if (!Window)
    return 1;
  ShowWindow(Window, Show);
  UpdateWindow(Window);
  MSG Message;
  while (GetMessageA(&Message, nullptr, 0, 0) > 0) {
    TranslateMessage(&Message);
    DispatchMessageA(&Message);
  }
  return 0;
}
