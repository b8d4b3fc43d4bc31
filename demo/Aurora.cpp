// Aurora: the demo screensaver that the installer ships as its payload.
// Plain Win32; only user32, gdi32 and kernel32.
#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <type_traits>
#include <utility>

namespace {

constexpr char kClassName[] = "AuroraScreensaver";
constexpr char kTitle[] = "Aurora";
constexpr UINT_PTR kFrameTimer = 1;
constexpr UINT kFrameMs = 33;
// Pointer jitter (a desk knock, a noisy mouse) must not end the saver.
constexpr int kMoveTolerance = 4;
// The move that Windows synthesizes when the window appears under the pointer
// arrives within this time of the start.
constexpr ULONGLONG kSettleMs = 300;
constexpr float kTwoPi = 6.2831853f;

// ---------------------------------------------------------------- RAII

// Zeroed heap block of trivial elements, so the program needs neither
// exceptions nor operator new.
template <typename T>
class HeapArray {
  static_assert(std::is_trivial_v<T>);

 public:
  HeapArray() = default;
  explicit HeapArray(size_t count)
      : FData(static_cast<T*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, count * sizeof(T)))),
        FCount(FData ? count : 0) {}
  ~HeapArray() {
    if (FData)
      HeapFree(GetProcessHeap(), 0, FData);
  }
  HeapArray(HeapArray&& other) noexcept
      : FData(std::exchange(other.FData, nullptr)), FCount(std::exchange(other.FCount, 0)) {}
  HeapArray& operator=(HeapArray&& other) noexcept {
    std::swap(FData, other.FData);
    std::swap(FCount, other.FCount);
    return *this;
  }
  HeapArray(const HeapArray&) = delete;
  HeapArray& operator=(const HeapArray&) = delete;

  T& operator[](size_t i) { return FData[i]; }
  const T& operator[](size_t i) const { return FData[i]; }
  size_t Count() const { return FCount; }

 private:
  T* FData = nullptr;
  size_t FCount = 0;
};

// A 32-bit top-down DIB section selected into a memory DC: the frame is drawn
// into its pixels and copied to the window in one BitBlt.
class BackBuffer {
 public:
  BackBuffer(int width, int height) : FWidth(width), FHeight(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    FDc = CreateCompatibleDC(nullptr);
    if (!FDc)
      return;
    void* bits = nullptr;
    FBitmap = CreateDIBSection(FDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!FBitmap)
      return;
    FOldBitmap = SelectObject(FDc, FBitmap);
    FPixels = static_cast<uint32_t*>(bits);
  }
  ~BackBuffer() {
    if (FOldBitmap)
      SelectObject(FDc, FOldBitmap);
    if (FBitmap)
      DeleteObject(FBitmap);
    if (FDc)
      DeleteDC(FDc);
  }
  BackBuffer(const BackBuffer&) = delete;
  BackBuffer& operator=(const BackBuffer&) = delete;

  bool Ok() const { return FPixels != nullptr; }
  HDC Dc() const { return FDc; }
  uint32_t* Pixels() const { return FPixels; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }

 private:
  int FWidth, FHeight;
  HDC FDc = nullptr;
  HBITMAP FBitmap = nullptr;
  HGDIOBJ FOldBitmap = nullptr;
  uint32_t* FPixels = nullptr;
};

