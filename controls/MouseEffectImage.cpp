#include "MouseEffectImage.h"

TMouseEffectImage::TMouseEffectImage(TComponent* Owner) : TImage(Owner) { SetAutoSize(true); }

void TMouseEffectImage::SetOriginPicture(const TPicture& Value) {
  FOriginPicture.Assign(Value);
  Picture().Assign(FOriginPicture);
}

// Each look is switched before the base handling of the same message runs.
void TMouseEffectImage::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case CM_MOUSEENTER:
      CMMouseEnter(Message);
      return;
    case CM_MOUSELEAVE:
      CMMouseLeave(Message);
      return;
    case WM_LBUTTONDOWN:
      WMLButtonDown(Message);
      return;
    case WM_LBUTTONUP:
      WMLButtonUp(Message);
      return;
  }
  TImage::Dispatch(Message);
}

void TMouseEffectImage::CMMouseEnter(TMessage& Message) {
  Picture().Assign(FOverPicture);
  TImage::Dispatch(Message);
}

void TMouseEffectImage::CMMouseLeave(TMessage& Message) {
  Picture().Assign(FOriginPicture);
  TImage::Dispatch(Message);
}

void TMouseEffectImage::WMLButtonDown(TMessage& Message) {
  Picture().Assign(FDownPicture);
  TImage::Dispatch(Message);
}

void TMouseEffectImage::WMLButtonUp(TMessage& Message) {
  if (!FRevertOnLeave)
    Picture().Assign(FOriginPicture);
  TImage::Dispatch(Message);
}

void RegisterMouseEffectImage(TClassRegistry& Registry) {
  Registry.RegisterClass("TMouseEffectImage", "TImage", [](TComponent* Owner) { return new TMouseEffectImage(Owner); });
  // A description loads each picture straight into the object its property reads.
  Registry.Property<TMouseEffectImage>("TMouseEffectImage", "OriginPicture.Data",
                                       [](TMouseEffectImage& C, const TStreamValue& V, TReadContext&) {
                                         LoadPictureValue(C.OriginPicture(), V, "OriginPicture.Data");
                                       });
  Registry.Property<TMouseEffectImage>("TMouseEffectImage", "OverPicture.Data",
                                       [](TMouseEffectImage& C, const TStreamValue& V, TReadContext&) {
                                         LoadPictureValue(C.OverPicture(), V, "OverPicture.Data");
                                       });
  Registry.Property<TMouseEffectImage>("TMouseEffectImage", "DownPicture.Data",
                                       [](TMouseEffectImage& C, const TStreamValue& V, TReadContext&) {
                                         LoadPictureValue(C.DownPicture(), V, "DownPicture.Data");
                                       });
  Registry.Property<TMouseEffectImage>("TMouseEffectImage", "RevertOnLeave",
                                       [](TMouseEffectImage& C, const TStreamValue& V, TReadContext&) {
                                         C.SetRevertOnLeave(BooleanValue(V, "RevertOnLeave"));
                                       });
}
