// Time from starting the installer to the first complete paint of its window,
// against the same time for a bare program with a window of the same caption,
// style and client size (the floor).
//   startup_bench.exe PACKAGE [--floor PROGRAM] [--runs N]
// A first start of each, left to settle, gives the finished client area's
// pixels. Each timed run then starts a program again and reads its client area
// off the screen as fast as it can until it matches them; the window is closed
// after. The two programs take turns, in reverse order every other run, so a
// drift in the machine's speed falls on both alike.
// The first start also shows when the installer loads oleacc, Active
// Accessibility's library: not at start-up, only when a screen reader first
// asks for the window's client object (as this program then does).
// Not a test: run it with tests/bench/run-startup-bench.
#include <windows.h>

#include <oleacc.h>
#include <shellapi.h>
#include <tlhelp32.h>

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

double Median(std::vector<double> Values) {
  std::sort(Values.begin(), Values.end());
  const auto M = Values.size() / 2;
  return Values.size() % 2 ? Values[M] : (Values[M - 1] + Values[M]) / 2;
}

void Report(const char* What, std::vector<double> Values) {
  std::sort(Values.begin(), Values.end());
  std::printf("%-40s median %.3f s   best %.3f s   worst %.3f s\n", What, Median(Values), Values.front(),
              Values.back());
}

// Whether process Pid has loaded Dll.
const char* ModuleState(DWORD Pid, const char* Dll) {
  HANDLE Snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, Pid);
  if (Snapshot == INVALID_HANDLE_VALUE)
    return "unknown";
  MODULEENTRY32 Module{};
  Module.dwSize = sizeof Module;
  bool Loaded = false;
  for (BOOL More = Module32First(Snapshot, &Module); More; More = Module32Next(Snapshot, &Module))
    Loaded = Loaded || lstrcmpiA(Module.szModule, Dll) == 0;
  CloseHandle(Snapshot);
  return Loaded ? "loaded" : "absent";
}

void ReportOleAcc(HWND Window, DWORD Pid) {
  std::printf("oleacc in the installer after start-up:     %s\n", ModuleState(Pid, "oleacc.dll"));
  IAccessible* Client = nullptr;
  AccessibleObjectFromWindow(Window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                             reinterpret_cast<void**>(&Client));
  if (Client)
    Client->Release();
  std::printf("oleacc after a screen reader's first request: %s\n", ModuleState(Pid, "oleacc.dll"));
}

// The finished face: a start left alone long enough to have painted everything.
bool FinishedFace(const std::string& Program, std::vector<std::uint32_t>& Face, bool AskForOleAcc) {
  HANDLE Process = Start(Program);
  HWND Window = nullptr;
  for (int I = 0; I < 3000 && !Window; ++I, Sleep(10))
    Window = FindInstallerWindow(GetProcessId(Process));
  if (!Window) {
    std::fprintf(stderr, "%s: no window titled \"%s\" showed\n", Program.c_str(), Title);
    Stop(Process, nullptr);
    return false;
  }
  Sleep(2000);
  Face = ClientPixels(Window);
  RECT Client;
  GetClientRect(Window, &Client);
  std::printf("client area of %s: %ld x %ld\n", Program.c_str(), Client.right, Client.bottom);
  if (AskForOleAcc)
    ReportOleAcc(Window, GetProcessId(Process));
  Stop(Process, Window);
  return true;
}

struct TProgram {
  const char* Label;
  std::string Path;
  std::vector<std::uint32_t> Face;
  std::vector<double> Windows, Paints;
};

}  // namespace

int main(int argc, char** argv) {
  std::string Package, Floor;
  int Runs = 15;
  bool Usage = false;
  for (int I = 1; I < argc && !Usage; ++I) {
    const bool HasValue = I + 1 < argc;
    if (std::strcmp(argv[I], "--runs") == 0 && HasValue)
      Runs = std::max(1, std::atoi(argv[++I]));
    else if (std::strcmp(argv[I], "--floor") == 0 && HasValue)
      Floor = argv[++I];
    else if (argv[I][0] != '-' && Package.empty())
      Package = argv[I];
    else
      Usage = true;
  }
  if (Usage || Package.empty()) {
    std::fprintf(stderr, "usage: startup_bench PACKAGE [--floor PROGRAM] [--runs N]\n");
    return 2;
  }
  std::vector<TProgram> Programs{{"installer", Package, {}, {}, {}}};
  if (!Floor.empty())
    Programs.push_back({"floor", Floor, {}, {}, {}});
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  for (auto& P : Programs)
    if (!FinishedFace(P.Path, P.Face, &P == &Programs.front()))
      return 1;

  const std::size_t Count = Programs.size();
  for (int I = 0; I < Runs; ++I)
    for (std::size_t J = 0; J < Count; ++J) {
      auto& P = Programs[I % 2 == 0 ? J : Count - 1 - J];
      const TRun Run = TimedRun(P.Path, P.Face);
      if (Run.Painted < 0) {
        std::fprintf(stderr, "%s, run %d: the window never showed its finished face\n", P.Label, I + 1);
        return 1;
      }
      P.Windows.push_back(Run.Window);
      P.Paints.push_back(Run.Painted);
    }
  for (const auto& P : Programs) {
    std::printf("%d runs of %s (%s)\n", Runs, P.Path.c_str(), P.Label);
    Report((std::string(P.Label) + ": start to visible window").c_str(), P.Windows);
    Report((std::string(P.Label) + ": start to first complete paint").c_str(), P.Paints);
  }
  if (Count == 2)
    std::printf("installer / floor, start to first complete paint (medians): %.2f  (goal: at most 1.1)\n",
                Median(Programs[0].Paints) / Median(Programs[1].Paints));
  return 0;
}