class PaintScope {
 public:
  explicit PaintScope(HWND wnd) : FWnd(wnd), FDc(BeginPaint(wnd, &FPs)) {}
  ~PaintScope() { EndPaint(FWnd, &FPs); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  HDC Dc() const { return FDc; }

 private:
  HWND FWnd;
  PAINTSTRUCT FPs{};
  HDC FDc;
};

// ---------------------------------------------------------------- Scene

struct Rgb {
  uint8_t R, G, B;
};

float Lerp(float a, float b, float t) { return a + (b - a) * t; }
float Clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
uint8_t Byte(float v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// One curtain of light: where its lower edge hangs, how far its rays reach and
// its colours from the pink lower fringe up to the faint top.
struct Curtain {
  float Base;   // lower edge, as a fraction of the height
  float Reach;  // length of the rays, as a fraction of the height
  float Gain;
  float Phase;
  float Drift;  // speed of the sideways sway
  Rgb Fringe, Low, High;
};

constexpr Curtain kCurtains[] = {
    {0.58f, 0.40f, 1.00f, 0.0f, 1.00f, {255, 70, 150}, {70, 255, 140}, {110, 50, 170}},
    {0.48f, 0.46f, 0.80f, 2.1f, -0.80f, {200, 60, 170}, {40, 235, 180}, {80, 60, 220}},
    {0.36f, 0.30f, 0.55f, 4.4f, 0.60f, {220, 40, 120}, {180, 70, 200}, {210, 40, 100}},
};
constexpr int kLayers = static_cast<int>(std::size(kCurtains));

// Soft additive light cannot be had from GDI brushes, so the sky is computed
// per pixel into the back buffer; the vertical profile of each curtain is
// tabulated once per size so that a frame costs a few integer operations per
// pixel and layer.
class AuroraScene {
 public:
  void Resize(int width, int height) {
    FWidth = width;
    FHeight = height;
    FEdge = height / 40 + 2;
    FFringe = height / 6 + 2;
    FColumns = HeapArray<Column>(static_cast<size_t>(width));
    FHill = HeapArray<int>(static_cast<size_t>(width));
    FSky = HeapArray<uint32_t>(static_cast<size_t>(height));
    for (int l = 0; l < kLayers; ++l)
      BuildProfile(l);

    FHorizon = height;
    for (int x = 0; x < width; ++x) {
      float xn = static_cast<float>(x) / static_cast<float>(width);
      float h = 0.86f + 0.040f * std::sin(kTwoPi * 0.85f * xn + 1.0f) + 0.025f * std::sin(kTwoPi * 2.15f * xn + 2.0f) +
                0.008f * std::sin(kTwoPi * 5.70f * xn + 0.5f);
      FHill[x] = static_cast<int>(h * static_cast<float>(height));
      if (FHill[x] < FHorizon)
        FHorizon = FHill[x];
    }
    for (int y = 0; y < height; ++y) {
      float t = Clamp01(static_cast<float>(y) / static_cast<float>(FHorizon > 0 ? FHorizon : 1));
      FSky[y] = Pack(Lerp(1, 7, t), Lerp(2, 14, t), Lerp(10, 30, t));
    }

    // Fixed seed: the same starfield on every run.
    const size_t stars = static_cast<size_t>(width) * static_cast<size_t>(height) / 2600 + 3;
    FStars = HeapArray<Star>(stars);
    uint32_t seed = 0x2545F491u;
    auto next = [&seed](uint32_t range) {
      seed = seed * 1664525u + 1013904223u;
      return (seed >> 8) % (range ? range : 1);
    };
    for (size_t i = 0; i < FStars.Count(); ++i) {
      FStars[i].X = static_cast<int>(next(static_cast<uint32_t>(width)));
      FStars[i].Y = static_cast<int>(next(static_cast<uint32_t>(FHorizon)));
      FStars[i].Bright = static_cast<float>(40 + next(160));
      FStars[i].Speed = 0.5f + static_cast<float>(next(300)) / 100.0f;
      FStars[i].Phase = static_cast<float>(next(628)) / 100.0f;
    }

    FReady = FColumns.Count() == static_cast<size_t>(width) && FHill.Count() == static_cast<size_t>(width) &&
             FSky.Count() == static_cast<size_t>(height);
    for (const auto& profile : FProfile)
      FReady = FReady && profile.Count() == static_cast<size_t>(FHeight + FFringe + 1);
  }

  // Draws the frame at time t (seconds) into width*height pixels.
  void Render(uint32_t* pixels, float t) {
    if (!FReady)
      return;  // out of memory at Resize: the buffer stays black
    UpdateColumns(t);
    const uint32_t silhouette = Pack(3, 6, 9);
    for (int y = 0; y < FHeight; ++y) {
      uint32_t* row = pixels + static_cast<size_t>(y) * static_cast<size_t>(FWidth);
      const uint32_t sky = FSky[y];
      const int skyR = static_cast<int>((sky >> 16) & 0xFF) << 8;
      const int skyG = static_cast<int>((sky >> 8) & 0xFF) << 8;
      const int skyB = static_cast<int>(sky & 0xFF) << 8;
      for (int x = 0; x < FWidth; ++x) {
        if (y >= FHill[x]) {
          row[x] = silhouette;
          continue;
        }
        const Column& c = FColumns[x];
        int r = skyR, g = skyG, b = skyB;
        for (int l = 0; l < kLayers; ++l) {
          int d = y - c.Base[l];
          if (d > FFringe)
            continue;
          if (d < 0)
            d = (d * c.Stretch) >> 8;
          int index = d + FHeight;
          if (index < 0)
            continue;
          const Rgb& p = FProfile[l][index];
          const int i = c.Intensity[l];
          r += p.R * i;
          g += p.G * i;
          b += p.B * i;
        }
        row[x] = Pack8(r >> 8, g >> 8, b >> 8);
      }
    }
    for (size_t i = 0; i < FStars.Count(); ++i) {
      const Star& s = FStars[i];
      if (s.Y >= FHill[s.X])
        continue;
      int add = static_cast<int>(s.Bright * (0.7f + 0.3f * std::sin(t * s.Speed + s.Phase)));
      uint32_t& px = pixels[static_cast<size_t>(s.Y) * static_cast<size_t>(FWidth) + static_cast<size_t>(s.X)];
      px = Pack8(static_cast<int>((px >> 16) & 0xFF) + add, static_cast<int>((px >> 8) & 0xFF) + add,
                 static_cast<int>(px & 0xFF) + add + add / 8);
    }
  }

 private:
  struct Column {
    int Base[kLayers];
    int Intensity[kLayers];  // 0..256
    int Stretch;             // ray length, 8.8 fixed point
  };
  struct Star {
    int X, Y;
    float Bright, Speed, Phase;
  };

  static uint32_t Pack8(int r, int g, int b) {
    r = r > 255 ? 255 : r;
    g = g > 255 ? 255 : g;
    b = b > 255 ? 255 : b;
    return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | static_cast<uint32_t>(b);
  }
  static uint32_t Pack(float r, float g, float b) {
    return Pack8(static_cast<int>(r), static_cast<int>(g), static_cast<int>(b));
  }

  // Index d + height holds the colour at d pixels below the lower edge
  // (negative d: up along the rays).
  void BuildProfile(int l) {
    const Curtain& k = kCurtains[l];
    const int size = FHeight + FFringe + 1;
    FProfile[l] = HeapArray<Rgb>(static_cast<size_t>(size));
    if (FProfile[l].Count() != static_cast<size_t>(size))
      return;
    const float reach = k.Reach * static_cast<float>(FHeight);
    for (int i = 0; i < size; ++i) {
      int d = i - FHeight;
      float a;
      float cr, cg, cb;
      if (d > 0) {
        // A thin pink fringe, and a faint glow on the sky below: without it
        // the dark gap under a curtain reads as a mountain ridge.
        float pink = std::exp(-4.0f * static_cast<float>(d) / static_cast<float>(FEdge)) * 0.55f;
        float glow = std::exp(-5.0f * static_cast<float>(d) / static_cast<float>(FFringe)) * 0.16f;
        a = 1;
        cr = k.Fringe.R * pink + k.Low.R * glow;
        cg = k.Fringe.G * pink + k.Low.G * glow;
        cb = k.Fringe.B * pink + k.Low.B * glow;
      } else {
        float u = static_cast<float>(-d) / reach;
        // A bright band just above the edge, then a long fade up the rays.
        a = std::exp(-2.6f * u) * (0.7f + 0.4f * std::exp(-u * 14.0f));
        float m = Clamp01(u * 1.4f);
        m = m * m * (3 - 2 * m);
        cr = Lerp(k.Low.R, k.High.R, m);
        cg = Lerp(k.Low.G, k.High.G, m);
        cb = Lerp(k.Low.B, k.High.B, m);
      }
      a *= k.Gain;
      FProfile[l][i] = Rgb{Byte(cr * a), Byte(cg * a), Byte(cb * a)};
    }
  }

  void UpdateColumns(float t) {
    const float h = static_cast<float>(FHeight);
    for (int x = 0; x < FWidth; ++x) {
      const float xn = static_cast<float>(x) / static_cast<float>(FWidth);
      Column& c = FColumns[x];
      c.Stretch = static_cast<int>(256.0f * (1.0f + 0.30f * std::sin(kTwoPi * 3.7f * xn + 0.31f * t) +
                                             0.12f * std::sin(kTwoPi * 9.3f * xn - 0.53f * t)));
      for (int l = 0; l < kLayers; ++l) {
        const Curtain& k = kCurtains[l];
        const float p = k.Phase;
        const float s = k.Drift;
        float base = k.Base + 0.060f * std::sin(kTwoPi * 0.9f * xn + 0.21f * s * t + p) +
                     0.035f * std::sin(kTwoPi * 2.3f * xn - 0.37f * s * t + 1.7f * p) +
                     0.018f * std::sin(kTwoPi * 4.7f * xn + 0.55f * s * t + 0.3f * p) +
                     0.006f * std::sin(kTwoPi * 11.3f * xn - 0.9f * t + p);
        c.Base[l] = static_cast<int>(base * h);

        // Bright folds separated by dark gaps, so the curtains read as
        // ribbons of light rather than as a ridge.
        float e1 = 0.5f + 0.5f * std::sin(kTwoPi * 1.3f * xn + 0.17f * s * t + 2.0f * p);
        float e2 = 0.5f + 0.5f * std::sin(kTwoPi * 0.55f * xn - 0.11f * t + p);
        float e3 = 0.5f + 0.5f * std::sin(kTwoPi * 3.1f * xn + 0.29f * t + 0.7f * p);
        float env = Clamp01(e1 * (0.3f + 0.7f * e2) * (0.6f + 0.4f * e3) * 1.6f - 0.15f);
        env = env * env * (3 - 2 * env);
        // Rays of uneven spacing that drift along the curtain.
        float rays = 0.50f + 0.22f * std::sin(kTwoPi * 23.0f * xn + 0.9f * t + p) +
                     0.18f * std::sin(kTwoPi * 61.0f * xn - 1.3f * t + 3.0f * p) +
                     0.14f * std::sin(kTwoPi * 137.0f * xn + 2.1f * t + 5.0f * p);
        float v = env * Clamp01(rays) * 1.25f;
        v = v > 1 ? 1 : v;
        c.Intensity[l] = static_cast<int>(256.0f * v);
      }
    }
  }

  int FWidth = 0, FHeight = 0, FEdge = 1, FFringe = 1, FHorizon = 1;
  HeapArray<Column> FColumns;
  HeapArray<int> FHill;
  HeapArray<uint32_t> FSky;
  HeapArray<Rgb> FProfile[kLayers];
  HeapArray<Star> FStars;
  bool FReady = false;
};

// ---------------------------------------------------------------- Window

enum class Mode { Saver, Preview, Config };

struct Command {
  Mode Kind = Mode::Saver;
  HWND Window = nullptr;  // preview parent or configuration owner
};

struct SaverState {
  SaverState(Mode kind, HWND parent) : Kind(kind), Parent(parent) {}
  SaverState(const SaverState&) = delete;
  SaverState& operator=(const SaverState&) = delete;

  Mode Kind;
  HWND Parent;
  POINT Start{};
  bool HaveStart = false;
  bool SawFirstMove = false;
  bool Closing = false;
  bool CursorHidden = false;
  ULONGLONG StartTick = 0;
  AuroraScene Scene;
  std::optional<BackBuffer> Buffer;
};

void RenderFrame(SaverState& s) {
  if (!s.Buffer || !s.Buffer->Ok())
    return;
  const float t = static_cast<float>(GetTickCount64() - s.StartTick) / 1000.0f;
  s.Scene.Render(s.Buffer->Pixels(), t);
}

void ResizeBuffer(SaverState& s, int width, int height) {
  if (width <= 0 || height <= 0)
    return;
  if (s.Buffer && s.Buffer->Width() == width && s.Buffer->Height() == height)
    return;
  s.Buffer.reset();
  s.Buffer.emplace(width, height);
  s.Scene.Resize(width, height);
  RenderFrame(s);
}

void EndSaver(HWND wnd, SaverState& s) {
  if (s.Closing)
    return;
  s.Closing = true;
  DestroyWindow(wnd);
}

LRESULT CALLBACK SaverProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* s = reinterpret_cast<SaverState*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
  if (msg == WM_NCCREATE) {
    s = static_cast<SaverState*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
    SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(s));
  }
  if (!s)
    return DefWindowProcA(wnd, msg, wp, lp);
  const bool fullScreen = s->Kind == Mode::Saver;

