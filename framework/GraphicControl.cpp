#include "GraphicControl.h"

#include "DeviceContexts.h"

TGraphicControl::TGraphicControl(TComponent* Owner) : TControl(Owner, false) {}

TGraphicControl::~TGraphicControl() = default;

void TGraphicControl::Dispatch(TMessage& Message) {
  if (Message.Msg == WM_PAINT && Message.WParam) {
    TCanvasGuard Painting(FCanvas, reinterpret_cast<HDC>(Message.WParam));
    Paint();
    return;
  }
  TControl::Dispatch(Message);
}
