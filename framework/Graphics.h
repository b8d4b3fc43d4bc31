// Colours, fonts, brushes, pens and the canvas that draws with them on a device context.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "Colors.h"
#include "WinHandles.h"

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
  TFontHandle FHandle;
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
  TBrushHandle FHandle;
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
  TPenHandle FHandle;
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