  switch (msg) {
    case WM_CREATE: {
      s->StartTick = GetTickCount64();
      RECT rc;
      GetClientRect(wnd, &rc);
      ResizeBuffer(*s, rc.right - rc.left, rc.bottom - rc.top);
      SetTimer(wnd, kFrameTimer, kFrameMs, nullptr);
      if (fullScreen)
        s->HaveStart = GetCursorPos(&s->Start) != FALSE;
      return 0;
    }
    case WM_SIZE:
      ResizeBuffer(*s, LOWORD(lp), HIWORD(lp));
      return 0;
    case WM_TIMER:
      if (wp != kFrameTimer)
        break;
      // A preview parent in another process may vanish without our child
      // ever hearing of it.
      if (s->Kind == Mode::Preview && !IsWindow(s->Parent)) {
        EndSaver(wnd, *s);
        return 0;
      }
      RenderFrame(*s);
      InvalidateRect(wnd, nullptr, FALSE);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PaintScope paint(wnd);
      if (s->Buffer && s->Buffer->Ok())
        BitBlt(paint.Dc(), 0, 0, s->Buffer->Width(), s->Buffer->Height(), s->Buffer->Dc(), 0, 0, SRCCOPY);
      else
        PatBlt(paint.Dc(), 0, 0, 32767, 32767, BLACKNESS);
      return 0;
    }
    case WM_SETCURSOR:
      if (!fullScreen)
        break;
      SetCursor(nullptr);
      return TRUE;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_XBUTTONDOWN:
      if (!fullScreen)
        break;
      EndSaver(wnd, *s);
      return 0;
    case WM_MOUSEMOVE: {
      if (!fullScreen)
        break;
      POINT pt;
      if (!GetCursorPos(&pt))
        return 0;
      // Windows sends one move as the window appears under the pointer; it is
      // not the user's, so it only sets the reference point.
      if (!s->SawFirstMove) {
        s->SawFirstMove = true;
        if (!s->HaveStart || GetTickCount64() - s->StartTick < kSettleMs) {
          s->Start = pt;
          s->HaveStart = true;
          return 0;
        }
      }
      if (std::abs(pt.x - s->Start.x) > kMoveTolerance || std::abs(pt.y - s->Start.y) > kMoveTolerance)
        EndSaver(wnd, *s);
      return 0;
    }
    case WM_ACTIVATEAPP:
      if (fullScreen && !wp)
        EndSaver(wnd, *s);
      break;
    case WM_SYSCOMMAND:
      // No second saver on top of this one.
      if ((wp & 0xFFF0) == SC_SCREENSAVE)
        return 0;
      break;
    case WM_DESTROY:
      KillTimer(wnd, kFrameTimer);
      s->Buffer.reset();
      if (s->CursorHidden) {
        ShowCursor(TRUE);
        s->CursorHidden = false;
      }
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}

