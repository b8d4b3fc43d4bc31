/* Starfield: the smallest screensaver worth packaging. White dots on black
   over the whole screen; any key, click or real pointer move ends it. The
   settings (/c) and preview (/p) requests have nothing to show. */
#include <windows.h>

#include <stdlib.h>

static POINT Start;

static LRESULT CALLBACK SaverProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  switch (Message) {
    case WM_CREATE:
      GetCursorPos(&Start);
      SetTimer(Window, 1, 50, NULL);
      return 0;
    case WM_TIMER: {
      HDC Dc = GetDC(Window);
      RECT Area;
      GetClientRect(Window, &Area);
      for (int Star = 0; Star < 20; ++Star)
        SetPixel(Dc, rand() % (Area.right + 1), rand() % (Area.bottom + 1), RGB(255, 255, 255));
      ReleaseDC(Window, Dc);
      return 0;
    }
    case WM_MOUSEMOVE: {
      POINT Now;
      GetCursorPos(&Now);
      if (abs(Now.x - Start.x) + abs(Now.y - Start.y) > 4)
        DestroyWindow(Window);
      return 0;
    }
    case WM_KEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
      DestroyWindow(Window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(Window, Message, WParam, LParam);
}

int WINAPI WinMain(HINSTANCE Instance, HINSTANCE Previous, LPSTR CommandLine, int Show) {
  (void)Previous;
  (void)Show;
  if (CommandLine[0] &&
      (CommandLine[1] == 'c' || CommandLine[1] == 'C' || CommandLine[1] == 'p' || CommandLine[1] == 'P'))
    return 0;
  WNDCLASSA Class = {0};
  Class.lpfnWndProc = SaverProc;
  Class.hInstance = Instance;
  Class.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
  Class.lpszClassName = "Starfield";
  RegisterClassA(&Class);
  CreateWindowExA(WS_EX_TOPMOST, "Starfield", "Starfield", WS_POPUP | WS_VISIBLE, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                  GetSystemMetrics(SM_CYSCREEN), NULL, NULL, Instance, NULL);
  MSG Msg;
  while (GetMessageA(&Msg, NULL, 0, 0) > 0) {
    TranslateMessage(&Msg);
    DispatchMessageA(&Msg);
  }
  return 0;
}
