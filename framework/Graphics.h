// Colours, fonts, brushes, pens and the canvas that draws with them on a device context.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "WinHandles.h"

// 0x00BBGGRR for RGB colours; 0x80000000 + index for system colours.
using TColor = std::int32_t;

inline constexpr TColor SystemColor(int Index) { return static_cast<TColor>(0x80000000u | static_cast<unsigned>(Index)); }
inline constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
                        clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
                        clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                        clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clScrollBar = SystemColor(COLOR_SCROLLBAR), clBackground = SystemColor(COLOR_BACKGROUND),
                        clWindow = SystemColor(COLOR_WINDOW), clWindowText = SystemColor(COLOR_WINDOWTEXT),
                        clBtnFace = SystemColor(COLOR_BTNFACE), clBtnShadow = SystemColor(COLOR_BTNSHADOW),
                        clBtnText = SystemColor(COLOR_BTNTEXT), clBtnHighlight = SystemColor(COLOR_BTNHIGHLIGHT),
                        clHighlight = SystemColor(COLOR_HIGHLIGHT), clHighlightText = SystemColor(COLOR_HIGHLIGHTTEXT),
                        clGrayText = SystemColor(COLOR_GRAYTEXT), cl3DDkShadow = SystemColor(COLOR_3DDKSHADOW),
                        cl3DLight = SystemColor(COLOR_3DLIGHT), clInfoBk = SystemColor(COLOR_INFOBK);

// The RGB value of a colour; system colours are looked up now.
COLORREF ColorToRGB(TColor Color);

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

class TFont {
public:
  TFont();
  void Assign(const TFont& Source);

  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value);
  int Height() const { return FHeight; }
  void SetHeight(int Value);
  int Charset() const { return FCharset; }
  void SetCharset(int Value);
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  unsigned Style() const { return FStyle; }
  void SetStyle(unsigned Value);

  // The GDI font, made on first use and kept until the font changes.
  HFONT Handle();
  bool operator==(const TFont& Other) const;

  std::function<void()> OnChange;

private:
  void Changed();
  std::string FName = "MS Sans Serif";
  int FHeight = -11;
  int FCharset = DEFAULT_CHARSET;
  TColor FColor = clWindowText;
  unsigned FStyle = 0;
  TGdiObject FHandle;
};

enum class TBrushStyle { bsSolid, bsClear };

class TBrush {
public:
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  TBrushStyle Style() const { return FStyle; }
  void SetStyle(TBrushStyle Value);
  HBRUSH Handle();
  std::function<void()> OnChange;

private:
  TColor FColor = clWhite;
  TBrushStyle FStyle = TBrushStyle::bsSolid;
  TGdiObject FHandle;
};

class TPen {
public:
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  int Width() const { return FWidth; }
  void SetWidth(int Value);
  HPEN Handle();
  std::function<void()> OnChange;

private:
  TColor FColor = clBlack;
  int FWidth = 1;
  TGdiObject FHandle;
};

// Draws on a device context it does not own. The objects it selects are put
// back before the context is let go (SetHandle(nullptr) or destruction).
class TCanvas {
public:
  TCanvas();
  virtual ~TCanvas();
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  HDC Handle() const { return FHandle; }
  void SetHandle(HDC Value);

  TFont& Font() { return FFont; }
  TBrush& Brush() { return FBrush; }
  TPen& Pen() { return FPen; }

  void FillRect(const RECT& Rect);
  void FrameRect(const RECT& Rect);
  void MoveTo(int X, int Y);
  void LineTo(int X, int Y);
  TColor Pixel(int X, int Y);
  void SetPixel(int X, int Y, TColor Color);
  void TextOut(int X, int Y, const std::string& Text);
  int TextWidth(const std::string& Text);
  int TextHeight(const std::string& Text);
  SIZE TextExtent(const std::string& Text);
  // DrawTextA of Text into Rect with Flags.
  int DrawText(const std::string& Text, RECT& Rect, UINT Flags);
  // Copies Source's SourceRect into DestRect of this canvas.
  void CopyRect(const RECT& DestRect, TCanvas& Source, const RECT& SourceRect);

private:
  void Select();
  void Deselect();
  HDC FHandle = nullptr;
  HGDIOBJ FOldFont = nullptr, FOldBrush = nullptr, FOldPen = nullptr;
  TFont FFont;
  TBrush FBrush;
  TPen FPen;
};