int RunSaver(HINSTANCE instance, Mode kind, HWND parent) {
  WNDCLASSA wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = SaverProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  wc.lpszClassName = kClassName;
  if (!RegisterClassA(&wc))
    return 1;

  SaverState state(kind, parent);
  HWND wnd;
  if (kind == Mode::Preview) {
    RECT rc;
    GetClientRect(parent, &rc);
    wnd = CreateWindowExA(0, kClassName, kTitle, WS_CHILD | WS_VISIBLE, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                          parent, nullptr, instance, &state);
  } else {
    // The whole virtual screen, so that no monitor stays lit.
    int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    int w = GetSystemMetrics(SM_CXVIRTUALSCREEN), h = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (w <= 0 || h <= 0) {
      x = y = 0;
      w = GetSystemMetrics(SM_CXSCREEN);
      h = GetSystemMetrics(SM_CYSCREEN);
    }
    wnd = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClassName, kTitle, WS_POPUP | WS_VISIBLE, x, y, w, h,
                          nullptr, nullptr, instance, &state);
    if (wnd) {
      SetForegroundWindow(wnd);
      SetFocus(wnd);
      ShowCursor(FALSE);
      state.CursorHidden = true;
    }
  }
  if (!wnd) {
    UnregisterClassA(kClassName, instance);
    return kind == Mode::Preview ? 0 : 1;
  }

  MSG msg;
  int rc = 0;
  for (;;) {
    BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      rc = static_cast<int>(msg.wParam);
      break;
    }
    if (got == -1) {
      rc = 1;
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  UnregisterClassA(kClassName, instance);
  return rc;
}

