// Time from starting the installer to the first complete paint of its window.
//   startup_bench.exe PACKAGE [--runs N]
// A first start, left to settle, gives the finished client area's pixels. Each
// timed run then starts the package again and reads its client area off the
// screen as fast as it can until it matches them; the window is closed after.
// Not a test: run it with tests/bench/run-startup-bench.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const Title = "Install Screensaver";

struct TFound {
  DWORD Pid;
  HWND Window;
};

HWND FindInstallerWindow(DWORD Pid) {
  TFound Found{Pid, nullptr};
  EnumWindows(
      [](HWND W, LPARAM P) -> BOOL {
        auto& F = *reinterpret_cast<TFound*>(P);
        DWORD Owner = 0;
        GetWindowThreadProcessId(W, &Owner);
        char Text[64] = {};
        if (Owner == F.Pid && IsWindowVisible(W) && GetWindowTextA(W, Text, sizeof Text) &&
            std::strcmp(Text, Title) == 0) {
          F.Window = W;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&Found));
  return Found.Window;
}

// The window's client area as it is on the screen, 32 bits a pixel.
std::vector<std::uint32_t> ClientPixels(HWND Window) {
  RECT Client;
  GetClientRect(Window, &Client);
  POINT Origin{0, 0};
  ClientToScreen(Window, &Origin);
  const int W = Client.right, H = Client.bottom;
  std::vector<std::uint32_t> Pixels(static_cast<std::size_t>(W) * H);
  if (W <= 0 || H <= 0)
    return Pixels;
  BITMAPINFO Info{};
  Info.bmiHeader = {sizeof(BITMAPINFOHEADER), W, -H, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  HDC Screen = GetDC(nullptr);
  HDC Memory = CreateCompatibleDC(Screen);
  void* Bits = nullptr;
  HBITMAP Bitmap = CreateDIBSection(Screen, &Info, DIB_RGB_COLORS, &Bits, nullptr, 0);
  HGDIOBJ Old = SelectObject(Memory, Bitmap);
  BitBlt(Memory, 0, 0, W, H, Screen, Origin.x, Origin.y, SRCCOPY);
  GdiFlush();
  std::memcpy(Pixels.data(), Bits, Pixels.size() * 4);
  SelectObject(Memory, Old);
  DeleteObject(Bitmap);
  DeleteDC(Memory);
  ReleaseDC(nullptr, Screen);
  return Pixels;
}

struct TRun {
  double Window = -1, Painted = -1;  // seconds from the start
};

double Seconds(const LARGE_INTEGER& From) {
  LARGE_INTEGER Now, Frequency;
  QueryPerformanceCounter(&Now);
  QueryPerformanceFrequency(&Frequency);
  return double(Now.QuadPart - From.QuadPart) / double(Frequency.QuadPart);
}

// Starts the package; ShellExecuteEx, so that on Windows the administrator prompt shows.
HANDLE Start(const std::string& Package) {
  SHELLEXECUTEINFOA Info{};
  Info.cbSize = sizeof Info;
  Info.fMask = SEE_MASK_NOCLOSEPROCESS;
  Info.lpFile = Package.c_str();
  Info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExA(&Info) || !Info.hProcess) {
    std::fprintf(stderr, "cannot start %s (error %lu)\n", Package.c_str(), GetLastError());
    std::exit(1);
  }
  return Info.hProcess;
}

void Stop(HANDLE Process, HWND Window) {
  if (Window)
    PostMessageA(Window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(Process, 10000) != WAIT_OBJECT_0)
    TerminateProcess(Process, 1);
  CloseHandle(Process);
}

TRun TimedRun(const std::string& Package, const std::vector<std::uint32_t>& Finished) {
  TRun Run;
  LARGE_INTEGER T0;
  QueryPerformanceCounter(&T0);
  HANDLE Process = Start(Package);
  const DWORD Pid = GetProcessId(Process);
  HWND Window = nullptr;
  while (Seconds(T0) < 30) {
    if (!Window && (Window = FindInstallerWindow(Pid)))
      Run.Window = Seconds(T0);
    if (Window && ClientPixels(Window) == Finished) {
      Run.Painted = Seconds(T0);
      break;
    }
    Sleep(1);
  }
  Stop(Process, Window);
  return Run;
}

void Report(const char* What, std::vector<double> Values) {
  std::sort(Values.begin(), Values.end());
  std::printf("%-32s median %.3f s   best %.3f s   worst %.3f s\n", What, Values[Values.size() / 2], Values.front(),
              Values.back());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: startup_bench PACKAGE [--runs N]\n");
    return 2;
  }
  const std::string Package = argv[1];
  const int Runs = argc > 3 && std::strcmp(argv[2], "--runs") == 0 ? std::max(1, std::atoi(argv[3])) : 15;

  // The finished face: a start left alone long enough to have painted everything.
  HANDLE Process = Start(Package);
  HWND Window = nullptr;
  for (int I = 0; I < 3000 && !Window; ++I, Sleep(10))
    Window = FindInstallerWindow(GetProcessId(Process));
  if (!Window) {
    std::fprintf(stderr, "no window titled \"%s\" showed\n", Title);
    Stop(Process, nullptr);
    return 1;
  }
  Sleep(2000);
  const auto Finished = ClientPixels(Window);
  Stop(Process, Window);

  std::vector<double> Windows, Paints;
  for (int I = 0; I < Runs; ++I) {
    const TRun Run = TimedRun(Package, Finished);
    if (Run.Painted < 0) {
      std::fprintf(stderr, "run %d: the window never showed its finished face\n", I + 1);
      return 1;
    }
    Windows.push_back(Run.Window);
    Paints.push_back(Run.Painted);
  }
  std::printf("%d runs of %s\n", Runs, Package.c_str());
  Report("start to visible window", Windows);
  Report("start to first complete paint", Paints);
  return 0;
}
