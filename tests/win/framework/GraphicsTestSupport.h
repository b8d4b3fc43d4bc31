// Shared by the tests of drawing, pictures, standard controls and the
// description reader: forms shown on the private display, pixels read back
// from windows and bitmaps, and the picture files the tests draw.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "Forms.h"
#include "Pictures.h"
#include "RealInput.h"
#include "WinTestSupport.h"

namespace GfxTest {

using WinTest::Bytes;

// Colours as text, so a failing comparison says which colour it saw.
inline std::string Hex(COLORREF Color) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "#%06lX", static_cast<unsigned long>(Color));
  return Text;
}

using WinTest::PumpUntil;
using WinTest::Settle;

// A copy of a rectangle of a window's client area (or of any DC), read
// through a 32-bit top-down DIB so that every pixel comes back exactly.
class TPixels {
 public:
  TPixels(HDC Source, int X, int Y, int Width, int Height) : FWidth(Width), FHeight(Height) {
    BITMAPINFO Info{};
    Info.bmiHeader.biSize = sizeof Info.bmiHeader;
    Info.bmiHeader.biWidth = Width;
    Info.bmiHeader.biHeight = -Height;
    Info.bmiHeader.biPlanes = 1;
    Info.bmiHeader.biBitCount = 32;
    Info.bmiHeader.biCompression = BI_RGB;
    void* Bits = nullptr;
    HDC Memory = CreateCompatibleDC(Source);
    HBITMAP Dib = CreateDIBSection(Memory, &Info, DIB_RGB_COLORS, &Bits, nullptr, 0);
    HGDIOBJ Old = SelectObject(Memory, Dib);
    BitBlt(Memory, 0, 0, Width, Height, Source, X, Y, SRCCOPY);
    GdiFlush();
    const auto* Words = static_cast<const std::uint32_t*>(Bits);
    FPixels.assign(Words, Words + static_cast<std::size_t>(Width) * Height);
    SelectObject(Memory, Old);
    DeleteObject(Dib);
    DeleteDC(Memory);
  }

  static TPixels OfWindow(HWND Window, int X, int Y, int Width, int Height) {
    HDC DC = GetDC(Window);
    TPixels Result(DC, X, Y, Width, Height);
    ReleaseDC(Window, DC);
    return Result;
  }

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  // As a COLORREF (0x00BBGGRR).
  COLORREF At(int X, int Y) const {
    const std::uint32_t P = FPixels[static_cast<std::size_t>(Y) * FWidth + X];
    return RGB((P >> 16) & 0xFF, (P >> 8) & 0xFF, P & 0xFF);
  }
  // How many pixels are (or are not) of one colour.
  int Count(COLORREF Color) const {
    int N = 0;
    for (int Y = 0; Y < FHeight; ++Y)
      for (int X = 0; X < FWidth; ++X)
        N += At(X, Y) == Color;
    return N;
  }

 private:
  int FWidth, FHeight;
  std::vector<std::uint32_t> FPixels;
};

inline TPixels ClientPixels(TWinControl* Control, int X, int Y, int Width, int Height) {
  return TPixels::OfWindow(Control->Handle(), X, Y, Width, Height);
}

inline COLORREF ClientPixel(TWinControl* Control, int X, int Y) { return ClientPixels(Control, X, Y, 1, 1).At(0, 0); }

// ---------------------------------------------------------------- files

inline Bytes JpegFixture(const std::string& Name) {
  return WinTest::ReadFileBytes(WinTest::WindowsPathFromUnix(JPEG_FIXTURES, true) + Name);
}

inline Bytes MainIcon() { return WinTest::ReadFileBytes(WinTest::WindowsPathFromUnix(MAIN_ICON_FILE, false)); }

// The pixels djpeg wrote for a fixture (binary P6), as COLORREFs, rows top down.
struct TPixmap {
  int Width = 0, Height = 0;
  std::vector<COLORREF> Pixels;
  COLORREF At(int X, int Y) const { return Pixels[static_cast<std::size_t>(Y) * Width + X]; }
};

inline TPixmap ReadPpm(const std::string& Name) {
  const Bytes File = JpegFixture(Name);
  TPixmap Map;
  if (File.size() < 2 || File[0] != 'P' || File[1] != '6')
    return Map;
  std::size_t Pos = 2;
  auto Number = [&] {
    while (Pos < File.size() && (File[Pos] == ' ' || File[Pos] == '\n' || File[Pos] == '\r' || File[Pos] == '\t'))
      ++Pos;
    int Value = 0;
    while (Pos < File.size() && File[Pos] >= '0' && File[Pos] <= '9')
      Value = Value * 10 + (File[Pos++] - '0');
    return Value;
  };
  const int Width = Number(), Height = Number();
  if (Number() != 255)
    return Map;
  ++Pos;
  const std::size_t Count = static_cast<std::size_t>(Width) * Height;
  if (File.size() - Pos != Count * 3)
    return Map;
  Map.Width = Width;
  Map.Height = Height;
  for (std::size_t I = 0; I < Count; ++I)
    Map.Pixels.push_back(RGB(File[Pos + I * 3], File[Pos + I * 3 + 1], File[Pos + I * 3 + 2]));
  return Map;
}

// ---------------------------------------------------------------- forms

// Gives each test fresh forms near the top left of the screen, deleted afterwards.
class FormTest : public ::testing::Test {
 protected:
  void TearDown() override {
    while (!FForms.empty()) {
      delete FForms.back();
      FForms.pop_back();
    }
    Application->ProcessMessages();
  }

  template <typename T = TForm>
  T* NewForm(int ClientWidth = 480, int ClientHeight = 340, TColor Color = clBtnFace) {
    auto* Form = new T(nullptr);
    FForms.push_back(Form);
    Form->SetName("Form");
    Form->SetLeft(40);
    Form->SetTop(40);
    Form->SetClientSize(ClientWidth, ClientHeight);
    Form->SetColor(Color);
    return Form;
  }

  // Shows the form and waits until it has painted.
  static void ShowPainted(TCustomForm* Form) {
    Form->Show();
    Settle(Form);
  }

 private:
  std::vector<TCustomForm*> FForms;
};

template <typename T>
T* AddControl(TWinControl* Parent, int Left, int Top, int Width, int Height) {
  auto* Control = new T(Parent);
  Control->SetBounds(Left, Top, Width, Height);
  Control->SetParent(Parent);
  return Control;
}

}  // namespace GfxTest
