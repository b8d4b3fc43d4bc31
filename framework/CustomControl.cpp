#include "CustomControl.h"

#include "DeviceContexts.h"
#include "Pictures.h"

TCustomControl::TCustomControl(TComponent* Owner) : TWinControl(Owner) {}

TCustomControl::~TCustomControl() = default;

void TCustomControl::PaintWindow(HDC DC) {
  if (!FDoubleBuffered) {
    PaintOn(DC);
    return;
  }
  const RECT Client = ClientRect();
  TBitmap Buffer;
  Buffer.SetSize(Client.right, Client.bottom);
  HDC Off = Buffer.Canvas().Handle();
  PaintOn(Off);
  BitBlt(DC, 0, 0, Client.right, Client.bottom, Off, 0, 0, SRCCOPY);
}

void TCustomControl::PaintOn(HDC DC) {
  TCanvasGuard Painting(FCanvas, DC);
  FCanvas.Font().Assign(FFont);
  FCanvas.Brush().SetColor(FColor);
  Paint();
}