int ShowConfig(HWND owner) {
  MessageBoxA(owner && IsWindow(owner) ? owner : nullptr, "This screensaver has no options.", kTitle,
              MB_OK | MB_ICONINFORMATION);
  return 0;
}

const char* SkipSpaces(const char* p) {
  while (*p == ' ' || *p == '\t')
    ++p;
  return p;
}

// Windows passes window handles in decimal; accept hex too for hand use.
HWND ParseHandle(const char* p) {
  p = SkipSpaces(p);
  if (*p == ':')
    p = SkipSpaces(p + 1);
  int base = 10;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X'))
    base = 16;
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(p, nullptr, base)));
}

Command ParseCommandLine(const char* args) {
  Command cmd;
  const char* p = SkipSpaces(args ? args : "");
  // The shell starts a freshly installed screensaver without arguments (our
  // installer does so right after installing), and under Wine no "/S" is
  // added; showing the animation then, instead of the configuration box,
  // lets the user see what was installed.
  if (*p == '\0')
    return cmd;
  if (*p != '/' && *p != '-') {
    cmd.Kind = Mode::Config;
    return cmd;
  }
  switch (p[1] | 0x20) {
    case 's':
      cmd.Kind = Mode::Saver;
      break;
    case 'p':
      cmd.Kind = Mode::Preview;
      cmd.Window = ParseHandle(p + 2);
      break;
    default:  // "/c", "/c:HWND" and anything unknown open the configuration
      cmd.Kind = Mode::Config;
      if ((p[1] | 0x20) == 'c')
        cmd.Window = ParseHandle(p + 2);
      break;
  }
  return cmd;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int) {
  const Command cmd = ParseCommandLine(cmdLine);
  switch (cmd.Kind) {
    case Mode::Config:
      return ShowConfig(cmd.Window);
    case Mode::Preview:
      if (!cmd.Window || !IsWindow(cmd.Window))
        return 0;
      return RunSaver(instance, Mode::Preview, cmd.Window);
    case Mode::Saver:
      break;
  }
  return RunSaver(instance, Mode::Saver, nullptr);
}
